// Persisted forms of the cell lists and outlines.
#include "core/cells.h"
#include "persistence/object_stream.h"

#include <algorithm>

namespace quadrel {

namespace {

// Reads `count` framed objects of class T by value into `out`, stopping at the first failure so that a
// damaged stream never leaves empty elements behind.
template <class T, class Set> void readObjectsByValue(ipstream& is, Set& out) {
    const uint32_t count = is.getWord();
    if (!is.checkCount(count, is.minFramedObjectBytes())) return;
    out.reserve(out.size() + count);
    for (uint32_t i = 0; i < count; ++i) {
        T item;
        is.getObject(item);
        if (!is.isGood()) return;
        out.push_back(std::move(item));
    }
}

template <class Set> void writeObjectsByValue(opstream& os, const Set& set) {
    os.put32(static_cast<uint32_t>(set.size()));
    for (const auto& item : set)
        os.putObject(item);
}

} // namespace

class TCellIdList::Streamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return "TCellIdList"; }
    uint32_t ClassVersion() const override { return 1; }

    void Read(ipstream& is, uint32_t) override {
        TCellIdList& list = object();
        list.m_name = is.getText();
        list.m_time = is.get32();
        list.m_colour = is.get32();
        const uint32_t count = is.getWord();
        const uint64_t bytesEach = is.version() == 0 ? 4 : 8;
        if (!is.checkCount(count, bytesEach)) return;
        std::vector<TCellId> ids;
        ids.reserve(count);
        for (uint32_t i = 0; i < count && is.isGood(); ++i) {
            const uint32_t label = is.getWord();
            is.getWord(); // the second word is always rebuilt as 0
            if (is.isGood()) ids.emplace_back(label);
        }
        // Duplicates keep their first place. Sorting once keeps reading linear-logarithmic where adding one
        // by one could be quadratic for a list stored in falling label order.
        std::vector<uint32_t> sorted;
        sorted.reserve(ids.size());
        for (const TCellId& id : ids)
            sorted.push_back(id.label);
        std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        list.m_ids.clear();
        list.m_ids.reserve(sorted.size());
        if (sorted.size() == ids.size()) {
            list.m_ids = std::move(ids);
        } else {
            std::vector<bool> seen(sorted.size(), false);
            for (const TCellId& id : ids) {
                const size_t k = std::lower_bound(sorted.begin(), sorted.end(), id.label) - sorted.begin();
                if (seen[k]) continue;
                seen[k] = true;
                list.m_ids.push_back(id);
            }
        }
        list.m_sorted = std::move(sorted);
    }

    void Write(opstream& os) const override {
        const TCellIdList& list = object();
        os.putText(list.m_name);
        os.put32(list.m_time);
        os.put32(list.m_colour);
        os.put32(static_cast<uint32_t>(list.m_ids.size()));
        for (const TCellId& id : list.m_ids) {
            os.put32(id.label);
            os.put32(id.second);
        }
    }

private:
    TCellIdList& object() const { return *static_cast<TCellIdList*>(GetObject()); }
};

class TSetOfCellIdList::Streamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return "TSetOfCellIdList"; }
    uint32_t ClassVersion() const override { return 1; }
    void Read(ipstream& is, uint32_t) override { readObjectsByValue<TCellIdList>(is, object()); }
    void Write(opstream& os) const override { writeObjectsByValue(os, object()); }

private:
    TSetOfCellIdList& object() const { return *static_cast<TSetOfCellIdList*>(GetObject()); }
};

class TChainCode::Streamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return "TChainCode"; }
    uint32_t ClassVersion() const override { return 1; }

    void Read(ipstream& is, uint32_t) override {
        TChainCode& chain = object();
        chain.x = is.getInt32();
        chain.y = is.getInt32();
        const uint32_t count = is.getWord();
        if (!is.checkCount(count, 1)) return;
        std::vector<uint8_t> steps(count);
        is.getRaw(steps.data(), count);
        if (is.isGood()) chain.steps = std::move(steps);
    }

    void Write(opstream& os) const override {
        const TChainCode& chain = object();
        os.putInt32(chain.x);
        os.putInt32(chain.y);
        os.put32(static_cast<uint32_t>(chain.steps.size()));
        os.putRaw(chain.steps.data(), chain.steps.size());
    }

private:
    TChainCode& object() const { return *static_cast<TChainCode*>(GetObject()); }
};

class TSetOfChainCode::Streamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return "TSetOfChainCode"; }
    uint32_t ClassVersion() const override { return 1; }
    void Read(ipstream& is, uint32_t) override { readObjectsByValue<TChainCode>(is, object()); }
    void Write(opstream& os) const override { writeObjectsByValue(os, object()); }

private:
    TSetOfChainCode& object() const { return *static_cast<TSetOfChainCode*>(GetObject()); }
};

class TCellBounds::Streamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return "TCellBounds"; }
    uint32_t ClassVersion() const override { return 1; }

    void Read(ipstream& is, uint32_t) override {
        TCellBounds& bounds = object();
        bounds.label = is.getWord();
        TSetOfChainCode chains;
        is.getObject(chains);
        if (is.isGood()) bounds.chains = std::move(chains);
    }

    void Write(opstream& os) const override {
        const TCellBounds& bounds = object();
        os.put32(bounds.label);
        os.putObject(bounds.chains);
    }

private:
    TCellBounds& object() const { return *static_cast<TCellBounds*>(GetObject()); }
};

class TSetOfCellBounds::Streamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return "TSetOfCellBounds"; }
    uint32_t ClassVersion() const override { return 1; }
    void Read(ipstream& is, uint32_t) override { readObjectsByValue<TCellBounds>(is, object()); }
    void Write(opstream& os) const override { writeObjectsByValue(os, object()); }

private:
    TSetOfCellBounds& object() const { return *static_cast<TSetOfCellBounds*>(GetObject()); }
};

void registerCellStreamClasses(StreamClassRegistry& registry) {
    registry.registerClass<TCellIdList>("TCellIdList");
    registry.registerClass<TSetOfCellIdList>("TSetOfCellIdList");
    registry.registerClass<TChainCode>("TChainCode");
    registry.registerClass<TSetOfChainCode>("TSetOfChainCode");
    registry.registerClass<TCellBounds>("TCellBounds");
    registry.registerClass<TSetOfCellBounds>("TSetOfCellBounds");
}

} // namespace quadrel
