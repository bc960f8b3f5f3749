#include "shell/image_view.h"

#include "core/image.h"
#include "document/quadrel_doc.h"
#include "shell/image_composite.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

namespace quadrel {

CImageView::CImageView(CQuadrelDoc& doc, QWidget* parent) : QAbstractScrollArea(parent), m_doc(doc) {
    setObjectName("ImageView");
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setBackgroundRole(QPalette::Base);
    m_doc.addView(this);
    updateScrollRange();
}

CImageView::~CImageView() {
    m_doc.removeView(this);
}

void CImageView::onUpdate(CQuadrelDoc&, int, CDocumentView*) {
    m_doc.releaseDisplayCache();
    updateScrollRange();
    viewport()->update();
}

QRect CImageView::displayRect() const {
    return quadrel::displayRect(m_doc, viewport()->size());
}

void CImageView::updateScrollRange() {
    const QRect d = m_doc.fitToWindow() ? QRect() : displayRect();
    const QSize client = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, d.width() - client.width()));
    horizontalScrollBar()->setPageStep(client.width());
    horizontalScrollBar()->setSingleStep(16);
    verticalScrollBar()->setRange(0, std::max(0, d.height() - client.height()));
    verticalScrollBar()->setPageStep(client.height());
    verticalScrollBar()->setSingleStep(16);
}

void CImageView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const QColor background = palette().color(QPalette::Window);
    const QRect client = viewport()->rect();
    const QRect d = displayRect();
    if (d.isEmpty()) {
        p.fillRect(client, background);
        return;
    }
    auto cache = std::static_pointer_cast<QImage>(m_doc.m_displayCache);
    if (!cache || cache->size() != d.size()) {
        cache = std::make_shared<QImage>(buildComposite(m_doc, d.size()));
        m_doc.m_displayCache = cache;
    }
    const QPoint origin =
        m_doc.fitToWindow() ? QPoint(0, 0) : QPoint(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    p.drawImage(origin, *cache);
    // Whatever the image does not cover gets the window colour.
    QRegion rest(client);
    rest -= QRect(origin, cache->size());
    for (const QRect& r : rest)
        p.fillRect(r, background);
}

void CImageView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
}

void CImageView::scrollContentsBy(int, int) {
    viewport()->update();
}

QPoint CImageView::viewportPointOf(const QPoint& imagePoint) const {
    const QRect d = displayRect();
    const CStretchingObject& s = m_doc.stretch();
    if (d.isEmpty() || s.imageWidth == 0 || s.imageHeight == 0) return imagePoint;
    const QPoint origin =
        m_doc.fitToWindow() ? QPoint(0, 0) : QPoint(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    const double sx = static_cast<double>(d.width()) / s.imageWidth,
                 sy = static_cast<double>(d.height()) / s.imageHeight;
    return origin +
           QPoint(static_cast<int>((imagePoint.x() + 0.5) * sx), static_cast<int>((imagePoint.y() + 0.5) * sy));
}

void CImageView::clickAt(const QPoint& viewportPoint, bool shift) {
    // Viewport to display coordinates (the scroll position), then to image pixels.
    QPoint logical = viewportPoint;
    if (!m_doc.fitToWindow()) logical += QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const CStretchingObject& s = m_doc.stretch();
    QPoint pt = logical;
    if (m_doc.hasImage(kSlotSource)) pt = imagePointOf(logical, displayRect(), QSize(s.imageWidth, s.imageHeight));

    std::set<PointI> points = *m_doc.GetClickedPoints();
    if (!shift) points.clear();
    const PointI clicked{pt.x(), pt.y()};
    points.insert(clicked);
    m_doc.SetClickedPoints(points);

    TCellIdList list("");
    for (const PointI& p : *m_doc.GetClickedPoints()) {
        TCellId id;
        if (m_doc.CellAt(p, id)) list.add(id);
    }
    m_doc.SetSelection(list, this);
    TCellId current;
    if (!m_doc.CellAt(clicked, current)) current = TCellId(0, 0);
    m_doc.SetCurrentCell(current, this);
    // This view was the sender of both changes, so it repaints itself.
    m_doc.releaseDisplayCache();
    viewport()->update();
}

void CImageView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        clickAt(event->position().toPoint(), event->modifiers().testFlag(Qt::ShiftModifier));
    QAbstractScrollArea::mousePressEvent(event);
}

} // namespace quadrel
