#include "core/threshold.h"

#include "core/cleaning.h"

#include <algorithm>

namespace quadrel {

const char* channelName(int channel) {
    static const char* const names[] = {"Red", "Green", "Blue", "Grayscale(Y)", "Hue", "Luminance", "Saturation"};
    return channel >= 0 && channel < 7 ? names[channel] : "";
}

const char* operationName(int operation) {
    static const char* const names[] = {"NOP", "SET", "Intersection", "Union", "XOR", "Difference", "Complement"};
    return operation >= 0 && operation < 7 ? names[operation] : "";
}

namespace {

template <int Op>
void combineRows(Bitmap& mask, const Bitmap& source, const uint32_t* table, size_t tableSize, uint32_t fill) {
    for (int y = 0; y < source.height(); ++y) {
        const uint8_t* in = source.row(y);
        uint32_t* out = mask.row32(y);
        for (int x = 0; x < source.width(); ++x) {
            const uint32_t a = in[x] < tableSize ? table[in[x]] : 0;
            out[x] = combinePixel(Op, a, out[x], fill);
        }
    }
}

// Combines an 8-bit source through a colour table into the mask; one table look-up per pixel, with the
// operation chosen once per image.
bool combineInto(Bitmap& mask, const Bitmap& source, const uint32_t* table, size_t tableSize, int op,
                 uint32_t fill) {
    if (mask.pixelFormat() != PixelFormat::Argb32 || source.pixelFormat() != PixelFormat::Indexed8) return false;
    if (mask.width() != source.width() || mask.height() != source.height()) return false;
    switch (op) {
    case kOpSet: combineRows<kOpSet>(mask, source, table, tableSize, fill); break;
    case kOpIntersection: combineRows<kOpIntersection>(mask, source, table, tableSize, fill); break;
    case kOpUnion: combineRows<kOpUnion>(mask, source, table, tableSize, fill); break;
    case kOpXor: combineRows<kOpXor>(mask, source, table, tableSize, fill); break;
    case kOpDifference: combineRows<kOpDifference>(mask, source, table, tableSize, fill); break;
    case kOpComplement: combineRows<kOpComplement>(mask, source, table, tableSize, fill); break;
    default: break; // NOP and unknown codes leave the mask unchanged
    }
    return true;
}

int levelOf(int levels, float position) {
    const int v = static_cast<int>(static_cast<float>(levels) * position);
    return std::clamp(v, 0, std::max(0, levels - 1));
}

} // namespace

BitmapPtr hysteresisImageOf(const Bitmap& source, int weakLo, int weakHi, int strongLo, int strongHi, uint32_t fill) {
    const int w = source.width(), h = source.height();
    BitmapPtr strong = Bitmap::create(w, h, PixelFormat::Indexed8);
    BitmapPtr weak = Bitmap::create(w, h, PixelFormat::Indexed8);
    if (!strong || !weak || source.pixelFormat() != PixelFormat::Indexed8) return nullptr;
    Palette table{};
    table[1] = fill;
    strong->setPalette(table, 256, 1 /* has alpha */);
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = source.row(y);
        uint8_t* s = strong->row(y);
        uint8_t* k = weak->row(y);
        for (int x = 0; x < w; ++x) {
            const int v = in[x];
            k[x] = v >= weakLo && v <= weakHi;
            s[x] = v >= strongLo && v <= strongHi;
        }
    }
    reconstruct(strong->row(0), strong->stride(), weak->row(0), weak->stride(), w, h, 1);
    return strong;
}

void CThreshold::setColour(uint32_t argb) {
    m_colour = argb;
    if (hysteresisImage) hysteresisImage->setPaletteEntry(1, argb);
}

void CThreshold::buildLookupTable() {
    lookupTable.assign(static_cast<size_t>(std::max(levels, 0)), 0u);
    if (levels <= 0) return;
    const int lo = std::max(std::min(minimum, levels - 1), 0);
    const int hi = std::max(std::min(maximum, levels - 1), 0);
    for (int v = lo; v <= hi; ++v) lookupTable[static_cast<size_t>(v)] = m_colour;
}

bool CThreshold::apply(Bitmap& mask) {
    if (!source) return false;
    if (withHysteresis) {
        auto clampLevel = [&](int v) { return std::clamp(v, 0, std::max(0, levels - 1)); };
        hysteresisImage = hysteresisImageOf(*source, clampLevel(hysteresisMinimum), clampLevel(hysteresisMaximum),
                                            clampLevel(minimum), clampLevel(maximum), m_colour);
        if (!hysteresisImage) return false;
        return combineInto(mask, *hysteresisImage, hysteresisImage->palette().data(), 256, operation, m_colour);
    }
    if (static_cast<int>(lookupTable.size()) != levels) buildLookupTable();
    return combineInto(mask, *source, lookupTable.data(), lookupTable.size(), operation, m_colour);
}

CThresholdObject::CThresholdObject(float lower, float upper)
    : minimum(lower), maximum(upper) {
    markers = std::make_shared<CMarkerVector>();
    markers->markers.push_back(std::make_shared<CMarker>(CMarker{lower, m_colour}));
    markers->markers.push_back(std::make_shared<CMarker>(CMarker{upper, m_colour}));
}

void CThresholdObject::setColour(uint32_t rgb) {
    m_colour = (m_colour & 0xFF000000u) | (rgb & 0x00FFFFFFu);
    for (auto& m : markers->markers) m->colour = (m->colour & 0xFF000000u) | (rgb & 0x00FFFFFFu);
    if (hysteresisImage) hysteresisImage->setPaletteEntry(1, m_colour);
    buildLookupTable();
}

void CThresholdObject::setHysteresis(bool on) {
    CMarkerVector& mv = *markers;
    if (on) {
        if (mv.withHysteresis) return;
        mv.withHysteresis = true;
        mv.markers.insert(mv.markers.begin(), std::make_shared<CMarker>(CMarker{0.0f, m_colour}));
        mv.markers.push_back(std::make_shared<CMarker>(CMarker{1.0f, m_colour}));
        mv.markers[3]->position = std::min(1.0f, mv.markers[2]->position + 0.05f);
        mv.markers[0]->position = std::max(0.0f, mv.markers[1]->position - 0.05f);
        return;
    }
    mv.withHysteresis = false;
    mv.selected.reset();
    if (mv.markers.size() >= 4) mv.markers.erase(mv.markers.begin() + 3);
    if (mv.markers.size() >= 3) mv.markers.erase(mv.markers.begin());
    hysteresisImage.reset();
    buildLookupTable();
}

void CThresholdObject::setRange(float lower, float upper) {
    CMarkerVector& mv = *markers;
    if (mv.withHysteresis && mv.markers.size() >= 4) {
        mv.markers[0]->position = mv.markers[1]->position = lower;
        mv.markers[2]->position = mv.markers[3]->position = upper;
    } else if (mv.markers.size() >= 2) {
        mv.markers[0]->position = lower;
        mv.markers[1]->position = upper;
    }
    buildLookupTable();
}

void CThresholdObject::buildLookupTable() {
    if (markers->withHysteresis) return;
    lookupTable.assign(static_cast<size_t>(std::max(levels, 0)), 0u);
    if (levels <= 0 || markers->markers.size() < 2) return;
    const int lo = levelOf(levels, markers->markers[0]->position);
    const int hi = levelOf(levels, markers->markers[1]->position);
    const uint32_t c = markers->markers[0]->colour;
    for (int v = lo; v <= hi; ++v) lookupTable[static_cast<size_t>(v)] = c;
}

bool CThresholdObject::applyHysteresis(Bitmap& mask) {
    const CMarkerVector& mv = *markers;
    if (mv.markers.size() < 4) return false;
    hysteresisImage = hysteresisImageOf(*source, levelOf(levels, mv.markers[0]->position),
                                        levelOf(levels, mv.markers[3]->position),
                                        levelOf(levels, mv.markers[1]->position),
                                        levelOf(levels, mv.markers[2]->position), m_colour);
    if (!hysteresisImage) return false;
    return combineInto(mask, *hysteresisImage, hysteresisImage->palette().data(), 256, operation, m_colour);
}

bool CThresholdObject::apply(Bitmap& mask) {
    if (!source) return false;
    if (markers->withHysteresis) return applyHysteresis(mask);
    if (static_cast<int>(lookupTable.size()) != levels) buildLookupTable();
    return combineInto(mask, *source, lookupTable.data(), lookupTable.size(), operation, m_colour);
}

void CThresholdObjects::apply(Bitmap& mask) const {
    for (const auto& t : items)
        if (t) t->apply(mask);
}

int automaticLevel(const CHistogram& histogram) {
    CHistogram h = histogram;
    h[0] = 0.0;
    h[255] = 0.0;
    int lo = 0;
    while (lo < 255 && h[static_cast<size_t>(lo)] == 0.0) ++lo;
    int hi = 0;
    for (int i = 254; i >= 0; --i)
        if (h[static_cast<size_t>(i)] != 0.0) {
            hi = i;
            break;
        }
    if (lo >= hi) return 128;

    auto mean = [&](int a, int b) {
        double n = 0.0, s = 0.0;
        for (int i = a; i <= b; ++i) {
            n += h[static_cast<size_t>(i)];
            s += h[static_cast<size_t>(i)] * i;
        }
        return n > 0.0 ? s / n : 0.0;
    };
    int t = lo + 1;
    double d = 0.0;
    for (;;) {
        d = (mean(lo, t - 1) + mean(t, hi)) / 2.0;
        if (d >= t + 1 && t < hi - 1)
            ++t;
        else
            break;
    }
    return std::min(static_cast<int>(d + 0.5), 255);
}

AutoThresholdResult automaticThreshold(const BitmapPtr& grey, const CHistogram* histogram, bool bright,
                                       uint32_t maxLabels) {
    AutoThresholdResult r;
    if (!grey) {
        r.status = Status::InvalidParameter;
        return r;
    }
    CThreshold t;
    t.source = grey;
    t.channel = kChannelGrey;
    t.operation = kOpSet;
    t.setColour(0xFFFFFFFFu);
    t.buildLookupTable();
    if (histogram) {
        r.level = std::min(automaticLevel(*histogram), t.levels - 1);
        t.minimum = bright ? r.level : 0;
        t.maximum = bright ? 255 : r.level;
        t.buildLookupTable();
    }
    BitmapPtr mask = Bitmap::create(grey->width(), grey->height(), PixelFormat::Argb32, &r.status);
    if (!mask) return r;
    if (!t.apply(*mask)) {
        r.status = Status::InvalidParameter;
        return r;
    }
    clearBorder(*mask, 0);
    const LabelResult lr = labelMask(*mask, maxLabels);
    r.labelStatus = lr.status;
    if (lr.status == LabelStatus::Ok) r.labels = mask;
    return r;
}

} // namespace quadrel
