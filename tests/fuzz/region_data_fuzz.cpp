// Region data comes from documents: reading it must never crash, hang or allocate what it claims, and
// whatever reads must write back to bytes that read the same and test the same.
#include "platform/region.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace quadrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    const auto region = Region::fromData({data, size}, error);
    if (!region) {
        if (error.empty()) std::abort(); // a refusal always says why
        return 0;
    }
    const Rect clip{-16, -16, 64, 48};
    const RowSpans spans = region->rowSpans(clip);
    // The runs and the point test agree on a sample of pixels.
    size_t k = 0;
    for (int y = clip.y; y < clip.y + clip.height; y += 5) {
        while (k < spans.spans().size() && spans.spans()[k].y < y)
            ++k;
        for (int x = clip.x; x < clip.x + clip.width; x += 3) {
            bool inSpans = false;
            for (size_t j = k; j < spans.spans().size() && spans.spans()[j].y == y; ++j)
                if (x >= spans.spans()[j].x0 && x < spans.spans()[j].x1) inSpans = true;
            if (inSpans != region->isVisible(x, y)) std::abort();
        }
    }
    const std::vector<uint8_t> written = region->data();
    const auto again = Region::fromData(written, error);
    if (!again || again->data() != written) std::abort();
    return 0;
}
