#include "core/cells.h"

#include <algorithm>

namespace quadrel {

TCellIdList::TCellIdList() : m_time(static_cast<uint32_t>(std::time(nullptr))) {}

TCellIdList::TCellIdList(std::string name) : m_name(std::move(name)), m_time(static_cast<uint32_t>(std::time(nullptr))) {}

TCellIdList::TCellIdList(const TCellIdList& other) { copyFrom(other); }

TCellIdList& TCellIdList::operator=(const TCellIdList& other) {
    if (this != &other) copyFrom(other);
    return *this;
}

void TCellIdList::copyFrom(const TCellIdList& other) {
    m_name = other.m_name;
    m_time = other.m_time;
    m_colour = other.m_colour;
    m_shown = other.m_shown;
    m_ids.clear();
    m_sorted.clear();
    for (const TCellId& id : other.m_ids) add(TCellId(id.label, id.second));
}

bool TCellIdList::contains(uint32_t label) const {
    return std::binary_search(m_sorted.begin(), m_sorted.end(), label);
}

bool TCellIdList::add(const TCellId& id) {
    // Lists are mostly built in label order: append without searching.
    if (m_sorted.empty() || m_sorted.back() < id.label) {
        m_sorted.push_back(id.label);
        m_ids.push_back(id);
        return true;
    }
    auto it = std::lower_bound(m_sorted.begin(), m_sorted.end(), id.label);
    if (it != m_sorted.end() && *it == id.label) return false;
    m_sorted.insert(it, id.label);
    m_ids.push_back(id);
    return true;
}

bool TCellIdList::remove(uint32_t label) {
    auto it = std::lower_bound(m_sorted.begin(), m_sorted.end(), label);
    if (it == m_sorted.end() || *it != label) return false;
    m_sorted.erase(it);
    m_ids.erase(std::find_if(m_ids.begin(), m_ids.end(), [&](const TCellId& c) { return c.label == label; }));
    return true;
}

void TCellIdList::clear() {
    m_ids.clear();
    m_sorted.clear();
}

} // namespace quadrel
