#pragma once

#include <cstdint>
#include <vector>

namespace quadrel::synth {

// A synthetic microscope-like picture: dark elliptic cells of varied size and shape on a bright noisy
// background, some touching each other, some with holes, some cut by the border. Pixels are 0xAARRGGBB,
// row by row. The same seed always gives the same picture.
struct Options {
    int width = 512;
    int height = 512;
    uint32_t seed = 7;
    int cells = 0;             // 0: one cell per 3000 pixels
    double holeFraction = 0.2; // share of cells with a bright hole
    double noise = 12.0;       // standard deviation of the background noise
};

std::vector<uint32_t> makeCells(const Options& options);

} // namespace quadrel::synth
