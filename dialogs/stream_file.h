#pragma once

// Rule and feature-list files: one framed object after the stream header, written so that a failed save
// never damages the file it was meant to replace.

#include "persistence/object_stream.h"
#include "persistence/stream_reader.h"

#include <filesystem>
#include <string>

namespace quadrel {

// Writes the stream header and `object` as the only object of the file at `path`. The bytes go to a new
// file in the same folder that replaces the old one only once it is complete; a symbolic link keeps
// pointing at the file it named. False (with a reason in `error`) leaves any old file as it was.
bool writeObjectFile(const std::filesystem::path& path, const TStreamableBase& object, std::string* error = nullptr);

// Reads one object of class T from the file at `path` into `object`, replacing it only when the whole object
// was read. Anything but a regular file is refused before it is opened: reading a pipe could block forever.
template <class T> StreamReadResult readObjectFile(const std::filesystem::path& path, T& object) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        StreamReadResult r;
        r.status = StreamReadStatus::CannotOpen;
        r.state = pstream::openFailed;
        return r;
    }
    return readObjectFromFile(path, object);
}

// A sentence for the user on why a file was refused; `what` names the kind of file ("class rule file").
std::string streamReadMessage(const StreamReadResult& result, const std::string& what);

// The extension a chooser adds when the user typed none: "rules" becomes "rules.slt".
std::filesystem::path withDefaultExtension(const std::filesystem::path& path, const std::string& extension);

} // namespace quadrel
