#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quadrel {

class ipstream;
class opstream;

// Seconds since 1 January 1901 00:00 UTC, the time base of the calibration records.
uint32_t calibrationTimeNow();

// The calibration of one axis: how many pixels span a length in base units (millimetres), with an optical
// scale, an extra factor and the unit factor of the display unit. Copied by value.
class TCalibration {
public:
    TCalibration(double pixelsValue = 1.0, double lengthValue = 1.0);

    double pixels;
    double length;
    uint32_t time;
    std::string title = "Not calibred";
    double scaleNumerator = 1.0;
    double scaleOffset = 0.0;
    double scaleDenominator = 1.0;
    double factor = 1.0;
    // Base units per display unit: 1.0 for millimetres, 25.4 for inches.
    double unitFactor = 1.0;

    // Pixels that `count` display units span; a non-zero override replaces the unit factor.
    double pixelsPerUnit(double count, double unitFactorOverride) const;
    double pixelsPerBaseUnit() const;
    void setPixelsPerBaseUnit(double value);

    // The inline form inside the tag record. Reading returns false when the stream failed before the record
    // was complete; a record version of 0 or less carries nothing else and leaves the fields as they are.
    bool read(ipstream& is);
    void write(opstream& os) const;

    friend bool operator==(const TCalibration&, const TCalibration&) = default;

private:
    double scale() const;
};

// The calibration an image resolution gives: r / 25.4 pixels per millimetre over a length of 1, unrounded.
// An image without a usable resolution (none, zero, negative or not finite) is calibrated in pixels: exactly
// 1 pixel per millimetre.
TCalibration calibrationFromResolution(std::optional<double> dotsPerInch);
// The resolution in dots per inch that a calibration gives back to the image when it is saved.
float resolutionFromCalibration(const TCalibration& calibration);

} // namespace quadrel
