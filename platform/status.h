#pragma once

#include <cstdint>

namespace quadrel {

// Status codes of the graphics platform. The numbers are the ones documents and callers have always
// seen, so they are kept as they are.
enum class Status : int32_t {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
};

const char* statusText(Status s);

} // namespace quadrel
