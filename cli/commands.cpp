// The table of quadrel-cli's commands.
#include "cli/command_table.h"
#include "cli/image_input.h"

#include "core/cleaning.h"
#include "core/image.h"
#include "core/threshold.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unordered_map>

namespace quadrel::cli {

namespace {

double parseNumber(const std::string& text, const std::string& option) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v == v)) throw UsageError("--" + option + " needs a number, not '" + text + "'");
    return v;
}

struct Box {
    uint64_t pixels = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
};

int runCells(const Invocation& inv) {
    CleaningSettings settings;
    settings.minimumSize = parseNumber(inv.valueOr("min-size", "9"), "min-size");
    settings.removeBorder = inv.has("remove-border");
    settings.borderSize = static_cast<int>(parseNumber(inv.valueOr("border-size", "1"), "border-size"));
    const bool bright = inv.has("bright");

    std::vector<std::string> files = inv.arguments;
    if (files.empty()) files.push_back("");
    int status = 0;
    std::printf("%sId,Pixels,Left,Top,Right,Bottom\n", files.size() > 1 ? "File," : "");
    for (const std::string& file : files) {
        BitmapPtr picture;
        try {
            picture = loadPicture(file);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "quadrel-cli: %s\n", e.what());
            status = 1;
            continue;
        }
        BitmapPtr grey = deriveChannel(*picture, kSlotGrey);
        const CHistogram hist = computeHistogram(*grey);
        const AutoThresholdResult r = automaticThreshold(grey, &hist, bright);
        if (!r.labels) {
            std::fprintf(stderr, "quadrel-cli: %s: the picture could not be thresholded\n", pictureName(file).c_str());
            status = 1;
            continue;
        }
        const std::vector<LabelCount> counts = countLabels(*r.labels);
        const std::set<uint32_t> removed = removalSet(*r.labels, counts, settings);
        std::unordered_map<uint32_t, Box> boxes;
        for (const LabelCount& c : counts)
            if (!removed.count(c.label)) boxes[c.label] = {c.count, picture->width(), picture->height(), -1, -1};
        for (int y = 0; y < r.labels->height(); ++y) {
            const uint32_t* row = r.labels->row32(y);
            for (int x = 0; x < r.labels->width(); ++x) {
                if (row[x] == 0) continue;
                auto it = boxes.find(row[x]);
                if (it == boxes.end()) continue;
                Box& b = it->second;
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y);
            }
        }
        size_t kept = 0;
        for (const LabelCount& c : counts) {
            auto it = boxes.find(c.label);
            if (it == boxes.end()) continue;
            const Box& b = it->second;
            if (files.size() > 1) std::printf("%s,", pictureName(file).c_str());
            std::printf("%u,%llu,%d,%d,%d,%d\n", c.label, static_cast<unsigned long long>(b.pixels), b.left, b.top,
                        b.right, b.bottom);
            ++kept;
        }
        std::fprintf(stderr, "%s: %zu cells (automatic level %d, %s objects)\n", pictureName(file).c_str(), kept,
                     r.level, bright ? "bright" : "dark");
    }
    return status;
}

} // namespace

const std::vector<CommandSpec>& commands() {
    static const std::vector<CommandSpec> table = {
        {"cells", "[FILE...]", "Thresholds each picture automatically and lists the cells it finds.",
         "Without FILE the bundled sample picture is used. Prints one CSV row per cell: its label value, its\n"
         "pixel count and its bounding box. A file that cannot be read is reported and skipped (exit 1).",
         0, static_cast<size_t>(-1),
         {{"bright", "", "objects are brighter than the background (default: darker)"},
          {"min-size", "S", "drop cells of fewer than S pixels (default 9)"},
          {"remove-border", "", "drop cells that touch the image border"},
          {"border-size", "N", "width of that border in pixels (default 1)"}},
         runCells},
    };
    return table;
}

} // namespace quadrel::cli
