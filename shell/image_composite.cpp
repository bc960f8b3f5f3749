#include "shell/image_composite.h"

#include "core/image.h"
#include "document/quadrel_doc.h"
#include "shell/bitmap_image.h"

#include <QPainter>
#include <QPainterPath>

namespace quadrel {

QRect fittedRect(const QSize& image, const QSize& client) {
    if (image.isEmpty()) return {};
    const double sx = static_cast<double>(client.width()) / image.width();
    const double sy = static_cast<double>(client.height()) / image.height();
    if (sx <= sy) return QRect(0, 0, client.width(), static_cast<int>(image.height() * sx));
    return QRect(0, 0, static_cast<int>(image.width() * sy), client.height());
}

QRect displayRect(const CQuadrelDoc& doc, const QSize& client) {
    if (!doc.hasImage(kSlotSource)) return {};
    const CStretchingObject& s = doc.stretch();
    if (doc.fitToWindow()) return fittedRect(QSize(s.imageWidth, s.imageHeight), client);
    return QRect(0, 0, s.displayWidth, s.displayHeight);
}

QPoint imagePointOf(const QPoint& p, const QRect& display, const QSize& image) {
    if (display.isEmpty()) return p;
    const int x = static_cast<int>(static_cast<double>(image.width()) / display.width() * (p.x() - display.x()));
    const int y = static_cast<int>(static_cast<double>(p.y() - display.y()) * image.height() / display.height());
    return {x, y};
}

namespace {

QPainterPath pathOf(const OutlinePath& outline) {
    QPainterPath path;
    path.setFillRule(outline.mode == OutlinePath::FillMode::Winding ? Qt::WindingFill : Qt::OddEvenFill);
    // Chain points name pixels; aliased strokes at integer coordinates cover those pixels.
    for (const std::vector<PointI>& figure : outline.figures) {
        if (figure.empty()) continue;
        path.moveTo(figure.front().x, figure.front().y);
        for (size_t i = 1; i < figure.size(); ++i)
            path.lineTo(figure[i].x, figure[i].y);
        if (figure.size() == 1) path.lineTo(figure.front().x, figure.front().y);
    }
    return path;
}

void strokeTwice(QPainter& p, const QPainterPath& path, const QColor& over) {
    p.strokePath(path, QPen(Qt::black, 3.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.strokePath(path, QPen(over, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
}

} // namespace

QImage buildComposite(CQuadrelDoc& doc, const QSize& target) {
    BitmapPtr source = doc.GetImage(kSlotSource);
    if (!source || target.isEmpty()) return {};
    const int w = source->width(), h = source->height();
    QImage out(target, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::white);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform, target != QSize(w, h));
    p.scale(static_cast<double>(target.width()) / w, static_cast<double>(target.height()) / h);
    p.drawImage(QRect(0, 0, w, h), imageOf(*source));

    // The outside of the region of interest, darkened.
    if (const auto outside = doc.GetOutsideRegion(); outside && outside->region) {
        QImage shade(w, h, QImage::Format_ARGB32);
        shade.fill(Qt::transparent);
        const RowSpans spans = outside->region->rowSpans(Rect{0, 0, w, h});
        for (const RowSpan& s : spans.spans()) {
            if (s.y < 0 || s.y >= h) continue;
            QRgb* row = reinterpret_cast<QRgb*>(shade.scanLine(s.y));
            for (int x = std::max(0, s.x0); x < std::min(w, s.x1); ++x)
                row[x] = qRgba(0, 0, 0, 100);
        }
        p.drawImage(QRect(0, 0, w, h), shade);
    }

    if (BitmapPtr preview = doc.GetImage(kSlotThresholdPreview)) {
        p.save();
        p.setOpacity(doc.m_previewOpacity->value / 10.0);
        p.drawImage(QRect(0, 0, w, h), imageOf(*preview));
        p.restore();
    }

    if (const auto active = doc.GetActiveOutline(); active && !active->figures.empty())
        strokeTwice(p, pathOf(*active), QColor(0xFF, 0, 0));
    if (const auto selection = doc.GetSelectionOutline(); selection && !selection->figures.empty())
        strokeTwice(p, pathOf(*selection), Qt::white);
    p.end();
    return out;
}

} // namespace quadrel
