#include "core/filters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace quadrel {

TConvolKernel::TConvolKernel(uint32_t columns, std::vector<double> coefficients, double offset, double divisor)
    : m_columns(columns), m_offset(offset), m_divisor(divisor), m_coefficients(std::move(coefficients)) {}

TFilter::TFilter(const TDib& input) : m_output(input) {
    m_bytesPerPixel = std::max<int32_t>(1, input.bitsPerPixel() / 8);
    const int type = input.pixelType();
    m_channelStep = (type == 11 || type == 12) ? 3 : 1;
    m_right = input.width();
    m_bottom = input.height();
    m_rowBytes = input.rowBytes();
}

ptrdiff_t TFilter::pixelOffset(int dx, int dy) const {
    return static_cast<ptrdiff_t>(dy) * static_cast<ptrdiff_t>(m_rowBytes) +
           static_cast<ptrdiff_t>(dx) * m_bytesPerPixel;
}

TDib TFilter::run(const TDib& input) {
    if (!input.isValid()) return std::move(m_output);
    const int type = input.pixelType();
    const int32_t w = input.width(), h = input.height();
    const int32_t r0 = m_halfRows, r1 = h - m_halfRows - 1;
    const int32_t c0 = m_halfColumns, c1 = w - m_halfColumns - 1;
    if (r1 < r0 || c1 < c0) return std::move(m_output);
    const int count = c1 - c0 + 1;
    for (int32_t r = r0; r <= r1; ++r) {
        const uint8_t* in = input.memoryRow(r) + static_cast<size_t>(c0) * static_cast<size_t>(m_bytesPerPixel);
        uint8_t* out = m_output.memoryRow(r) + static_cast<size_t>(c0) * static_cast<size_t>(m_bytesPerPixel);
        switch (type) {
        case 1: rowInt8(reinterpret_cast<const int8_t*>(in), reinterpret_cast<int8_t*>(out), count, 1); break;
        case 2: rowUInt8(in, out, count, 1); break;
        case 3: rowInt16(reinterpret_cast<const int16_t*>(in), reinterpret_cast<int16_t*>(out), count, 1); break;
        case 4: rowUInt16(reinterpret_cast<const uint16_t*>(in), reinterpret_cast<uint16_t*>(out), count, 1); break;
        case 5: rowInt32(reinterpret_cast<const int32_t*>(in), reinterpret_cast<int32_t*>(out), count, 1); break;
        case 6: rowUInt32(reinterpret_cast<const uint32_t*>(in), reinterpret_cast<uint32_t*>(out), count, 1); break;
        case 7: rowFloat(reinterpret_cast<const float*>(in), reinterpret_cast<float*>(out), count, 1); break;
        case 11:
            for (int c = 0; c < 3; ++c) rowUInt8(in + c, out + c, count, 3);
            break;
        case 12:
            for (int c = 0; c < 3; ++c)
                rowUInt16(reinterpret_cast<const uint16_t*>(in + 2 * c), reinterpret_cast<uint16_t*>(out + 2 * c),
                          count, 3);
            break;
        default: break; // no routine for this pixel type: the copy stays as it is
        }
    }
    return std::move(m_output);
}

void TConvolutionFilter::setKernel(const TConvolKernel* kernel) {
    m_kernel = kernel;
    m_halfRows = kernel ? static_cast<int32_t>(kernel->rows() / 2) : 0;
    m_halfColumns = kernel ? static_cast<int32_t>(kernel->columns() / 2) : 0;
}

namespace {

template <typename T>
T storeValue(double v) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(v);
    } else {
        // Truncated toward zero through a 64-bit integer and then wrapped into the pixel type, as the
        // routines have always stored out-of-range sums; values beyond 64 bits are pinned first.
        constexpr double lim = 9.2e18;
        if (!(v > -lim)) v = -lim;
        if (!(v < lim)) v = lim;
        return static_cast<T>(static_cast<int64_t>(v));
    }
}

} // namespace

template <typename T>
void TConvolutionFilter::convolve(const T* in, T* out, int count, int step) {
    if (!m_kernel) return;
    const std::vector<double>& k = m_kernel->coefficients();
    const double divisor = m_kernel->divisor(), offset = m_kernel->offset();
    // Element offsets of the window, first kernel row = the row above in memory (rows are bottom-up).
    const ptrdiff_t rowElems = static_cast<ptrdiff_t>(m_rowBytes) / static_cast<ptrdiff_t>(sizeof(T));
    std::vector<ptrdiff_t> offsets;
    offsets.reserve(k.size());
    for (int r = m_halfRows; r >= -m_halfRows; --r)
        for (int c = -m_halfColumns; c <= m_halfColumns; ++c)
            offsets.push_back(static_cast<ptrdiff_t>(r) * rowElems + static_cast<ptrdiff_t>(c) * step);
    const size_t taps = std::min(offsets.size(), k.size());
    for (int i = 0; i < count; ++i) {
        const T* p = in + static_cast<ptrdiff_t>(i) * step;
        double sum = 0.0;
        for (size_t j = 0; j < taps; ++j) sum += static_cast<double>(p[offsets[j]]) * k[j];
        out[static_cast<ptrdiff_t>(i) * step] = storeValue<T>(sum / divisor + offset);
    }
}

void TConvolutionFilter::rowInt8(const int8_t* in, int8_t* out, int n, int s) { convolve(in, out, n, s); }
void TConvolutionFilter::rowUInt8(const uint8_t* in, uint8_t* out, int n, int s) { convolve(in, out, n, s); }
void TConvolutionFilter::rowInt16(const int16_t* in, int16_t* out, int n, int s) { convolve(in, out, n, s); }
void TConvolutionFilter::rowUInt16(const uint16_t* in, uint16_t* out, int n, int s) { convolve(in, out, n, s); }
void TConvolutionFilter::rowInt32(const int32_t* in, int32_t* out, int n, int s) { convolve(in, out, n, s); }
void TConvolutionFilter::rowUInt32(const uint32_t* in, uint32_t* out, int n, int s) { convolve(in, out, n, s); }
void TConvolutionFilter::rowFloat(const float* in, float* out, int n, int s) { convolve(in, out, n, s); }

std::vector<double> gaussianWeights(int size) {
    const int n = std::max(size, 0) | 3;
    const int b = (n - 1) / 2;
    const auto sigma = static_cast<double>(static_cast<float>((n - 1) * 0.25));
    std::vector<double> w(static_cast<size_t>(n));
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) {
        const int d2 = (i - b) * (i - b);
        w[static_cast<size_t>(i)] = std::exp(-(d2 * 0.5 / sigma / sigma));
        sum += static_cast<float>(w[static_cast<size_t>(i)]);
    }
    for (double& v : w) v /= sum;
    return w;
}

TDib gaussianSmooth(const TDib& buffer, int size) {
    const std::vector<double> w = gaussianWeights(size);
    const TConvolKernel vertical(1, w), horizontal(static_cast<uint32_t>(w.size()), w);
    TConvolutionFilter first(buffer);
    first.setKernel(&vertical);
    const TDib once = first.run(buffer);
    TConvolutionFilter second(once);
    second.setKernel(&horizontal);
    return second.run(once);
}

BitmapPtr gaussianFilter(const Bitmap& source, int size, Status* status) {
    auto fail = [&](Status s) -> BitmapPtr {
        if (status) *status = s;
        return nullptr;
    };
    const int w = source.width(), h = source.height();
    const PixelFormat fmt = source.pixelFormat();
    if (fmt != PixelFormat::Indexed8 && fmt != PixelFormat::Argb32 && fmt != PixelFormat::Rgb32)
        return fail(Status::InvalidParameter);

    TDibExt brightness(w, h, "UINT8");
    if (!brightness.isValid()) return fail(Status::OutOfMemory);
    auto colourAt = [&](int x, int y) -> uint32_t {
        if (fmt == PixelFormat::Indexed8) return source.palette()[source.row(y)[x]];
        return source.row32(y)[x];
    };
    for (int y = 0; y < h; ++y) {
        uint8_t* b = brightness.pictureRow(y);
        for (int x = 0; x < w; ++x) {
            const uint32_t p = colourAt(x, y);
            const float r = static_cast<float>((p >> 16) & 0xFF), g = static_cast<float>((p >> 8) & 0xFF),
                        bl = static_cast<float>(p & 0xFF);
            b[x] = static_cast<uint8_t>(static_cast<int>(r * 0.299f + g * 0.587f + bl * 0.114f));
        }
    }
    const TDib smooth = gaussianSmooth(brightness, size);
    if (smooth.bitsPerPixel() != 8) return fail(Status::InvalidParameter);

    if (fmt == PixelFormat::Indexed8 && isGreyRamp(source.palette(), source.paletteCount())) {
        BitmapPtr out = source.clone();
        if (!out) return fail(Status::OutOfMemory);
        for (int y = 0; y < h; ++y) std::memcpy(out->row(y), smooth.pictureRow(y), static_cast<size_t>(w));
        if (status) *status = Status::Ok;
        return out;
    }

    // Colour path: keep each pixel's chroma (I and Q), replace its brightness.
    Status st = Status::Ok;
    BitmapPtr out = Bitmap::create(w, h, PixelFormat::Argb32, &st);
    if (!out) return fail(st);
    if (source.hasResolution()) out->setResolution(source.horizontalResolution(), source.verticalResolution());
    auto clampByte = [](float v) { return static_cast<uint32_t>(static_cast<int>(std::clamp(v, 0.0f, 255.0f))); };
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = smooth.pictureRow(y);
        uint32_t* o = out->row32(y);
        for (int x = 0; x < w; ++x) {
            uint32_t p = colourAt(x, y);
            if (fmt == PixelFormat::Rgb32) p |= 0xFF000000u;
            const float R = static_cast<float>((p >> 16) & 0xFF), G = static_cast<float>((p >> 8) & 0xFF),
                        B = static_cast<float>(p & 0xFF);
            const float Y = static_cast<float>(s[x]);
            const float I = 0.596f * R - 0.274f * G - 0.322f * B;
            const float Q = 0.211f * R - 0.523f * G + 0.312f * B;
            const uint32_t nr = clampByte(Y + 0.956f * I + 0.621f * Q);
            const uint32_t ng = clampByte(Y - 0.272f * I - 0.647f * Q);
            const uint32_t nb = clampByte(Y - 1.106f * I + 1.703f * Q);
            o[x] = (p & 0xFF000000u) | nr << 16 | ng << 8 | nb;
        }
    }
    if (status) *status = Status::Ok;
    return out;
}

} // namespace quadrel
