#pragma once

#include <cmath>
#include <span>

namespace quadrel {

struct PointF {
    float x = 0.0f;
    float y = 0.0f;
    friend bool operator==(const PointF&, const PointF&) = default;
};

struct RectF {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    friend bool operator==(const RectF&, const RectF&) = default;
};

// Whether a new transformation is applied before (prepend) or after (append) the existing one.
enum class MatrixOrder { Prepend = 0, Append = 1 };

// A 2-D affine transformation in single precision: a point (x, y) maps to
// (x * m11 + y * m21 + dx, x * m12 + y * m22 + dy), the row-vector form regions and paths use.
class Matrix {
public:
    Matrix() = default;
    Matrix(float m11, float m12, float m21, float m22, float dx, float dy)
        : m_m11(m11), m_m12(m12), m_m21(m21), m_m22(m22), m_dx(dx), m_dy(dy) {}

    float m11() const { return m_m11; }
    float m12() const { return m_m12; }
    float m21() const { return m_m21; }
    float m22() const { return m_m22; }
    float dx() const { return m_dx; }
    float dy() const { return m_dy; }

    bool isIdentity() const { return m_m11 == 1 && m_m12 == 0 && m_m21 == 0 && m_m22 == 1 && m_dx == 0 && m_dy == 0; }
    // True when the matrix keeps axis-parallel rectangles axis-parallel without swapping the axes.
    bool isScaleTranslate() const { return m_m12 == 0 && m_m21 == 0; }

    void multiply(const Matrix& other, MatrixOrder order = MatrixOrder::Prepend) {
        const Matrix& a = order == MatrixOrder::Prepend ? other : *this;
        const Matrix& b = order == MatrixOrder::Prepend ? *this : other;
        *this = Matrix(a.m_m11 * b.m_m11 + a.m_m12 * b.m_m21, a.m_m11 * b.m_m12 + a.m_m12 * b.m_m22,
                       a.m_m21 * b.m_m11 + a.m_m22 * b.m_m21, a.m_m21 * b.m_m12 + a.m_m22 * b.m_m22,
                       a.m_dx * b.m_m11 + a.m_dy * b.m_m21 + b.m_dx, a.m_dx * b.m_m12 + a.m_dy * b.m_m22 + b.m_dy);
    }
    void translate(float x, float y, MatrixOrder order = MatrixOrder::Prepend) {
        multiply(Matrix(1, 0, 0, 1, x, y), order);
    }
    void scale(float sx, float sy, MatrixOrder order = MatrixOrder::Prepend) {
        multiply(Matrix(sx, 0, 0, sy, 0, 0), order);
    }

    bool isInvertible() const {
        const double det = static_cast<double>(m_m11) * m_m22 - static_cast<double>(m_m12) * m_m21;
        return det != 0.0 && std::isfinite(det);
    }
    // Returns false and leaves the matrix unchanged when it has no inverse.
    bool invert() {
        const double det = static_cast<double>(m_m11) * m_m22 - static_cast<double>(m_m12) * m_m21;
        if (det == 0.0 || !std::isfinite(det)) return false;
        const double i11 = m_m22 / det, i12 = -m_m12 / det, i21 = -m_m21 / det, i22 = m_m11 / det;
        const double idx = -(m_dx * i11 + m_dy * i21), idy = -(m_dx * i12 + m_dy * i22);
        *this = Matrix(static_cast<float>(i11), static_cast<float>(i12), static_cast<float>(i21),
                       static_cast<float>(i22), static_cast<float>(idx), static_cast<float>(idy));
        return true;
    }

    PointF map(PointF p) const { return {p.x * m_m11 + p.y * m_m21 + m_dx, p.x * m_m12 + p.y * m_m22 + m_dy}; }
    void transformPoints(std::span<PointF> points) const {
        for (PointF& p : points)
            p = map(p);
    }

    friend bool operator==(const Matrix&, const Matrix&) = default;

private:
    float m_m11 = 1, m_m12 = 0, m_m21 = 0, m_m22 = 1, m_dx = 0, m_dy = 0;
};

} // namespace quadrel
