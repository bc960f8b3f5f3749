#pragma once

#include "core/cells.h"
#include "core/cleaning.h"
#include "core/features.h"
#include "platform/bitmap.h"

#include <cstdint>
#include <set>
#include <vector>

namespace quadrel {

// Gathers the sums of one cell from its pixels. The pixel pass feeds it runs of a row; tests feed it
// coordinates directly, which lets them place a cell anywhere in a 65 535 x 65 535 image without
// building one. Coordinates are those of the image, counted from 0 at its top-left corner.
class CellAccumulator {
public:
    // A run of `count` pixels of row y starting at column x0, with their source pixels as 0xAARRGGBB.
    void addRun(uint32_t y, uint32_t x0, uint32_t count, const uint32_t* source);
    void addPixel(uint32_t x, uint32_t y, uint32_t argb) { addRun(y, x, 1, &argb); }

    uint64_t pixelCount() const { return static_cast<uint64_t>(m_s.n); }

    // The finished record: the stored fields (64-bit sums as their low 64 bits, 32-bit sums as their low
    // 32 bits) and the exact values.
    TCellBaseFeature finish(uint32_t label, int32_t imageWidth, int32_t imageHeight) const;

private:
    PowerSums m_s;
    uint64_t m_density = 0, m_red = 0, m_green = 0, m_blue = 0;
    uint64_t m_sumXL = 0, m_sumYL = 0;
    uint32_t m_xMin = 0xFFFFFFFFu, m_yMin = 0xFFFFFFFFu, m_xMax = 0, m_yMax = 0;
};

// The grey level the features use: the mean of the largest and the smallest colour byte, rounded down.
inline uint32_t greyLevel(uint32_t argb) {
    const uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    const uint32_t hi = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const uint32_t lo = r < g ? (r < b ? r : b) : (g < b ? g : b);
    return (hi + lo) >> 1;
}

enum class MeasureStatus {
    Ok,
    LabelImageNotArgb32, // the label image must hold 32-bit label values
    SourceFormat,        // the source image has a pixel format that cannot be read as colour
    SizeMismatch,        // label image and source image differ in size
    OutOfMemory,
};

const char* measureStatusText(MeasureStatus s);

// One pass over the interior of the label image (rows and columns 1 to size - 2) and the source image:
// a record for every label found, in increasing label order.
struct MeasureResult {
    MeasureStatus status = MeasureStatus::Ok;
    std::vector<TCellBaseFeature> records;
};
MeasureResult measureLabels(const Bitmap& labelImage, const Bitmap& source);

// Everything the recomputation of the measurements produces.
struct MeasurementResult {
    MeasureStatus status = MeasureStatus::Ok;
    std::vector<TCellBaseFeature> records; // the kept cells, in increasing label order, with outline data
    std::set<uint32_t> removed;            // labels of removed cells, and 0
    BitmapPtr keptMask;                    // 8-bit, 255 on pixels of kept cells
    BitmapPtr outline;                     // 8-bit outline image of the kept cells
    TSetOfCellBounds bounds;               // outline chains of the kept cells, in increasing label order
};

// Measures all cells, removes the border cells (when asked) and the cells below the minimum size, and
// fills perimeter and Feret data of the kept cells from their traced outlines. On failure the status
// says why and nothing else is filled.
MeasurementResult measureCells(const Bitmap& labelImage, const Bitmap& source, const CleaningSettings& settings);

// The record of a label in records sorted by label, or null.
const TCellBaseFeature* findRecord(const std::vector<TCellBaseFeature>& records, uint32_t label);

} // namespace quadrel
