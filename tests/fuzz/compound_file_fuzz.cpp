// Whole compound files: the directory, sector chains and the items a document open reads.
#include "persistence/storage_document.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quadrel;
    static const std::string path = "/tmp/quadrel-fuzz-compound-" + std::to_string(getpid()) + ".ddm";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    TCompoundDocument doc;
    if (doc.open(kModeRead, path)) {
        for (const auto& [name, item] : doc.rootStorage().table()) {
            (void)doc.readItem(name);
            if (name.find('\\') == std::string::npos) (void)doc.exists(name);
        }
        (void)doc.readItem("__TAG__");
        (void)doc.readItem("__ROI__");
    }
    std::remove(path.c_str());
    return 0;
}
