#include "core/features.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quadrel {

// ---------------------------------------------------------------------------------------------------
// Feature identifiers and their names

TSetOfFeatures::TSetOfFeatures(std::initializer_list<TFeature> features) {
    for (const TFeature& f : features)
        add(f);
}

bool TSetOfFeatures::add(TFeature f) {
    if (contains(f)) return false;
    m_features.push_back(f);
    return true;
}

bool TSetOfFeatures::remove(TFeature f) {
    auto it = std::find(m_features.begin(), m_features.end(), f);
    if (it == m_features.end()) return false;
    m_features.erase(it);
    return true;
}

bool TSetOfFeatures::contains(TFeature f) const {
    return indexOf(f) >= 0;
}

int TSetOfFeatures::indexOf(TFeature f) const {
    auto it = std::find(m_features.begin(), m_features.end(), f);
    return it == m_features.end() ? -1 : static_cast<int>(it - m_features.begin());
}

namespace {

constexpr const char* kFeatureNames[kLastFeature] = {
    "Label",
    "Area",
    "Perimeter",
    "Density",
    "RedDensity",
    "GreenDensity",
    "BlueDensity",
    "XCenter",
    "YCenter",
    "XgCenter",
    "YgCenter",
    "Orientation",
    "Eccentricity",
    "Compactness",
    "ShapeFactor",
    "FeretMin",
    "FeretMax",
    "FeretMean",
    "AxisMajor",
    "AxisMinor",
    "MeanLinearIntercept",
    "MeanChordLength",
    "Anisotropy",
    "EstimatedVolume",
    "M1",
    "M2",
    "M3",
    "M4",
    "M5",
    "M6",
    "M7",
    "mu11",
    "mu02",
    "mu12",
    "mu20",
    "mu21",
    "mu03",
    "mu30",
    "nm11",
    "nm02",
    "nm12",
    "nm20",
    "nm21",
    "nm03",
    "nm30",
    "SigmaX",
    "SigmaY",
    "SumX",
    "SumY",
    "SumXY",
    "SumX2",
    "SumY2",
    "PhasePercent",
    "Lengthening",
    "Elongation(EC)",
    "Surface(SC)",
    "Perimeter(PC)",
    "Sphericity(FC)",
    "Skewness(X)",
    "Skewness(Y)",
    "Kurtosis(X)",
    "Kurtosis(Y)",
};

struct NameTables {
    std::map<int32_t, std::string> byId;
    std::map<std::string, int32_t, std::less<>> byName;
    NameTables() {
        for (int32_t id = kFirstFeature; id <= kLastFeature; ++id) {
            byId.emplace(id, kFeatureNames[id - 1]);
            byName.emplace(kFeatureNames[id - 1], id);
        }
    }
};

const NameTables& nameTables() {
    static const NameTables tables;
    return tables;
}

} // namespace

const std::map<int32_t, std::string>& featureNames() {
    return nameTables().byId;
}
const std::map<std::string, int32_t, std::less<>>& featureIdentifiers() {
    return nameTables().byName;
}

const std::string& featureName(TFeature f) {
    static const std::string empty;
    const auto& t = nameTables().byId;
    auto it = t.find(f.id());
    return it == t.end() ? empty : it->second;
}

TFeature featureFromName(std::string_view name) {
    const auto& t = nameTables().byName;
    auto it = t.find(name);
    return it == t.end() ? TFeature() : TFeature(it->second);
}

// ---------------------------------------------------------------------------------------------------
// Record helpers

float TFeretDiameter::length() const {
    // Counting pixels inclusively needs the distance between the ends whichever end comes first.
    const double dx = std::abs(static_cast<double>(x1) - static_cast<double>(x2)) + 1.0;
    const double dy = std::abs(static_cast<double>(y1) - static_cast<double>(y2)) + 1.0;
    return static_cast<float>(std::sqrt(dx * dx + dy * dy));
}

namespace {

using i128 = __int128_t;
using u128 = __uint128_t;

// floor(a / b) for b > 0.
i128 floorDiv(i128 a, i128 b) {
    i128 q = a / b;
    if ((a % b != 0) && (a < 0)) --q;
    return q;
}

double toDouble(i128 v) {
    return static_cast<double>(v);
}

} // namespace

CentralMoments centralMomentsFromSums(const PowerSums& s, bool modulo64) {
    CentralMoments mu;
    if (s.n == 0) return mu;
    const i128 n = static_cast<i128>(s.n);
    const i128 sumX =
        modulo64 ? static_cast<i128>(static_cast<int64_t>(static_cast<uint64_t>(s.sx))) : static_cast<i128>(s.sx);
    const i128 sumY =
        modulo64 ? static_cast<i128>(static_cast<int64_t>(static_cast<uint64_t>(s.sy))) : static_cast<i128>(s.sy);
    // The pixel nearest the centroid; a shifted cell shifts it by exactly the same amount.
    const u128 Q = static_cast<u128>(floorDiv(2 * sumX + n, 2 * n));
    const u128 R = static_cast<u128>(floorDiv(2 * sumY + n, 2 * n));
    const u128 N = s.n;
    const u128 Q2 = Q * Q, R2 = R * R;

    // Binomial re-centring, wrapping modulo 2^128 (and so also modulo 2^64).
    const u128 u1 = s.sx - Q * N;
    const u128 v1 = s.sy - R * N;
    const u128 u2 = s.sx2 - 2 * Q * s.sx + Q2 * N;
    const u128 v2 = s.sy2 - 2 * R * s.sy + R2 * N;
    const u128 uv = s.sxy - R * s.sx - Q * s.sy + Q * R * N;
    const u128 u3 = s.sx3 - 3 * Q * s.sx2 + 3 * Q2 * s.sx - Q2 * Q * N;
    const u128 v3 = s.sy3 - 3 * R * s.sy2 + 3 * R2 * s.sy - R2 * R * N;
    const u128 u2v = s.sx2y - R * s.sx2 - 2 * Q * s.sxy + 2 * Q * R * s.sx + Q2 * s.sy - Q2 * R * N;
    const u128 uv2 = s.sxy2 - Q * s.sy2 - 2 * R * s.sxy + 2 * Q * R * s.sy + R2 * s.sx - Q * R2 * N;
    const u128 u4 = s.sx4 - 4 * Q * s.sx3 + 6 * Q2 * s.sx2 - 4 * Q2 * Q * s.sx + Q2 * Q2 * N;
    const u128 v4 = s.sy4 - 4 * R * s.sy3 + 6 * R2 * s.sy2 - 4 * R2 * R * s.sy + R2 * R2 * N;

    // Back to signed values. Modulo 2^64, sums of even powers are non-negative and read unsigned.
    auto even = [&](u128 v) { return modulo64 ? static_cast<i128>(static_cast<uint64_t>(v)) : static_cast<i128>(v); };
    auto odd = [&](u128 v) {
        return modulo64 ? static_cast<i128>(static_cast<int64_t>(static_cast<uint64_t>(v))) : static_cast<i128>(v);
    };
    const i128 U1 = odd(u1), V1 = odd(v1), U2 = even(u2), V2 = even(v2), UV = odd(uv);
    const i128 U3 = odd(u3), V3 = odd(v3), U2V = odd(u2v), UV2 = odd(uv2), U4 = even(u4), V4 = even(v4);

    // Second order exactly: A * mu20 = A * U2 - U1^2 and so on.
    const i128 nxx = n * U2 - U1 * U1;
    const i128 nyy = n * V2 - V1 * V1;
    const i128 nxy = n * UV - U1 * V1;
    const double A = toDouble(n);
    mu.mu20 = toDouble(nxx) / A;
    mu.mu02 = toDouble(nyy) / A;
    mu.mu11 = toDouble(nxy) / A;

    constexpr i128 kLimit = static_cast<i128>(1) << 62;
    auto small = [&](i128 v) { return v < kLimit && v > -kLimit; };
    if (small(nxx) && small(nyy) && small(nxy)) {
        mu.det = toDouble(nxx * nyy - nxy * nxy) / (A * A);
    } else {
        // Too wide for 128 bits: a difference of products with one rounding, and pixels on one line
        // recognised by a determinant at rounding level.
        const double p = mu.mu20 * mu.mu02;
        const double e = std::fma(-mu.mu11, mu.mu11, mu.mu11 * mu.mu11);
        mu.det = std::fma(mu.mu20, mu.mu02, -mu.mu11 * mu.mu11) + e;
        if (std::abs(mu.det) <= 1e-12 * std::abs(p)) mu.det = 0.0;
    }

    // Higher orders: the remaining shift e is at most half a pixel.
    const double ex = toDouble(U1) / A, ey = toDouble(V1) / A;
    const double dU2 = toDouble(U2), dV2 = toDouble(V2), dUV = toDouble(UV);
    mu.mu30 = toDouble(U3) - 3.0 * ex * dU2 + 2.0 * ex * ex * ex * A;
    mu.mu03 = toDouble(V3) - 3.0 * ey * dV2 + 2.0 * ey * ey * ey * A;
    mu.mu21 = toDouble(U2V) - ey * dU2 - 2.0 * ex * dUV + 2.0 * ex * ex * ey * A;
    mu.mu12 = toDouble(UV2) - ex * dV2 - 2.0 * ey * dUV + 2.0 * ex * ey * ey * A;
    mu.mu40 = toDouble(U4) - 4.0 * ex * toDouble(U3) + 6.0 * ex * ex * dU2 - 3.0 * ex * ex * ex * ex * A;
    mu.mu04 = toDouble(V4) - 4.0 * ey * toDouble(V3) + 6.0 * ey * ey * dV2 - 3.0 * ey * ey * ey * ey * A;
    return mu;
}

CentralMoments centralMoments(const TCellBaseFeature& r) {
    if (r.exact.valid) return r.exact.moments;
    auto w = [](int64_t v) { return static_cast<u128>(static_cast<uint64_t>(v)); };
    PowerSums s;
    s.n = r.area;
    s.sx = w(r.sumX);
    s.sy = w(r.sumY);
    s.sxy = w(r.sumXY);
    s.sx2 = w(r.sumX2);
    s.sy2 = w(r.sumY2);
    s.sx2y = w(r.sumX2Y);
    s.sxy2 = w(r.sumXY2);
    s.sx3 = w(r.sumX3);
    s.sy3 = w(r.sumY3);
    s.sx4 = w(r.sumX4);
    s.sy4 = w(r.sumY4);
    return centralMomentsFromSums(s, true);
}

FeatureScale calibrationScale(double xPixelsPerUnit, double yPixelsPerUnit, double magnification) {
    FeatureScale s;
    if (xPixelsPerUnit != 0.0 && yPixelsPerUnit != 0.0) {
        s.sx = 1.0 / xPixelsPerUnit;
        s.sy = 1.0 / yPixelsPerUnit;
        if (magnification != 0.0) {
            s.sx /= magnification;
            s.sy /= magnification;
        }
    }
    return s;
}

std::array<double, 2> ellipseAxes(double area, const CentralMoments& mu) {
    // The axes depend only on the ratio of the two eigenvalues of the second-moment matrix; taking them
    // directly keeps large and nearly axis-parallel cells right. Pixels on one line have no ellipse.
    if (mu.mu02 == 0.0 || mu.mu20 == 0.0) return {area, 1.0};
    const double lmax = 0.5 * (mu.mu20 + mu.mu02) + std::hypot(0.5 * (mu.mu20 - mu.mu02), mu.mu11);
    if (!(mu.det > 0.0) || !(lmax > 0.0)) return {area, 1.0};
    const double lmin = mu.det / lmax;
    const double r = 2.0 * std::sqrt(area / std::numbers::pi);
    const double q = std::sqrt(std::sqrt(lmax / lmin));
    return {r * q, r / q};
}

// ---------------------------------------------------------------------------------------------------
// Feature values

namespace {

constexpr double kPi = std::numbers::pi;

double principalAngleOf(const CentralMoments& mu) {
    // The angle is rounded to single precision as it always was; the tests below it use exact zeros,
    // which the exact moments make meaningful.
    const float a = static_cast<float>(std::atan2(2.0 * mu.mu11, mu.mu02 - mu.mu20));
    double theta = static_cast<double>(a) / 2.0;
    if (theta < 0.0) theta += kPi / 2.0;
    if (mu.mu11 > 0.0) {
        theta += kPi / 2.0;
    } else if (mu.mu11 == 0.0) {
        if (mu.mu20 > mu.mu02)
            theta = 0.0;
        else if (mu.mu20 < mu.mu02)
            theta = kPi / 2.0;
    }
    return theta;
}

} // namespace

CellFeatureValues::CellFeatureValues(const TCellBaseFeature& record, FeatureScale scale)
    : m_record(record), m_scale(scale), m_mu(centralMoments(record)) {
    const double a = static_cast<double>(record.area);
    m_area = record.area == 0 ? 1.0 : a;
    m_perimeter = record.perimeter == 0 ? 1.0 : static_cast<double>(record.perimeter);
    m_theta = principalAngleOf(m_mu);
    if (record.area != 0) {
        const double a2 = a * a;
        const double a25 = a2 * std::sqrt(a);
        m_nm11 = m_mu.mu11 / a2;
        m_nm20 = m_mu.mu20 / a2;
        m_nm02 = m_mu.mu02 / a2;
        m_nm12 = m_mu.mu12 / a25;
        m_nm21 = m_mu.mu21 / a25;
        m_nm03 = m_mu.mu03 / a25;
        m_nm30 = m_mu.mu30 / a25;
    }
}

float CellFeatureValues::value(TFeature f) const {
    return static_cast<float>(valueDouble(f));
}

double CellFeatureValues::valueDouble(TFeature f) const {
    const TCellBaseFeature& r = m_record;
    const CentralMoments& mu = m_mu;
    const double A = static_cast<double>(r.area); // the true count, 0 for an empty record
    const double Ad = m_area;                     // the divisor, 1 for an empty record
    const double P = m_perimeter;
    const double sx = m_scale.sx, sy = m_scale.sy;
    const auto xSpan = static_cast<double>(static_cast<int64_t>(r.xMax) - static_cast<int64_t>(r.xMin) + 1);
    const auto ySpan = static_cast<double>(static_cast<int64_t>(r.yMax) - static_cast<int64_t>(r.yMin) + 1);
    auto widthMean = [&] {
        double s = 0;
        for (float w : r.feret.widths)
            s += w;
        return s / 4.0;
    };
    const double nm11 = m_nm11, nm20 = m_nm20, nm02 = m_nm02, nm12 = m_nm12, nm21 = m_nm21, nm03 = m_nm03,
                 nm30 = m_nm30;
    // Sums of non-negative terms: read unsigned, so the largest cells (whose sums pass 2^63) still show.
    auto unsignedSum = [](int64_t v) { return static_cast<double>(static_cast<uint64_t>(v)); };

    switch (static_cast<FeatureId>(f.id())) {
    case FeatureId::Label:
        return static_cast<double>(static_cast<float>(r.label));
    case FeatureId::Area:
        return A * sx * sy;
    case FeatureId::Perimeter:
        return static_cast<double>(r.perimeter) * sx; // shown as stored, 0 for a cell without outline
    case FeatureId::Density:
        return static_cast<double>(r.densitySum());
    case FeatureId::RedDensity:
        return static_cast<double>(r.redSum());
    case FeatureId::GreenDensity:
        return static_cast<double>(r.greenSum());
    case FeatureId::BlueDensity:
        return static_cast<double>(r.blueSum());
    case FeatureId::XCenter:
        return static_cast<double>(r.sumX) / Ad;
    case FeatureId::YCenter:
        return static_cast<double>(r.sumY) / Ad;
    case FeatureId::XgCenter:
    case FeatureId::YgCenter: {
        const uint64_t d = r.densitySum();
        const double div = d == 0 ? 1.0 : static_cast<double>(d);
        return static_cast<double>(f.id() == static_cast<int32_t>(FeatureId::XgCenter) ? r.sumXL : r.sumYL) / div;
    }
    case FeatureId::Orientation:
        return m_theta * 180.0 / kPi;
    case FeatureId::Eccentricity: {
        const double c = std::cos(m_theta), s = std::sin(m_theta);
        const double l = mu.mu02 * c * c + mu.mu20 * s * s - std::sin(2.0 * m_theta) * mu.mu11;
        const double m = std::cos(2.0 * m_theta) * mu.mu11 + mu.mu02 * s * s + mu.mu20 * c * c;
        if (l == 0.0 || m == 0.0) return -1.0;
        const double q = l / m;
        return q > 0.0 ? std::sqrt(q) : std::sqrt(-q);
    }
    case FeatureId::Compactness:
    case FeatureId::Sphericity:
        return r.area == 0 ? 0.0 : P * P / (4.0 * kPi * A);
    case FeatureId::ShapeFactor:
        return 4.0 * kPi * A / (P * P);
    case FeatureId::FeretMin:
        return static_cast<double>(*std::min_element(r.feret.widths.begin(), r.feret.widths.end())) * sx;
    case FeatureId::FeretMax:
        return static_cast<double>(r.feret.length()) * sx;
    case FeatureId::FeretMean:
        return widthMean() * sx;
    case FeatureId::AxisMajor:
        return ellipseAxes(A, mu)[0];
    case FeatureId::AxisMinor:
        return ellipseAxes(A, mu)[1];
    case FeatureId::MeanLinearIntercept:
        return xSpan / Ad;
    case FeatureId::MeanChordLength:
        return xSpan == 0.0 ? 0.0 : A / xSpan;
    case FeatureId::Anisotropy:
        return xSpan == 0.0 ? 0.0 : ySpan / xSpan;
    case FeatureId::EstimatedVolume: {
        const double fm = static_cast<float>(widthMean() * sx);
        return fm * fm * fm * kPi / 6.0;
    }
    case FeatureId::M1:
        return nm20 + nm02;
    case FeatureId::M2:
        return (nm20 - nm02) * (nm20 - nm02) + 4.0 * nm11 * nm11;
    case FeatureId::M3:
        return (nm30 - 3.0 * nm12) * (nm30 - 3.0 * nm12) + (3.0 * nm21 - nm03) * (3.0 * nm21 - nm03);
    case FeatureId::M4:
        return (nm30 + nm12) * (nm30 + nm12) + (nm21 + nm03) * (nm21 + nm03);
    case FeatureId::M5: {
        const double p = nm30 + nm12, q = nm21 + nm03;
        return (nm30 - 3.0 * nm12) * p * (p * p - 3.0 * q * q) + (3.0 * nm21 - nm03) * q * (3.0 * p * p - q * q);
    }
    case FeatureId::M6: {
        const double p = nm30 + nm12, q = nm21 + nm03;
        return (nm20 - nm02) * (p * p - q * q) + 4.0 * nm11 * p * q;
    }
    case FeatureId::M7: {
        const double p = nm30 + nm12, q = nm21 + nm03;
        return (3.0 * nm21 - nm03) * p * (p * p - 3.0 * q * q) - (nm30 - 3.0 * nm12) * q * (3.0 * p * p - q * q);
    }
    case FeatureId::Mu11:
        return mu.mu11;
    case FeatureId::Mu02:
        return mu.mu02;
    case FeatureId::Mu12:
        return mu.mu12;
    case FeatureId::Mu20:
        return mu.mu20;
    case FeatureId::Mu21:
        return mu.mu21;
    case FeatureId::Mu03:
        return mu.mu03;
    case FeatureId::Mu30:
        return mu.mu30;
    case FeatureId::Nm11:
        return nm11;
    case FeatureId::Nm02:
        return nm02;
    case FeatureId::Nm12:
        return nm12;
    case FeatureId::Nm20:
        return nm20;
    case FeatureId::Nm21:
        return nm21;
    case FeatureId::Nm03:
        return nm03;
    case FeatureId::Nm30:
        return nm30;
    case FeatureId::SigmaX:
        return std::sqrt(std::abs(mu.mu20) / Ad);
    case FeatureId::SigmaY:
        return std::sqrt(std::abs(mu.mu02) / Ad);
    case FeatureId::SumX:
        return static_cast<double>(r.sumX);
    case FeatureId::SumY:
        return static_cast<double>(r.sumY);
    case FeatureId::SumXY:
        return unsignedSum(r.sumXY);
    case FeatureId::SumX2:
        return unsignedSum(r.sumX2);
    case FeatureId::SumY2:
        return unsignedSum(r.sumY2);
    case FeatureId::PhasePercent: {
        const int64_t pixels = static_cast<int64_t>(r.imageWidth) * static_cast<int64_t>(r.imageHeight);
        return pixels <= 0 ? 0.0 : A / static_cast<double>(pixels) * 100.0;
    }
    case FeatureId::Lengthening: {
        const double L = r.feret.length();
        return r.area == 0 ? 0.0 : 3.0 * L * L / (4.0 * A);
    }
    case FeatureId::Elongation: {
        const double L = r.feret.length();
        return L == 0.0 ? 0.0 : 2.0 * std::sqrt(A / kPi) / L;
    }
    case FeatureId::Surface: {
        const double L = r.feret.length();
        return L == 0.0 ? 0.0 : A / (kPi * (L / 2.0) * (L / 2.0));
    }
    case FeatureId::PerimeterPC:
        return kPi * static_cast<double>(r.feret.length()) / P;
    case FeatureId::SkewnessX:
        return mu.mu20 == 0.0 ? 0.0 : std::sqrt(A) * mu.mu30 / std::pow(mu.mu20, 1.5);
    case FeatureId::SkewnessY:
        return mu.mu02 == 0.0 ? 0.0 : std::sqrt(A) * mu.mu03 / std::pow(mu.mu02, 1.5);
    case FeatureId::KurtosisX: {
        if (mu.mu20 == 0.0) return 0.0;
        const double v = mu.mu20 / Ad;
        return mu.mu40 / Ad / (v * v) - 3.0;
    }
    case FeatureId::KurtosisY: {
        if (mu.mu02 == 0.0) return 0.0;
        const double v = mu.mu02 / Ad;
        return mu.mu04 / Ad / (v * v) - 3.0;
    }
    }
    return 0.0;
}

float featureValue(TFeature f, const TCellBaseFeature& record, FeatureScale scale) {
    return CellFeatureValues(record, scale).value(f);
}

float FeatureEvaluator::value(TFeature f, const TCellBaseFeature& record, FeatureScale scale) {
    if (!m_values || m_label != record.label || m_guid != record.guid || m_scale.sx != scale.sx ||
        m_scale.sy != scale.sy) {
        m_values.emplace(record, scale);
        m_label = record.label;
        m_guid = record.guid;
        m_scale = scale;
    }
    return m_values->value(f);
}

} // namespace quadrel
