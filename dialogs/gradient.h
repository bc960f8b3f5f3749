#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace quadrel {

// A colour stop of a gradient. Every peg made takes the next id of a process-wide counter.
class CPeg {
public:
    CPeg();
    CPeg(uint32_t colour, float position);
    uint32_t colour = 0;
    float position = 0.0f;
    int32_t id = 0;
};

// Peg indices with a meaning of their own.
enum PegIndex : int {
    kPegNone = -1,
    kPegEnd = -2,
    kPegStart = -3,
    kPegBackground = -4,
};

enum InterpolationMethod : int {
    kInterpolateLinear = 0,
    kInterpolateFlatStart = 1,
    kInterpolateFlatMid = 2,
    kInterpolateFlatEnd = 3,
    kInterpolateCosine = 4,
    kInterpolateHue = 5,
    kInterpolateHueReverse = 6,
    kInterpolateHueShort = 7,
    kInterpolateHueLong = 8,
    kInterpolateReverse = 9,
};

// A colour ramp over positions 0 to 1: a start colour, an end colour and pegs in between, blended by one
// of ten interpolation methods, optionally in flat steps.
class CGradient {
public:
    CGradient();

    // Adds a peg (position clamped to 0..1) and returns the index it ends up at.
    int AddPeg(uint32_t colour, float position);
    // Sets a peg, or the start (-3), end (-2) or background (-4) colour; returns the peg's new index, or -1
    // for the three fixed ones. Throws std::invalid_argument for any other index.
    int SetPeg(int index, uint32_t colour, float position);
    const CPeg& GetPeg(int index) const;
    void RemovePeg(int index);
    void RemoveAllPegs() { m_pegs.clear(); }
    int GetPegCount() const { return static_cast<int>(m_pegs.size()); }
    // The index of the peg with this id, or -1.
    int IndexFromId(int32_t id) const;

    void SetStartPegColour(uint32_t c) { m_start.colour = c; }
    void SetEndPegColour(uint32_t c) { m_end.colour = c; }
    void SetBackgroundColour(uint32_t c) { m_background.colour = c; }
    uint32_t GetStartPegColour() const { return m_start.colour; }
    uint32_t GetEndPegColour() const { return m_end.colour; }
    uint32_t GetBackgroundColour() const { return m_background.colour; }
    void SetUseBackground(bool b) { m_useBackground = b; }
    bool GetUseBackground() const { return m_useBackground; }
    void SetQuantization(int q) { m_quantization = q; }
    int GetQuantization() const { return m_quantization; }
    // Throws std::invalid_argument for a method outside 0 to 9.
    void SetInterpolationMethod(int method);
    int GetInterpolationMethod() const { return m_method; }

    // The colour at a position: 0 outside 0..1, the background colour at 0 when it is used.
    uint32_t ColourFromPosition(float position) const;
    // `count` entries taken at k / count; entry 0 is the background colour when it is used.
    std::vector<uint32_t> MakeEntries(int count) const;
    // The same entries as blue, green, red byte triplets, for drawing.
    std::vector<uint8_t> MakeEntriesBGR(int count) const;

    static uint32_t Interpolate(int method, uint32_t a, uint32_t b, float t, float s, float e);

private:
    uint32_t colourAt(float position) const; // without the range and background tests
    void SortPegs();

    std::vector<CPeg> m_pegs;
    CPeg m_start, m_end, m_background;
    bool m_useBackground = false;
    int m_quantization = -1;
    int m_method = kInterpolateCosine;
};

} // namespace quadrel
