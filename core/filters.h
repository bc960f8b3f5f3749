#pragma once

#include "core/image.h"
#include "platform/bitmap.h"

#include <cstdint>
#include <vector>

namespace quadrel {

// A rectangular array of weights, row by row.
class TConvolKernel {
public:
    TConvolKernel(uint32_t columns, std::vector<double> coefficients, double offset = 0.0, double divisor = 1.0);
    virtual ~TConvolKernel() = default;

    virtual uint32_t count() const { return static_cast<uint32_t>(m_coefficients.size()); }
    virtual uint32_t rows() const { return m_columns ? count() / m_columns : 0; }
    virtual uint32_t columns() const { return m_columns; }
    virtual uint32_t width() const { return m_columns; }
    virtual double divisor() const { return m_divisor; }
    virtual double offset() const { return m_offset; }

    const std::vector<double>& coefficients() const { return m_coefficients; }

private:
    uint32_t m_columns;
    double m_offset;
    double m_divisor;
    std::vector<double> m_coefficients;
};

// Walks the pixels of a buffer, shrunk by the kernel's half sizes, and hands each row span to the routine
// of the buffer's pixel type. Results go into a copy of the input made at creation; pixels outside the
// processed region keep their input values.
class TFilter {
public:
    explicit TFilter(const TDib& input);
    virtual ~TFilter() = default;

    // Runs over the whole buffer and gives up the output.
    virtual TDib run(const TDib& input);

    // One span of `count` pixels; `in` and `out` point at the span's first pixel, `step` is the element
    // distance between neighbouring pixels (3 for interleaved colour channels).
    virtual void rowInt8(const int8_t* in, int8_t* out, int count, int step) {}
    virtual void rowUInt8(const uint8_t* in, uint8_t* out, int count, int step) {}
    virtual void rowInt16(const int16_t* in, int16_t* out, int count, int step) {}
    virtual void rowUInt16(const uint16_t* in, uint16_t* out, int count, int step) {}
    virtual void rowInt32(const int32_t* in, int32_t* out, int count, int step) {}
    virtual void rowUInt32(const uint32_t* in, uint32_t* out, int count, int step) {}
    virtual void rowFloat(const float* in, float* out, int count, int step) {}

    // Byte offset from a pixel to the one `dx` pixels right and `dy` rows away in memory order.
    virtual ptrdiff_t pixelOffset(int dx, int dy) const;

protected:
    int32_t m_halfRows = 0;
    int32_t m_halfColumns = 0;
    int32_t m_channelStep = 1;
    int32_t m_bytesPerPixel = 1;
    int32_t m_left = 0, m_top = 0, m_right = 0, m_bottom = 0;
    uint32_t m_rowBytes = 0;
    TDib m_output;
};

class TConvolutionFilter : public TFilter {
public:
    explicit TConvolutionFilter(const TDib& input) : TFilter(input) {}
    // The kernel is not owned; it must outlive the run.
    void setKernel(const TConvolKernel* kernel);

    void rowInt8(const int8_t* in, int8_t* out, int count, int step) override;
    void rowUInt8(const uint8_t* in, uint8_t* out, int count, int step) override;
    void rowInt16(const int16_t* in, int16_t* out, int count, int step) override;
    void rowUInt16(const uint16_t* in, uint16_t* out, int count, int step) override;
    void rowInt32(const int32_t* in, int32_t* out, int count, int step) override;
    void rowUInt32(const uint32_t* in, uint32_t* out, int count, int step) override;
    void rowFloat(const float* in, float* out, int count, int step) override;

private:
    template <typename T>
    void convolve(const T* in, T* out, int count, int step);
    const TConvolKernel* m_kernel = nullptr;
};

// The Gaussian weights for a filter size setting: n = size | 3 taps, sigma = (n - 1) / 4.
std::vector<double> gaussianWeights(int size);

// Vertical then horizontal Gaussian smoothing of an "UINT8" buffer; returns a new buffer.
TDib gaussianSmooth(const TDib& buffer, int size);

// The "Gaussian Filter" step: smooths the brightness of the picture and puts it back keeping each
// pixel's chroma. Returns the filtered picture as a new bitmap (the source is not touched), or null
// when it cannot be done. An 8-bit picture with the grey table receives the smoothed levels directly;
// any other 8-bit picture comes back as 32-bit colour, since its table need not be a grey ramp.
BitmapPtr gaussianFilter(const Bitmap& source, int size, Status* status = nullptr);

} // namespace quadrel
