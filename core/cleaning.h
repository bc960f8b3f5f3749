#pragma once

#include "core/labelling.h"
#include "platform/bitmap.h"

#include <cstdint>
#include <set>
#include <vector>

namespace quadrel {

// Fills every background region enclosed by an object and labels the result again. The label image is
// not touched: the new one is built aside and returned with the labelling status (null on failure).
struct FillHolesResult {
    BitmapPtr labels;
    LabelStatus status = LabelStatus::Ok;
};
FillHolesResult fillHoles(const Bitmap& labelImage, uint32_t maxLabels = kMaxLabelNumber);

// Labels of the cells with a pixel within `borderSize` pixels of the edge (the size is limited to
// width/2 - 1 and height/2 - 1; 0 finds none).
std::set<uint32_t> borderCells(const Bitmap& labelImage, int borderSize);

// The settings the kept-cell selection reads.
struct CleaningSettings {
    bool removeBorder = false;
    int borderSize = 0;
    double minimumSize = 0.0;
};

// Decides which cells are removed: border cells when asked, and every cell whose pixel count is below
// the minimum size. `cells` are the measured cells with their pixel counts.
std::set<uint32_t> removalSet(const Bitmap& labelImage, const std::vector<LabelCount>& cells,
                              const CleaningSettings& settings);

// 255 on the interior pixels whose label is neither 0 nor in `removed`, 0 elsewhere.
BitmapPtr keptCellMask(const Bitmap& labelImage, const std::set<uint32_t>& removed);

// Binary reconstruction with 8-connectivity on byte images of equal size: every non-zero pixel of `seed`
// stays, and every non-zero pixel of `mask` that is connected through non-zero mask pixels to a seed
// pixel becomes `value`. The outer ring of both images is cleared first.
void reconstruct(uint8_t* seed, int seedStride, uint8_t* mask, int maskStride, int width, int height,
                 uint8_t value);

} // namespace quadrel
