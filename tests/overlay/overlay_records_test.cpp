#include "overlay/graph_objects.h"
#include "overlay/graphical_objects.h"
#include "persistence/object_stream.h"
#include "stream_bytes.h"

#include <gtest/gtest.h>

namespace quadrel::overlay {
namespace {

using quadrel::testing::ByteBuilder;
using quadrel::testing::Bytes;

// The TGraphObject fields as a writer of class version 2 lays them out.
ByteBuilder& graphFields(ByteBuilder& b, uint32_t key, bool withValueC = true) {
    b.u32(key).u32(0x000000FF).u32(0x00FFFFFF).rect(1, 2, 3, 4).i32(10).i32(2).i32(11).str("label").u32(1);
    if (withValueC) b.i32(7);
    return b;
}

template <class T> std::shared_ptr<T> readPointerOf(const Bytes& bytes, int* state = nullptr) {
    MemoryBuffer buffer(bytes);
    ipstream is(&buffer);
    std::shared_ptr<T> p;
    is.getPointer(p);
    if (state) *state = is.state();
    return p;
}

TEST(GraphObjects, PlainShapeLayout) {
    TGLine line;
    line.key = 5;
    line.foreground = 0xFF;
    line.bounds = {1, 2, 3, 4};
    line.valueA = 10;
    line.thickness = 2;
    line.valueB = 11;
    line.text = "label";
    line.shadow = true;
    line.valueC = 7;
    ByteBuilder expected;
    expected.header().begin("TGLine", 2);
    graphFields(expected, 5).end();
    EXPECT_EQ(quadrel::testing::writeObject(line), expected.bytes());
}

TEST(GraphObjects, NestedBasePartsOfACaptionedArrow) {
    TGCaptionArrow arrow;
    arrow.key = 9;
    arrow.foreground = 0xFF;
    arrow.bounds = {1, 2, 3, 4};
    arrow.valueA = 10;
    arrow.thickness = 2;
    arrow.valueB = 11;
    arrow.text = "label";
    arrow.shadow = true;
    arrow.valueC = 7;
    arrow.arrowValue = 3;
    arrow.head = {StreamPoint{1, 1}, StreamPoint{2, 2}, StreamPoint{3, 3}, StreamPoint{4, 4}};
    arrow.caption.text = "c";
    ByteBuilder expected;
    expected.header().begin("TGCaptionArrow", 1).u32(1).u32(2); // TGArrow base part v1, its TGraphObject part v2
    graphFields(expected, 9).i32(3).i32(1).i32(1).i32(2).i32(2).i32(3).i32(3).i32(4).i32(4);
    expected.begin("TCaption", 2).str("c").i32(0).i32(0).u32(0).u32(0x00FFFFFF).rect(0, 0, 0, 0);
    TLogFont font;
    const Bytes fontBytes = quadrel::testing::writeStream([&](opstream& os) { font.write(os); });
    expected.append(quadrel::testing::body(fontBytes)).end().end();
    EXPECT_EQ(quadrel::testing::writeObject(arrow), expected.bytes());

    int state = -1;
    auto back = readPointerOf<TGCaptionArrow>(
        ByteBuilder().header().u8(2).append(quadrel::testing::body(expected.bytes())), &state);
    EXPECT_EQ(state, 0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->head[3], (StreamPoint{4, 4}));
    EXPECT_EQ(back->caption.text, "c");
    EXPECT_EQ(back->valueC, 7);
}

TEST(GraphObjects, ScaleVersion1HasThreeTrailingWordsVersion2Four) {
    for (uint32_t version : {1u, 2u}) {
        ByteBuilder b;
        b.header().u8(2).begin("TGScale", version).u32(2);
        graphFields(b, 1).i32(5).i32(6).i32(100).i32(200).i32(300);
        if (version == 2) b.i32(400);
        b.end();
        int state = -1;
        auto scale = readPointerOf<TGScale>(b, &state);
        EXPECT_EQ(state, 0) << version;
        ASSERT_NE(scale, nullptr);
        EXPECT_EQ(scale->values[2], 300);
        EXPECT_EQ(scale->values[3], version == 2 ? 400 : 0);
    }
}

TEST(GraphObjects, CaptionVersion1HasNoRectangle) {
    TLogFont font;
    font.height = -12;
    font.faceName = {'A', 'r', 'i', 'a', 'l'};
    const Bytes fontBytes =
        quadrel::testing::body(quadrel::testing::writeStream([&](opstream& os) { font.write(os); }));
    ASSERT_EQ(fontBytes.size(), 60u);
    const Bytes v1 =
        ByteBuilder().header().begin("TCaption", 1).str("t").i32(1).i32(2).u32(3).u32(4).append(fontBytes).end();
    const Bytes v2 = ByteBuilder()
                         .header()
                         .begin("TCaption", 2)
                         .str("t")
                         .i32(1)
                         .i32(2)
                         .u32(3)
                         .u32(4)
                         .rect(5, 6, 7, 8)
                         .append(fontBytes)
                         .end();
    for (const Bytes& bytes : {v1, v2}) {
        MemoryBuffer buffer(bytes);
        ipstream is(&buffer);
        TCaption caption;
        is.getObject(caption);
        EXPECT_TRUE(is.isGood());
        EXPECT_EQ(caption.font, font);
        EXPECT_EQ(caption.backgroundColour, 4u);
    }
}

TEST(GraphObjects, ListHoldsAnObjectOnceAndSkipsOtherClasses) {
    ByteBuilder b;
    b.header().begin("TPGraphObjectList", 1).u32(4).u8(2).begin("TGPoint", 2);
    graphFields(b, 1).end();
    b.u8(1).u32(2);                              // back-reference to the point (the list itself is 1)
    b.u8(2).begin("TPointList", 1).u32(0).end(); // not an annotation: null, skipped
    b.u8(0).end();                               // null
    TPGraphObjectList list;
    {
        MemoryBuffer buffer(b.bytes());
        ipstream is(&buffer);
        is.getObject(list);
        EXPECT_TRUE(is.isGood());
    }
    ASSERT_EQ(list.objects.size(), 1u);
    EXPECT_EQ(list.objects[0]->key, 1u);
    EXPECT_EQ(list.objects[0].use_count(), 1); // the stream is gone; the list alone owns it
}

TEST(GraphObjects, LegacyStreamHasNoBasePartVersions) {
    // Without a header a derived class reads its base fields with version 0: no value C, which becomes 2.
    ByteBuilder b;
    b.begin8("TGArrow").u32(3).u32(0).u32(0).rect(0, 0, 5, 5).u16(1).u16(1).u16(1).str8("x").u32(0);
    b.u16(9); // the arrow's own word
    for (int i = 0; i < 8; ++i)
        b.i32(i);
    b.end();
    MemoryBuffer buffer(b.bytes());
    ipstream is(&buffer);
    TGArrow arrow;
    is.getObject(arrow);
    EXPECT_TRUE(is.isGood());
    EXPECT_EQ(arrow.key, 3u);
    EXPECT_EQ(arrow.valueC, 2);
    EXPECT_EQ(arrow.arrowValue, 9);
    EXPECT_EQ(arrow.head[3], (StreamPoint{6, 7}));
}

TEST(GraphObjects, VectorPointsAreCheckedAgainstTheData) {
    ByteBuilder b;
    b.header().begin("TGArea", 1).u32(2);
    graphFields(b, 1).i32(0).i32(0).u32(0x10000000).i32(1).i32(1);
    MemoryBuffer buffer(b.bytes());
    ipstream is(&buffer);
    TGArea area;
    is.getObject(area);
    EXPECT_EQ(is.state(), pstream::fail);
    EXPECT_TRUE(area.points.points.empty());
}

// A stamp's bitmap has no length prefix: the reader must find its end from the header, so the object after
// it is read correctly.
TEST(GraphObjects, StampBitmapLengthComesFromItsHeader) {
    struct Dib {
        const char* what;
        Bytes bytes;
    };
    auto info = [](int32_t w, int32_t h, uint16_t bits, uint32_t compression, uint32_t used, uint32_t sizeImage = 0) {
        return ByteBuilder()
            .u32(40)
            .i32(w)
            .i32(h)
            .u16(1)
            .u16(bits)
            .u32(compression)
            .u32(sizeImage)
            .u32(0)
            .u32(0)
            .u32(used)
            .u32(0);
    };
    const Dib dibs[] = {
        {"8-bit, full palette, 3 x 2", info(3, 2, 8, 0, 0).append(Bytes(256 * 4, 0x11)).append(Bytes(2 * 4, 0x22))},
        {"8-bit, 4 colours used, top-down", info(5, -1, 8, 0, 4).append(Bytes(16, 0x11)).append(Bytes(8, 0x22))},
        {"16-bit bit fields", info(2, 2, 16, 3, 0).u32(0xF800).u32(0x07E0).u32(0x001F).append(Bytes(8, 0x33))},
        {"32-bit, 1 x 1", info(1, 1, 32, 0, 0).u32(0xFF00FF00)},
        {"compressed: its own size", info(10, 10, 8, 1, 2, 6).append(Bytes(8, 0)).append(Bytes(6, 0x44))},
        {"core header, 1-bit, 9 x 1", ByteBuilder().u32(12).u16(9).u16(1).u16(1).u16(1).append(Bytes(6, 0)).u32(0)},
    };
    for (const Dib& d : dibs) {
        TGStamp stamp;
        stamp.dib = d.bytes;
        TPGraphObjectList list;
        list.add(std::make_shared<TGStamp>(stamp));
        auto after = std::make_shared<TGPoint>();
        after->key = 0xC0FFEE;
        list.add(after);
        const Bytes written = quadrel::testing::writeObject(list);
        MemoryBuffer buffer(written);
        ipstream is(&buffer);
        TPGraphObjectList back;
        is.getObject(back);
        EXPECT_TRUE(is.isGood()) << d.what;
        ASSERT_EQ(back.objects.size(), 2u) << d.what;
        EXPECT_EQ(std::static_pointer_cast<TGStamp>(back.objects[0])->dib, d.bytes) << d.what;
        EXPECT_EQ(back.objects[1]->key, 0xC0FFEEu) << d.what;
    }
}

TEST(GraphObjects, DamagedStampBitmapsFail) {
    auto header = [](uint32_t size, int32_t w, int32_t h, uint16_t bits) {
        return ByteBuilder().u32(size).i32(w).i32(h).u16(1).u16(bits).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
    };
    const Bytes cases[] = {
        ByteBuilder().u32(7),                   // header size below any header
        ByteBuilder().u32(0xFFFFFFF0),          // header size beyond the data
        header(40, -3, 2, 24),                  // negative width
        header(40, 0x7FFFFFFF, 0x7FFFFFFF, 32), // bits far beyond the data
        header(40, 4, 4, 0),                    // no bit count
        header(40, 4, 4, 24).u32(0),            // bits cut short
    };
    for (const Bytes& dib : cases) {
        ByteBuilder b;
        b.header().begin("TGStamp", 1).u32(2);
        graphFields(b, 1).i32(0).i32(0).u32(0).u32(0).append(dib);
        MemoryBuffer buffer(b.bytes());
        ipstream is(&buffer);
        TGStamp stamp;
        const Bytes before = stamp.dib;
        is.getObject(stamp);
        EXPECT_EQ(is.state(), pstream::fail);
        EXPECT_EQ(stamp.dib, before);
    }
}

TEST(GraphicalObjects, CaptionBaseMarker) {
    // Written as an object of its own, a caption stores only its own fields (marker 1).
    Caption caption;
    caption.bounds = {1, 2, 3, 4};
    caption.text = "hi";
    const Bytes written = quadrel::testing::writeObject(caption);
    EXPECT_EQ(written[5 + 1 + 4 + 7 + 4], 1); // header, "[", length, "Caption", version, then the marker
    MemoryBuffer buffer(written);
    ipstream is(&buffer);
    Caption back;
    is.getObject(back);
    EXPECT_TRUE(is.isGood());
    EXPECT_EQ(back.text, "hi");
    EXPECT_EQ(back.bounds, StreamRect{}); // the base fields were not stored
}

TEST(GraphicalObjects, CaptionWithItsBaseAddsATableEntry) {
    TLogFont font;
    const Bytes fontBytes =
        quadrel::testing::body(quadrel::testing::writeStream([&](opstream& os) { font.write(os); }));
    const Bytes in = ByteBuilder()
                         .header()
                         .begin("TPGraphicsObjectList", 1) // entry 1
                         .u32(4)
                         .u8(2)
                         .begin("CaptionedRectangle", 1) // entry 2
                         .u8(2)
                         .u32(1) // and entry 3 for its embedded base
                         .rect(1, 2, 3, 4)
                         .i32(30)
                         .i32(10)
                         .i32(20)
                         .u32(0x123456)
                         .str("t")
                         .i32(0)
                         .i32(0)
                         .u32(0)
                         .u32(0)
                         .append(fontBytes)
                         .end()
                         .u8(1)
                         .u32(3) // the embedded base counts: same object, held once
                         .u8(2)
                         .begin("Line", 1) // entry 4
                         .rect(0, 0, 9, 9)
                         .i32(0)
                         .i32(0)
                         .i32(0)
                         .u32(0)
                         .end()
                         .u8(1)
                         .u32(4)
                         .end();
    MemoryBuffer buffer(in);
    ipstream is(&buffer);
    TPGraphicsObjectList list;
    is.getObject(list);
    EXPECT_TRUE(is.isGood());
    EXPECT_EQ(is.readObjectCount(), 5u); // the null at 0 and four entries
    ASSERT_EQ(list.objects.size(), 2u);
    auto captioned = std::dynamic_pointer_cast<CaptionedRectangle>(list.objects[0]);
    ASSERT_NE(captioned, nullptr);
    EXPECT_EQ(captioned->bounds, (StreamRect{1, 2, 3, 4}));
    EXPECT_EQ(captioned->valueC, 30);
    EXPECT_EQ(captioned->colour, 0x123456u);
    EXPECT_NE(std::dynamic_pointer_cast<Line>(list.objects[1]), nullptr);
}

TEST(GraphicalObjects, LookUpTableCounts) {
    auto table = [](uint32_t count, size_t present) {
        ByteBuilder b;
        b.header().begin("TLookUpTable", 1).u32(1).rect(0, 0, 1, 1).i32(0).i32(0).i32(0).u32(0).i32(5).u32(count);
        for (size_t i = 0; i < present; ++i)
            b.u32(uint32_t(i));
        return b.end();
    };
    for (auto [count, present, good] : {std::tuple{0u, size_t(0), true}, std::tuple{3u, size_t(3), true},
                                        std::tuple{65536u, size_t(65536), false}, std::tuple{10u, size_t(2), false}}) {
        const Bytes bytes = table(count, present);
        MemoryBuffer buffer(bytes);
        ipstream is(&buffer);
        TLookUpTable lut;
        is.getObject(lut);
        EXPECT_EQ(is.isGood(), good) << count;
        EXPECT_EQ(lut.colours.size(), good ? count : 0u) << count;
    }
}

// Populated records of every class survive a write and a read: the second write gives the same bytes.
TEST(OverlayRecords, PopulatedListsRoundTrip) {
    TPGraphObjectList first;
    auto fill = [](TGraphObject& o, uint32_t key) {
        o.key = key;
        o.foreground = 0x102030;
        o.bounds = {-1, -2, 30, 40};
        o.thickness = 3;
        o.text = "shape " + std::to_string(key);
        o.shadow = true;
        o.valueC = 5;
    };
    std::vector<std::shared_ptr<TGraphObject>> all = {std::make_shared<TGPoint>(),
                                                      std::make_shared<TGLine>(),
                                                      std::make_shared<TGRectangle>(),
                                                      std::make_shared<TGEllipse>(),
                                                      std::make_shared<TGCircle>(),
                                                      std::make_shared<TGScale>(),
                                                      std::make_shared<TGArrow>(),
                                                      std::make_shared<TGPalmer>(),
                                                      std::make_shared<TGStamp>(),
                                                      std::make_shared<TGVector>(),
                                                      std::make_shared<TGArea>(),
                                                      std::make_shared<TGCircle3pnts>(),
                                                      std::make_shared<TGAngle>(),
                                                      std::make_shared<TGFeretDiameter>(),
                                                      std::make_shared<TGCaption>(),
                                                      std::make_shared<TGCaptionPoint>(),
                                                      std::make_shared<TGCaptionLine>(),
                                                      std::make_shared<TGCaptionArrow>(),
                                                      std::make_shared<TGCaptionPalmer>(),
                                                      std::make_shared<TGCaptionRect>(),
                                                      std::make_shared<TGCaptionCircle>(),
                                                      std::make_shared<TGCaptionVector>(),
                                                      std::make_shared<TGCaptionArea>(),
                                                      std::make_shared<TGCaptionCircle3pnts>(),
                                                      std::make_shared<TGCaptionAngle>(),
                                                      std::make_shared<TGCaptionScale>(),
                                                      std::make_shared<TGCaptionFeretDiameter>()};
    uint32_t key = 1;
    for (auto& o : all) {
        fill(*o, key++);
        if (auto v = std::dynamic_pointer_cast<TGVector>(o)) v->points.points = {{1, 2}, {3, 4}};
        if (auto s = std::dynamic_pointer_cast<TGScale>(o)) s->values = {1, 2, 3, 4};
        first.add(o);
    }
    const Bytes a = quadrel::testing::writeObject(first);
    MemoryBuffer buffer(a);
    ipstream is(&buffer);
    TPGraphObjectList second;
    is.getObject(second);
    ASSERT_TRUE(is.isGood());
    ASSERT_EQ(second.objects.size(), all.size());
    EXPECT_EQ(quadrel::testing::writeObject(second), a);
    EXPECT_EQ(second.objects[5]->text, "shape 6");

    TPGraphicsObjectList graphics;
    auto lut = std::make_shared<TLookUpTable>();
    lut->colours = {1, 2, 3};
    auto arrow = std::make_shared<Arrow>();
    arrow->headSize = 2.5;
    auto caption = std::make_shared<CaptionedEllipse>();
    caption->text = "e";
    for (std::shared_ptr<GraphicalObject> o : std::initializer_list<std::shared_ptr<GraphicalObject>>{
             std::make_shared<Line>(), arrow, std::make_shared<TRectangle>(), lut, std::make_shared<TEllipse>(),
             std::make_shared<Caption>(), std::make_shared<CaptionedRectangle>(), caption,
             std::make_shared<TFilledRectangle>(), std::make_shared<TFilledEllipse>()}) {
        o->colour = 0xABCDEF;
        graphics.add(o);
    }
    graphics.add(arrow); // already held
    EXPECT_EQ(graphics.objects.size(), 10u);
    const Bytes g = quadrel::testing::writeObject(graphics);
    MemoryBuffer gb(g);
    ipstream gs(&gb);
    TPGraphicsObjectList graphicsBack;
    gs.getObject(graphicsBack);
    ASSERT_TRUE(gs.isGood());
    EXPECT_EQ(graphicsBack.objects.size(), 10u);
    EXPECT_EQ(quadrel::testing::writeObject(graphicsBack), g);
}

} // namespace
} // namespace quadrel::overlay
