#pragma once

#include "core/features.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace quadrel {

// The measurement records of a document's cells, in label order, with a look-up by label.
class TCellDictionary : public TStreamableBase {
public:
    TCellDictionary() = default;
    explicit TCellDictionary(std::vector<TCellBaseFeature> records) : m_records(std::move(records)) { reindex(); }

    const std::vector<TCellBaseFeature>& records() const { return m_records; }
    size_t size() const { return m_records.size(); }
    bool empty() const { return m_records.empty(); }
    auto begin() const { return m_records.begin(); }
    auto end() const { return m_records.end(); }
    const TCellBaseFeature& operator[](size_t i) const { return m_records[i]; }

    // The record of a label, or null.
    const TCellBaseFeature* find(uint32_t label) const {
        auto it = m_index.find(label);
        return it == m_index.end() ? nullptr : &m_records[it->second];
    }
    void add(TCellBaseFeature record) {
        m_index[record.label] = m_records.size();
        m_records.push_back(std::move(record));
    }
    void clear() {
        m_records.clear();
        m_index.clear();
    }

    // The persisted form (persistence/feature_streams.cpp).
    class Streamer;

private:
    void reindex() {
        m_index.clear();
        for (size_t i = 0; i < m_records.size(); ++i) m_index.emplace(m_records[i].label, i);
    }
    std::vector<TCellBaseFeature> m_records;
    std::unordered_map<uint32_t, size_t> m_index;
};

} // namespace quadrel
