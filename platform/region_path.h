#pragma once

#include "platform/matrix.h"
#include "platform/status.h"

#include <cstdint>
#include <span>
#include <vector>

namespace quadrel {

enum class FillMode : int32_t { Alternate = 0, Winding = 1 };

// Point types of a path, one byte per point: the low three bits give the kind, the high bits flags.
namespace PathPointType {
constexpr uint8_t Start = 0x00;
constexpr uint8_t Line = 0x01;
constexpr uint8_t Bezier = 0x03;
constexpr uint8_t TypeMask = 0x07;
constexpr uint8_t DashMode = 0x10;
constexpr uint8_t Marker = 0x20;
constexpr uint8_t CloseSubpath = 0x80;
} // namespace PathPointType

// The tension closed curves get unless a caller chooses another.
constexpr float kDefaultCurveTension = 0.5f;

// A figure as the edges of the filled area use it: a closed polygon in double precision.
using Polygon = std::vector<std::pair<double, double>>;

// A graphics path: points with their types, in figures, and a fill mode. Curves are kept as cubic
// Bezier segments so the path can be written out as it was built; fill tests work on the flattened form.
class Path {
public:
    explicit Path(FillMode mode = FillMode::Alternate) : m_fillMode(mode) {}

    FillMode fillMode() const { return m_fillMode; }
    void setFillMode(FillMode mode) { m_fillMode = mode; }

    const std::vector<PointF>& points() const { return m_points; }
    const std::vector<uint8_t>& types() const { return m_types; }
    bool empty() const { return m_points.empty(); }

    // The next points start a new figure; the current one stays open.
    void startFigure() { m_newFigure = true; }
    // Closes the current figure.
    void closeFigure();

    // Lines through the points, joined to the current figure when it is open.
    Status addLines(std::span<const PointF> points);
    // A closed polygon through the points (at least two).
    Status addPolygon(std::span<const PointF> points);
    // A closed cardinal spline through the points (at least two), as Bezier segments.
    Status addClosedCurve(std::span<const PointF> points, float tension = kDefaultCurveTension);
    // The ellipse inscribed in the rectangle, as four Bezier segments starting at its rightmost point.
    Status addEllipse(const RectF& rect);
    Status addRectangle(const RectF& rect);

    // Replaces the whole content; used by readers. Types are taken as they come and checked by flatten.
    void assign(std::vector<PointF> points, std::vector<uint8_t> types);

    void transform(const Matrix& m) { m.transformPoints(m_points); }

    // The figures as closed polygons with the Bezier segments flattened. Returns false when the point
    // types do not describe a well-formed path (a Bezier segment without its three points).
    bool flatten(std::vector<Polygon>& out) const;

private:
    void beginFigure(PointF first);

    std::vector<PointF> m_points;
    std::vector<uint8_t> m_types;
    FillMode m_fillMode;
    bool m_newFigure = true;
};

} // namespace quadrel
