#include "core/cell_dictionary.h"
#include "core/features.h"
#include "dialogs/query_rules.h"
#include "persistence/object_stream.h"
#include "persistence/stream_reader.h"
#include "stream_bytes.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>

namespace quadrel {
namespace {

using testing::ByteBuilder;
using testing::Bytes;

TFeretDiameter sampleFeret() {
    TFeretDiameter d;
    d.widths = {1.5f, 2.25f, -0.0f, std::numeric_limits<float>::quiet_NaN()};
    d.x1 = -3;
    d.y1 = 4;
    d.x2 = 0x7FFFFFFF;
    d.y2 = -0x7FFFFFFF - 1;
    return d;
}

TCellBaseFeature sampleRecord(uint32_t label = 0xFF000123u) {
    TCellBaseFeature r(label);
    r.perimeter = 11;
    r.area = 12;
    r.density = 13;
    r.sumYL = -1;
    r.sumXL = 0x0102030405060708;
    r.sumY = 3;
    r.sumX = 4;
    r.sumXY = 5;
    r.sumY2 = 6;
    r.sumXY2 = 7;
    r.sumX2 = 8;
    r.sumX2Y = 9;
    r.sumY3 = 10;
    r.sumX3 = 11;
    r.sumY4 = 12;
    r.sumX4 = std::numeric_limits<int64_t>::min();
    r.xMin = 21;
    r.yMin = 22;
    r.xMax = 23;
    r.yMax = 24;
    r.red = 31;
    r.green = 32;
    r.blue = 33;
    r.imageWidth = 640;
    r.imageHeight = 480;
    r.feret = sampleFeret();
    return r;
}

ByteBuilder& feretBytes(ByteBuilder& b) {
    const TFeretDiameter d = sampleFeret();
    b.begin("TFeretDiameter", 1).u32(0);
    for (float w : d.widths)
        b.raw(&w, 4);
    return b.i32(d.x1).i32(d.y1).i32(d.x2).i32(d.y2).end();
}

// The record's body after its frame opening, in the stored order.
ByteBuilder& recordBody(ByteBuilder& b, const TCellBaseFeature& r) {
    b.u32(r.label).u32(r.perimeter).u32(r.area).u32(r.density);
    for (int64_t v : {r.sumYL, r.sumXL, r.sumY, r.sumX, r.sumXY, r.sumY2, r.sumXY2, r.sumX2, r.sumX2Y, r.sumY3, r.sumX3,
                      r.sumY4, r.sumX4}) {
        b.u32(uint32_t(uint64_t(v))).u32(uint32_t(uint64_t(v) >> 32));
    }
    b.u32(r.xMin).u32(r.yMin).u32(r.xMax).u32(r.yMax).u32(r.red).u32(r.green).u32(r.blue);
    b.i32(r.imageWidth).i32(r.imageHeight);
    feretBytes(b);
    const auto guid = r.guid.bytes();
    return b.raw(guid.data(), guid.size());
}

void expectSameRecord(const TCellBaseFeature& a, const TCellBaseFeature& b) {
    // Byte equality of the written forms covers every stored field, NaN widths included.
    EXPECT_EQ(testing::writeObject(a), testing::writeObject(b));
    EXPECT_EQ(a.guid, b.guid);
}

template <class T> T readBack(const Bytes& bytes, int* state = nullptr) {
    MemoryBuffer buffer(bytes);
    ipstream is(&buffer);
    T object;
    is.getObject(object);
    if (state) *state = is.state();
    return object;
}

TEST(FeatureStreams, FeatureListFileLayout) {
    const Bytes expected = ByteBuilder().header().begin("TSetOfFeatures", 1).u32(2).u32(2).u32(55).end();
    EXPECT_EQ(testing::writeObject(TSetOfFeatures{TFeature(2), TFeature(55)}), expected);
    EXPECT_EQ(testing::writeObject(TFeature(FeatureId::Elongation)),
              Bytes(ByteBuilder().header().begin("TFeature", 1).u32(55).end()));
}

TEST(FeatureStreams, RuleFileLayout) {
    TQueryQueue q;
    q.append(TQueryCommand(TFeature(2), 2, 5.0, "Area > 5"));
    const Bytes expected = ByteBuilder()
                               .header()
                               .begin("TQueryQueue", 1)
                               .u32(1)
                               .begin("TQueryCommand", 1)
                               .u32(2)
                               .u32(2)
                               .f64(5.0)
                               .str("Area > 5")
                               .end()
                               .end();
    EXPECT_EQ(testing::writeObject(q), expected);
    ASSERT_EQ(expected.size(), 1u + 4 + 1 + 15 + 4 + 4 + 1 + 17 + 4 + 4 + 4 + 8 + 12 + 1 + 1);
}

TEST(FeatureStreams, RecordLayoutFollowsTheStoredFieldOrder) {
    const TCellBaseFeature r = sampleRecord();
    ByteBuilder expected;
    expected.header().begin("TCellBaseFeature", 5);
    recordBody(expected, r).end();
    EXPECT_EQ(testing::writeObject(r), Bytes(expected));

    ByteBuilder dict;
    dict.header().begin("TCellDictionary", 1).u32(1).begin("TCellBaseFeature", 5);
    recordBody(dict, r).end().end();
    EXPECT_EQ(testing::writeObject(TCellDictionary({r})), Bytes(dict));
}

TEST(FeatureStreams, EveryClassRoundTrips) {
    const TCellBaseFeature record = sampleRecord();
    {
        const TFeature back = readBack<TFeature>(testing::writeObject(TFeature(-7)));
        EXPECT_EQ(back.id(), -7);
    }
    {
        const TSetOfFeatures set{TFeature(55), TFeature(2), TFeature(999)};
        const TSetOfFeatures back = readBack<TSetOfFeatures>(testing::writeObject(set));
        EXPECT_EQ(std::vector<TFeature>(back.begin(), back.end()), std::vector<TFeature>(set.begin(), set.end()));
    }
    {
        int state = -1;
        const TFeretDiameter back = readBack<TFeretDiameter>(testing::writeObject(sampleFeret()), &state);
        EXPECT_EQ(state, 0);
        EXPECT_EQ(testing::writeObject(back), testing::writeObject(sampleFeret()));
        EXPECT_TRUE(std::isnan(back.widths[3]));
        EXPECT_TRUE(std::signbit(back.widths[2]));
    }
    {
        const TCellBaseFeature back = readBack<TCellBaseFeature>(testing::writeObject(record));
        expectSameRecord(back, record);
    }
    {
        const TCellDictionary dict({sampleRecord(0xFF000001u), sampleRecord(0xFF000002u)});
        const TCellDictionary back = readBack<TCellDictionary>(testing::writeObject(dict));
        ASSERT_EQ(back.size(), 2u);
        expectSameRecord(back[0], dict[0]);
        expectSameRecord(back[1], dict[1]);
        ASSERT_NE(back.find(0xFF000002u), nullptr);
        EXPECT_EQ(back.find(0xFF000002u)->guid, dict[1].guid);
    }
    {
        TQueryQueue q;
        q.append(TQueryCommand::comparison(FeatureId::Area, QueryOperation::GreaterEqual, "12.50"));
        q.append(TQueryCommand::comparison(FeatureId::Perimeter, QueryOperation::NotEqual, "nan"));
        q.append(TQueryCommand::combination(QueryOperation::Or));
        q.append(TQueryCommand(TFeature(0), 42, -1.0, "")); // an unknown code is kept as stored
        const TQueryQueue back = readBack<TQueryQueue>(testing::writeObject(q));
        EXPECT_EQ(back, q);
        EXPECT_EQ(back.at(0).text, "Area >= 12.50");
    }
}

// The registry builds every class by its stored name and version, and what it builds writes what it reads.
TEST(FeatureStreams, RegisteredUnderTheirStoredNamesAndVersions) {
    const std::pair<const char*, uint32_t> table[] = {
        {"TFeature", 1},        {"TSetOfFeatures", 1}, {"TFeretDiameter", 1}, {"TCellBaseFeature", 5},
        {"TCellDictionary", 1}, {"TQueryCommand", 1},  {"TQueryQueue", 1},
    };
    for (const auto& [name, version] : table) {
        const StreamClassEntry& entry = StreamClassRegistry::global().lookup(name);
        auto original = entry.build(nullptr);
        ASSERT_NE(original, nullptr) << name;
        EXPECT_STREQ(original->StreamableName(), name);
        EXPECT_EQ(original->ClassVersion(), version) << name;
        EXPECT_EQ(&StreamClassRegistry::global().lookupObject(*original->GetObject()), &entry) << name;

        const Bytes first = testing::writeStream([&](opstream& os) { os.putPointer(original->GetObject()); });
        MemoryBuffer buffer(first);
        ipstream is(&buffer);
        std::shared_ptr<TStreamableBase> back;
        is.readPointer(back);
        ASSERT_TRUE(is.isGood()) << name;
        EXPECT_EQ(is.remaining(), 0u) << name;
        ASSERT_NE(back, nullptr) << name;
        EXPECT_EQ(first, testing::writeStream([&](opstream& os) { os.putPointer(back.get()); })) << name;
    }
}

TEST(FeatureStreams, ReadRecordsNeverClaimExactValues) {
    TCellBaseFeature stored = sampleRecord();
    const Bytes v5 = testing::writeObject(stored);
    ByteBuilder v4;
    v4.header().begin("TCellBaseFeature", 4).end();

    for (const Bytes& bytes : {v5, Bytes(v4)}) {
        MemoryBuffer buffer(bytes);
        ipstream is(&buffer);
        TCellBaseFeature r(0xFF000009u);
        r.exact.valid = true;
        r.exact.density = uint64_t{1} << 40;
        is.getObject(r);
        EXPECT_TRUE(is.isGood());
        EXPECT_FALSE(r.exact.valid);
        EXPECT_EQ(r.densitySum(), r.density);
    }
}

TEST(FeatureStreams, OldRecordVersionsReadNothingAndKeepTheInitialValues) {
    for (uint32_t version : {0u, 1u, 4u}) {
        ByteBuilder bytes;
        bytes.header().begin("TCellBaseFeature", version).end();
        MemoryBuffer buffer(bytes.bytes());
        ipstream is(&buffer);
        TCellBaseFeature r(0xFF000042u);
        r.area = 77;
        const TGUID guid = r.guid;
        is.getObject(r);
        EXPECT_TRUE(is.isGood()) << version;
        EXPECT_EQ(is.remaining(), 0u) << version;
        EXPECT_EQ(r.label, 0xFF000042u);
        EXPECT_EQ(r.area, 77u);
        EXPECT_EQ(r.guid, guid);
        EXPECT_EQ(r.xMin, 0xFFFFFFFFu);
    }
    // A dictionary of such records keeps them as created: label 0, everything else initial.
    ByteBuilder dict;
    dict.header().begin("TCellDictionary", 1).u32(1).begin("TCellBaseFeature", 3).end().end();
    int state = -1;
    const TCellDictionary d = readBack<TCellDictionary>(dict, &state);
    EXPECT_EQ(state, 0);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].label, 0u);
    EXPECT_EQ(d[0].imageWidth, 1);
}

TEST(FeatureStreams, RepeatedEntriesKeepTheirFirstPlace) {
    const Bytes set = ByteBuilder().header().begin("TSetOfFeatures", 1).u32(4).u32(55).u32(2).u32(55).u32(3).end();
    const TSetOfFeatures features = readBack<TSetOfFeatures>(set);
    EXPECT_EQ(std::vector<TFeature>(features.begin(), features.end()),
              (std::vector<TFeature>{TFeature(55), TFeature(2), TFeature(3)}));

    TCellBaseFeature first = sampleRecord(0xFF000005u);
    TCellBaseFeature again = sampleRecord(0xFF000005u);
    again.area = 999;
    ByteBuilder dict;
    dict.header().begin("TCellDictionary", 1).u32(2).begin("TCellBaseFeature", 5);
    recordBody(dict, first).end().begin("TCellBaseFeature", 5);
    recordBody(dict, again).end().end();
    int state = -1;
    const TCellDictionary d = readBack<TCellDictionary>(dict, &state);
    EXPECT_EQ(state, 0);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d.find(0xFF000005u)->area, first.area);
}

TEST(FeatureStreams, LegacyStreamsUseTwoByteWords) {
    // No header: words are 2 bytes, string lengths 1 byte, and frames carry no class version.
    const Bytes set = ByteBuilder().begin8("TSetOfFeatures").u16(2).u16(17).u16(2).end();
    int state = -1;
    const TSetOfFeatures features = readBack<TSetOfFeatures>(set, &state);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(std::vector<TFeature>(features.begin(), features.end()),
              (std::vector<TFeature>{TFeature(17), TFeature(2)}));

    const Bytes rule = ByteBuilder()
                           .begin8("TQueryQueue")
                           .u16(1)
                           .begin8("TQueryCommand")
                           .u16(2)
                           .u16(4)
                           .f64(3.5)
                           .str8("Area < 3.5")
                           .end()
                           .end();
    const TQueryQueue q = readBack<TQueryQueue>(rule, &state);
    EXPECT_EQ(state, 0);
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q.at(0), TQueryCommand(TFeature(2), 4, 3.5, "Area < 3.5"));
}

// Counts are checked against the data that is there before anything is allocated for them.
TEST(FeatureStreams, CountsBeyondTheDataFailTheStream) {
    const Bytes sets[] = {
        ByteBuilder().header().begin("TSetOfFeatures", 1).u32(0xFFFFFFFFu).u32(2).end(),
        ByteBuilder().header().begin("TSetOfFeatures", 1).u32(3).u32(2).u32(3).end(),
    };
    for (const Bytes& bytes : sets) {
        TSetOfFeatures set{TFeature(9)};
        EXPECT_EQ(readObjectFromBytes(std::span<const uint8_t>(bytes), set).status, StreamReadStatus::Damaged);
        EXPECT_EQ(set.size(), 1u);
    }
    const Bytes dict = ByteBuilder().header().begin("TCellDictionary", 1).u32(0x7FFFFFFFu).end();
    TCellDictionary d;
    EXPECT_EQ(readObjectFromBytes(std::span<const uint8_t>(dict), d).status, StreamReadStatus::Damaged);
    EXPECT_TRUE(d.empty());
    const Bytes rules[] = {
        ByteBuilder().header().begin("TQueryQueue", 1).u32(0xFFFFFFF0u).end(),
        ByteBuilder()
            .header()
            .begin("TQueryQueue", 1)
            .u32(1)
            .begin("TQueryCommand", 1)
            .u32(2)
            .u32(2)
            .f64(1)
            .u32(0x7FFFFFFF),
    };
    for (const Bytes& bytes : rules) {
        TQueryQueue q;
        EXPECT_EQ(readObjectFromBytes(std::span<const uint8_t>(bytes), q).status, StreamReadStatus::Damaged);
        EXPECT_TRUE(q.empty());
    }
}

// Every proper prefix of a valid stream is refused, and the object read into keeps what it held.
TEST(FeatureStreams, TruncatedStreamsAreRefusedAndChangeNothing) {
    TQueryQueue rule;
    rule.append(TQueryCommand::comparison(FeatureId::Area, QueryOperation::Greater, "5"));
    rule.append(TQueryCommand::comparison(FeatureId::FeretMax, QueryOperation::Less, "2"));
    rule.append(TQueryCommand::combination(QueryOperation::And));
    const Bytes ruleBytes = testing::writeObject(rule);
    const Bytes dictBytes = testing::writeObject(TCellDictionary({sampleRecord(1), sampleRecord(2)}));

    for (size_t n = 0; n < ruleBytes.size(); ++n) {
        TQueryQueue q;
        q.append(TQueryCommand::combination(QueryOperation::Or));
        const StreamReadResult r = readObjectFromBytes(std::span<const uint8_t>(ruleBytes.data(), n), q);
        EXPECT_FALSE(r.ok()) << n;
        ASSERT_EQ(q.size(), 1u) << n;
        EXPECT_EQ(q.at(0).text, "OR");
    }
    for (size_t n = 0; n < dictBytes.size(); ++n) {
        TCellDictionary d({sampleRecord(7)});
        const StreamReadResult r = readObjectFromBytes(std::span<const uint8_t>(dictBytes.data(), n), d);
        EXPECT_FALSE(r.ok()) << n;
        ASSERT_EQ(d.size(), 1u) << n;
        EXPECT_EQ(d[0].label, 7u);
    }
}

TEST(FeatureStreams, ForeignAndUnknownClassesAreRefused) {
    const Bytes features = testing::writeObject(TSetOfFeatures{TFeature(2)});
    TQueryQueue q;
    EXPECT_EQ(readObjectFromBytes(std::span<const uint8_t>(features), q).status, StreamReadStatus::Damaged);

    // A record where its Feret data belongs is a misplaced class.
    ByteBuilder wrongInner;
    wrongInner.header().begin("TCellBaseFeature", 5).u32(1).u32(2).u32(3).u32(4);
    for (int i = 0; i < 13; ++i)
        wrongInner.u32(0).u32(0);
    for (int i = 0; i < 9; ++i)
        wrongInner.u32(0);
    wrongInner.begin("TFeature", 1).u32(2).end();
    TCellBaseFeature record(0xFF000001u);
    EXPECT_EQ(readObjectFromBytes(std::span<const uint8_t>(wrongInner.bytes()), record).status,
              StreamReadStatus::Damaged);
    EXPECT_EQ(record.label, 0xFF000001u);

    const Bytes unknown = ByteBuilder().header().begin("TQueryQueueX", 1).u32(0).end();
    const StreamReadResult r = readObjectFromBytes(std::span<const uint8_t>(unknown), q);
    EXPECT_EQ(r.status, StreamReadStatus::UnregisteredType);
    EXPECT_EQ(r.message, "Attempt to stream unregistered type 'TQueryQueueX'");
}

// The fuzz seeds of these classes are whole, valid streams, so the fuzzer starts from inputs that are read.
TEST(FeatureStreams, FuzzSeedsAreAcceptedByTheirReaders) {
    const auto seed = [](const char* name) {
        std::ifstream in(std::string(QUADREL_TEST_DATA) + "/../fuzz/seeds/stream_reader/" + name, std::ios::binary);
        Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return b.empty() ? b : Bytes(b.begin() + 1, b.end()); // the first byte picks the reader
    };
    TQueryQueue rule;
    EXPECT_TRUE(rule.loadBytes(seed("rule.slt")).ok());
    EXPECT_EQ(rule.size(), 3u);
    TSetOfFeatures features;
    EXPECT_TRUE(readObjectFromBytes(std::span<const uint8_t>(seed("features.fts")), features).ok());
    EXPECT_EQ(features.size(), 2u);
    TCellDictionary cells;
    EXPECT_TRUE(readObjectFromBytes(std::span<const uint8_t>(seed("cell_dictionary")), cells).ok());
    EXPECT_EQ(cells.size(), 2u);
    TCellBaseFeature record;
    EXPECT_TRUE(readObjectFromBytes(std::span<const uint8_t>(seed("cell_record_v4")), record).ok());
}

} // namespace
} // namespace quadrel
