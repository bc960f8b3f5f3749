#include "overlay/graph_objects.h"

#include "overlay/overlay_streams.h"

#include <cstring>
#include <unordered_set>

namespace quadrel::overlay {

namespace {

uint32_t readLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t readLE16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

void readFourPoints(ipstream& is, std::array<StreamPoint, 4>& points) {
    for (StreamPoint& p : points)
        p = is.getPoint();
}

void writeFourPoints(opstream& os, const std::array<StreamPoint, 4>& points) {
    for (const StreamPoint& p : points)
        os.putPoint(p);
}

// Some captioned records start with a 32-bit 1 that readers ignore.
void readLeadingMarker(ipstream& is) {
    if (is.version() != 0) is.getWord();
}

// Bitmap header constants.
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kV5HeaderSize = 124;
constexpr uint32_t kBitfields = 3;
constexpr uint32_t kAlphaBitfields = 6;
constexpr uint32_t kProfileEmbedded = 0x4D424544; // 'MBED'
// Nothing this program has met comes near this; a larger header is taken for damage.
constexpr uint32_t kMaxHeaderSize = 1024;

} // namespace

// ---- TLogFont ----

void TLogFont::read(ipstream& is) {
    uint8_t b[kSize];
    is.getRaw(b, kSize);
    if (!is.isGood()) return;
    height = int32_t(readLE32(b));
    width = int32_t(readLE32(b + 4));
    escapement = int32_t(readLE32(b + 8));
    orientation = int32_t(readLE32(b + 12));
    weight = int32_t(readLE32(b + 16));
    italic = b[20];
    underline = b[21];
    strikeOut = b[22];
    charSet = b[23];
    outPrecision = b[24];
    clipPrecision = b[25];
    quality = b[26];
    pitchAndFamily = b[27];
    std::memcpy(faceName.data(), b + 28, 32);
}

void TLogFont::write(opstream& os) const {
    os.putInt32(height);
    os.putInt32(width);
    os.putInt32(escapement);
    os.putInt32(orientation);
    os.putInt32(weight);
    const uint8_t flags[8] = {italic,       underline,     strikeOut, charSet,
                              outPrecision, clipPrecision, quality,   pitchAndFamily};
    os.putRaw(flags, 8);
    os.putRaw(faceName.data(), 32);
}

// ---- TCaption, TPointList ----

void TCaption::readFields(ipstream& is, uint32_t version) {
    text = is.getText();
    valueD = is.getWordInt();
    backgroundMode = is.getWordInt();
    textColour = is.get32();
    backgroundColour = is.get32();
    if (version != 1) rect = is.getRect();
    font.read(is);
}

void TCaption::writeFields(opstream& os) const {
    os.putText(text);
    os.putInt32(valueD);
    os.putInt32(backgroundMode);
    os.put32(textColour);
    os.put32(backgroundColour);
    os.putRect(rect);
    font.write(os);
}

void TPointList::readFields(ipstream& is, uint32_t) {
    readPoints(is, points, is.getWord());
}

void TPointList::writeFields(opstream& os) const {
    os.put32(static_cast<uint32_t>(points.size()));
    for (const StreamPoint& p : points)
        os.putPoint(p);
}

// ---- TGraphObject ----

void TGraphObject::readFields(ipstream& is, uint32_t version) {
    key = is.get32();
    foreground = is.get32();
    background = is.get32();
    bounds = is.getRect();
    valueA = is.getWordInt();
    thickness = is.getWordInt();
    valueB = is.getWordInt();
    text = is.getText();
    shadow = is.getBool32();
    valueC = version > 1 ? is.getWordInt() : 2;
}

void TGraphObject::writeFields(opstream& os) const {
    os.put32(key);
    os.put32(foreground);
    os.put32(background);
    os.putRect(bounds);
    os.putInt32(valueA);
    os.putInt32(thickness);
    os.putInt32(valueB);
    os.putText(text);
    os.putBool32(shadow);
    os.putInt32(valueC);
}

// ---- points and lines ----

void TGFeretDiameter::readFields(ipstream& is, uint32_t) {
    readBasePart<TGraphObject>(is, *this);
    diameter = is.getDouble();
}

void TGFeretDiameter::writeFields(opstream& os) const {
    writeBasePart<TGraphObject>(os, *this, 2);
    os.putDouble(diameter);
}

void TGCaptionFeretDiameter::readFields(ipstream& is, uint32_t) {
    readLeadingMarker(is);
    readBasePart<TGraphObject>(is, *this);
    diameter = is.getDouble();
    is.getObject(caption);
}

void TGCaptionFeretDiameter::writeFields(opstream& os) const {
    os.put32(1);
    writeBasePart<TGraphObject>(os, *this, 2);
    os.putDouble(diameter);
    os.putObject(caption);
}

void TGCaptionPoint::readFields(ipstream& is, uint32_t) {
    readBasePart<TGPoint>(is, *this);
    is.getObject(caption);
}

void TGCaptionPoint::writeFields(opstream& os) const {
    writeBasePart<TGPoint>(os, *this, 2);
    os.putObject(caption);
}

void TGArrow::readFields(ipstream& is, uint32_t) {
    readBasePart<TGraphObject>(is, *this);
    arrowValue = is.getWordInt();
    readFourPoints(is, head);
}

void TGArrow::writeFields(opstream& os) const {
    writeBasePart<TGraphObject>(os, *this, 2);
    os.putInt32(arrowValue);
    writeFourPoints(os, head);
}

void TGCaptionArrow::readFields(ipstream& is, uint32_t) {
    readBasePart<TGArrow>(is, *this);
    is.getObject(caption);
}

void TGCaptionArrow::writeFields(opstream& os) const {
    writeBasePart<TGArrow>(os, *this, 1);
    os.putObject(caption);
}

void TGPalmer::readFields(ipstream& is, uint32_t) {
    readBasePart<TGraphObject>(is, *this);
    readFourPoints(is, marks);
}

void TGPalmer::writeFields(opstream& os) const {
    writeBasePart<TGraphObject>(os, *this, 2);
    writeFourPoints(os, marks);
}

void TGCaptionLine::readFields(ipstream& is, uint32_t) {
    readBasePart<TGLine>(is, *this);
    is.getObject(caption);
}

void TGCaptionLine::writeFields(opstream& os) const {
    writeBasePart<TGLine>(os, *this, 2);
    os.putObject(caption);
}

void TGCaptionPalmer::readFields(ipstream& is, uint32_t) {
    readLeadingMarker(is);
    readBasePart<TGLine>(is, *this);
    is.getObject(caption);
    readFourPoints(is, marks);
}

void TGCaptionPalmer::writeFields(opstream& os) const {
    os.put32(1);
    writeBasePart<TGLine>(os, *this, 2);
    os.putObject(caption);
    writeFourPoints(os, marks);
}

// ---- scale and stamp ----

void TGScale::readFields(ipstream& is, uint32_t version) {
    readBasePart<TGraphObject>(is, *this);
    origin = is.getPoint();
    for (int i = 0; i < 3; ++i)
        values[i] = is.getWordInt();
    values[3] = version > 1 ? is.getWordInt() : 0;
}

void TGScale::writeFields(opstream& os) const {
    writeBasePart<TGraphObject>(os, *this, 2);
    os.putPoint(origin);
    for (int32_t v : values)
        os.putInt32(v);
}

void TGCaptionScale::readFields(ipstream& is, uint32_t) {
    readBasePart<TGScale>(is, *this);
    is.getObject(caption);
}

void TGCaptionScale::writeFields(opstream& os) const {
    writeBasePart<TGScale>(os, *this, 2);
    os.putObject(caption);
}

TGStamp::TGStamp() {
    // A 1 x 1 black 24-bit bitmap, so that a new stamp writes a readable record.
    dib.assign(kInfoHeaderSize + 4, 0);
    dib[0] = kInfoHeaderSize;
    dib[4] = 1;   // width
    dib[8] = 1;   // height
    dib[12] = 1;  // planes
    dib[14] = 24; // bits per pixel
}

uint64_t packedDibLength(const uint8_t* h, size_t available) {
    if (available < 4) return 0;
    const uint32_t headerSize = readLE32(h);
    if (headerSize < kCoreHeaderSize || headerSize > kMaxHeaderSize || available < headerSize) return 0;
    uint64_t width, height;
    uint32_t bitCount, compression = 0, sizeImage = 0, coloursUsed = 0;
    uint64_t colourEntryBytes = 4;
    if (headerSize == kCoreHeaderSize) {
        width = readLE16(h + 4);
        height = readLE16(h + 6);
        bitCount = readLE16(h + 10);
        colourEntryBytes = 3;
    } else {
        if (headerSize < kInfoHeaderSize) return 0;
        const int32_t w = int32_t(readLE32(h + 4));
        const int32_t hgt = int32_t(readLE32(h + 8));
        if (w < 0 || hgt == INT32_MIN) return 0;
        width = uint64_t(w);
        height = uint64_t(hgt < 0 ? -int64_t(hgt) : hgt);
        bitCount = readLE16(h + 14);
        compression = readLE32(h + 16);
        sizeImage = readLE32(h + 20);
        coloursUsed = readLE32(h + 32);
    }
    uint64_t colours = coloursUsed;
    if (colours == 0 && bitCount >= 1 && bitCount <= 8) colours = uint64_t(1) << bitCount;
    if (colours > 65536) return 0;
    uint64_t length = headerSize + colours * colourEntryBytes;
    // With the plain information header the channel masks follow it.
    if (headerSize == kInfoHeaderSize && compression == kBitfields) length += 12;
    if (headerSize == kInfoHeaderSize && compression == kAlphaBitfields) length += 16;
    if (compression == 0 || compression == kBitfields || compression == kAlphaBitfields) {
        if (bitCount == 0 || bitCount > 32) return 0;
        const uint64_t stride = (width * bitCount + 31) / 32 * 4;
        // Far beyond any data there is; refused before the product could overflow.
        if (stride != 0 && height > (uint64_t(1) << 40) / stride) return 0;
        length += stride * height;
    } else {
        // Compressed bits state their size.
        length += sizeImage;
    }
    // An embedded colour profile sits after the bits, at an offset from the header start.
    if (headerSize >= kV5HeaderSize && readLE32(h + 56) == kProfileEmbedded) {
        const uint64_t profileEnd = uint64_t(readLE32(h + 112)) + readLE32(h + 116);
        if (profileEnd > length) length = profileEnd;
    }
    return length;
}

void TGStamp::readFields(ipstream& is, uint32_t) {
    readBasePart<TGraphObject>(is, *this);
    origin = is.getPoint();
    flag = is.getBool32();
    stampValue = is.get32();
    if (!is.isGood()) return;
    uint8_t sizeBytes[4];
    is.getRaw(sizeBytes, 4);
    if (!is.isGood()) return;
    const uint32_t headerSize = readLE32(sizeBytes);
    if (headerSize < kCoreHeaderSize || headerSize > kMaxHeaderSize || !is.checkCount(headerSize - 4, 1)) {
        is.setState(pstream::fail);
        return;
    }
    std::vector<uint8_t> bytes(headerSize);
    std::memcpy(bytes.data(), sizeBytes, 4);
    is.getRaw(bytes.data() + 4, headerSize - 4);
    if (!is.isGood()) return;
    const uint64_t length = packedDibLength(bytes.data(), bytes.size());
    if (length < headerSize || !is.checkCount(length - headerSize, 1)) {
        is.setState(pstream::fail);
        return;
    }
    bytes.resize(length);
    is.getRaw(bytes.data() + headerSize, length - headerSize);
    if (is.isGood()) dib = std::move(bytes);
}

void TGStamp::writeFields(opstream& os) const {
    writeBasePart<TGraphObject>(os, *this, 2);
    os.putPoint(origin);
    os.putBool32(flag);
    os.put32(stampValue);
    os.putRaw(dib.data(), dib.size());
}

// ---- vectors ----

void TGVector::readFields(ipstream& is, uint32_t) {
    readBasePart<TGraphObject>(is, *this);
    start = is.getPoint();
    const uint32_t count = is.getWord();
    if (is.isGood()) readPoints(is, points.points, count);
}

void TGVector::writeFields(opstream& os) const {
    writeBasePart<TGraphObject>(os, *this, 2);
    os.putPoint(start);
    os.put32(static_cast<uint32_t>(points.points.size()));
    for (const StreamPoint& p : points.points)
        os.putPoint(p);
}

// Captioned classes: the base part with its version, then the caption.
#define QUADREL_CAPTIONED_FIELDS(Class, Base, BaseVersion)                                                             \
    void Class::readFields(ipstream& is, uint32_t) {                                                                   \
        readBasePart<Base>(is, *this);                                                                                 \
        is.getObject(caption);                                                                                         \
    }                                                                                                                  \
    void Class::writeFields(opstream& os) const {                                                                      \
        writeBasePart<Base>(os, *this, BaseVersion);                                                                   \
        os.putObject(caption);                                                                                         \
    }

QUADREL_CAPTIONED_FIELDS(TGCaptionVector, TGVector, 1)
QUADREL_CAPTIONED_FIELDS(TGCaptionArea, TGVector, 1)
QUADREL_CAPTIONED_FIELDS(TGCaptionCircle3pnts, TGVector, 1)
QUADREL_CAPTIONED_FIELDS(TGCaptionAngle, TGVector, 1)
QUADREL_CAPTIONED_FIELDS(TGCaptionRect, TGRectangle, 2)
QUADREL_CAPTIONED_FIELDS(TGCaptionCircle, TGCircle, 2)
QUADREL_CAPTIONED_FIELDS(TGCaption, TGraphObject, 2)

#undef QUADREL_CAPTIONED_FIELDS

// ---- the list ----

bool TPGraphObjectList::add(std::shared_ptr<TGraphObject> object) {
    if (!object) return false;
    for (const auto& held : objects)
        if (held == object) return false;
    objects.push_back(std::move(object));
    return true;
}

void TPGraphObjectList::readFields(ipstream& is, uint32_t) {
    const uint32_t count = is.getWord();
    if (!is.checkCount(count, ipstream::kMinPointerBytes)) return;
    std::unordered_set<const TGraphObject*> held;
    for (const auto& o : objects)
        held.insert(o.get());
    for (uint32_t i = 0; i < count; ++i) {
        std::shared_ptr<TGraphObject> object;
        is.getPointer(object);
        if (!is.isGood()) return;
        // Another class converts to null; an object already held (a back-reference) is not added twice.
        if (object && held.insert(object.get()).second) objects.push_back(std::move(object));
    }
}

void TPGraphObjectList::writeFields(opstream& os) const {
    os.put32(static_cast<uint32_t>(objects.size()));
    for (const auto& o : objects)
        os.putPointer(o);
}

void registerGraphObjectClasses(StreamClassRegistry& registry) {
    registry.registerClass<TPGraphObjectList>("TPGraphObjectList");
    registry.registerClass<TCaption>("TCaption");
    registry.registerClass<TPointList>("TPointList");
    registry.registerClass<TGPoint>("TGPoint");
    registry.registerClass<TGLine>("TGLine");
    registry.registerClass<TGRectangle>("TGRectangle");
    registry.registerClass<TGEllipse>("TGEllipse");
    registry.registerClass<TGCircle>("TGCircle");
    registry.registerClass<TGScale>("TGScale");
    registry.registerClass<TGArrow>("TGArrow");
    registry.registerClass<TGPalmer>("TGPalmer");
    registry.registerClass<TGStamp>("TGStamp");
    registry.registerClass<TGVector>("TGVector");
    registry.registerClass<TGArea>("TGArea");
    registry.registerClass<TGCircle3pnts>("TGCircle3pnts");
    registry.registerClass<TGAngle>("TGAngle");
    registry.registerClass<TGFeretDiameter>("TGFeretDiameter");
    registry.registerClass<TGCaption>("TGCaption");
    registry.registerClass<TGCaptionPoint>("TGCaptionPoint");
    registry.registerClass<TGCaptionLine>("TGCaptionLine");
    registry.registerClass<TGCaptionArrow>("TGCaptionArrow");
    registry.registerClass<TGCaptionPalmer>("TGCaptionPalmer");
    registry.registerClass<TGCaptionRect>("TGCaptionRect");
    registry.registerClass<TGCaptionCircle>("TGCaptionCircle");
    registry.registerClass<TGCaptionVector>("TGCaptionVector");
    registry.registerClass<TGCaptionArea>("TGCaptionArea");
    registry.registerClass<TGCaptionCircle3pnts>("TGCaptionCircle3pnts");
    registry.registerClass<TGCaptionAngle>("TGCaptionAngle");
    registry.registerClass<TGCaptionScale>("TGCaptionScale");
    registry.registerClass<TGCaptionFeretDiameter>("TGCaptionFeretDiameter");
}

} // namespace quadrel::overlay
