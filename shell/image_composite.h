#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

namespace quadrel {

class CQuadrelDoc;

// Where the image is drawn in the view: at its display size, or fitted into the client area (anchored
// at the top-left corner, aspect kept). Empty without an image.
QRect displayRect(const CQuadrelDoc& doc, const QSize& client);
QRect fittedRect(const QSize& image, const QSize& client);

// The picture the view shows, at the size of `target`: the source image, the outside of the region of
// interest shaded, the threshold preview at the preview opacity, the contours of the active classes
// (black 3 under red 1) and of the selection (black 3 under white 1).
QImage buildComposite(CQuadrelDoc& doc, const QSize& target);

// Image coordinates of a point of the display rectangle (truncated toward zero).
QPoint imagePointOf(const QPoint& displayPoint, const QRect& display, const QSize& image);

} // namespace quadrel
