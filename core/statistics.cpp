#include "core/statistics.h"

#include <cmath>

namespace quadrel {

FeatureValueTable computeFeatureValues(const TSetOfFeatures& features,
                                       const std::vector<const TCellBaseFeature*>& cells, FeatureScale scale) {
    std::vector<std::shared_ptr<std::vector<double>>> columns;
    columns.reserve(features.size());
    for (size_t k = 0; k < features.size(); ++k) {
        auto column = std::make_shared<std::vector<double>>();
        column->reserve(cells.size());
        columns.push_back(std::move(column));
    }
    // Cell by cell, so the derived values of a cell are worked out once for all its features.
    for (const TCellBaseFeature* cell : cells) {
        if (!cell) continue;
        const CellFeatureValues values(*cell, scale);
        for (size_t k = 0; k < features.size(); ++k)
            columns[k]->push_back(static_cast<double>(values.value(features[k])));
    }
    FeatureValueTable table;
    for (size_t k = 0; k < features.size(); ++k)
        table.emplace(features[k], std::move(columns[k]));
    return table;
}

const std::array<const char*, kStatisticRowCount>& statisticRowLabels() {
    static const std::array<const char*, kStatisticRowCount> labels = {
        "Size", "Sum", "Mean", "Minimum", "Maximum", "Std Dev", "CV", "Skewness", "Kurtosis"};
    return labels;
}

void CStatisticBase::add(double v) {
    if (v < m_min) m_min = v;
    if (v > m_max) m_max = v;
    const double v2 = v * v;
    m_sum += v;
    m_sum2 += v2;
    m_sum3 += v2 * v;
    m_sum4 += v2 * v2;

    // One-pass update of the central sums (Welford, extended to the third and fourth powers).
    const double n1 = m_count;
    m_count += 1;
    const double n = m_count;
    const double delta = v - m_runMean;
    const double dn = delta / n;
    const double dn2 = dn * dn;
    const double term = delta * dn * n1;
    m_runMean += dn;
    m_m4 += term * dn2 * (n * n - 3 * n + 3) + 6 * dn2 * m_m2 - 4 * dn * m_m3;
    m_m3 += term * dn * (n - 2) - 3 * dn * m_m2;
    m_m2 += term;
}

double CStatisticBase::mean() const {
    return m_count == 0 ? m_sum : m_sum / m_count;
}

double CStatisticBase::stdDev() const {
    if (m_count < 2) return 0.0;
    const double variance = m_m2 / m_count;
    return variance > 0.0 ? std::sqrt(variance) : 0.0;
}

double CStatisticBase::cv() const {
    const double m = mean();
    return m == 0.0 ? 0.0 : stdDev() / m;
}

double CStatisticBase::skewness() const {
    const double s = stdDev();
    if (m_count == 0 || s == 0.0) return 0.0;
    return (m_m3 / m_count) / (s * s * s);
}

double CStatisticBase::kurtosis() const {
    const double s = stdDev();
    if (m_count == 0 || s == 0.0) return 0.0;
    const double s2 = s * s;
    return (m_m4 / m_count) / (s2 * s2) - 3.0;
}

double CStatisticBase::value(StatisticRow row) const {
    switch (row) {
    case StatisticRow::Size:
        return m_count;
    case StatisticRow::Sum:
        return m_sum;
    case StatisticRow::Mean:
        return mean();
    case StatisticRow::Minimum:
        return m_min;
    case StatisticRow::Maximum:
        return m_max;
    case StatisticRow::StdDev:
        return stdDev();
    case StatisticRow::CV:
        return cv();
    case StatisticRow::Skewness:
        return skewness();
    case StatisticRow::Kurtosis:
        return kurtosis();
    }
    return 0.0;
}

StatisticsTable computeStatistics(const FeatureValueTable& values) {
    StatisticsTable table;
    for (const auto& [feature, column] : values) {
        if (!column) continue;
        CStatisticBase stat;
        for (double v : *column)
            stat.add(v);
        if (stat.count() != 0) table.emplace(feature, std::move(stat));
    }
    return table;
}

} // namespace quadrel
