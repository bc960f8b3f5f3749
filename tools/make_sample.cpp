// Writes the bundled sample picture as PNG: make_sample OUT.png [SIZE] [SEED]
#include "tools/synthetic.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_sample OUT.png [SIZE] [SEED]\n");
        return 2;
    }
    quadrel::synth::Options o;
    if (argc > 2) o.width = o.height = std::atoi(argv[2]);
    if (argc > 3) o.seed = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    if (o.width < 3) {
        std::fprintf(stderr, "make_sample: size must be at least 3\n");
        return 2;
    }
    const std::vector<uint32_t> px = quadrel::synth::makeCells(o);

    FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return 1;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(o.width), static_cast<png_uint_32>(o.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // 254 dots per inch = 10 000 pixels per metre: 10 pixels per millimetre.
    png_set_pHYs(png, info, 10000, 10000, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<size_t>(o.width) * 3);
    for (int y = 0; y < o.height; ++y) {
        for (int x = 0; x < o.width; ++x) {
            const uint32_t p = px[static_cast<size_t>(y) * static_cast<size_t>(o.width) + static_cast<size_t>(x)];
            row[static_cast<size_t>(x) * 3] = static_cast<png_byte>(p >> 16);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<png_byte>(p >> 8);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<png_byte>(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0 ? 0 : 1;
}
