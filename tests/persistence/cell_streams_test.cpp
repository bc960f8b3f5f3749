#include "core/cells.h"
#include "persistence/object_stream.h"
#include "stream_bytes.h"

#include <gtest/gtest.h>

namespace quadrel {
namespace {

using testing::ByteBuilder;
using testing::Bytes;

template <class T> T readBack(const Bytes& bytes, int* state = nullptr) {
    MemoryBuffer buffer(bytes);
    ipstream is(&buffer);
    T object;
    is.getObject(object);
    if (state) *state = is.state();
    return object;
}

TCellIdList sampleList() {
    TCellIdList list("Class 1");
    list.setCreationTime(0x01020304);
    list.setColour(0x00112233);
    list.add(0xFF000003u);
    list.add(TCellId(0xFF000001u, 7));
    return list;
}

TEST(CellStreams, CellIdListLayout) {
    const Bytes expected = ByteBuilder()
                               .header()
                               .begin("TCellIdList", 1)
                               .str("Class 1")
                               .u32(0x01020304)
                               .u32(0x00112233)
                               .u32(2)
                               .u32(0xFF000003u)
                               .u32(0)
                               .u32(0xFF000001u)
                               .u32(7)
                               .end();
    EXPECT_EQ(testing::writeObject(sampleList()), expected);
}

TEST(CellStreams, CellIdListRoundTripRebuildsTheSecondWordAndDropsDuplicates) {
    const Bytes in = ByteBuilder()
                         .header()
                         .begin("TCellIdList", 1)
                         .str("c")
                         .u32(5)
                         .u32(0x000000FF)
                         .u32(4)
                         .u32(0xFF000009u)
                         .u32(3)
                         .u32(0xFF000002u)
                         .u32(0)
                         .u32(0xFF000009u) // a duplicate keeps only its first place
                         .u32(0)
                         .u32(0xFF000001u)
                         .u32(0)
                         .end();
    int state = -1;
    const TCellIdList list = readBack<TCellIdList>(in, &state);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(list.name(), "c");
    EXPECT_EQ(list.creationTime(), 5u);
    EXPECT_EQ(list.colour(), 0xFFu);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.ids()[0].label, 0xFF000009u);
    EXPECT_EQ(list.ids()[0].second, 0u);
    EXPECT_EQ(list.ids()[1].label, 0xFF000002u);
    EXPECT_EQ(list.ids()[2].label, 0xFF000001u);
    // The duplicate test still works on the list read.
    TCellIdList copy = list;
    EXPECT_FALSE(copy.add(0xFF000002u));
    EXPECT_TRUE(copy.contains(0xFF000001u));
}

TEST(CellStreams, LegacyCellIdList) {
    // No header: 2-byte words, 1-byte string length, no class version.
    const Bytes in = ByteBuilder()
                         .begin8("TCellIdList")
                         .str8("old")
                         .u32(77)
                         .u32(0x00FF0000)
                         .u16(2)
                         .u16(0x0005)
                         .u16(0x0001)
                         .u16(0x0006)
                         .u16(0)
                         .end();
    int state = -1;
    const TCellIdList list = readBack<TCellIdList>(in, &state);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(list.name(), "old");
    EXPECT_EQ(list.creationTime(), 77u);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.ids()[0].label, 5u);
    EXPECT_EQ(list.ids()[1].label, 6u);
}

TEST(CellStreams, SetsRoundTrip) {
    TSetOfCellIdList lists;
    lists.push_back(sampleList());
    lists.push_back(TCellIdList("empty"));
    const TSetOfCellIdList listsBack = readBack<TSetOfCellIdList>(testing::writeObject(lists));
    ASSERT_EQ(listsBack.size(), 2u);
    EXPECT_EQ(listsBack[0].ids().size(), 2u);
    EXPECT_EQ(listsBack[1].name(), "empty");

    TSetOfCellBounds cells;
    cells.emplace_back(0xFF000001u);
    cells.back().chains.emplace_back(4, 5);
    cells.back().chains.back().steps = {0, 2, 4, 6, 7};
    cells.back().chains.emplace_back(-1, 0);
    cells.emplace_back(0xFF000002u);
    const Bytes written = testing::writeObject(cells);
    int state = -1;
    const TSetOfCellBounds back = readBack<TSetOfCellBounds>(written, &state);
    EXPECT_EQ(state, 0);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].label, 0xFF000001u);
    ASSERT_EQ(back[0].chains.size(), 2u);
    EXPECT_EQ(back[0].chains[0].x, 4);
    EXPECT_EQ(back[0].chains[0].steps, (std::vector<uint8_t>{0, 2, 4, 6, 7}));
    EXPECT_EQ(back[0].chains[1].x, -1);
    EXPECT_TRUE(back[1].chains.empty());
    EXPECT_EQ(testing::writeObject(back), written);
}

TEST(CellStreams, ChainCodeLayout) {
    TChainCode chain(-2, 3);
    chain.steps = {1, 7};
    const Bytes expected = ByteBuilder().header().begin("TChainCode", 1).i32(-2).i32(3).u32(2).u8(1).u8(7).end();
    EXPECT_EQ(testing::writeObject(chain), expected);
    const Bytes bounds = ByteBuilder()
                             .header()
                             .begin("TCellBounds", 1)
                             .u32(0xFF000004u)
                             .begin("TSetOfChainCode", 1)
                             .u32(1)
                             .append(testing::body(expected))
                             .end()
                             .end();
    TCellBounds b(0xFF000004u);
    b.chains.push_back(chain);
    EXPECT_EQ(testing::writeObject(b), bounds);
}

TEST(CellStreams, DamageStopsTheCountLoopWithoutEmptyElements) {
    // Three chains announced, the second one cut short.
    const Bytes one = testing::body(testing::writeObject(TChainCode(1, 1)));
    const Bytes in = ByteBuilder()
                         .header()
                         .begin("TSetOfChainCode", 1)
                         .u32(3)
                         .append(one)
                         .begin("TChainCode", 1)
                         .i32(9)
                         .i32(9)
                         .u32(5)
                         .u8(0);
    int state = -1;
    const TSetOfChainCode chains = readBack<TSetOfChainCode>(in, &state);
    EXPECT_EQ(state, pstream::fail);
    ASSERT_EQ(chains.size(), 1u);
    EXPECT_EQ(chains[0].x, 1);
}

TEST(CellStreams, CountsBeyondTheDataFailBeforeAllocating) {
    const Bytes idList = ByteBuilder().header().begin("TCellIdList", 1).str("").u32(0).u32(0).u32(0x20000000u);
    const Bytes steps = ByteBuilder().header().begin("TChainCode", 1).i32(0).i32(0).u32(0xFFFFFFF0u).u8(1);
    const Bytes bounds = ByteBuilder().header().begin("TSetOfCellBounds", 1).u32(1000);
    int state = -1;
    EXPECT_TRUE(readBack<TCellIdList>(idList, &state).empty());
    EXPECT_EQ(state, pstream::fail);
    EXPECT_TRUE(readBack<TChainCode>(steps, &state).steps.empty());
    EXPECT_EQ(state, pstream::fail);
    EXPECT_TRUE(readBack<TSetOfCellBounds>(bounds, &state).empty());
    EXPECT_EQ(state, pstream::fail);
}

TEST(CellStreams, WrongClassInsideASetIsRefused) {
    const Bytes in = ByteBuilder()
                         .header()
                         .begin("TSetOfCellBounds", 1)
                         .u32(1)
                         .append(testing::body(testing::writeObject(TChainCode(1, 2))))
                         .end();
    int state = -1;
    EXPECT_TRUE(readBack<TSetOfCellBounds>(in, &state).empty());
    EXPECT_EQ(state, pstream::fail);
}

} // namespace
} // namespace quadrel
