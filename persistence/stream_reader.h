#pragma once

// Entry points for reading whole objects from files and items. They turn every way a read can go wrong (a
// damaged or truncated stream, a class name the registry does not know) into a refusal, so that nothing a
// document open or a file load runs can be ended by an exception from foreign data.

#include "persistence/object_stream.h"

#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace quadrel {

enum class StreamReadStatus {
    Ok,
    CannotOpen,       // the file could not be opened
    Empty,            // no data at all
    Damaged,          // the stream failed: short data, a wrong mark, a wrong or misplaced class
    UnregisteredType, // the stream names a class that is not registered
};

struct StreamReadResult {
    StreamReadStatus status = StreamReadStatus::Ok;
    int state = 0;       // the stream's state word at the end
    std::string message; // the registry's message for an unregistered type
    bool ok() const { return status == StreamReadStatus::Ok; }
};

// Runs `read` on the stream and reports how it ended. TXBase never leaves this function.
StreamReadResult guardedRead(ipstream& is, const std::function<void(ipstream&)>& read);

// Reads one framed object of class T (or a class derived from it). `object` is replaced only when the whole
// object was read; on any failure it keeps what it held.
template <class T> StreamReadResult readObject(ipstream& is, T& object) {
    T fresh;
    StreamReadResult r = guardedRead(is, [&](ipstream& s) { s.getObject(fresh); });
    if (r.ok()) object = std::move(fresh);
    return r;
}

template <class T> StreamReadResult readObjectFromBytes(std::span<const uint8_t> bytes, T& object) {
    SpanBuffer buffer(bytes);
    ipstream is(&buffer);
    return readObject(is, object);
}

template <class T> StreamReadResult readObjectFromFile(const std::filesystem::path& path, T& object) {
    ifpstream is(path);
    return readObject(is, object);
}

} // namespace quadrel
