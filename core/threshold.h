#pragma once

#include "core/image.h"
#include "core/labelling.h"
#include "platform/bitmap.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quadrel {

// Channels a threshold can work on; the source of channel c is image slot c + 1.
enum ThresholdChannel : int {
    kChannelRed = 0,
    kChannelGreen = 1,
    kChannelBlue = 2,
    kChannelGrey = 3,
    kChannelHue = 4,
    kChannelLuminance = 5,
    kChannelSaturation = 6,
};
const char* channelName(int channel); // "Red", ..., or "" when unknown

// How a threshold combines with what the mask already holds.
enum ThresholdOperation : int {
    kOpNop = 0,
    kOpSet = 1,
    kOpIntersection = 2,
    kOpUnion = 3,
    kOpXor = 4,
    kOpDifference = 5,
    kOpComplement = 6,
};
const char* operationName(int operation); // "NOP", "SET", ..., or "" when unknown

// The new mask pixel for threshold colour `a` over mask pixel `d` (`fill` is the threshold's colour).
inline uint32_t combinePixel(int op, uint32_t a, uint32_t d, uint32_t fill) {
    const uint32_t alphaA = a >> 24, alphaD = d >> 24;
    switch (op) {
    case kOpSet: return a;
    case kOpIntersection: return (a & d & 0xFF000000u) != 0 ? a : 0;
    case kOpUnion: return alphaA != 0 ? a : d;
    case kOpXor:
        if (alphaD == alphaA) return 0;
        return alphaA != 0 ? a : d;
    case kOpDifference: return (alphaA & ~alphaD & 0xFFu) != 0 ? fill : 0;
    case kOpComplement: return (alphaD & ~alphaA & 0xFFu) == 0 ? 0 : d;
    default: return d; // NOP and unknown codes leave the mask alone
    }
}

// Threshold with an integer level range; used inside the automatic threshold command.
class CThreshold {
public:
    BitmapPtr source;
    std::string name;
    int32_t channel = kChannelRed;
    int32_t operation = kOpIntersection;
    int32_t minimum = 0;
    int32_t maximum = 255;
    int32_t hysteresisMinimum = 0;
    int32_t hysteresisMaximum = 255;
    bool withHysteresis = false;
    BitmapPtr hysteresisImage;
    std::vector<uint32_t> lookupTable;
    int32_t levels = 256;

    uint32_t colour() const { return m_colour; }
    void setColour(uint32_t argb);
    void buildLookupTable();
    // Combines into a 32-bit mask of the source's size; false (mask unchanged) when it cannot.
    bool apply(Bitmap& mask);

private:
    uint32_t m_colour = 0xFFFFFFFFu;
};

struct CMarker {
    float position = 0.0f; // fraction of the level range, 0 to 1
    uint32_t colour = 0xFFFF0000u;
};

// The bounds of a threshold: two markers, or four with hysteresis (weak lower, strong lower, strong
// upper, weak upper).
class CMarkerVector {
public:
    std::vector<std::shared_ptr<CMarker>> markers;
    bool withHysteresis = false;
    // The marker a histogram control picked and moves; dropped when hysteresis is switched off.
    std::shared_ptr<CMarker> selected;

    int minimumIndex() const { return withHysteresis ? 1 : 0; }
    int maximumIndex() const { return withHysteresis ? 2 : 1; }
    int hysteresisMinimumIndex() const { return 0; }
    int hysteresisMaximumIndex() const { return withHysteresis ? 3 : 1; }
    float position(size_t i) const { return i < markers.size() ? markers[i]->position : 0.0f; }
};

// Threshold whose range is held by markers; the form the manual thresholding dialog edits and stacks.
class CThresholdObject {
public:
    explicit CThresholdObject(float lower = 0.25f, float upper = 0.75f);

    BitmapPtr source;
    std::string name;
    int32_t channel = kChannelRed;
    int32_t operation = kOpIntersection;
    std::shared_ptr<CMarkerVector> markers;
    double minimum = 0.25;
    double maximum = 0.75;
    BitmapPtr hysteresisImage;
    std::vector<uint32_t> lookupTable;
    int32_t levels = 256;

    uint32_t colour() const { return m_colour; }
    void setColour(uint32_t rgb);
    bool withHysteresis() const { return markers->withHysteresis; }
    void setHysteresis(bool on);
    void setRange(float lower, float upper);
    void buildLookupTable();
    bool apply(Bitmap& mask);

private:
    bool applyHysteresis(Bitmap& mask);
    uint32_t m_colour = 0xFFFF0000u;
};

class CThresholds {
public:
    uint32_t word = 0xFFFFFFFFu;
    std::vector<std::shared_ptr<CThreshold>> items;
};

class CThresholdObjects {
public:
    uint32_t word = 0xFFFFFFFFu;
    std::vector<std::shared_ptr<CThresholdObject>> items;

    // Applies every threshold in list order; the mask is not cleared first.
    void apply(Bitmap& mask) const;
};

// The automatic level of a grey histogram by iterative intermeans (the end bins are ignored).
int automaticLevel(const CHistogram& histogram);

// The automatic threshold: the grey image thresholded at its automatic level (objects bright or dark),
// the border ring cleared and the mask labelled. `labels` is null when it could not be done.
struct AutoThresholdResult {
    BitmapPtr labels;
    int level = 0;
    Status status = Status::Ok;
    LabelStatus labelStatus = LabelStatus::Ok;
};
AutoThresholdResult automaticThreshold(const BitmapPtr& grey, const CHistogram* histogram, bool bright,
                                       uint32_t maxLabels = kMaxLabelNumber);

// Builds the weak and strong byte images of a hysteresis threshold and keeps the weak pixels connected
// to strong ones: 1 there, 0 elsewhere, outer ring 0.
BitmapPtr hysteresisImageOf(const Bitmap& source, int weakLo, int weakHi, int strongLo, int strongHi,
                            uint32_t fill);

} // namespace quadrel
