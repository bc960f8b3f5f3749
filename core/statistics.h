#pragma once

#include "core/features.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quadrel {

// For each chosen feature, the value of every working cell in working-list order.
using FeatureValues = std::shared_ptr<const std::vector<double>>;
using FeatureValueTable = std::map<TFeature, FeatureValues>;

// Values of every feature of `features` (position order) for every cell of `cells` (in that order),
// widened to double. Each cell's derived values are computed once for all features.
FeatureValueTable computeFeatureValues(const TSetOfFeatures& features,
                                       const std::vector<const TCellBaseFeature*>& cells, FeatureScale scale);

// The nine statistics in the order they are shown.
enum class StatisticRow { Size, Sum, Mean, Minimum, Maximum, StdDev, CV, Skewness, Kurtosis };
constexpr int kStatisticRowCount = 9;
// "Size", "Sum", "Mean", "Minimum", "Maximum", "Std Dev", "CV", "Skewness", "Kurtosis"
const std::array<const char*, kStatisticRowCount>& statisticRowLabels();

// Summary of one feature's values, fed one value at a time.
class CStatisticBase {
public:
    CStatisticBase() = default;
    explicit CStatisticBase(std::string name) : m_name(std::move(name)) {}

    void add(double v);

    const std::string& name() const { return m_name; }
    void setName(std::string n) { m_name = std::move(n); }

    double count() const { return m_count; }
    double sum() const { return m_sum; }
    double sumOfSquares() const { return m_sum2; }
    double sumOfCubes() const { return m_sum3; }
    double sumOfFourthPowers() const { return m_sum4; }
    double minimum() const { return m_min; }
    double maximum() const { return m_max; }

    double mean() const;
    // The population standard deviation; 0 for fewer than two values.
    double stdDev() const;
    double cv() const;
    double skewness() const;
    double kurtosis() const;

    double value(StatisticRow row) const;

private:
    std::string m_name;
    double m_min = 1.7976931348623157e308;
    double m_max = -1.7976931348623157e308;
    double m_sum = 0;
    double m_sum2 = 0;
    double m_sum3 = 0;
    double m_sum4 = 0;
    double m_count = 0;
    // Central sums kept alongside the raw powers: the raw powers cancel for values with a large mean and
    // a small spread (1e8 + {0, 1, 2} leaves a negative variance), these do not.
    double m_runMean = 0;
    double m_m2 = 0, m_m3 = 0, m_m4 = 0;
};

using StatisticsTable = std::map<TFeature, CStatisticBase>;

// One statistic per feature of the value table, in key order; features without values are left out.
StatisticsTable computeStatistics(const FeatureValueTable& values);

} // namespace quadrel
