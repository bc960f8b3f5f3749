// Tables of contents as a damaged or hostile document may hold them: both the current and the legacy form.
#include "persistence/content_table.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quadrel;
    const std::span<const uint8_t> bytes(data, size);
    std::string error;
    ContentTable table;
    if (readContentTable(bytes, table, error)) {
        // Whatever was read must write out and read back the same.
        const std::vector<uint8_t> again = writeContentTable(table);
        ContentTable back;
        if (!readContentTable(again, back, error) || back.size() != table.size()) __builtin_trap();
    }
    ContentTable legacy;
    readLegacyContents(bytes, legacy, error);
    for (auto& [name, item] : legacy) (void)item->storageName();
    return 0;
}
