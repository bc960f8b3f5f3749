#include "persistence/tag_record.h"

#include "overlay/overlay_streams.h"

#include <ctime>

namespace quadrel {

namespace {

// The Julian day number of 1970-01-01.
constexpr int64_t kJulianDayOfUnixEpoch = 2440588;

} // namespace

uint32_t julianDayToday() {
    return static_cast<uint32_t>(int64_t(std::time(nullptr)) / 86400 + kJulianDayOfUnixEpoch);
}

// ---- TCalibrationObject ----

TCalibrationObject::TCalibrationObject() : time(calibrationTimeNow()), date(julianDayToday()) {}

void TCalibrationObject::readFields(ipstream& is, uint32_t version) {
    pixels = is.getDouble();
    length = is.getDouble();
    pixelMultiplier = is.getDouble();
    lengthDivisor = is.getDouble();
    if (version > 1) {
        date = is.get32();
        time = is.get32();
    }
    if (version > 2) title = is.getText();
    if (version > 3) {
        scaleNumerator = is.getDouble();
        scaleOffset = is.getDouble();
    }
    if (version > 4) scaleDenominator = is.getDouble();
    pixels *= pixelMultiplier;
    pixelMultiplier = 1.0;
    if (lengthDivisor == 0.0) lengthDivisor = 1.0;
}

void TCalibrationObject::writeFields(opstream& os) const {
    os.putDouble(pixels);
    os.putDouble(length);
    os.putDouble(pixelMultiplier);
    os.putDouble(lengthDivisor);
    os.put32(date);
    os.put32(time);
    os.putText(title);
    os.putDouble(scaleNumerator);
    os.putDouble(scaleOffset);
    os.putDouble(scaleDenominator);
}

TCalibration TCalibrationObject::toCalibration() const {
    TCalibration c(pixels, length / (lengthDivisor == 0.0 ? 1.0 : lengthDivisor));
    c.time = time;
    c.title = title;
    c.scaleNumerator = scaleNumerator;
    c.scaleOffset = scaleOffset;
    c.scaleDenominator = scaleDenominator;
    c.factor = 1.0;
    c.unitFactor = 1.0;
    return c;
}

// ---- TTagExtent ----

void TTagExtent::read(ipstream& is) {
    const int32_t recordVersion = is.getWordInt();
    if (!is.isGood()) return;
    if (recordVersion > 0) {
        value2 = is.getDouble();
        value3 = is.getDouble();
        value1 = is.getDouble();
        flag = is.get32() != 0;
    }
    if (recordVersion > 1) {
        width = is.getDouble();
        height = is.getDouble();
    }
}

void TTagExtent::write(opstream& os) const {
    os.put32(2);
    os.putDouble(value2);
    os.putDouble(value3);
    os.putDouble(value1);
    os.putBool32(flag);
    os.putDouble(width);
    os.putDouble(height);
}

// ---- TTagObject ----

void TTagObject::readFields(ipstream& is, uint32_t version) {
    m_calibrationRead = false;
    if (version > 2) {
        TCalibration c = calibration;
        if (!c.read(is) || !is.isGood()) return;
        calibration = std::move(c);
    } else {
        TCalibrationObject old;
        is.getObject(old);
        if (!is.isGood()) return;
        calibration = old.toCalibration();
    }
    m_calibrationRead = true;
    if (version == 1) {
        // The oldest tags end with their calibration.
        jpegQuality = 75;
        rectC = StreamRect{0, 0, 4096, 4096};
        rectA = StreamRect{};
        rectB = StreamRect{};
        return;
    }
    jpegQuality = is.getWordInt();
    tagValue = is.getInt32();
    rectC = is.getRect();
    rectA = is.getRect();
    rectB = is.getRect();
    is.getObject(graphics);
    is.getObject(overlays);
    if (version > 3) extent.read(is);
}

void TTagObject::writeFields(opstream& os) const {
    calibration.write(os);
    os.putInt32(jpegQuality);
    os.putInt32(tagValue);
    os.putRect(rectC);
    os.putRect(rectA);
    os.putRect(rectB);
    os.putObject(graphics);
    os.putObject(overlays);
    extent.write(os);
}

void registerCalibrationStreamClasses(StreamClassRegistry& registry) {
    registry.registerClass<TCalibrationObject>("TCalibrationObject");
    registry.registerClass<TTagObject>("TTagObject");
}

// ---- TGUID ----

TGUID readGuid(ipstream& is) {
    TGUID g;
    g.data1 = is.get32();
    g.data2 = is.get16();
    g.data3 = is.get16();
    for (uint8_t& b : g.data4)
        b = is.get8();
    if (!is.isGood()) return TGUID{};
    return g;
}

void writeGuid(opstream& os, const TGUID& guid) {
    os.put32(guid.data1);
    os.put16(guid.data2);
    os.put16(guid.data3);
    for (uint8_t b : guid.data4)
        os.put8(b);
}

// ---- the calibration of a document's tag ----

TagCalibrationResult readTagCalibration(std::span<const uint8_t> tagItem, std::optional<double> fallbackDotsPerInch) {
    TagCalibrationResult result{calibrationFromResolution(fallbackDotsPerInch), TagCalibrationSource::NoTag};
    if (tagItem.empty()) return result;
    TTagObject tag;
    try {
        SpanBuffer buffer(tagItem);
        ipstream is(&buffer);
        is.getObject(tag);
    } catch (const TXBase&) {
        // A class the registry does not know: whatever was read before it still counts below.
    }
    if (!tag.calibrationRead()) {
        result.source = TagCalibrationSource::Unreadable;
        return result;
    }
    result.calibration = tag.calibration;
    result.source = TagCalibrationSource::Tag;
    return result;
}

} // namespace quadrel
