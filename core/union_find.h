#pragma once

#include <cstdint>
#include <vector>

namespace quadrel {

// Union-find over provisional label numbers 1, 2, 3, ... The root of a set is always its smallest
// member, which is what the raster scan's equivalence store ends with as well.
class Equivalences {
public:
    Equivalences() { m_parent.push_back(0); }
    uint32_t add() {
        const auto n = static_cast<uint32_t>(m_parent.size());
        m_parent.push_back(n);
        return n;
    }
    uint32_t count() const { return static_cast<uint32_t>(m_parent.size() - 1); }
    uint32_t find(uint32_t a) {
        while (m_parent[a] != a) {
            m_parent[a] = m_parent[m_parent[a]];
            a = m_parent[a];
        }
        return a;
    }
    bool unite(uint32_t a, uint32_t b) {
        a = find(a);
        b = find(b);
        if (a == b) return false;
        if (a < b)
            m_parent[b] = a;
        else
            m_parent[a] = b;
        return true;
    }
    // After this, the entry of n is the representative of n. Parents never exceed their children, so one
    // forward sweep settles every chain.
    const std::vector<uint32_t>& flatten() {
        for (size_t i = 1; i < m_parent.size(); ++i) m_parent[i] = m_parent[m_parent[i]];
        return m_parent;
    }

private:
    std::vector<uint32_t> m_parent;
};

// The first non-zero of the already visited neighbours NE, N, NW, W: the label a pixel takes in the scan.
inline uint32_t firstLabelled(const uint32_t (&nb)[4]) {
    for (uint32_t v : nb)
        if (v != 0) return v;
    return 0;
}

} // namespace quadrel
