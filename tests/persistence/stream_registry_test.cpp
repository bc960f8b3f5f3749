#include "core/cells.h"
#include "persistence/object_stream.h"
#include "persistence/stream_registry.h"
#include "persistence/tag_record.h"
#include "stream_bytes.h"

#include <gtest/gtest.h>

namespace quadrel {
namespace {

using testing::ByteBuilder;
using testing::Bytes;

struct Probe : TStreamableBase {
    class Streamer : public TNewStreamer {
    public:
        using TNewStreamer::TNewStreamer;
        const char* StreamableName() const override { return "Probe"; }
        void Read(ipstream&, uint32_t) override {}
        void Write(opstream&) const override {}
        uint32_t ClassVersion() const override { return 1; }
    };
};
struct OtherProbe : Probe {};

TEST(StreamClassRegistry, LookupBeforeAnyRegistrationThrows) {
    StreamClassRegistry registry;
    try {
        registry.lookup("TCellIdList");
        FAIL() << "no exception";
    } catch (const TXBase& e) {
        EXPECT_STREQ(e.what(), "Attempt to stream unregistered type 'TCellIdList'");
    }
}

TEST(StreamClassRegistry, NamesAreCaseSensitiveAndOrderedByteWise) {
    StreamClassRegistry registry;
    registry.registerClass<Probe>("b");
    registry.registerClass<Probe>("B");
    registry.registerClass<Probe>("\xE9t\xE9"); // above every ASCII name as unsigned bytes
    registry.registerClass<Probe>("a");
    EXPECT_EQ(registry.lookup("B").name, "B");
    EXPECT_EQ(registry.lookup("\xE9t\xE9").name, "\xE9t\xE9");
    EXPECT_THROW(registry.lookup("A"), TXBase);
    EXPECT_THROW(registry.lookup("tchaincode"), TXBase);
}

TEST(StreamClassRegistry, DuplicateEntriesAreBothKept) {
    StreamClassRegistry registry;
    registry.registerClass<Probe>("Twice");
    registry.registerClass<OtherProbe>("Twice");
    EXPECT_EQ(registry.size(), 2u);
    EXPECT_EQ(registry.lookup("Twice").name, "Twice");
    EXPECT_TRUE(registry.unregisterClass("Twice"));
    EXPECT_TRUE(registry.contains("Twice"));
    EXPECT_TRUE(registry.unregisterClass("Twice", 0)); // module id 0 matches any
    EXPECT_FALSE(registry.contains("Twice"));
    EXPECT_FALSE(registry.unregisterClass("Twice"));
}

TEST(StreamClassRegistry, EveryClassIsRegisteredWithItsNameAndVersion) {
    struct Expected {
        const char* name;
        uint32_t version;
    };
    const Expected table[] = {
        {"TCellIdList", 1},
        {"TSetOfCellIdList", 1},
        {"TChainCode", 1},
        {"TSetOfChainCode", 1},
        {"TCellBounds", 1},
        {"TSetOfCellBounds", 1},
        {"TCalibrationObject", 5},
        {"TTagObject", 4},
        {"TPGraphObjectList", 1},
        {"TCaption", 2},
        {"TPointList", 1},
        {"TGPoint", 2},
        {"TGLine", 2},
        {"TGRectangle", 2},
        {"TGEllipse", 2},
        {"TGCircle", 2},
        {"TGScale", 2},
        {"TGArrow", 1},
        {"TGPalmer", 1},
        {"TGStamp", 1},
        {"TGVector", 1},
        {"TGArea", 1},
        {"TGCircle3pnts", 1},
        {"TGAngle", 1},
        {"TGFeretDiameter", 1},
        {"TGCaption", 1},
        {"TGCaptionPoint", 1},
        {"TGCaptionLine", 1},
        {"TGCaptionArrow", 1},
        {"TGCaptionPalmer", 1},
        {"TGCaptionRect", 1},
        {"TGCaptionCircle", 1},
        {"TGCaptionVector", 1},
        {"TGCaptionArea", 1},
        {"TGCaptionCircle3pnts", 1},
        {"TGCaptionAngle", 1},
        {"TGCaptionScale", 1},
        {"TGCaptionFeretDiameter", 1},
        {"TPGraphicsObjectList", 1},
        {"Line", 1},
        {"Arrow", 1},
        {"TRectangle", 1},
        {"TLookUpTable", 1},
        {"TEllipse", 1},
        {"Caption", 1},
        {"CaptionedRectangle", 1},
        {"CaptionedEllipse", 1},
        {"TFilledRectangle", 1},
        {"TFilledEllipse", 1},
    };
    for (const Expected& e : table) {
        const StreamClassEntry& entry = StreamClassRegistry::global().lookup(e.name);
        EXPECT_EQ(entry.delta, -1);
        EXPECT_EQ(entry.moduleId, 1);
        std::unique_ptr<TStreamer> streamer = entry.build(nullptr);
        ASSERT_NE(streamer, nullptr) << e.name;
        EXPECT_STREQ(streamer->StreamableName(), e.name);
        EXPECT_EQ(streamer->ClassVersion(), e.version) << e.name;
        // The class a name builds is the class the writer names for it.
        EXPECT_EQ(&StreamClassRegistry::global().lookupObject(*streamer->GetObject()), &entry) << e.name;
    }
}

// Every registered class writes what it reads: write a default object, read it back through a pointer,
// write it again, and the bytes agree. This catches a reader and writer of one class that disagree on a
// field, whichever class that is.
TEST(StreamClassRegistry, EveryRegisteredClassRoundTrips) {
    for (const char* name : {"TCellIdList",
                             "TSetOfCellIdList",
                             "TChainCode",
                             "TSetOfChainCode",
                             "TCellBounds",
                             "TSetOfCellBounds",
                             "TCalibrationObject",
                             "TTagObject",
                             "TPGraphObjectList",
                             "TCaption",
                             "TPointList",
                             "TGPoint",
                             "TGLine",
                             "TGRectangle",
                             "TGEllipse",
                             "TGCircle",
                             "TGScale",
                             "TGArrow",
                             "TGPalmer",
                             "TGStamp",
                             "TGVector",
                             "TGArea",
                             "TGCircle3pnts",
                             "TGAngle",
                             "TGFeretDiameter",
                             "TGCaption",
                             "TGCaptionPoint",
                             "TGCaptionLine",
                             "TGCaptionArrow",
                             "TGCaptionPalmer",
                             "TGCaptionRect",
                             "TGCaptionCircle",
                             "TGCaptionVector",
                             "TGCaptionArea",
                             "TGCaptionCircle3pnts",
                             "TGCaptionAngle",
                             "TGCaptionScale",
                             "TGCaptionFeretDiameter",
                             "TPGraphicsObjectList",
                             "Line",
                             "Arrow",
                             "TRectangle",
                             "TLookUpTable",
                             "TEllipse",
                             "Caption",
                             "CaptionedRectangle",
                             "CaptionedEllipse",
                             "TFilledRectangle",
                             "TFilledEllipse"}) {
        auto original = StreamClassRegistry::global().lookup(name).build(nullptr);
        const Bytes first = testing::writeStream([&](opstream& os) { os.putPointer(original->GetObject()); });
        MemoryBuffer buffer(first);
        ipstream is(&buffer);
        std::shared_ptr<TStreamableBase> back;
        is.readPointer(back);
        ASSERT_TRUE(is.isGood()) << name;
        EXPECT_EQ(is.remaining(), 0u) << name;
        ASSERT_NE(back, nullptr) << name;
        EXPECT_EQ(typeid(*back), typeid(*original->GetObject())) << name;
        const Bytes second = testing::writeStream([&](opstream& os) { os.putPointer(back.get()); });
        EXPECT_EQ(first, second) << name;
    }
}

TEST(StreamClassRegistry, WritingAnUnregisteredClassThrowsBeforeWritingIt) {
    struct Stranger : TStreamableBase {};
    MemoryBuffer buffer;
    opstream os(&buffer);
    Stranger s;
    try {
        os.putObject(s);
        FAIL() << "no exception";
    } catch (const TXBase& e) {
        EXPECT_STREQ(e.what(), "Attempt to stream unregistered type 'Stranger'");
    }
    EXPECT_EQ(buffer.data().size(), 5u); // the header only
}

TEST(StreamClassRegistry, ReadingAClassNameInTheWrongCaseThrows) {
    const Bytes in = ByteBuilder().header().begin("tcellidlist", 1).end();
    MemoryBuffer buffer(in);
    ipstream is(&buffer);
    TCellIdList list;
    EXPECT_THROW(is.getObject(list), TXBase);
}

} // namespace
} // namespace quadrel
