#pragma once

namespace quadrel {

// Base of every class that the object streams can read and write. It carries no data; each persisted
// class adds a nested Streamer that knows its fields.
class TStreamableBase {
public:
    virtual ~TStreamableBase() = default;
};

} // namespace quadrel
