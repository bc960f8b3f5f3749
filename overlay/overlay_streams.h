#pragma once

// Helpers shared by the annotation record readers and writers.

#include "persistence/object_stream.h"

namespace quadrel::overlay {

// A derived class embeds its base class as a "base part": on write the base's version as 32 bits and the
// base's fields; on read a word with that version (none in a stream without header, version 0 then), and the
// base's fields read with it. No class name, no closing mark.
template <class Base, class Object> void readBasePart(ipstream& is, Object& object) {
    const uint32_t version = is.version() != 0 ? is.getWord() : 0;
    if (is.isGood()) object.Base::readFields(is, version);
}

template <class Base, class Object> void writeBasePart(opstream& os, const Object& object, uint32_t version) {
    os.put32(version);
    object.Base::writeFields(os);
}

// Reads `count` points, checked against the data left first.
template <class Container> void readPoints(ipstream& is, Container& points, uint32_t count) {
    if (!is.checkCount(count, 8)) return;
    points.reserve(points.size() + count);
    for (uint32_t i = 0; i < count; ++i) {
        StreamPoint p = is.getPoint();
        if (!is.isGood()) return;
        points.push_back(p);
    }
}

} // namespace quadrel::overlay
