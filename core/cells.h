#pragma once

#include "persistence/streamable.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace quadrel {

// Labels are opaque ARGB colours: 0xFF000000 + the label number. Background is 0.
constexpr uint32_t kLabelBase = 0xFF000000u;
constexpr uint32_t kMaxLabelNumber = 0x00FFFFFFu;

// One cell: its label value and a second word that is 0 for every identifier the program makes.
// Identifiers compare by label only.
struct TCellId {
    uint32_t label = 0;
    uint32_t second = 0;

    TCellId() = default;
    explicit TCellId(uint32_t l, uint32_t s = 0) : label(l), second(s) {}
    friend bool operator==(const TCellId& a, const TCellId& b) { return a.label == b.label; }
    friend bool operator<(const TCellId& a, const TCellId& b) { return a.label < b.label; }
};

// A named list of cells without duplicates: a class, a selection, a rule result.
class TCellIdList : public TStreamableBase {
public:
    TCellIdList();
    explicit TCellIdList(std::string name);
    TCellIdList(const TCellIdList& other);
    TCellIdList& operator=(const TCellIdList& other);
    TCellIdList(TCellIdList&&) noexcept = default;
    TCellIdList& operator=(TCellIdList&&) noexcept = default;

    // Appends unless a cell with the same label is already present; returns whether it was added.
    bool add(const TCellId& id);
    bool add(uint32_t label) { return add(TCellId(label)); }
    bool contains(uint32_t label) const;
    bool remove(uint32_t label);
    void clear();

    const std::vector<TCellId>& ids() const { return m_ids; }
    size_t size() const { return m_ids.size(); }
    bool empty() const { return m_ids.empty(); }

    const std::string& name() const { return m_name; }
    void setName(std::string n) { m_name = std::move(n); }
    uint32_t creationTime() const { return m_time; }
    void setCreationTime(uint32_t t) { m_time = t; }
    uint32_t colour() const { return m_colour; }
    void setColour(uint32_t c) { m_colour = c; }
    bool shown() const { return m_shown; }
    void setShown(bool s) { m_shown = s; }

    // Reads and writes the persisted form (persistence/cell_streams.cpp).
    class Streamer;

private:
    void copyFrom(const TCellIdList& other);

    std::vector<TCellId> m_ids;
    std::vector<uint32_t> m_sorted; // labels in increasing order, for the duplicate test
    std::string m_name;
    uint32_t m_time = 0;
    uint32_t m_colour = 0x0000FF00u;
    bool m_shown = true;
};

// The lists of a document, held by value.
class TSetOfCellIdList : public std::vector<TCellIdList>, public TStreamableBase {
public:
    using std::vector<TCellIdList>::vector;
    class Streamer;
};

// One traced outline: the start point and one direction byte per step.
struct TChainCode : public TStreamableBase {
    int32_t x = 0;
    int32_t y = 0;
    std::vector<uint8_t> steps;

    TChainCode() = default;
    TChainCode(int32_t sx, int32_t sy) : x(sx), y(sy) {}
    class Streamer;
};

class TSetOfChainCode : public std::vector<TChainCode>, public TStreamableBase {
public:
    using std::vector<TChainCode>::vector;
    class Streamer;
};

// All outlines of one cell.
struct TCellBounds : public TStreamableBase {
    uint32_t label = 0;
    TSetOfChainCode chains;

    TCellBounds() = default;
    explicit TCellBounds(uint32_t l) : label(l) {}
    class Streamer;
};

class TSetOfCellBounds : public std::vector<TCellBounds>, public TStreamableBase {
public:
    using std::vector<TCellBounds>::vector;
    class Streamer;
};

// Steps of the eight chain directions; rows grow downward, so direction 2 is up.
constexpr int kChainDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kChainDy[8] = {0, -1, -1, -1, 0, 1, 1, 1};

// The points of a chain: its start followed by the point after each step.
template <typename Fn>
void forEachChainPoint(const TChainCode& c, Fn&& fn) {
    int32_t x = c.x, y = c.y;
    fn(x, y);
    for (uint8_t d : c.steps) {
        x += kChainDx[d & 7];
        y += kChainDy[d & 7];
        fn(x, y);
    }
}

} // namespace quadrel
