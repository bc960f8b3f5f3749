#include "core/cells.h"
#include "overlay/graph_objects.h"
#include "persistence/object_stream.h"
#include "persistence/stream_reader.h"
#include "stream_bytes.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace quadrel {
namespace {

using testing::ByteBuilder;
using testing::Bytes;
using testing::writeStream;

TEST(ObjectStreamWrite, PrimitivesAreLittleEndianAfterTheHeader) {
    const Bytes b = writeStream([](opstream& os) {
        os.put8(0xAB);
        os.put16(0x1234);
        os.put32(0xDEADBEEF);
        os.putDouble(1.5);
        os.putRect({1, -2, 3, 4});
        os.putPoint({-1, 7});
        os.putBool32(true);
    });
    const Bytes expected = ByteBuilder()
                               .u8(0x3A)
                               .u32(257)
                               .u8(0xAB)
                               .u16(0x1234)
                               .u32(0xDEADBEEF)
                               .f64(1.5)
                               .rect(1, -2, 3, 4)
                               .i32(-1)
                               .i32(7)
                               .u32(1);
    EXPECT_EQ(b, expected);
}

TEST(ObjectStreamWrite, StringsNullStringsAndEmbeddedNul) {
    const Bytes b = writeStream([](opstream& os) {
        os.putText("abc");
        os.putText(static_cast<const char*>(nullptr));
        os.putText("");
        os.putText(std::string("ab\0cd", 5)); // a string never carries a NUL
    });
    EXPECT_EQ(b, Bytes(ByteBuilder().header().str("abc").nullStr().str("").str("ab")));
}

TEST(ObjectStreamWrite, SameObjectTwiceIsOneFrameThenABackReference) {
    auto point = std::make_shared<overlay::TPointList>();
    point->points = {{5, 6}};
    const Bytes b = writeStream([&](opstream& os) {
        os.putPointer(point);
        os.putPointer(point);
        os.putPointer(static_cast<const TStreamableBase*>(nullptr));
    });
    const Bytes expected = ByteBuilder()
                               .header()
                               .u8(2)
                               .begin("TPointList", 1)
                               .u32(1)
                               .i32(5)
                               .i32(6)
                               .end()
                               .u8(1)
                               .u32(1) // the first object of a stream has id 1
                               .u8(0);
    EXPECT_EQ(b, expected);
}

TEST(ObjectStreamRead, EmptyBufferSetsState1AndReadsZeros) {
    MemoryBuffer buffer;
    ipstream is(&buffer);
    EXPECT_EQ(is.state(), pstream::eof);
    EXPECT_EQ(is.version(), 0u);
    EXPECT_EQ(is.get32(), 0u);
    EXPECT_EQ(is.getText(), "");
    EXPECT_EQ(is.getDouble(), 0.0);
    EXPECT_EQ(is.state(), pstream::eof);
}

TEST(ObjectStreamRead, PrimitivesAndStringsOfAStreamWithHeader) {
    const Bytes in = ByteBuilder()
                         .header()
                         .u8(7)
                         .u16(0x0102)
                         .u32(0x01020304)
                         .u32(0xAABBCCDD)
                         .str("hello")
                         .nullStr()
                         .str(std::string("ab\0cd", 5));
    MemoryBuffer buffer(in);
    ipstream is(&buffer);
    EXPECT_EQ(is.version(), 257u);
    EXPECT_EQ(is.get8(), 7);
    EXPECT_EQ(is.get16(), 0x0102);
    EXPECT_EQ(is.get32(), 0x01020304u);
    EXPECT_EQ(is.getWord(), 0xAABBCCDDu); // 4-byte words with a header
    EXPECT_EQ(is.getText(), "hello");
    EXPECT_EQ(is.getText(), "");   // null string
    EXPECT_EQ(is.getText(), "ab"); // up to the first NUL
    EXPECT_TRUE(is.isGood());
    EXPECT_EQ(is.remaining(), 0u);
}

TEST(ObjectStreamRead, LegacyStreamHasTwoByteWordsAndOneByteStringLengths) {
    const Bytes in = ByteBuilder().u16(0xBEEF).u16(0x0001).str8("xy").u8(0xFF).u8(0);
    MemoryBuffer buffer(in);
    ipstream is(&buffer);
    EXPECT_EQ(is.version(), 0u);
    EXPECT_EQ(is.getWord(), 0xBEEFu);
    EXPECT_EQ(is.getWord(), 1u);
    EXPECT_EQ(is.getText(), "xy");
    EXPECT_EQ(is.getText(), ""); // 0xFF is the null string
    EXPECT_EQ(is.getText(), "");
    EXPECT_TRUE(is.isGood());
}

TEST(ObjectStreamRead, HeaderVersionsUpTo256KeepOneByteStringLengths) {
    const Bytes in = ByteBuilder().u8(':').u32(256).u32(9).str8("q");
    MemoryBuffer buffer(in);
    ipstream is(&buffer);
    EXPECT_EQ(is.getWord(), 9u);
    EXPECT_EQ(is.getText(), "q");
    EXPECT_TRUE(is.isGood());
}

TEST(ObjectStreamRead, ShortReadsFailAndLeaveTheDestinationUntouched) {
    const Bytes in = ByteBuilder().header().u8(1).u8(2).u8(3);
    MemoryBuffer buffer(in);
    ipstream is(&buffer);
    uint8_t dst[4] = {9, 9, 9, 9};
    is.getRaw(dst, 4);
    EXPECT_EQ(is.state(), pstream::fail);
    EXPECT_EQ(dst[0], 9);
    // A failed stream stays failed: the three bytes are still there but nothing is read.
    EXPECT_EQ(is.get8(), 0);
    EXPECT_EQ(is.state(), pstream::fail);
}

TEST(ObjectStreamRead, StringLengthBeyondTheDataFailsWithoutAllocating) {
    for (uint32_t length : {6u, 0x7FFFFFFFu, 0xFFFFFFFEu}) {
        const Bytes in = ByteBuilder().header().u32(length).chars("abcde");
        MemoryBuffer buffer(in);
        ipstream is(&buffer);
        EXPECT_EQ(is.getText(), "");
        EXPECT_EQ(is.state(), pstream::fail) << length;
    }
}

TEST(ObjectStreamRead, PointerTags) {
    // A frame, a back-reference to it, index 0, an index beyond the table, null.
    const Bytes in =
        ByteBuilder().header().u8(2).begin("TPointList", 1).u32(0).end().u8(1).u32(1).u8(1).u32(0).u8(1).u32(99).u8(0);
    MemoryBuffer buffer(in);
    ipstream is(&buffer);
    std::shared_ptr<overlay::TPointList> a, b, zero, beyond, null;
    zero = std::make_shared<overlay::TPointList>();
    beyond = std::make_shared<overlay::TPointList>();
    null = std::make_shared<overlay::TPointList>();
    is.getPointer(a);
    is.getPointer(b);
    is.getPointer(zero);
    is.getPointer(beyond);
    is.getPointer(null);
    ASSERT_TRUE(is.isGood());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);             // the back-reference shares ownership
    EXPECT_EQ(a.use_count(), 3); // a, b and the stream's table
    EXPECT_EQ(zero, nullptr);
    EXPECT_EQ(beyond, nullptr);
    EXPECT_EQ(null, nullptr);
}

TEST(ObjectStreamRead, ObjectsOutliveTheStreamThroughTheirPointers) {
    const Bytes in = ByteBuilder().header().u8(2).begin("TPointList", 1).u32(1).i32(3).i32(4).end();
    std::shared_ptr<overlay::TPointList> p;
    {
        MemoryBuffer buffer(in);
        ipstream is(&buffer);
        is.getPointer(p);
    }
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p.use_count(), 1);
    EXPECT_EQ(p->points.at(0), (StreamPoint{3, 4}));
}

TEST(ObjectStreamRead, BackReferenceToAnObjectReadByReferenceIsNull) {
    // The caller's object is not the stream's to share; a reference to it must not dangle.
    const Bytes in = ByteBuilder().header().begin("TPointList", 1).u32(0).end().u8(1).u32(1);
    MemoryBuffer buffer(in);
    ipstream is(&buffer);
    std::shared_ptr<overlay::TPointList> ref = std::make_shared<overlay::TPointList>();
    {
        overlay::TPointList local;
        is.getObject(local);
    }
    is.getPointer(ref);
    EXPECT_TRUE(is.isGood());
    EXPECT_EQ(ref, nullptr);
}

TEST(ObjectStreamRead, PointerToAnotherClassReadsAsNullAndConsumesTheObject) {
    const Bytes in = ByteBuilder().header().u8(2).begin("TPointList", 1).u32(0).end().u32(0x55);
    MemoryBuffer buffer(in);
    ipstream is(&buffer);
    std::shared_ptr<TChainCode> chain;
    is.getPointer(chain);
    EXPECT_EQ(chain, nullptr);
    EXPECT_EQ(is.get32(), 0x55u);
    EXPECT_TRUE(is.isGood());
}

TEST(ObjectStreamRead, GetObjectRefusesAFrameOfAnotherClass) {
    const Bytes in = ByteBuilder().header().begin("TChainCode", 1).i32(1).i32(2).u32(0).end();
    MemoryBuffer buffer(in);
    ipstream is(&buffer);
    TCellBounds bounds(0xFF000007u);
    is.getObject(bounds);
    EXPECT_EQ(is.state(), pstream::fail);
    EXPECT_EQ(bounds.label, 0xFF000007u);
    EXPECT_EQ(is.readObjectCount(), 1u); // nothing entered into the table
}

TEST(ObjectStreamRead, GetObjectAcceptsADerivedClassOnlyForAnObjectOfThatClass) {
    overlay::TGCaptionPoint captioned;
    captioned.key = 42;
    const Bytes in = testing::writeObject(captioned);
    {
        MemoryBuffer buffer(in);
        ipstream is(&buffer);
        overlay::TGCaptionPoint target;
        overlay::TGPoint& asBase = target;
        is.getObject(asBase); // expected class TGPoint; the frame's class derives from it
        EXPECT_TRUE(is.isGood());
        EXPECT_EQ(target.key, 42u);
    }
    {
        MemoryBuffer buffer(in);
        ipstream is(&buffer);
        overlay::TGPoint plain;
        is.getObject(plain); // a plain point cannot take a captioned point's fields
        EXPECT_EQ(is.state(), pstream::fail);
    }
    {
        // The other way round: a frame of the base class into a derived object is refused too.
        const Bytes base = testing::writeObject(overlay::TGPoint{});
        MemoryBuffer buffer(base);
        ipstream is(&buffer);
        overlay::TGCaptionPoint derived;
        is.getObject(derived);
        EXPECT_EQ(is.state(), pstream::fail);
    }
}

TEST(ObjectStreamRead, WrongClosingMarkFailsButKeepsTheObject) {
    const Bytes in = ByteBuilder().header().u8(2).begin("TPointList", 1).u32(1).i32(8).i32(9).u8('>');
    MemoryBuffer buffer(in);
    ipstream is(&buffer);
    std::shared_ptr<overlay::TPointList> p;
    is.getPointer(p);
    EXPECT_EQ(is.state(), pstream::fail);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->points.size(), 1u);
}

TEST(ObjectStreamRead, BadFramesAndTags) {
    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case cases[] = {
        {"unknown pointer tag", ByteBuilder().header().u8(3)},
        {"missing [", ByteBuilder().header().u8(2).u8('(').str("TPointList").u32(1).u32(0).end()},
        {"empty class name", ByteBuilder().header().u8(2).u8('[').str("").u32(1).end()},
        {"null class name", ByteBuilder().header().u8(2).u8('[').nullStr().u32(1).end()},
        {"class name of 128 bytes", ByteBuilder().header().u8(2).u8('[').str(std::string(128, 'T'))},
        {"name cut short", ByteBuilder().header().u8(2).u8('[').u32(10).chars("TPoi")},
        {"truncated body", ByteBuilder().header().u8(2).begin("TPointList", 1).u32(2).i32(1)},
        {"no class version", ByteBuilder().header().u8(2).u8('[').str("TPointList")},
    };
    for (const Case& c : cases) {
        MemoryBuffer buffer(c.bytes);
        ipstream is(&buffer);
        std::shared_ptr<TStreamableBase> p;
        EXPECT_NO_THROW(is.readPointer(p)) << c.what;
        EXPECT_EQ(is.state(), pstream::fail) << c.what;
    }
}

struct LongNamed : TStreamableBase {
    class Streamer : public TNewStreamer {
    public:
        using TNewStreamer::TNewStreamer;
        const char* StreamableName() const override { return "LongNamed"; }
        void Read(ipstream&, uint32_t) override {}
        void Write(opstream&) const override {}
        uint32_t ClassVersion() const override { return 1; }
    };
};

TEST(ObjectStreamRead, ClassNameOf127BytesIsAccepted) {
    const std::string name(127, 'L');
    StreamClassRegistry::global().registerClass<LongNamed>(name.c_str());
    const Bytes written = testing::writeObject(LongNamed{});
    EXPECT_EQ(written, Bytes(ByteBuilder().header().begin(name, 1).end()));
    MemoryBuffer buffer(written);
    ipstream is(&buffer);
    LongNamed target;
    is.getObject(target);
    EXPECT_TRUE(is.isGood());
    StreamClassRegistry::global().unregisterClass(name);
}

TEST(ObjectStreamRead, NestingIsLimited) {
    // Lists holding lists, far deeper than any real document: refused, without exhausting the stack.
    ByteBuilder b;
    b.header().begin("TPGraphObjectList", 1);
    const int depth = 100000;
    for (int i = 0; i < depth; ++i)
        b.u32(1).u8(2).begin("TPGraphObjectList", 1);
    MemoryBuffer buffer(b.bytes());
    ipstream is(&buffer);
    overlay::TPGraphObjectList list;
    is.getObject(list);
    EXPECT_EQ(is.state(), pstream::fail);
}

TEST(ObjectStreamRead, HugeCountInATinyStreamFailsAtOnce) {
    // 12 bytes that claim four billion lists.
    const Bytes in = ByteBuilder().u8('[').str8("TSetOfCellIdList").u16(0xFFFF).u16(0xFFFF);
    const Bytes withHeader = ByteBuilder().header().begin("TSetOfCellIdList", 1).u32(0xFFFFFFFFu).end();
    for (const Bytes& bytes : {in, withHeader}) {
        MemoryBuffer buffer(bytes);
        ipstream is(&buffer);
        TSetOfCellIdList lists;
        is.getObject(lists);
        EXPECT_EQ(is.state(), pstream::fail);
        EXPECT_TRUE(lists.empty());
    }
}

struct SelfRegistered : TStreamableBase {
    int32_t value = 0;
    class Streamer : public TNewStreamer {
    public:
        using TNewStreamer::TNewStreamer;
        const char* StreamableName() const override { return "SelfRegistered"; }
        void Read(ipstream& is, uint32_t) override { static_cast<SelfRegistered*>(GetObject())->value = is.getInt32(); }
        void Write(opstream& os) const override { os.putInt32(static_cast<SelfRegistered*>(GetObject())->value); }
        uint32_t ClassVersion() const override { return 3; }
    };
};

TEST(ObjectStreamRead, ARegistrarRegistersForItsLifetime) {
    SelfRegistered object;
    object.value = -5;
    {
        StreamClassRegistrar<SelfRegistered> registrar("SelfRegistered");
        const Bytes b = testing::writeObject(object);
        EXPECT_EQ(b, Bytes(ByteBuilder().header().begin("SelfRegistered", 3).i32(-5).end()));
        SelfRegistered back;
        EXPECT_TRUE(readObjectFromBytes(b, back).ok());
        EXPECT_EQ(back.value, -5);
    }
    EXPECT_FALSE(StreamClassRegistry::global().contains("SelfRegistered"));
}

TEST(ObjectStreamRead, UnregisteredClassThrowsAndIsNotAStreamState) {
    const Bytes in = ByteBuilder().header().u8(2).begin("TNoSuchThing", 1).end();
    MemoryBuffer buffer(in);
    ipstream is(&buffer);
    std::shared_ptr<TStreamableBase> p;
    try {
        is.readPointer(p);
        FAIL() << "no exception";
    } catch (const TXBase& e) {
        EXPECT_STREQ(e.what(), "Attempt to stream unregistered type 'TNoSuchThing'");
    }
    EXPECT_EQ(is.state(), pstream::good);
}

TEST(ObjectStreamRead, GuardedReadTurnsEveryFailureIntoARefusal) {
    TSetOfChainCode kept{TChainCode(1, 2)};
    const Bytes unknown = ByteBuilder().header().begin("TSetOfChainCode", 1).u32(1).begin("TSomethingElse", 1).end();
    StreamReadResult r = readObjectFromBytes(unknown, kept);
    EXPECT_EQ(r.status, StreamReadStatus::UnregisteredType);
    EXPECT_EQ(r.message, "Attempt to stream unregistered type 'TSomethingElse'");
    ASSERT_EQ(kept.size(), 1u); // nothing lost
    EXPECT_EQ(kept[0].x, 1);

    const Bytes truncated = ByteBuilder().header().begin("TSetOfChainCode", 1).u32(2);
    r = readObjectFromBytes(truncated, kept);
    EXPECT_EQ(r.status, StreamReadStatus::Damaged);
    EXPECT_EQ(r.state, pstream::fail);
    EXPECT_EQ(kept.size(), 1u);

    r = readObjectFromBytes(Bytes{}, kept);
    EXPECT_EQ(r.status, StreamReadStatus::Empty);

    const Bytes good = ByteBuilder().header().begin("TSetOfChainCode", 1).u32(0).end();
    r = readObjectFromBytes(good, kept);
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(kept.empty());
}

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() / ("quadrel_stream_" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::filesystem::path m_dir;
};

TEST_F(FileStreamTest, WriteThenReadAFile) {
    const auto path = m_dir / "chains.bin";
    TSetOfChainCode chains{TChainCode(3, 4)};
    chains[0].steps = {0, 1, 2};
    {
        ofpstream os(path);
        ASSERT_TRUE(os.isGood());
        os.putObject(chains);
        EXPECT_TRUE(os.close());
    }
    std::ifstream raw(path, std::ios::binary);
    const Bytes onDisk((std::istreambuf_iterator<char>(raw)), std::istreambuf_iterator<char>());
    EXPECT_EQ(onDisk, testing::writeObject(chains));

    TSetOfChainCode back;
    EXPECT_TRUE(readObjectFromFile(path, back).ok());
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].steps, chains[0].steps);
}

TEST_F(FileStreamTest, OpenFailuresSetState4) {
    ifpstream missing(m_dir / "absent.bin");
    EXPECT_EQ(missing.state(), pstream::openFailed);
    EXPECT_EQ(missing.get32(), 0u);
    ifpstream directory(m_dir); // not a regular file: its length is unknown
    EXPECT_EQ(directory.state(), pstream::openFailed);
    ofpstream unwritable(m_dir / "no" / "such" / "folder.bin");
    EXPECT_EQ(unwritable.state(), pstream::openFailed);
    TSetOfChainCode chains;
    EXPECT_EQ(readObjectFromFile(m_dir / "absent.bin", chains).status, StreamReadStatus::CannotOpen);
}

TEST_F(FileStreamTest, AFileClaimingBillionsOfElementsFailsAtOnce) {
    const auto path = m_dir / "claims.bin";
    const Bytes claim = ByteBuilder().header().begin("TSetOfChainCode", 1).u32(0xFFFFFFFFu).end();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(claim.data()), claim.size());
    TSetOfChainCode chains;
    const StreamReadResult r = readObjectFromFile(path, chains);
    EXPECT_EQ(r.status, StreamReadStatus::Damaged);
    EXPECT_EQ(r.state, pstream::fail);
}

TEST_F(FileStreamTest, EmptyFileIsEmpty) {
    const auto path = m_dir / "empty.bin";
    std::ofstream(path).close();
    ifpstream is(path);
    EXPECT_EQ(is.state(), pstream::eof);
}

} // namespace
} // namespace quadrel
