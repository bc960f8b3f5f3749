#include "overlay/graphical_objects.h"

#include "overlay/overlay_streams.h"

#include <unordered_set>

namespace quadrel {

void registerOverlayStreamClasses(StreamClassRegistry& registry) {
    overlay::registerGraphObjectClasses(registry);
    overlay::registerGraphicalObjectClasses(registry);
}

} // namespace quadrel

namespace quadrel::overlay {

namespace {

constexpr uint8_t kBaseAlreadyWritten = 1;
constexpr uint8_t kBaseFollows = 2;

} // namespace

void GraphicalObject::readFields(ipstream& is, uint32_t) {
    bounds = is.getRect();
    valueC = is.getWordInt();
    valueA = is.getWordInt();
    valueB = is.getWordInt();
    colour = is.get32();
}

void GraphicalObject::writeFields(opstream& os) const {
    os.putRect(bounds);
    os.putInt32(valueC);
    os.putInt32(valueA);
    os.putInt32(valueB);
    os.put32(colour);
}

void Arrow::readFields(ipstream& is, uint32_t) {
    readBasePart<GraphicalObject>(is, *this);
    valueD = is.getWordInt();
    headSize = is.getDouble();
    valueE = is.getWordInt();
}

void Arrow::writeFields(opstream& os) const {
    writeBasePart<GraphicalObject>(os, *this, 1);
    os.putInt32(valueD);
    os.putDouble(headSize);
    os.putInt32(valueE);
}

void TLookUpTable::readFields(ipstream& is, uint32_t) {
    readBasePart<GraphicalObject>(is, *this);
    valueF = is.getWordInt();
    const uint32_t count = is.getWord();
    if (!is.isGood()) return;
    if (count > kMaxColours || !is.checkCount(count, 4)) {
        is.setState(pstream::fail);
        return;
    }
    std::vector<uint32_t> table;
    table.reserve(count);
    for (uint32_t i = 0; i < count && is.isGood(); ++i)
        table.push_back(is.get32());
    if (is.isGood()) colours = std::move(table);
}

void TLookUpTable::writeFields(opstream& os) const {
    writeBasePart<GraphicalObject>(os, *this, 1);
    os.putInt32(valueF);
    os.put32(static_cast<uint32_t>(colours.size()));
    for (uint32_t c : colours)
        os.put32(c);
}

void Caption::readFields(ipstream& is, uint32_t) {
    if (is.get8() == kBaseFollows) {
        if (is.version() != 0) is.get32();
        is.registerObject(this);
        GraphicalObject::readFields(is, 1);
    }
    text = is.getText();
    valueG = is.getWordInt();
    valueH = is.getWordInt();
    textColour = is.get32();
    backgroundColour = is.get32();
    font.read(is);
}

void Caption::writeFields(opstream& os) const {
    if (os.findObject(this)) {
        os.put8(kBaseAlreadyWritten);
    } else {
        os.registerObject(this);
        os.put8(kBaseFollows);
        os.put32(1);
        GraphicalObject::writeFields(os);
    }
    os.putText(text);
    os.putInt32(valueG);
    os.putInt32(valueH);
    os.put32(textColour);
    os.put32(backgroundColour);
    font.write(os);
}

bool TPGraphicsObjectList::add(std::shared_ptr<GraphicalObject> object) {
    if (!object) return false;
    for (const auto& held : objects)
        if (held == object) return false;
    objects.push_back(std::move(object));
    return true;
}

void TPGraphicsObjectList::readFields(ipstream& is, uint32_t) {
    const uint32_t count = is.getWord();
    if (!is.checkCount(count, ipstream::kMinPointerBytes)) return;
    std::unordered_set<const GraphicalObject*> held;
    for (const auto& o : objects)
        held.insert(o.get());
    for (uint32_t i = 0; i < count; ++i) {
        std::shared_ptr<GraphicalObject> object;
        is.getPointer(object);
        if (!is.isGood()) return;
        if (object && held.insert(object.get()).second) objects.push_back(std::move(object));
    }
}

void TPGraphicsObjectList::writeFields(opstream& os) const {
    os.put32(static_cast<uint32_t>(objects.size()));
    for (const auto& o : objects)
        os.putPointer(o);
}

void registerGraphicalObjectClasses(StreamClassRegistry& registry) {
    registry.registerClass<TPGraphicsObjectList>("TPGraphicsObjectList");
    registry.registerClass<Line>("Line");
    registry.registerClass<Arrow>("Arrow");
    registry.registerClass<TRectangle>("TRectangle");
    registry.registerClass<TLookUpTable>("TLookUpTable");
    registry.registerClass<TEllipse>("TEllipse");
    registry.registerClass<Caption>("Caption");
    registry.registerClass<CaptionedRectangle>("CaptionedRectangle");
    registry.registerClass<CaptionedEllipse>("CaptionedEllipse");
    registry.registerClass<TFilledRectangle>("TFilledRectangle");
    registry.registerClass<TFilledEllipse>("TFilledEllipse");
}

} // namespace quadrel::overlay
