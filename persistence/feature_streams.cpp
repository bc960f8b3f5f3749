// Persisted forms of the feature identifiers and lists, the cells' measurement records, and the class rules.
#include "core/cell_dictionary.h"
#include "core/features.h"
#include "dialogs/query_rules.h"
#include "persistence/object_stream.h"

#include <bit>
#include <unordered_set>

namespace quadrel {

namespace {

// The stored 64-bit sums: 8 bytes, little-endian.
int64_t getInt64(ipstream& is) {
    const uint64_t lo = is.get32();
    const uint64_t hi = is.get32();
    return static_cast<int64_t>(lo | (hi << 32));
}

void putInt64(opstream& os, int64_t v) {
    const auto u = static_cast<uint64_t>(v);
    os.put32(static_cast<uint32_t>(u));
    os.put32(static_cast<uint32_t>(u >> 32));
}

// Floats are stored as their 4 IEEE bytes, bit for bit.
float getFloat(ipstream& is) {
    return std::bit_cast<float>(is.get32());
}

void putFloat(opstream& os, float v) {
    os.put32(std::bit_cast<uint32_t>(v));
}

// The smallest size of one word in this stream, for checking counts.
uint64_t wordBytes(const ipstream& is) {
    return is.version() == 0 ? 2 : 4;
}

} // namespace

// ---- features ----

class TFeature::Streamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return "TFeature"; }
    uint32_t ClassVersion() const override { return 1; }
    void Read(ipstream& is, uint32_t) override {
        const int32_t id = is.getWordInt();
        if (is.isGood()) object().m_id = id;
    }
    void Write(opstream& os) const override { os.putInt32(object().m_id); }

private:
    TFeature& object() const { return *static_cast<TFeature*>(GetObject()); }
};

class TSetOfFeatures::Streamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return "TSetOfFeatures"; }
    uint32_t ClassVersion() const override { return 1; }

    void Read(ipstream& is, uint32_t) override {
        TSetOfFeatures& set = object();
        const uint32_t count = is.getWord();
        if (!is.checkCount(count, wordBytes(is))) return;
        std::vector<int32_t> read;
        read.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            const int32_t id = is.getWordInt();
            if (!is.isGood()) return;
            read.push_back(id);
        }
        // A set holds each identifier once: a repeated one keeps its first place. Hashing keeps a long
        // damaged list from taking quadratic time.
        std::unordered_set<int32_t> seen;
        for (const TFeature& f : set.m_features)
            seen.insert(f.id());
        for (int32_t id : read)
            if (seen.insert(id).second) set.m_features.emplace_back(id);
    }

    void Write(opstream& os) const override {
        const TSetOfFeatures& set = object();
        os.put32(static_cast<uint32_t>(set.m_features.size()));
        for (const TFeature& f : set.m_features)
            os.putInt32(f.id());
    }

private:
    TSetOfFeatures& object() const { return *static_cast<TSetOfFeatures*>(GetObject()); }
};

// ---- measurement records ----

class TFeretDiameter::Streamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return "TFeretDiameter"; }
    uint32_t ClassVersion() const override { return 1; }

    void Read(ipstream& is, uint32_t) override {
        TFeretDiameter& d = object();
        d.reserved = is.getWord();
        for (float& w : d.widths)
            w = getFloat(is);
        d.x1 = is.getInt32();
        d.y1 = is.getInt32();
        d.x2 = is.getInt32();
        d.y2 = is.getInt32();
    }

    void Write(opstream& os) const override {
        const TFeretDiameter& d = object();
        os.put32(d.reserved);
        for (float w : d.widths)
            putFloat(os, w);
        os.putInt32(d.x1);
        os.putInt32(d.y1);
        os.putInt32(d.x2);
        os.putInt32(d.y2);
    }

private:
    TFeretDiameter& object() const { return *static_cast<TFeretDiameter*>(GetObject()); }
};

class TCellBaseFeature::Streamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return "TCellBaseFeature"; }
    uint32_t ClassVersion() const override { return kVersion; }

    void Read(ipstream& is, uint32_t version) override {
        TCellBaseFeature& r = object();
        // What the pixel pass knew is gone; the features come from the stored fields.
        r.exact = TCellExactValues{};
        // Records of version 4 and before were laid out differently; they are not read at all.
        if (version < kVersion) return;
        r.label = is.get32();
        r.perimeter = is.get32();
        r.area = is.get32();
        r.density = is.get32();
        for (int64_t* sum : sums(r))
            *sum = getInt64(is);
        r.xMin = is.get32();
        r.yMin = is.get32();
        r.xMax = is.get32();
        r.yMax = is.get32();
        r.red = is.get32();
        r.green = is.get32();
        r.blue = is.get32();
        r.imageWidth = is.getInt32();
        r.imageHeight = is.getInt32();
        is.getObject(r.feret);
        uint8_t guid[16];
        is.getRaw(guid, sizeof guid);
        if (is.isGood()) r.guid = TGUID::fromBytes(guid);
    }

    void Write(opstream& os) const override {
        TCellBaseFeature& r = object();
        os.put32(r.label);
        os.put32(r.perimeter);
        os.put32(r.area);
        os.put32(r.density);
        for (const int64_t* sum : sums(r))
            putInt64(os, *sum);
        os.put32(r.xMin);
        os.put32(r.yMin);
        os.put32(r.xMax);
        os.put32(r.yMax);
        os.put32(r.red);
        os.put32(r.green);
        os.put32(r.blue);
        os.putInt32(r.imageWidth);
        os.putInt32(r.imageHeight);
        os.putObject(r.feret);
        const std::array<uint8_t, 16> guid = r.guid.bytes();
        os.putRaw(guid.data(), guid.size());
    }

private:
    static constexpr uint32_t kVersion = 5;

    // The 64-bit sums in their stored order.
    static std::array<int64_t*, 13> sums(TCellBaseFeature& r) {
        return {&r.sumYL, &r.sumXL,  &r.sumY,  &r.sumX,  &r.sumXY, &r.sumY2, &r.sumXY2,
                &r.sumX2, &r.sumX2Y, &r.sumY3, &r.sumX3, &r.sumY4, &r.sumX4};
    }
    TCellBaseFeature& object() const { return *static_cast<TCellBaseFeature*>(GetObject()); }
};

class TCellDictionary::Streamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return "TCellDictionary"; }
    uint32_t ClassVersion() const override { return 1; }

    void Read(ipstream& is, uint32_t) override {
        TCellDictionary& dict = object();
        const uint32_t count = is.getWord();
        if (!is.checkCount(count, is.minFramedObjectBytes())) return;
        // No reserve for the whole count: a record in memory is many times the smallest frame, so memory
        // grows only with the records that are really there.
        for (uint32_t i = 0; i < count; ++i) {
            TCellBaseFeature record;
            is.getObject(record);
            if (!is.isGood()) return;
            // A label names one cell; a damaged file that repeats one keeps the first record.
            if (!dict.find(record.label)) dict.add(std::move(record));
        }
    }

    void Write(opstream& os) const override {
        const TCellDictionary& dict = object();
        os.put32(static_cast<uint32_t>(dict.size()));
        for (const TCellBaseFeature& r : dict)
            os.putObject(r);
    }

private:
    TCellDictionary& object() const { return *static_cast<TCellDictionary*>(GetObject()); }
};

// ---- class rules ----

class TQueryCommand::Streamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return "TQueryCommand"; }
    uint32_t ClassVersion() const override { return 1; }

    void Read(ipstream& is, uint32_t) override {
        TQueryCommand& c = object();
        c.feature = TFeature(is.getWordInt());
        c.operation = is.getWordInt();
        c.value = is.getDouble();
        c.text = is.getText();
    }

    void Write(opstream& os) const override {
        const TQueryCommand& c = object();
        os.putInt32(c.feature.id());
        os.putInt32(c.operation);
        os.putDouble(c.value);
        os.putText(c.text);
    }

private:
    TQueryCommand& object() const { return *static_cast<TQueryCommand*>(GetObject()); }
};

class TQueryQueue::Streamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return "TQueryQueue"; }
    uint32_t ClassVersion() const override { return 1; }

    // Appends to the commands already there; loading a file reads into an empty queue.
    void Read(ipstream& is, uint32_t) override {
        TQueryQueue& q = object();
        const uint32_t count = is.getWord();
        if (!is.checkCount(count, is.minFramedObjectBytes())) return;
        for (uint32_t i = 0; i < count; ++i) {
            TQueryCommand command;
            is.getObject(command);
            if (!is.isGood()) return;
            q.append(command);
        }
    }

    void Write(opstream& os) const override {
        const TQueryQueue& q = object();
        os.put32(static_cast<uint32_t>(q.m_commands.size()));
        for (const TQueryCommand& c : q.m_commands)
            os.putObject(c);
    }

private:
    TQueryQueue& object() const { return *static_cast<TQueryQueue*>(GetObject()); }
};

void registerFeatureStreamClasses(StreamClassRegistry& registry) {
    registry.registerClass<TFeature>("TFeature");
    registry.registerClass<TSetOfFeatures>("TSetOfFeatures");
    registry.registerClass<TFeretDiameter>("TFeretDiameter");
    registry.registerClass<TCellBaseFeature>("TCellBaseFeature");
    registry.registerClass<TCellDictionary>("TCellDictionary");
    registry.registerClass<TQueryCommand>("TQueryCommand");
    registry.registerClass<TQueryQueue>("TQueryQueue");
}

} // namespace quadrel
