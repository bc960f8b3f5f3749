#pragma once

// The legacy records that documents of other writers carry in their "__TAG__" item. The program reads them
// only for the calibration they hold.

#include "core/guid.h"
#include "overlay/graph_objects.h"
#include "overlay/graphical_objects.h"
#include "persistence/calibration.h"
#include "persistence/object_stream.h"

#include <optional>
#include <span>

namespace quadrel {

// Days since the Julian epoch, the date base of the old calibration record.
uint32_t julianDayToday();

// The calibration record of old tag records.
class TCalibrationObject : public TStreamableBase {
public:
    static constexpr const char* kStreamName = "TCalibrationObject";
    static constexpr uint32_t kClassVersion = 5;

    TCalibrationObject();

    double pixels = 1.0;
    double length = 1.0;
    double lengthDivisor = 1.0;
    uint32_t time;
    std::string title;
    double scaleNumerator = 1.0;
    double scaleOffset = 0.0;
    double scaleDenominator = 1.0;
    uint32_t date;
    double pixelMultiplier = 1.0;

    TCalibration toCalibration() const;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TCalibrationObject);
};

// The extent record at the end of a tag record; written inline.
struct TTagExtent {
    double value1 = 1.0;
    double value2 = 1.0;
    double value3 = 1.0;
    double width = 180.0;
    double height = 130.0;
    bool flag = true;

    void read(ipstream& is);
    void write(opstream& os) const;
};

// The tag record. It owns everything it holds.
class TTagObject : public TStreamableBase {
public:
    static constexpr const char* kStreamName = "TTagObject";
    static constexpr uint32_t kClassVersion = 4;

    int32_t tagValue = 0;
    TCalibration calibration{1.0, 1.0};
    StreamRect rectA;
    StreamRect rectB;
    StreamRect rectC{0, 0, 4096, 4096};
    int32_t jpegQuality = 75;
    overlay::TPGraphObjectList overlays;
    overlay::TPGraphicsObjectList graphics;
    TTagExtent extent;

    // Whether the last read got the calibration completely, before anything went wrong.
    bool calibrationRead() const { return m_calibrationRead; }

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TTagObject);

private:
    bool m_calibrationRead = false;
};

// The inline form of a GUID: Data1 as 4 raw bytes, Data2 and Data3 as 16-bit values, Data4 byte by byte.
TGUID readGuid(ipstream& is);
void writeGuid(opstream& os, const TGUID& guid);

// Where the calibration of an axis came from.
enum class TagCalibrationSource {
    Tag,        // the tag record's calibration, read completely
    NoTag,      // the item is missing or empty: the image resolution
    Unreadable, // the tag is damaged before its calibration was complete or names an unknown class there
};

struct TagCalibrationResult {
    TCalibration calibration;
    TagCalibrationSource source = TagCalibrationSource::NoTag;
};

// The calibration a document's "__TAG__" item gives one axis. The tag's calibration is used when it was read
// completely, whatever happens to the annotation lists after it; a missing, empty or unreadable tag gives the
// calibration of the image resolution of that axis. Never throws for bad data.
TagCalibrationResult readTagCalibration(std::span<const uint8_t> tagItem, std::optional<double> fallbackDotsPerInch);

} // namespace quadrel
