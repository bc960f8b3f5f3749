#include "tools/synthetic.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quadrel::synth {

namespace {

// A small generator with its own distributions, so the picture does not depend on the standard
// library's choice of algorithms.
class Rng {
public:
    explicit Rng(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    double normal() {
        const double u1 = std::max(uniform(), 1e-300), u2 = uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
    }

private:
    uint64_t m_state;
};

} // namespace

std::vector<uint32_t> makeCells(const Options& o) {
    const int w = o.width, h = o.height;
    std::vector<double> img(static_cast<size_t>(w) * static_cast<size_t>(h), 200.0);
    Rng rng(o.seed);
    const int cells = o.cells > 0 ? o.cells : std::max(1, static_cast<int>(static_cast<int64_t>(w) * h / 3000));
    for (int i = 0; i < cells; ++i) {
        const double cx = rng.uniform(0, w), cy = rng.uniform(0, h);
        const double a = rng.uniform(4, 22), b = rng.uniform(4, 22);
        const double t = rng.uniform(0, std::numbers::pi);
        const double level = rng.uniform(40, 110);
        const bool hole = rng.uniform() < o.holeFraction;
        const double ct = std::cos(t), st = std::sin(t);
        const int x0 = std::max(0, static_cast<int>(cx - 25)), x1 = std::min(w, static_cast<int>(cx + 25));
        const int y0 = std::max(0, static_cast<int>(cy - 25)), y1 = std::min(h, static_cast<int>(cy + 25));
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                const double X = x - cx, Y = y - cy;
                const double u = X * ct + Y * st, v = -X * st + Y * ct;
                const double r = (u / a) * (u / a) + (v / b) * (v / b);
                double& p = img[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)];
                if (hole && r <= 0.15)
                    p = 200.0;
                else if (r <= 1.0)
                    p = level;
            }
        }
    }
    std::vector<uint32_t> out(img.size());
    for (size_t i = 0; i < img.size(); ++i) {
        const double v = std::clamp(img[i] + rng.normal() * o.noise, 0.0, 255.0);
        const auto g = static_cast<uint32_t>(v);
        const auto gg = static_cast<uint32_t>(g * 9 / 10);
        out[i] = 0xFF000000u | g << 16 | gg << 8 | g;
    }
    return out;
}

} // namespace quadrel::synth
