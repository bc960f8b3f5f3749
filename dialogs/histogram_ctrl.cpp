#include "dialogs/histogram_ctrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace quadrel {

CHistogramCtrl::CHistogramCtrl(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MFCHistogramCtrl"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    // The cached rendering covers every pixel: no erase, no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CHistogramCtrl::setValues(const std::vector<double>& values) {
    m_values = values;
    redraw();
}

void CHistogramCtrl::setLineColour(uint32_t argb) {
    m_lineColour = argb;
    redraw();
}

void CHistogramCtrl::setMarkers(std::shared_ptr<CMarkerVector> markers) {
    m_markers = std::move(markers);
    redraw();
}

void CHistogramCtrl::redraw() {
    m_cache = QImage();
    update();
}

double CHistogramCtrl::xOf(double position) const { return 5.0 + position * (width() - 10); }

void CHistogramCtrl::draw(QImage& image) const {
    const int w = image.width(), h = image.height();
    QPainter p(&image);
    p.fillRect(0, 0, w, h, QColor::fromRgba(m_backgroundColour));
    const size_t n = m_values.size();
    if (n < 2) return;
    double maxValue = 0;
    for (double v : m_values) maxValue = std::max(maxValue, v);
    const double sx = (w - 10) / static_cast<double>(n);
    const double sy = maxValue > 0 ? (h - 10) / maxValue : 0.0;
    auto map = [&](double x, double y) { return QPointF(5 + x * sx, (h - 5) - y * sy); };

    QPolygon curve;
    curve.reserve(static_cast<int>(n) + 1);
    for (size_t i = 0; i < n; ++i) {
        const QPointF q = map(static_cast<double>(i), std::trunc(m_values[i]));
        curve << QPoint(static_cast<int>(q.x()), static_cast<int>(q.y()));
    }
    const QPointF end = map(static_cast<double>(n), 0);
    curve << QPoint(static_cast<int>(end.x()), static_cast<int>(end.y()));
    p.setPen(QPen(QColor::fromRgba(m_lineColour), 1));
    p.drawPolyline(curve);

    if (!m_markers || m_markers->markers.empty()) return;
    const auto& ms = m_markers->markers;
    for (size_t j = 0; j < ms.size(); ++j) {
        const bool outer = m_markers->withHysteresis && (j == 0 || j + 1 == ms.size());
        p.setPen(QPen(QColor::fromRgba(m_markerColour), 1, outer ? Qt::DotLine : Qt::SolidLine));
        const double x = n * ms[j]->position;
        p.drawLine(map(x, 0), map(x, maxValue));
    }
    if (const auto sel = m_markers->selected) {
        p.setPen(QPen(QColor::fromRgba(m_markerColour), 1));
        const double x = n * sel->position;
        for (const QPointF e : {map(x, 0), map(x, maxValue)})
            p.drawRect(static_cast<int>(e.x() + 0.495) - 2, static_cast<int>(e.y()) - 2, 4, 4);
    }
}

void CHistogramCtrl::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0) return;
    if (m_cache.size() != size()) {
        m_cache = QImage(size(), QImage::Format_ARGB32_Premultiplied);
        draw(m_cache);
    }
    QPainter(this).drawImage(0, 0, m_cache);
}

void CHistogramCtrl::resizeEvent(QResizeEvent*) { m_cache = QImage(); }

void CHistogramCtrl::sortMarkers() {
    auto& ms = m_markers->markers;
    std::sort(ms.begin(), ms.end(), [](const auto& a, const auto& b) { return a->position < b->position; });
}

void CHistogramCtrl::mousePressEvent(QMouseEvent* event) {
    const QPoint pt = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        Q_EMIT mouseNotify(kRightClick, pt);
        QWidget::mousePressEvent(event);
        return;
    }
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    if (m_markers) {
        setFocus();
        m_markers->selected.reset();
        float best = FLT_MAX;
        std::shared_ptr<CMarker> nearest;
        for (const auto& m : m_markers->markers) {
            const float d = static_cast<float>(std::abs(pt.x() - xOf(m->position)));
            if (d < best) {
                best = d;
                nearest = m;
            }
        }
        if (nearest && best < 2.0f) m_markers->selected = nearest;
        redraw();
        Q_EMIT markerNotify(kPicked, m_markers->selected);
        m_moved = false;
    }
    Q_EMIT mouseNotify(kClick, pt);
    setFocus();
    QWidget::mousePressEvent(event);
}

void CHistogramCtrl::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && m_markers && m_markers->selected && width() > 10) {
        const double pos = (event->position().x() - 5.0) / (width() - 10);
        m_markers->selected->position = static_cast<float>(std::clamp(pos, 0.0, 1.0));
        sortMarkers();
        redraw();
        Q_EMIT markerNotify(kMoving, m_markers->selected);
        m_moved = true;
    }
    Q_EMIT mouseNotify(kHover, QPoint());
    QWidget::mouseMoveEvent(event);
}

void CHistogramCtrl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_markers && m_markers->selected && m_moved)
        Q_EMIT markerNotify(kMoved, m_markers->selected);
    QWidget::mouseReleaseEvent(event);
}

void CHistogramCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    Q_EMIT mouseNotify(event->button() == Qt::RightButton ? kRightDoubleClick : kDoubleClick, event->position().toPoint());
    QWidget::mouseDoubleClickEvent(event);
}

void CHistogramCtrl::keyPressEvent(QKeyEvent* event) {
    if (!m_markers || !m_markers->selected) return QWidget::keyPressEvent(event);
    const double n = m_values.empty() ? 256.0 : static_cast<double>(m_values.size());
    double pos = m_markers->selected->position;
    switch (event->key()) {
    case Qt::Key_PageUp: pos -= 0.125; break;
    case Qt::Key_PageDown: pos += 0.125; break;
    case Qt::Key_End: pos = 1.0; break;
    case Qt::Key_Home: pos = 0.0; break;
    case Qt::Key_Left:
    case Qt::Key_Up: pos -= 1.0 / n; break;
    case Qt::Key_Right:
    case Qt::Key_Down: pos += 1.0 / n; break;
    default: return QWidget::keyPressEvent(event);
    }
    m_markers->selected->position = static_cast<float>(std::clamp(pos, 0.0, 1.0));
    sortMarkers();
    redraw();
    Q_EMIT markerNotify(kMoved, m_markers->selected);
    m_moved = true;
}

} // namespace quadrel
