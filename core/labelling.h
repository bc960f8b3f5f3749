#pragma once

#include "core/cells.h"
#include "platform/bitmap.h"

#include <cstdint>
#include <vector>

namespace quadrel {

enum class LabelStatus {
    Ok,
    NotA32BitMask,
    // More provisional labels than the 24 bits of a label value can number; the mask is left partly
    // written and must not be used.
    TooManyLabels,
};

struct LabelResult {
    LabelStatus status = LabelStatus::Ok;
    uint32_t lastLabel = kLabelBase; // the last label handed out (kLabelBase when none)
    uint32_t provisionalCount = 0;
};

// Labels the 8-connected objects of a 32-bit mask in place. Every non-zero pixel is foreground; the
// outermost ring is cleared to background. Each object ends up with the smallest provisional label
// handed out inside it, the first one being 0xFF000001. `maxLabels` bounds the provisional labels (tests
// lower it).
LabelResult labelMask(Bitmap& mask, uint32_t maxLabels = kMaxLabelNumber);

// Labels a label image again, leaving every pixel whose value is in `background` as it is and treating
// it as background. The other pixels get new labels by 8-connectivity that avoid every value of the set;
// a cell made of separate pieces becomes several cells. The outermost ring is cleared to 0 first.
LabelResult relabelWithBackground(Bitmap& labels, const std::vector<uint32_t>& background,
                                  uint32_t maxLabels = kMaxLabelNumber);

// The outline image of a kept-cell mask (255 on kept pixels): 255 on outline pixels that are not
// redundant corners, 0 elsewhere; the outer ring stays 0.
BitmapPtr outlineImage(const Bitmap& keptMask);

// Traces the outline pixels of every label into chain codes, appending to `bounds` (or filling the
// existing entry of a label).
void traceOutlines(const Bitmap& labelImage, const Bitmap& outline, TSetOfCellBounds& bounds);

// Pixel count of every label, in increasing label order (interior pixels only).
struct LabelCount {
    uint32_t label;
    uint64_t count;
};
std::vector<LabelCount> countLabels(const Bitmap& labelImage);

} // namespace quadrel
