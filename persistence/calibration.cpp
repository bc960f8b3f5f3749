#include "persistence/calibration.h"

#include "persistence/object_stream.h"

#include <cmath>
#include <ctime>

namespace quadrel {

namespace {

// 1901-01-01 to 1970-01-01: 69 years, 17 of them leap years.
constexpr int64_t kSeconds1901To1970 = (69LL * 365 + 17) * 86400;
constexpr double kMillimetresPerInch = 25.4;

double nonZero(double v) {
    return v == 0.0 ? 1.0 : v;
}

} // namespace

uint32_t calibrationTimeNow() {
    return static_cast<uint32_t>(int64_t(std::time(nullptr)) + kSeconds1901To1970);
}

TCalibration::TCalibration(double pixelsValue, double lengthValue)
    : pixels(pixelsValue), length(lengthValue), time(calibrationTimeNow()) {}

double TCalibration::scale() const {
    return nonZero(scaleNumerator / nonZero(scaleDenominator) + scaleOffset);
}

double TCalibration::pixelsPerUnit(double count, double unitFactorOverride) const {
    const double p = pixels / nonZero(length);
    const double u = unitFactorOverride != 0.0 ? unitFactorOverride : nonZero(unitFactor);
    return p * u * count * factor / scale();
}

double TCalibration::pixelsPerBaseUnit() const {
    return pixels / nonZero(length) * factor / scale();
}

void TCalibration::setPixelsPerBaseUnit(double value) {
    pixels = scale() * value / nonZero(factor);
    length = 1.0;
}

bool TCalibration::read(ipstream& is) {
    const int32_t recordVersion = is.getWordInt();
    if (!is.isGood()) return false;
    if (recordVersion <= 0) return true;
    TCalibration c(*this);
    c.pixels = is.getDouble();
    c.length = is.getDouble();
    c.factor = is.getDouble();
    c.unitFactor = is.getDouble();
    c.time = is.get32();
    c.title = is.getText();
    c.scaleNumerator = is.getDouble();
    c.scaleOffset = is.getDouble();
    c.scaleDenominator = is.getDouble();
    if (!is.isGood()) return false;
    // The factor is folded into the pixel count.
    c.pixels *= c.factor;
    c.factor = 1.0;
    *this = std::move(c);
    return true;
}

void TCalibration::write(opstream& os) const {
    os.put32(1);
    os.putDouble(pixels);
    os.putDouble(length);
    os.putDouble(factor);
    os.putDouble(unitFactor);
    os.put32(time);
    os.putText(title);
    os.putDouble(scaleNumerator);
    os.putDouble(scaleOffset);
    os.putDouble(scaleDenominator);
}

TCalibration calibrationFromResolution(std::optional<double> dotsPerInch) {
    if (!dotsPerInch || !std::isfinite(*dotsPerInch) || *dotsPerInch <= 0.0) return TCalibration(1.0, 1.0);
    return TCalibration(*dotsPerInch / kMillimetresPerInch, 1.0);
}

float resolutionFromCalibration(const TCalibration& calibration) {
    return static_cast<float>(calibration.pixelsPerBaseUnit() * kMillimetresPerInch);
}

} // namespace quadrel
