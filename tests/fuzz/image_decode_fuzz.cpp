// Image files are untrusted: every decoder must fail cleanly (no bitmap and a reason) or give a bitmap
// of a sane size, without crashing, hanging or allocating what a header claims.
#include "platform/image_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace quadrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    const BitmapPtr bitmap = decodeImage({data, size}, error);
    if (!bitmap) {
        if (error.empty()) std::abort();
        return 0;
    }
    if (bitmap->width() <= 0 || bitmap->height() <= 0) std::abort();
    // Touch the first and last row so a short buffer shows under the sanitizers.
    volatile uint8_t sink = bitmap->row(0)[0];
    sink = bitmap->row(bitmap->height() - 1)[0];
    (void)sink;
    return 0;
}
