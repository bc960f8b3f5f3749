#include "core/measurement.h"

#include "core/feret.h"
#include "core/labelling.h"

#include <algorithm>
#include <new>
#include <unordered_map>

namespace quadrel {

namespace {

using u128 = __uint128_t;

// Sums of x^k for x = 1 .. n.
u128 powerSum1(u128 n) {
    return n * (n + 1) / 2;
}
u128 powerSum2(u128 n) {
    return n * (n + 1) * (2 * n + 1) / 6;
}
u128 powerSum3(u128 n) {
    const u128 s = powerSum1(n);
    return s * s;
}
u128 powerSum4(u128 n) {
    return n * (n + 1) * (2 * n + 1) * (3 * n * n + 3 * n - 1) / 30;
}

} // namespace

void CellAccumulator::addRun(uint32_t y, uint32_t x0, uint32_t count, const uint32_t* source) {
    if (count == 0) return;
    const uint32_t x1 = x0 + (count - 1);

    // Grey and colour sums need every pixel.
    uint64_t dl = 0, r = 0, g = 0, b = 0, xl = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t p = source[i];
        const uint32_t l = greyLevel(p);
        dl += l;
        xl += static_cast<uint64_t>(x0 + i) * l;
        r += (p >> 16) & 0xFF;
        g += (p >> 8) & 0xFF;
        b += p & 0xFF;
    }
    m_density += dl;
    m_red += r;
    m_green += g;
    m_blue += b;
    m_sumXL += xl;
    m_sumYL += static_cast<uint64_t>(y) * dl;

    // Power sums of x over the run: closed forms for long runs, well inside 128 bits for any column a
    // 65 535-pixel image has; single pixels one by one.
    u128 p1 = 0, p2 = 0, p3 = 0, p4 = 0;
    if (count >= 8 && x1 < (1u << 24)) {
        const u128 hi = x1, lo = x0;
        p1 = powerSum1(hi);
        p2 = powerSum2(hi);
        p3 = powerSum3(hi);
        p4 = powerSum4(hi);
        if (lo > 0) {
            p1 -= powerSum1(lo - 1);
            p2 -= powerSum2(lo - 1);
            p3 -= powerSum3(lo - 1);
            p4 -= powerSum4(lo - 1);
        }
    } else {
        for (uint32_t i = 0; i < count; ++i) {
            const u128 x = x0 + i;
            const u128 x2 = x * x;
            p1 += x;
            p2 += x2;
            p3 += x2 * x;
            p4 += x2 * x2;
        }
    }
    const u128 n = count, yy = y, y2 = yy * yy;
    m_s.n += n;
    m_s.sx += p1;
    m_s.sx2 += p2;
    m_s.sx3 += p3;
    m_s.sx4 += p4;
    m_s.sxy += yy * p1;
    m_s.sxy2 += y2 * p1;
    m_s.sx2y += yy * p2;
    m_s.sy += n * yy;
    m_s.sy2 += n * y2;
    m_s.sy3 += n * y2 * yy;
    m_s.sy4 += n * y2 * y2;

    m_xMin = std::min(m_xMin, x0);
    m_xMax = std::max(m_xMax, x1);
    m_yMin = std::min(m_yMin, y);
    m_yMax = std::max(m_yMax, y);
}

TCellBaseFeature CellAccumulator::finish(uint32_t label, int32_t imageWidth, int32_t imageHeight) const {
    TCellBaseFeature r(label);
    // The stored fields keep their widths; what does not fit is in `exact`.
    auto low64 = [](u128 v) { return static_cast<int64_t>(static_cast<uint64_t>(v)); };
    r.area = static_cast<uint32_t>(m_s.n);
    r.density = static_cast<uint32_t>(m_density);
    r.red = static_cast<uint32_t>(m_red);
    r.green = static_cast<uint32_t>(m_green);
    r.blue = static_cast<uint32_t>(m_blue);
    r.sumYL = static_cast<int64_t>(m_sumYL);
    r.sumXL = static_cast<int64_t>(m_sumXL);
    r.sumY = low64(m_s.sy);
    r.sumX = low64(m_s.sx);
    r.sumXY = low64(m_s.sxy);
    r.sumY2 = low64(m_s.sy2);
    r.sumXY2 = low64(m_s.sxy2);
    r.sumX2 = low64(m_s.sx2);
    r.sumX2Y = low64(m_s.sx2y);
    r.sumY3 = low64(m_s.sy3);
    r.sumX3 = low64(m_s.sx3);
    r.sumY4 = low64(m_s.sy4);
    r.sumX4 = low64(m_s.sx4);
    r.xMin = m_xMin;
    r.yMin = m_yMin;
    r.xMax = m_xMax;
    r.yMax = m_yMax;
    r.imageWidth = imageWidth;
    r.imageHeight = imageHeight;
    r.exact.valid = true;
    r.exact.density = m_density;
    r.exact.red = m_red;
    r.exact.green = m_green;
    r.exact.blue = m_blue;
    r.exact.moments = centralMomentsFromSums(m_s, false);
    return r;
}

const char* measureStatusText(MeasureStatus s) {
    switch (s) {
    case MeasureStatus::Ok:
        return "Ok";
    case MeasureStatus::LabelImageNotArgb32:
        return "The label image is not a 32-bit image";
    case MeasureStatus::SourceFormat:
        return "The source image cannot be read as colour";
    case MeasureStatus::SizeMismatch:
        return "The label image and the source image differ in size";
    case MeasureStatus::OutOfMemory:
        return "Out of memory";
    }
    return "Unknown";
}

MeasureResult measureLabels(const Bitmap& labelImage, const Bitmap& source) {
    MeasureResult out;
    if (labelImage.pixelFormat() != PixelFormat::Argb32) {
        out.status = MeasureStatus::LabelImageNotArgb32;
        return out;
    }
    const PixelFormat sf = source.pixelFormat();
    if (sf != PixelFormat::Argb32 && sf != PixelFormat::Rgb32 && sf != PixelFormat::Indexed8) {
        out.status = MeasureStatus::SourceFormat;
        return out;
    }
    if (labelImage.width() != source.width() || labelImage.height() != source.height()) {
        out.status = MeasureStatus::SizeMismatch;
        return out;
    }
    const int w = labelImage.width(), h = labelImage.height();
    try {
        std::vector<CellAccumulator> cells;
        std::vector<uint32_t> labels;
        std::unordered_map<uint32_t, uint32_t> index; // label -> position in `cells`
        std::vector<uint32_t> greyRow;                // an 8-bit source row read through its colour table
        if (sf == PixelFormat::Indexed8) greyRow.resize(static_cast<size_t>(w));

        uint32_t lastLabel = 0;
        size_t last = 0;
        bool haveLast = false;
        for (int y = 1; y < h - 1; ++y) {
            const uint32_t* lab = labelImage.row32(y);
            const uint32_t* src;
            if (sf == PixelFormat::Indexed8) {
                const uint8_t* s8 = source.row(y);
                const Palette& pal = source.palette();
                for (int x = 0; x < w; ++x)
                    greyRow[static_cast<size_t>(x)] = pal[s8[x]];
                src = greyRow.data();
            } else {
                src = source.row32(y); // for 32-bit RGB the unused alpha byte does not enter any sum
            }
            int x = 1;
            while (x < w - 1) {
                const uint32_t v = lab[x];
                if (v == 0) {
                    ++x;
                    continue;
                }
                int e = x + 1;
                while (e < w - 1 && lab[e] == v)
                    ++e;
                if (v != lastLabel || !haveLast) {
                    // Runs of one label need no search.
                    auto [it, added] = index.try_emplace(v, static_cast<uint32_t>(cells.size()));
                    if (added) {
                        cells.emplace_back();
                        labels.push_back(v);
                    }
                    last = it->second;
                    lastLabel = v;
                    haveLast = true;
                }
                cells[last].addRun(static_cast<uint32_t>(y), static_cast<uint32_t>(x), static_cast<uint32_t>(e - x),
                                   src + x);
                x = e;
            }
        }

        std::vector<uint32_t> order(cells.size());
        for (uint32_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return labels[a] < labels[b]; });
        out.records.reserve(cells.size());
        for (uint32_t i : order)
            out.records.push_back(cells[i].finish(labels[i], source.width(), source.height()));
    } catch (const std::bad_alloc&) {
        out.records.clear();
        out.status = MeasureStatus::OutOfMemory;
    }
    return out;
}

const TCellBaseFeature* findRecord(const std::vector<TCellBaseFeature>& records, uint32_t label) {
    auto it = std::lower_bound(records.begin(), records.end(), label,
                               [](const TCellBaseFeature& r, uint32_t l) { return r.label < l; });
    return it != records.end() && it->label == label ? &*it : nullptr;
}

MeasurementResult measureCells(const Bitmap& labelImage, const Bitmap& source, const CleaningSettings& settings) {
    MeasurementResult out;
    MeasureResult measured = measureLabels(labelImage, source);
    if (measured.status != MeasureStatus::Ok) {
        out.status = measured.status;
        return out;
    }
    try {
        // Small cells are judged on the pixel counts just measured, uncalibrated.
        std::vector<LabelCount> counts;
        counts.reserve(measured.records.size());
        for (const TCellBaseFeature& r : measured.records)
            counts.push_back({r.label, r.area});
        std::set<uint32_t> removed = removalSet(labelImage, counts, settings);

        std::vector<TCellBaseFeature> kept;
        kept.reserve(measured.records.size());
        for (TCellBaseFeature& r : measured.records)
            if (removed.find(r.label) == removed.end()) kept.push_back(std::move(r));

        removed.insert(0);
        BitmapPtr mask = keptCellMask(labelImage, removed);
        BitmapPtr outline = mask ? outlineImage(*mask) : nullptr;
        if (!mask || !outline) {
            out.status = MeasureStatus::OutOfMemory;
            return out;
        }
        TSetOfCellBounds bounds;
        traceOutlines(labelImage, *outline, bounds);
        std::sort(bounds.begin(), bounds.end(),
                  [](const TCellBounds& a, const TCellBounds& b) { return a.label < b.label; });
        applyOutlines(kept, bounds);

        out.records = std::move(kept);
        out.removed = std::move(removed);
        out.keptMask = std::move(mask);
        out.outline = std::move(outline);
        out.bounds = std::move(bounds);
    } catch (const std::bad_alloc&) {
        out = MeasurementResult{};
        out.status = MeasureStatus::OutOfMemory;
    }
    return out;
}

} // namespace quadrel
