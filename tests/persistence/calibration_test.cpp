#include "persistence/calibration.h"
#include "persistence/object_stream.h"
#include "stream_bytes.h"

#include <cmath>
#include <gtest/gtest.h>

namespace quadrel {
namespace {

using testing::ByteBuilder;
using testing::Bytes;

TEST(Calibration, Defaults) {
    const TCalibration c(3.0, 1.0);
    EXPECT_EQ(c.title, "Not calibred");
    EXPECT_EQ(c.scaleNumerator, 1.0);
    EXPECT_EQ(c.scaleOffset, 0.0);
    EXPECT_EQ(c.scaleDenominator, 1.0);
    EXPECT_EQ(c.factor, 1.0);
    EXPECT_EQ(c.unitFactor, 1.0);
    // Seconds since 1901: later than 2020-01-01 (3786825600).
    EXPECT_GT(c.time, 3786825600u);
}

TEST(Calibration, Arithmetic) {
    TCalibration c(3.0, 1.0);
    c.unitFactor = 25.4;
    EXPECT_DOUBLE_EQ(c.pixelsPerUnit(1, 0), 76.2);
    EXPECT_DOUBLE_EQ(c.pixelsPerUnit(2, 1.0), 6.0);
    EXPECT_DOUBLE_EQ(c.pixelsPerBaseUnit(), 3.0);

    TCalibration scaled(10.0, 4.0);
    scaled.factor = 2.0;
    scaled.scaleNumerator = 3.0;
    scaled.scaleDenominator = 2.0;
    scaled.scaleOffset = 0.5; // s = 3 / 2 + 0.5 = 2
    EXPECT_DOUBLE_EQ(scaled.pixelsPerBaseUnit(), 10.0 / 4.0 * 2.0 / 2.0);
    scaled.setPixelsPerBaseUnit(5.0);
    EXPECT_DOUBLE_EQ(scaled.pixels, 2.0 * 5.0 / 2.0);
    EXPECT_EQ(scaled.length, 1.0);
    EXPECT_DOUBLE_EQ(scaled.pixelsPerBaseUnit(), 5.0);
}

TEST(Calibration, ZerosNeverDivide) {
    TCalibration c(6.0, 0.0);
    c.scaleDenominator = 0.0;
    c.unitFactor = 0.0;
    EXPECT_DOUBLE_EQ(c.pixelsPerBaseUnit(), 6.0);
    EXPECT_DOUBLE_EQ(c.pixelsPerUnit(1, 0), 6.0);
    c.scaleNumerator = 0.0; // s = 0 / 1 + 0 = 0 counts as 1
    EXPECT_DOUBLE_EQ(c.pixelsPerBaseUnit(), 6.0);
    c.factor = 0.0;
    c.setPixelsPerBaseUnit(4.0);
    EXPECT_DOUBLE_EQ(c.pixels, 4.0);

    TCalibration zero(1.0, 1.0);
    zero.setPixelsPerBaseUnit(0.0);
    EXPECT_EQ(zero.pixels, 0.0);
    EXPECT_EQ(zero.length, 1.0);
    EXPECT_EQ(zero.pixelsPerBaseUnit(), 0.0);
}

TEST(Calibration, FromResolutionIsUnroundedAndRoundTrips) {
    struct Case {
        double dpi;
        double pixelsPerMm;
    };
    for (const Case& c : {Case{72, 72 / 25.4}, Case{96, 96 / 25.4}, Case{254, 10.0}, Case{300, 300 / 25.4}}) {
        const TCalibration cal = calibrationFromResolution(c.dpi);
        EXPECT_DOUBLE_EQ(cal.pixelsPerBaseUnit(), c.pixelsPerMm) << c.dpi;
        EXPECT_EQ(cal.length, 1.0);
        EXPECT_FLOAT_EQ(resolutionFromCalibration(cal), float(c.dpi)) << c.dpi;
    }
    EXPECT_NEAR(calibrationFromResolution(96).pixelsPerBaseUnit(), 3.7795, 1e-4); // not truncated to 3
}

TEST(Calibration, NoUsableResolutionIsOnePixelPerMillimetre) {
    for (std::optional<double> r : {std::optional<double>{}, std::optional<double>{0.0}, std::optional<double>{-72.0},
                                    std::optional<double>{std::nan("")}, std::optional<double>{INFINITY}}) {
        const TCalibration c = calibrationFromResolution(r);
        EXPECT_EQ(c.pixels, 1.0);
        EXPECT_EQ(c.length, 1.0);
        EXPECT_EQ(c.pixelsPerBaseUnit(), 1.0);
    }
    EXPECT_FLOAT_EQ(resolutionFromCalibration(calibrationFromResolution(std::nullopt)), 25.4f);
}

TEST(Calibration, StreamLayoutAndFactorFolding) {
    TCalibration c(12.0, 2.0);
    c.factor = 1.5;
    c.unitFactor = 25.4;
    c.time = 99;
    c.title = "objective 10x";
    c.scaleNumerator = 2.0;
    c.scaleOffset = 0.25;
    c.scaleDenominator = 4.0;
    const Bytes written = testing::writeStream([&](opstream& os) { c.write(os); });
    const Bytes expected = ByteBuilder()
                               .header()
                               .u32(1)
                               .f64(12.0)
                               .f64(2.0)
                               .f64(1.5)
                               .f64(25.4)
                               .u32(99)
                               .str("objective 10x")
                               .f64(2.0)
                               .f64(0.25)
                               .f64(4.0);
    EXPECT_EQ(written, expected);

    MemoryBuffer buffer(written);
    ipstream is(&buffer);
    TCalibration back;
    EXPECT_TRUE(back.read(is));
    EXPECT_EQ(back.pixels, 18.0); // the factor is folded into the pixels
    EXPECT_EQ(back.factor, 1.0);
    EXPECT_EQ(back.length, 2.0);
    EXPECT_EQ(back.title, "objective 10x");
    EXPECT_DOUBLE_EQ(back.pixelsPerBaseUnit(), c.pixelsPerBaseUnit());
}

TEST(Calibration, RecordVersionZeroCarriesNothingAndTruncationFails) {
    for (int32_t v : {0, -3}) {
        const Bytes in = ByteBuilder().header().i32(v).f64(5.0);
        MemoryBuffer buffer(in);
        ipstream is(&buffer);
        TCalibration c(2.0, 1.0);
        EXPECT_TRUE(c.read(is));
        EXPECT_EQ(c.pixels, 2.0);
        EXPECT_EQ(is.remaining(), 8u);
    }
    const Bytes cut = ByteBuilder().header().u32(1).f64(5.0).f64(1.0);
    MemoryBuffer buffer(cut);
    ipstream is(&buffer);
    TCalibration c(2.0, 1.0);
    EXPECT_FALSE(c.read(is));
    EXPECT_EQ(c.pixels, 2.0); // nothing taken from a record that did not arrive whole
}

} // namespace
} // namespace quadrel
