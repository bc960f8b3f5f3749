#include "platform/region_path.h"

#include <algorithm>
#include <cmath>

namespace quadrel {

namespace {

// Distance of a Bezier control polygon from the flattened curve, in pixels. Region tests work on a
// 1/16-pixel grid, so this keeps the flattening error well below what a pixel decision can see.
constexpr double kFlatness = 0.05;
// Huge coordinates (from damaged data) must not turn one segment into millions of points.
constexpr int kMaxSegmentsPerBezier = 256;
// Past this many flattened points in one path, further curves are drawn as chords: a damaged file full of
// wild curves then costs memory in proportion to its size, not 256 times more.
constexpr size_t kFlattenedPointBudget = size_t{1} << 22;

// Four Bezier segments approximate a quarter circle with this handle length (as a fraction of the radius).
constexpr float kEllipseHandle = 0.5522847498f;

void flattenBezier(Polygon& out, const double p[4][2], size_t& used) {
    const double ddx = std::max(std::fabs(p[0][0] - 2 * p[1][0] + p[2][0]), std::fabs(p[1][0] - 2 * p[2][0] + p[3][0]));
    const double ddy = std::max(std::fabs(p[0][1] - 2 * p[1][1] + p[2][1]), std::fabs(p[1][1] - 2 * p[2][1] + p[3][1]));
    const double dd = std::sqrt(ddx * ddx + ddy * ddy);
    int n = 1;
    if (std::isfinite(dd) && dd > 0) {
        const double want = std::ceil(std::sqrt(0.75 * dd / kFlatness));
        n = want >= kMaxSegmentsPerBezier ? kMaxSegmentsPerBezier : std::max(1, static_cast<int>(want));
    } else if (!std::isfinite(dd)) {
        n = kMaxSegmentsPerBezier;
    }
    if (used > kFlattenedPointBudget) n = 1;
    used += static_cast<size_t>(n);
    for (int i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n, u = 1 - t;
        const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        out.emplace_back(a * p[0][0] + b * p[1][0] + c * p[2][0] + d * p[3][0],
                         a * p[0][1] + b * p[1][1] + c * p[2][1] + d * p[3][1]);
    }
}

} // namespace

void Path::beginFigure(PointF first) {
    m_points.push_back(first);
    m_types.push_back(PathPointType::Start);
    m_newFigure = false;
}

void Path::closeFigure() {
    if (!m_types.empty()) m_types.back() |= PathPointType::CloseSubpath;
    m_newFigure = true;
}

Status Path::addLines(std::span<const PointF> points) {
    if (points.empty()) return Status::InvalidParameter;
    size_t i = 0;
    if (m_newFigure || m_types.empty() || (m_types.back() & PathPointType::CloseSubpath)) {
        beginFigure(points[0]);
        i = 1;
    }
    for (; i < points.size(); ++i) {
        m_points.push_back(points[i]);
        m_types.push_back(PathPointType::Line);
    }
    return Status::Ok;
}

Status Path::addPolygon(std::span<const PointF> points) {
    if (points.size() < 2) return Status::InvalidParameter;
    size_t n = points.size();
    // A polygon given with its first point repeated at the end closes anyway.
    if (n > 2 && points[n - 1] == points[0]) --n;
    beginFigure(points[0]);
    for (size_t i = 1; i < n; ++i) {
        m_points.push_back(points[i]);
        m_types.push_back(PathPointType::Line);
    }
    closeFigure();
    return Status::Ok;
}

Status Path::addClosedCurve(std::span<const PointF> points, float tension) {
    const size_t n = points.size();
    if (n < 2) return Status::InvalidParameter;
    // Cardinal spline: the tangent at a point follows the chord of its neighbours, scaled by the tension;
    // each span becomes one cubic Bezier segment with handles a third of the tangent long.
    const float k = tension / 3.0f;
    beginFigure(points[0]);
    for (size_t i = 0; i < n; ++i) {
        const PointF& prev = points[(i + n - 1) % n];
        const PointF& cur = points[i];
        const PointF& next = points[(i + 1) % n];
        const PointF& after = points[(i + 2) % n];
        m_points.push_back({cur.x + k * (next.x - prev.x), cur.y + k * (next.y - prev.y)});
        m_points.push_back({next.x - k * (after.x - cur.x), next.y - k * (after.y - cur.y)});
        m_points.push_back(next);
        m_types.insert(m_types.end(), 3, PathPointType::Bezier);
    }
    closeFigure();
    return Status::Ok;
}

Status Path::addEllipse(const RectF& r) {
    const float rx = r.width / 2, ry = r.height / 2;
    const float cx = r.x + rx, cy = r.y + ry;
    const float hx = rx * kEllipseHandle, hy = ry * kEllipseHandle;
    const PointF pts[13] = {
        {cx + rx, cy},      {cx + rx, cy + hy}, {cx + hx, cy + ry}, {cx, cy + ry},      {cx - hx, cy + ry},
        {cx - rx, cy + hy}, {cx - rx, cy},      {cx - rx, cy - hy}, {cx - hx, cy - ry}, {cx, cy - ry},
        {cx + hx, cy - ry}, {cx + rx, cy - hy}, {cx + rx, cy},
    };
    beginFigure(pts[0]);
    for (int i = 1; i < 13; ++i) {
        m_points.push_back(pts[i]);
        m_types.push_back(PathPointType::Bezier);
    }
    closeFigure();
    return Status::Ok;
}

Status Path::addRectangle(const RectF& r) {
    const PointF pts[4] = {{r.x, r.y}, {r.x + r.width, r.y}, {r.x + r.width, r.y + r.height}, {r.x, r.y + r.height}};
    beginFigure(pts[0]);
    for (int i = 1; i < 4; ++i) {
        m_points.push_back(pts[i]);
        m_types.push_back(PathPointType::Line);
    }
    closeFigure();
    return Status::Ok;
}

void Path::assign(std::vector<PointF> points, std::vector<uint8_t> types) {
    m_points = std::move(points);
    m_types = std::move(types);
    m_types.resize(m_points.size(), PathPointType::Line);
    m_newFigure = true;
}

bool Path::flatten(std::vector<Polygon>& out) const {
    out.clear();
    Polygon current;
    auto finish = [&] {
        if (!current.empty()) out.push_back(std::move(current));
        current.clear();
    };
    const size_t n = m_points.size();
    size_t used = 0;
    for (size_t i = 0; i < n;) {
        const uint8_t type = m_types[i] & PathPointType::TypeMask;
        const PointF p = m_points[i];
        if (type == PathPointType::Start || current.empty()) {
            // A figure that does not begin with a start point is taken to begin here.
            finish();
            current.emplace_back(p.x, p.y);
            if (m_types[i] & PathPointType::CloseSubpath) finish();
            ++i;
            continue;
        }
        if (type == PathPointType::Line) {
            current.emplace_back(p.x, p.y);
            if (m_types[i] & PathPointType::CloseSubpath) finish();
            ++i;
            continue;
        }
        if (type != PathPointType::Bezier || i + 3 > n) return false;
        for (size_t j = i; j < i + 3; ++j)
            if ((m_types[j] & PathPointType::TypeMask) != PathPointType::Bezier) return false;
        const double seg[4][2] = {{current.back().first, current.back().second},
                                  {m_points[i].x, m_points[i].y},
                                  {m_points[i + 1].x, m_points[i + 1].y},
                                  {m_points[i + 2].x, m_points[i + 2].y}};
        flattenBezier(current, seg, used);
        const bool close = (m_types[i + 2] & PathPointType::CloseSubpath) != 0;
        i += 3;
        if (close) finish();
    }
    finish();
    return true;
}

} // namespace quadrel
