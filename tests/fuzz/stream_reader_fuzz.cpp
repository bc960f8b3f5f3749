// Feeds arbitrary bytes to the object stream readers. The first byte picks the reader, the rest is the stream.
// Whatever the reader accepts is written again, read back and written once more: the two writes must agree.
// Selectors 8 and 9 take the bytes as a class rule file (.slt) and a feature list file (.fts).
#include "core/cell_dictionary.h"
#include "core/cells.h"
#include "dialogs/query_rules.h"
#include "overlay/graph_objects.h"
#include "overlay/graphical_objects.h"
#include "persistence/object_stream.h"
#include "persistence/stream_reader.h"
#include "persistence/tag_record.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

using namespace quadrel;

namespace {

template <class T> std::vector<uint8_t> writeAll(const T& object) {
    MemoryBuffer buffer;
    opstream os(&buffer);
    os.putObject(object);
    return buffer.take();
}

template <class T> void readWriteReadWrite(std::span<const uint8_t> bytes) {
    T object;
    if (!readObjectFromBytes(bytes, object).ok()) return;
    const std::vector<uint8_t> first = writeAll(object);
    T again;
    if (!readObjectFromBytes(std::span<const uint8_t>(first), again).ok()) std::abort();
    if (writeAll(again) != first) std::abort();
}

void readAnyPointer(std::span<const uint8_t> bytes) {
    SpanBuffer buffer(bytes);
    ipstream is(&buffer);
    std::vector<std::shared_ptr<TStreamableBase>> objects;
    guardedRead(is, [&](ipstream& s) {
        while (s.isGood() && s.remaining() > 0) {
            std::shared_ptr<TStreamableBase> p;
            s.readPointer(p);
            objects.push_back(std::move(p));
        }
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::span<const uint8_t> bytes(data + 1, size - 1);
    switch (data[0] % 16) {
    case 0: {
        const TagCalibrationResult r = readTagCalibration(bytes, 96.0);
        (void)r;
        readWriteReadWrite<TTagObject>(bytes);
        break;
    }
    case 1:
        readWriteReadWrite<TSetOfCellIdList>(bytes);
        break;
    case 2:
        readWriteReadWrite<TSetOfCellBounds>(bytes);
        break;
    case 3:
        readWriteReadWrite<overlay::TPGraphObjectList>(bytes);
        break;
    case 4:
        readWriteReadWrite<overlay::TPGraphicsObjectList>(bytes);
        break;
    case 5:
        readWriteReadWrite<TCellIdList>(bytes);
        break;
    case 8: {
        // A rule file: a refused one must leave the rule exactly as it was.
        TQueryQueue rule;
        rule.append(TQueryCommand::combination(QueryOperation::Or));
        const TQueryQueue before = rule;
        if (!rule.loadBytes(bytes).ok() && !(rule == before)) std::abort();
        readWriteReadWrite<TQueryQueue>(bytes);
        break;
    }
    case 9:
        readWriteReadWrite<TSetOfFeatures>(bytes);
        break;
    case 10:
        readWriteReadWrite<TCellDictionary>(bytes);
        break;
    case 11:
        readWriteReadWrite<TCellBaseFeature>(bytes);
        break;
    default:
        readAnyPointer(bytes);
        break;
    }
    return 0;
}
