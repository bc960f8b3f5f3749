#include "persistence/object_stream.h"
#include "persistence/stream_reader.h"
#include "persistence/tag_record.h"
#include "stream_bytes.h"

#include <gtest/gtest.h>

namespace quadrel {
namespace {

using testing::ByteBuilder;
using testing::Bytes;

// The inline calibration of tags from class version 3 on.
ByteBuilder& inlineCalibration(ByteBuilder& b, double pixels, double length, double factor = 1.0) {
    return b.u32(1).f64(pixels).f64(length).f64(factor).f64(1.0).u32(1234).str("cal").f64(1.0).f64(0.0).f64(1.0);
}

// A TCalibrationObject frame of class version 5.
ByteBuilder& calibrationObject5(ByteBuilder& b) {
    return b.begin("TCalibrationObject", 5)
        .f64(20.0) // pixels
        .f64(4.0)  // length
        .f64(2.0)  // pixel multiplier
        .f64(2.0)  // length divisor
        .u32(2459000)
        .u32(777)
        .str("old")
        .f64(1.0)
        .f64(0.0)
        .f64(1.0)
        .end();
}

ByteBuilder& emptyLists(ByteBuilder& b) {
    return b.begin("TPGraphicsObjectList", 1).u32(0).end().begin("TPGraphObjectList", 1).u32(0).end();
}

ByteBuilder& tagMiddle(ByteBuilder& b) {
    return b.u32(90).u32(0xABCD).rect(1, 2, 3, 4).rect(5, 6, 7, 8).rect(9, 10, 11, 12);
}

Bytes tagVersion4() {
    ByteBuilder b;
    b.header().begin("TTagObject", 4);
    inlineCalibration(b, 12.0, 2.0, 1.5);
    tagMiddle(b);
    emptyLists(b);
    b.u32(2).f64(2.0).f64(3.0).f64(1.0).u32(0).f64(200.0).f64(150.0).end();
    return b;
}

TTagObject readTag(const Bytes& bytes, int* state = nullptr) {
    MemoryBuffer buffer(bytes);
    ipstream is(&buffer);
    TTagObject tag;
    is.getObject(tag);
    if (state) *state = is.state();
    return tag;
}

TEST(TagRecord, Version4) {
    int state = -1;
    const TTagObject tag = readTag(tagVersion4(), &state);
    EXPECT_EQ(state, 0);
    EXPECT_TRUE(tag.calibrationRead());
    EXPECT_EQ(tag.calibration.pixels, 18.0);
    EXPECT_EQ(tag.calibration.length, 2.0);
    EXPECT_EQ(tag.calibration.title, "cal");
    EXPECT_EQ(tag.jpegQuality, 90);
    EXPECT_EQ(tag.tagValue, 0xABCD);
    EXPECT_EQ(tag.rectC, (StreamRect{1, 2, 3, 4}));
    EXPECT_EQ(tag.rectA, (StreamRect{5, 6, 7, 8}));
    EXPECT_EQ(tag.rectB, (StreamRect{9, 10, 11, 12}));
    EXPECT_EQ(tag.extent.value2, 2.0);
    EXPECT_EQ(tag.extent.value3, 3.0);
    EXPECT_EQ(tag.extent.value1, 1.0);
    EXPECT_FALSE(tag.extent.flag);
    EXPECT_EQ(tag.extent.width, 200.0);
    EXPECT_EQ(tag.extent.height, 150.0);
}

TEST(TagRecord, WriterProducesVersion4AndReadsItBack) {
    TTagObject tag;
    tag.calibration = TCalibration(12.0, 2.0);
    tag.calibration.factor = 1.5;
    tag.calibration.time = 1234;
    tag.calibration.title = "cal";
    tag.jpegQuality = 90;
    tag.tagValue = 0xABCD;
    tag.rectC = {1, 2, 3, 4};
    tag.rectA = {5, 6, 7, 8};
    tag.rectB = {9, 10, 11, 12};
    tag.extent.value2 = 2.0;
    tag.extent.value3 = 3.0;
    tag.extent.flag = false;
    tag.extent.width = 200.0;
    tag.extent.height = 150.0;
    EXPECT_EQ(testing::writeObject(tag), tagVersion4());
}

TEST(TagRecord, Version3HasNoExtent) {
    ByteBuilder b;
    b.header().begin("TTagObject", 3);
    inlineCalibration(b, 7.0, 1.0);
    tagMiddle(b);
    emptyLists(b);
    b.end();
    int state = -1;
    const TTagObject tag = readTag(b, &state);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(tag.calibration.pixels, 7.0);
    EXPECT_EQ(tag.extent.width, 180.0);
}

TEST(TagRecord, Version2ConvertsTheOldCalibrationObject) {
    ByteBuilder b;
    b.header().begin("TTagObject", 2);
    calibrationObject5(b);
    tagMiddle(b);
    emptyLists(b);
    b.end();
    int state = -1;
    const TTagObject tag = readTag(b, &state);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(tag.calibration.pixels, 40.0); // 20 x multiplier 2
    EXPECT_EQ(tag.calibration.length, 2.0);  // 4 / divisor 2
    EXPECT_EQ(tag.calibration.time, 777u);
    EXPECT_EQ(tag.calibration.title, "old");
    EXPECT_EQ(tag.jpegQuality, 90);
}

TEST(TagRecord, Version1EndsAfterItsCalibrationWhateverFollows) {
    ByteBuilder b;
    b.header().begin("TTagObject", 1);
    calibrationObject5(b);
    b.end().u32(5).u32(6); // trailing bytes are not part of the tag
    int state = -1;
    const TTagObject tag = readTag(b, &state);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(tag.jpegQuality, 75);
    EXPECT_EQ(tag.rectC, (StreamRect{0, 0, 4096, 4096}));
    EXPECT_EQ(tag.rectA, StreamRect{});
    EXPECT_EQ(tag.calibration.pixelsPerBaseUnit(), 20.0);

    // Even when what follows is no closing mark: the calibration was read whole, so it counts.
    ByteBuilder damaged;
    damaged.header().begin("TTagObject", 1);
    calibrationObject5(damaged);
    damaged.u32(90);
    const TagCalibrationResult r = readTagCalibration(damaged.bytes(), 96.0);
    EXPECT_EQ(r.source, TagCalibrationSource::Tag);
    EXPECT_EQ(r.calibration.pixelsPerBaseUnit(), 20.0);
}

TEST(TagRecord, OldCalibrationObjectVersions) {
    // Each class version adds fields; a reader of version v reads only those.
    struct Case {
        uint32_t version;
        Bytes fields;
        double pixels;
        std::string title;
    };
    const Case cases[] = {
        {1, ByteBuilder().f64(3.0).f64(1.0).f64(2.0).f64(0.0), 6.0, ""},
        {2, ByteBuilder().f64(3.0).f64(1.0).f64(1.0).f64(1.0).u32(1).u32(2), 3.0, ""},
        {3, ByteBuilder().f64(3.0).f64(1.0).f64(1.0).f64(1.0).u32(1).u32(2).str("t"), 3.0, "t"},
        {4, ByteBuilder().f64(3.0).f64(1.0).f64(1.0).f64(1.0).u32(1).u32(2).str("t").f64(1.0).f64(0.0), 3.0, "t"},
    };
    for (const Case& c : cases) {
        const Bytes in = ByteBuilder().header().begin("TCalibrationObject", c.version).append(c.fields).end();
        MemoryBuffer buffer(in);
        ipstream is(&buffer);
        TCalibrationObject old;
        is.getObject(old);
        EXPECT_TRUE(is.isGood()) << c.version;
        EXPECT_EQ(old.pixels, c.pixels) << c.version;
        EXPECT_EQ(old.lengthDivisor, 1.0) << c.version; // a 0 becomes 1
        EXPECT_EQ(old.title, c.title) << c.version;
    }
}

TEST(TagRecord, LegacyStreamWithoutHeader) {
    // Version 0: the old calibration object without class version, 2-byte words, 1-byte string lengths.
    const Bytes in = ByteBuilder()
                         .begin8("TTagObject")
                         .begin8("TCalibrationObject")
                         .f64(5.0)
                         .f64(1.0)
                         .f64(1.0)
                         .f64(1.0)
                         .end()
                         .u16(80)   // quality: a word
                         .u32(0x55) // tag value: 4 raw bytes
                         .rect(0, 0, 10, 10)
                         .rect(0, 0, 0, 0)
                         .rect(0, 0, 0, 0)
                         .begin8("TPGraphicsObjectList")
                         .u16(0)
                         .end()
                         .begin8("TPGraphObjectList")
                         .u16(0)
                         .end()
                         .end();
    int state = -1;
    const TTagObject tag = readTag(in, &state);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(tag.calibration.pixels, 5.0);
    EXPECT_EQ(tag.jpegQuality, 80);
    EXPECT_EQ(tag.tagValue, 0x55);
    EXPECT_EQ(tag.rectC, (StreamRect{0, 0, 10, 10}));
}

// ---- the calibration a document takes from its tag ----

Bytes tagWithOverlayTail(const Bytes& overlayTail) {
    ByteBuilder b;
    b.header().begin("TTagObject", 4);
    inlineCalibration(b, 30.0, 3.0);
    tagMiddle(b);
    b.begin("TPGraphicsObjectList", 1).u32(0).end();
    b.append(overlayTail);
    return b;
}

TEST(TagCalibration, TakenFromTheTagWhenItsCalibrationIsComplete) {
    const Bytes unknownShape =
        tagWithOverlayTail(ByteBuilder().begin("TPGraphObjectList", 1).u32(1).u8(2).begin("TGHologram", 1).end());
    const Bytes truncatedList = tagWithOverlayTail(ByteBuilder().begin("TPGraphObjectList", 1).u32(3).u8(0));
    const Bytes hugeCount = tagWithOverlayTail(ByteBuilder().begin("TPGraphObjectList", 1).u32(0xFFFFFFFFu));
    for (const Bytes& bytes : {tagVersion4(), unknownShape, truncatedList, hugeCount}) {
        TagCalibrationResult r;
        ASSERT_NO_THROW(r = readTagCalibration(bytes, 300.0));
        EXPECT_EQ(r.source, TagCalibrationSource::Tag);
        EXPECT_GT(r.calibration.pixelsPerBaseUnit(), 8.9);
        EXPECT_LT(r.calibration.pixelsPerBaseUnit(), 10.1);
    }
}

TEST(TagCalibration, UnreadableTagFallsBackToTheImageResolution) {
    ByteBuilder cutInCalibration;
    cutInCalibration.header().begin("TTagObject", 4).u32(1).f64(30.0).f64(3.0);
    ByteBuilder unknownCalibrationClass;
    unknownCalibrationClass.header().begin("TTagObject", 2).begin("TCalibrationThing", 5).end();
    ByteBuilder wrongCalibrationClass;
    wrongCalibrationClass.header().begin("TTagObject", 2).begin("TPointList", 1).u32(0).end();
    const Bytes notATag = ByteBuilder().header().begin("TPointList", 1).u32(0).end();
    const Bytes unknownTop = ByteBuilder().header().begin("TTagObjectEx", 4).end();
    const Bytes garbage = ByteBuilder().u8(0x12).u8(0x34);
    for (const Bytes& bytes : {Bytes(cutInCalibration), Bytes(unknownCalibrationClass), Bytes(wrongCalibrationClass),
                               notATag, unknownTop, garbage}) {
        TagCalibrationResult r;
        ASSERT_NO_THROW(r = readTagCalibration(bytes, 254.0));
        EXPECT_EQ(r.source, TagCalibrationSource::Unreadable);
        EXPECT_DOUBLE_EQ(r.calibration.pixelsPerBaseUnit(), 10.0); // 254 dpi
    }
}

TEST(TagCalibration, MissingTagUsesTheResolution) {
    TagCalibrationResult r = readTagCalibration({}, 72.0);
    EXPECT_EQ(r.source, TagCalibrationSource::NoTag);
    EXPECT_DOUBLE_EQ(r.calibration.pixelsPerBaseUnit(), 72.0 / 25.4);
    r = readTagCalibration({}, std::nullopt);
    EXPECT_EQ(r.calibration.pixelsPerBaseUnit(), 1.0);
}

// Every truncation of a full tag: the calibration counts exactly when it arrived whole.
TEST(TagCalibration, EveryTruncationOfAFullTag) {
    TTagObject tag;
    tag.calibration = TCalibration(50.0, 2.0);
    auto arrow = std::make_shared<overlay::TGCaptionArrow>();
    arrow->caption.text = "arrow";
    tag.overlays.add(arrow);
    tag.overlays.add(std::make_shared<overlay::TGStamp>());
    auto area = std::make_shared<overlay::TGArea>();
    area->points.points = {{1, 2}, {3, 4}};
    tag.overlays.add(area);
    auto lut = std::make_shared<overlay::TLookUpTable>();
    lut->colours = {1, 2, 3};
    tag.graphics.add(lut);
    tag.graphics.add(std::make_shared<overlay::CaptionedEllipse>());
    const Bytes full = testing::writeObject(tag);
    // Header, "[", the class name, the class version, then the calibration with its 12-character title.
    const size_t calibrationEnd = 5 + 1 + 4 + 10 + 4 + (4 + 8 * 4 + 4 + 4 + 12 + 8 * 3);
    ASSERT_EQ(tag.calibration.title.size(), 12u);
    for (size_t length = 0; length <= full.size(); ++length) {
        const std::span<const uint8_t> prefix(full.data(), length);
        const TagCalibrationResult r = readTagCalibration(prefix, 96.0);
        if (length >= calibrationEnd) {
            ASSERT_EQ(r.source, TagCalibrationSource::Tag) << length;
            EXPECT_EQ(r.calibration.pixelsPerBaseUnit(), 25.0) << length;
        } else {
            ASSERT_EQ(r.source, length == 0 ? TagCalibrationSource::NoTag : TagCalibrationSource::Unreadable) << length;
            EXPECT_DOUBLE_EQ(r.calibration.pixelsPerBaseUnit(), 96.0 / 25.4) << length;
        }
        TTagObject partial;
        const StreamReadResult read = readObjectFromBytes(prefix, partial);
        EXPECT_EQ(read.ok(), length == full.size()) << length;
    }
}

TEST(Guid, InlineForm) {
    TGUID g;
    g.data1 = 0x11223344;
    g.data2 = 0x5566;
    g.data3 = 0x7788;
    g.data4 = {1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes written = testing::writeStream([&](opstream& os) { writeGuid(os, g); });
    EXPECT_EQ(written, Bytes(ByteBuilder()
                                 .header()
                                 .u32(0x11223344)
                                 .u16(0x5566)
                                 .u16(0x7788)
                                 .u8(1)
                                 .u8(2)
                                 .u8(3)
                                 .u8(4)
                                 .u8(5)
                                 .u8(6)
                                 .u8(7)
                                 .u8(8)));
    MemoryBuffer buffer(written);
    ipstream is(&buffer);
    EXPECT_EQ(readGuid(is), g);
    EXPECT_EQ(readGuid(is), TGUID{}); // nothing left
    EXPECT_EQ(is.state(), pstream::fail);
}

} // namespace
} // namespace quadrel
