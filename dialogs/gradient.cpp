#include "dialogs/gradient.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>

namespace quadrel {

namespace {

std::atomic<int32_t> g_nextPegId{0};

uint32_t channel(uint32_t c, int shift) {
    return (c >> shift) & 0xFFu;
}

// Channel by channel, truncated; equal channels stay exactly as they are.
template <typename Fn> uint32_t blend(uint32_t a, uint32_t b, Fn&& mix) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t ca = channel(a, shift), cb = channel(b, shift);
        const uint32_t v = ca == cb ? ca : static_cast<uint32_t>(std::clamp(mix(double(ca), double(cb)), 0.0, 255.0));
        out |= v << shift;
    }
    return out;
}

struct Hsl {
    double h, s, l;
};

Hsl toHsl(uint32_t c) {
    const double r = channel(c, 16) / 255.0, g = channel(c, 8) / 255.0, b = channel(c, 0) / 255.0;
    const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
    Hsl o{0.0, 0.0, (mx + mn) / 2.0};
    if (mx == mn) return o;
    const double d = mx - mn;
    o.s = o.l > 0.5 ? d / (2.0 - mx - mn) : d / (mx + mn);
    if (mx == r)
        o.h = (g - b) / d + (g < b ? 6.0 : 0.0);
    else if (mx == g)
        o.h = (b - r) / d + 2.0;
    else
        o.h = (r - g) / d + 4.0;
    o.h /= 6.0;
    return o;
}

double hueToRgb(double p, double q, double t) {
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6) return p + (q - p) * 6 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
}

uint32_t fromHsl(const Hsl& c, uint32_t alpha) {
    double r, g, b;
    if (c.s == 0) {
        r = g = b = c.l;
    } else {
        const double q = c.l < 0.5 ? c.l * (1 + c.s) : c.l + c.s - c.l * c.s;
        const double p = 2 * c.l - q;
        r = hueToRgb(p, q, c.h + 1.0 / 3);
        g = hueToRgb(p, q, c.h);
        b = hueToRgb(p, q, c.h - 1.0 / 3);
    }
    auto byte = [](double v) { return static_cast<uint32_t>(std::clamp(v * 255.0, 0.0, 255.0)); };
    return alpha << 24 | byte(r) << 16 | byte(g) << 8 | byte(b);
}

uint32_t hueBlend(int method, uint32_t a, uint32_t b, double t, double s, double e) {
    const double span = e - s;
    if (span == 0) return a;
    const double wa = e - t, wb = t - s;
    const Hsl ha = toHsl(a), hb = toHsl(b);
    const double fa = ha.h - std::floor(ha.h), fb = hb.h - std::floor(hb.h);
    double target;
    switch (method) {
    case kInterpolateHue:
        target = fa <= fb ? fb : fb + 1;
        break;
    case kInterpolateHueReverse:
        target = fa >= fb ? fb : fb + 1;
        break;
    default: {
        // The shorter way round the circle; the longer way is the same target one turn the other way.
        target = fb;
        for (double c : {fb + 1, fb - 1})
            if (std::abs(c - fa) < std::abs(target - fa)) target = c;
        if (method == kInterpolateHueLong && target != fa) target += target > fa ? -1.0 : 1.0;
        break;
    }
    }
    Hsl o;
    o.h = (wa * fa + wb * target) / span;
    o.h -= std::floor(o.h);
    o.s = (wa * ha.s + wb * hb.s) / span;
    o.l = (wa * ha.l + wb * hb.l) / span;
    const auto alpha = static_cast<uint32_t>((wa * channel(a, 24) + wb * channel(b, 24)) / span);
    return fromHsl(o, std::min<uint32_t>(alpha, 255));
}

} // namespace

CPeg::CPeg() : id(g_nextPegId++) {}
CPeg::CPeg(uint32_t c, float p) : colour(c), position(p), id(g_nextPegId++) {}

CGradient::CGradient() : m_start(0xFF000000u, 0.0f), m_end(0xFFFFFFFFu, 1.0f), m_background(0xFF000000u, 0.0f) {}

void CGradient::SortPegs() {
    std::stable_sort(m_pegs.begin(), m_pegs.end(),
                     [](const CPeg& a, const CPeg& b) { return a.position < b.position; });
}

int CGradient::IndexFromId(int32_t id) const {
    for (size_t i = 0; i < m_pegs.size(); ++i)
        if (m_pegs[i].id == id) return static_cast<int>(i);
    return -1;
}

int CGradient::AddPeg(uint32_t colour, float position) {
    CPeg peg(colour, std::clamp(position, 0.0f, 1.0f));
    const int32_t id = peg.id;
    m_pegs.push_back(peg);
    SortPegs();
    return IndexFromId(id);
}

int CGradient::SetPeg(int index, uint32_t colour, float position) {
    switch (index) {
    case kPegStart:
        m_start.colour = colour;
        return -1;
    case kPegEnd:
        m_end.colour = colour;
        return -1;
    case kPegBackground:
        m_background.colour = colour;
        return -1;
    default:
        break;
    }
    if (index < 0 || index >= GetPegCount()) throw std::invalid_argument("no peg at this index");
    CPeg& p = m_pegs[static_cast<size_t>(index)];
    p.colour = colour;
    p.position = std::clamp(position, 0.0f, 1.0f);
    const int32_t id = p.id;
    SortPegs();
    return IndexFromId(id);
}

const CPeg& CGradient::GetPeg(int index) const {
    if (index == kPegStart) return m_start;
    if (index == kPegEnd) return m_end;
    if (index < 0) return m_background;
    if (index >= GetPegCount()) throw std::invalid_argument("no peg at this index");
    return m_pegs[static_cast<size_t>(index)];
}

void CGradient::RemovePeg(int index) {
    if (index < 0 || index >= GetPegCount()) throw std::invalid_argument("no peg at this index");
    m_pegs.erase(m_pegs.begin() + index);
}

void CGradient::SetInterpolationMethod(int method) {
    if (method < 0 || method > 9) throw std::invalid_argument("no such interpolation method");
    m_method = method;
}

uint32_t CGradient::Interpolate(int method, uint32_t a, uint32_t b, float tf, float sf, float ef) {
    const double t = tf, s = sf, e = ef;
    switch (method) {
    case kInterpolateLinear:
        if (s == e || t == s) return a;
        if (t == e) return b;
        return blend(a, b, [&](double ca, double cb) { return (ca * (e - t) + cb * (t - s)) / (e - s); });
    case kInterpolateFlatStart:
        return a;
    case kInterpolateFlatMid:
        return blend(a, b, [](double ca, double cb) { return std::floor((ca + cb) / 2); });
    case kInterpolateFlatEnd:
        return b;
    case kInterpolateCosine: {
        if (s == e) return a;
        const double w = (1 - std::cos(std::numbers::pi * (t - s) / (e - s))) / 2;
        return blend(a, b, [&](double ca, double cb) { return ca * (1 - w) + cb * w; });
    }
    case kInterpolateHue:
    case kInterpolateHueReverse:
    case kInterpolateHueShort:
    case kInterpolateHueLong:
        return hueBlend(method, a, b, t, s, e);
    case kInterpolateReverse:
        if (s == e || t == e) return a;
        if (t == s) return b;
        return blend(a, b, [&](double ca, double cb) { return (ca * (t - s) + cb * (e - t)) / (e - s); });
    default:
        return a;
    }
}

uint32_t CGradient::colourAt(float p) const {
    if (m_quantization != -1 && m_quantization != 0) {
        const float q = static_cast<float>(m_quantization);
        p = static_cast<float>(static_cast<int>(q * p)) / q + 0.5f / q;
    }
    if (m_pegs.empty()) return Interpolate(m_method, m_start.colour, m_end.colour, p, 0.0f, 1.0f);
    if (p <= m_pegs.front().position)
        return Interpolate(m_method, m_start.colour, m_pegs.front().colour, p, 0.0f, m_pegs.front().position);
    if (p > m_pegs.back().position)
        return Interpolate(m_method, m_pegs.back().colour, m_end.colour, p, m_pegs.back().position, 1.0f);
    for (size_t i = 0; i + 1 < m_pegs.size(); ++i)
        if (m_pegs[i].position <= p && p <= m_pegs[i + 1].position)
            return Interpolate(m_method, m_pegs[i].colour, m_pegs[i + 1].colour, p, m_pegs[i].position,
                               m_pegs[i + 1].position);
    return m_end.colour;
}

uint32_t CGradient::ColourFromPosition(float p) const {
    if (p < 0.0f || p > 1.0f) return 0;
    if (p == 0.0f && m_useBackground) return m_background.colour;
    return colourAt(p);
}

std::vector<uint32_t> CGradient::MakeEntries(int count) const {
    std::vector<uint32_t> out(static_cast<size_t>(std::max(count, 0)));
    for (int k = 0; k < count; ++k)
        out[static_cast<size_t>(k)] = colourAt(static_cast<float>(k) / static_cast<float>(count));
    if (m_useBackground && count > 0) out[0] = m_background.colour;
    return out;
}

std::vector<uint8_t> CGradient::MakeEntriesBGR(int count) const {
    const std::vector<uint32_t> argb = MakeEntries(count);
    std::vector<uint8_t> out;
    out.reserve(argb.size() * 3);
    for (uint32_t c : argb) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c >> 16));
    }
    return out;
}

} // namespace quadrel
