#include "persistence/stream_reader.h"

namespace quadrel {

StreamReadResult guardedRead(ipstream& is, const std::function<void(ipstream&)>& read) {
    StreamReadResult r;
    if (is.state() & pstream::openFailed) {
        r.status = StreamReadStatus::CannotOpen;
        r.state = is.state();
        return r;
    }
    if (is.state() & pstream::eof) {
        r.status = StreamReadStatus::Empty;
        r.state = is.state();
        return r;
    }
    try {
        read(is);
    } catch (const TXBase& e) {
        r.status = StreamReadStatus::UnregisteredType;
        r.message = e.what();
        r.state = is.state();
        return r;
    }
    r.state = is.state();
    if (!is.isGood()) r.status = StreamReadStatus::Damaged;
    return r;
}

} // namespace quadrel
