#pragma once

#include "core/guid.h"
#include "persistence/streamable.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quadrel {

// The measurable features by identifier. The numbers are stored in documents and feature lists.
enum class FeatureId : int32_t {
    Label = 1,
    Area,
    Perimeter,
    Density,
    RedDensity,
    GreenDensity,
    BlueDensity,
    XCenter,
    YCenter,
    XgCenter,
    YgCenter,
    Orientation,
    Eccentricity,
    Compactness,
    ShapeFactor,
    FeretMin,
    FeretMax,
    FeretMean,
    AxisMajor,
    AxisMinor,
    MeanLinearIntercept,
    MeanChordLength,
    Anisotropy,
    EstimatedVolume,
    M1,
    M2,
    M3,
    M4,
    M5,
    M6,
    M7,
    Mu11,
    Mu02,
    Mu12,
    Mu20,
    Mu21,
    Mu03,
    Mu30,
    Nm11,
    Nm02,
    Nm12,
    Nm20,
    Nm21,
    Nm03,
    Nm30,
    SigmaX,
    SigmaY,
    SumX,
    SumY,
    SumXY,
    SumX2,
    SumY2,
    PhasePercent,
    Lengthening,
    Elongation,
    Surface,
    PerimeterPC,
    Sphericity,
    SkewnessX,
    SkewnessY,
    KurtosisX,
    KurtosisY,
};

constexpr int32_t kFirstFeature = 1;
constexpr int32_t kLastFeature = 62;

// One feature identifier. Any 32-bit value can be held (lists read from files may carry unknown ones);
// unknown identifiers have no name and measure 0.
class TFeature : public TStreamableBase {
public:
    TFeature() = default;
    explicit TFeature(int32_t id) : m_id(id) {}
    TFeature(FeatureId id) : m_id(static_cast<int32_t>(id)) {}

    int32_t id() const { return m_id; }
    bool isKnown() const { return m_id >= kFirstFeature && m_id <= kLastFeature; }

    friend bool operator==(const TFeature& a, const TFeature& b) { return a.m_id == b.m_id; }
    friend auto operator<=>(const TFeature& a, const TFeature& b) { return a.m_id <=> b.m_id; }

    class Streamer; // the persisted form

private:
    int32_t m_id = 0;
};

// The chosen features in the user's order, without duplicates.
class TSetOfFeatures : public TStreamableBase {
public:
    TSetOfFeatures() = default;
    TSetOfFeatures(std::initializer_list<TFeature> features);

    // Appends unless present; returns whether it was added.
    bool add(TFeature f);
    bool remove(TFeature f);
    bool contains(TFeature f) const;
    // Position of the feature, or -1.
    int indexOf(TFeature f) const;
    void clear() { m_features.clear(); }

    size_t size() const { return m_features.size(); }
    bool empty() const { return m_features.empty(); }
    const TFeature& operator[](size_t i) const { return m_features[i]; }
    std::vector<TFeature>::const_iterator begin() const { return m_features.begin(); }
    std::vector<TFeature>::const_iterator end() const { return m_features.end(); }

    class Streamer; // the persisted form

private:
    std::vector<TFeature> m_features;
};

// The process-wide name tables, built on first use. An unknown identifier has an empty name; an unknown
// name gives identifier 0.
const std::string& featureName(TFeature f);
TFeature featureFromName(std::string_view name);
const std::map<int32_t, std::string>& featureNames();
const std::map<std::string, int32_t, std::less<>>& featureIdentifiers();

// Outline-derived data of a cell. The widths are measured across the directions 0, -45, -90 and -135
// degrees; P1 = (x1, y1) and P2 = (x2, y2) are the farthest pair of outline points in the order the
// search meets them.
struct TFeretDiameter : public TStreamableBase {
    uint32_t reserved = 0; // persisted, always 0
    std::array<float, 4> widths{};
    int32_t x1 = 0;
    int32_t y1 = 0;
    int32_t x2 = 0;
    int32_t y2 = 0;

    // The Feret length: the pixel extent of the farthest pair, counting both end pixels.
    float length() const;

    class Streamer; // the persisted form
};

// Central moments of a cell about its centroid: mu_pq = sum of (x - xc)^p (y - yc)^q over its pixels.
// det is mu20 * mu02 - mu11^2, kept separately because it is evaluated from the exact sums where they
// allow it (it decides whether the pixels lie on one line).
struct CentralMoments {
    double mu11 = 0, mu20 = 0, mu02 = 0;
    double mu30 = 0, mu03 = 0, mu21 = 0, mu12 = 0;
    double mu40 = 0, mu04 = 0;
    double det = 0;
};

// Values the pixel pass knows exactly but the stored record cannot hold: the 64-bit grey and colour
// sums (the stored fields are 32-bit) and the central moments from 128-bit sums (the stored 64-bit power
// sums wrap for large cells far from the origin). Not stored: a record read from a document has
// `valid` false and its features come from the stored fields.
struct TCellExactValues {
    bool valid = false;
    uint64_t density = 0;
    uint64_t red = 0;
    uint64_t green = 0;
    uint64_t blue = 0;
    CentralMoments moments;
};

// The measurement record of one cell: raw sums from the pixel pass plus its outline data. The stored
// fields keep the widths of the document layout; the 64-bit sums hold the low 64 bits of the exact
// sums, as they always have.
class TCellBaseFeature : public TStreamableBase {
public:
    // Every record gets a new identity.
    TCellBaseFeature() : guid(TGUID::create()) {}
    explicit TCellBaseFeature(uint32_t cellLabel) : label(cellLabel), guid(TGUID::create()) {}

    uint32_t label = 0;
    uint32_t area = 0;
    uint32_t density = 0; // sum of the grey levels
    uint32_t perimeter = 0;
    uint32_t red = 0;
    uint32_t green = 0;
    uint32_t blue = 0;
    int64_t sumYL = 0;
    int64_t sumXL = 0;
    int64_t sumY = 0;
    int64_t sumX = 0;
    int64_t sumXY = 0;
    int64_t sumY2 = 0;
    int64_t sumXY2 = 0;
    int64_t sumX2 = 0;
    int64_t sumX2Y = 0;
    int64_t sumY3 = 0;
    int64_t sumX3 = 0;
    int64_t sumY4 = 0;
    int64_t sumX4 = 0;
    uint32_t xMin = 0xFFFFFFFFu;
    uint32_t yMin = 0xFFFFFFFFu;
    uint32_t xMax = 0;
    uint32_t yMax = 0;
    int32_t imageWidth = 1;
    int32_t imageHeight = 1;
    TFeretDiameter feret;
    TGUID guid;

    TCellExactValues exact; // not stored

    // The grey and colour sums, exact when the pass filled them, else the stored 32-bit values.
    uint64_t densitySum() const { return exact.valid ? exact.density : density; }
    uint64_t redSum() const { return exact.valid ? exact.red : red; }
    uint64_t greenSum() const { return exact.valid ? exact.green : green; }
    uint64_t blueSum() const { return exact.valid ? exact.blue : blue; }

    // The persisted form: the fields above `exact`, in the document layout's order. Reading a record
    // resets `exact`, so the features come from what was read.
    class Streamer;
};

// Coordinate power sums of a cell's pixels (n is the pixel count).
struct PowerSums {
    __uint128_t n = 0, sx = 0, sy = 0, sxy = 0, sx2 = 0, sy2 = 0, sx2y = 0, sxy2 = 0, sx3 = 0, sy3 = 0, sx4 = 0,
                sy4 = 0;
};

// Central moments from power sums. With `modulo64` the sums are known only modulo 2^64 (the stored
// fields), except n, sx and sy, which are exact. The sums are first re-centred on the pixel nearest the
// centroid in wrapping integer arithmetic, which is exact whatever the cell's position; floating point only
// handles the remaining sub-pixel shift, where nothing cancels.
CentralMoments centralMomentsFromSums(const PowerSums& s, bool modulo64);

// Central moments of a record: the exact ones of the pixel pass, or else derived from the stored sums.
// The stored sums are read modulo 2^64 and re-centred on the nearest whole pixel before any floating
// point is involved, so the result does not depend on where the cell lies, and sums that wrapped are
// still right as long as the re-centred sums fit 64 bits.
CentralMoments centralMoments(const TCellBaseFeature& r);

// Scales of the two axes in units per pixel (1 without calibration).
struct FeatureScale {
    double sx = 1.0;
    double sy = 1.0;
};

// The scales of a calibration given as pixels per unit on each axis and a magnification: 1 / resolution
// when both resolutions are non-zero, further divided by a non-zero magnification.
FeatureScale calibrationScale(double xPixelsPerUnit, double yPixelsPerUnit, double magnification);

// Every derived quantity of one cell, computed once; the values of all features come from it.
class CellFeatureValues {
public:
    explicit CellFeatureValues(const TCellBaseFeature& record, FeatureScale scale = {});

    // The value of a feature; identifiers without a formula give 0.
    float value(TFeature f) const;
    double valueDouble(TFeature f) const;

    const CentralMoments& moments() const { return m_mu; }
    // The principal angle in radians, 0 to pi.
    double principalAngle() const { return m_theta; }

    const TCellBaseFeature& record() const { return m_record; }
    FeatureScale scale() const { return m_scale; }

private:
    TCellBaseFeature m_record; // a working copy, as the values are asked for while records get replaced
    FeatureScale m_scale;
    CentralMoments m_mu;
    double m_area = 0;      // A, 1 when the cell is empty
    double m_perimeter = 1; // P, at least 1
    double m_theta = 0;
    double m_nm11 = 1, m_nm20 = 1, m_nm02 = 1, m_nm12 = 1, m_nm21 = 1, m_nm03 = 1, m_nm30 = 1;
};

// The value of one feature of one record. Callers asking many features of one cell keep a
// CellFeatureValues (or a FeatureEvaluator) instead.
float featureValue(TFeature f, const TCellBaseFeature& record, FeatureScale scale = {});

// Computes features cell by cell and keeps the derived values of the last cell, so consecutive requests
// for one record cost one formula each. A record is recognised by its label and identity; change a
// record's fields and it must be asked about under a new evaluator (or after another record).
class FeatureEvaluator {
public:
    float value(TFeature f, const TCellBaseFeature& record, FeatureScale scale = {});

private:
    uint32_t m_label = 0;
    TGUID m_guid;
    FeatureScale m_scale;
    std::optional<CellFeatureValues> m_values;
};

// Ellipse axes from the area and the central moments: (major, minor).
std::array<double, 2> ellipseAxes(double area, const CentralMoments& mu);

} // namespace quadrel
