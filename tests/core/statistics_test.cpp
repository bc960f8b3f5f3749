#include "core/statistics.h"
#include "measure_fixtures.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

using namespace quadrel;

namespace {

CStatisticBase statOf(const std::vector<double>& values) {
    CStatisticBase s;
    for (double v : values)
        s.add(v);
    return s;
}

} // namespace

TEST(Statistics, RowLabelsInOrder) {
    const auto& labels = statisticRowLabels();
    const char* want[] = {"Size", "Sum", "Mean", "Minimum", "Maximum", "Std Dev", "CV", "Skewness", "Kurtosis"};
    for (int i = 0; i < kStatisticRowCount; ++i)
        EXPECT_STREQ(labels[static_cast<size_t>(i)], want[i]);
}

TEST(Statistics, EdgeCases) {
    struct Case {
        std::vector<double> values;
        double size, sum, mean, min, max, sd, cv, skew, kurt;
    };
    const double sd123 = std::sqrt(2.0 / 3.0);
    const Case cases[] = {
        {{1, 2, 3}, 3, 6, 2, 1, 3, sd123, sd123 / 2, 0, -1.5},
        {{5}, 1, 5, 5, 5, 5, 0, 0, 0, 0},
        {{-3, -1, -2}, 3, -6, -2, -3, -1, sd123, -sd123 / 2, 0, -1.5}, // the maximum is -1, not 0
        {{-1, 1}, 2, 0, 0, -1, 1, 1, 0, 0, -2},                        // mean 0: CV 0
        {{2, 2, 2, 2}, 4, 8, 2, 2, 2, 0, 0, 0, 0},                     // no spread: no skewness
        {{1, 1, 1, 5}, 4, 8, 2, 1, 5, std::sqrt(3.0), std::sqrt(3.0) / 2, 2.0 / std::sqrt(3.0), 7.0 / 3.0 - 3.0},
    };
    for (const Case& c : cases) {
        const CStatisticBase s = statOf(c.values);
        SCOPED_TRACE(c.values.size());
        const double want[] = {c.size, c.sum, c.mean, c.min, c.max, c.sd, c.cv, c.skew, c.kurt};
        for (int row = 0; row < kStatisticRowCount; ++row)
            EXPECT_NEAR(s.value(static_cast<StatisticRow>(row)), want[row], 1e-12) << statisticRowLabels()[row];
    }
}

TEST(Statistics, NoValues) {
    const CStatisticBase s;
    EXPECT_EQ(s.value(StatisticRow::Size), 0.0);
    EXPECT_EQ(s.value(StatisticRow::Mean), 0.0);
    EXPECT_EQ(s.value(StatisticRow::StdDev), 0.0);
    EXPECT_EQ(s.value(StatisticRow::Skewness), 0.0);
    EXPECT_EQ(s.value(StatisticRow::Minimum), 1.7976931348623157e308);
    EXPECT_EQ(s.value(StatisticRow::Maximum), -1.7976931348623157e308);
}

TEST(Statistics, LargeMeanSmallSpreadStaysANumber) {
    // From the raw powers the variance of these cancels to a negative number.
    for (double base : {1e8, 1e9, 123456789.0, -1e8}) {
        const CStatisticBase s = statOf({base, base + 1, base + 2});
        SCOPED_TRACE(base);
        EXPECT_NEAR(s.stdDev(), std::sqrt(2.0 / 3.0), 1e-6);
        EXPECT_NEAR(s.cv(), std::sqrt(2.0 / 3.0) / (base + 1), 1e-12);
        EXPECT_NEAR(s.skewness(), 0.0, 1e-6);
        EXPECT_NEAR(s.kurtosis(), -1.5, 1e-6);
    }
    // Equal huge values: no spread at all.
    const CStatisticBase same = statOf({1e15 + 1, 1e15 + 1, 1e15 + 1});
    EXPECT_EQ(same.stdDev(), 0.0);
    EXPECT_EQ(same.kurtosis(), 0.0);
}

TEST(Statistics, ValueTableAndStatisticsTable) {
    using fixture::recordOf;
    using fixture::rectanglePixels;
    const TCellBaseFeature a = recordOf(rectanglePixels(4, 6, 3, 3), 0xFF000001u);
    const TCellBaseFeature b = recordOf(rectanglePixels(20, 6, 5, 2), 0xFF000002u);
    const TSetOfFeatures features{FeatureId::XCenter, FeatureId::Area, TFeature(99)};
    // The working list decides the order of the values.
    const FeatureValueTable table = computeFeatureValues(features, {&b, &a}, calibrationScale(2, 2, 0));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table.begin()->first, TFeature(FeatureId::Area)); // keyed by identifier
    const std::vector<double>& area = *table.at(FeatureId::Area);
    ASSERT_EQ(area.size(), 2u);
    EXPECT_EQ(area[0], 2.5);
    EXPECT_EQ(area[1], 2.25);
    EXPECT_EQ((*table.at(FeatureId::XCenter))[1], 5.0);
    EXPECT_EQ((*table.at(TFeature(99)))[0], 0.0);

    const StatisticsTable stats = computeStatistics(table);
    ASSERT_EQ(stats.size(), 3u);
    EXPECT_EQ(stats.at(FeatureId::Area).count(), 2.0);
    EXPECT_EQ(stats.at(FeatureId::Area).sum(), 4.75);

    // No working cells: no statistics at all.
    const FeatureValueTable empty = computeFeatureValues(features, {}, {});
    EXPECT_EQ(empty.size(), 3u);
    EXPECT_TRUE(computeStatistics(empty).empty());
}
