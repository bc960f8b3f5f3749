#pragma once

#include "document/view_updates.h"

#include <QAbstractScrollArea>

namespace quadrel {

class CQuadrelDoc;

// The scrolling view of the document's image with the region shading, the threshold preview and the
// contours of the active classes and of the selection. A click selects the cell under the mouse; with
// Shift the clicked points add up.
class CImageView : public QAbstractScrollArea, public CDocumentView {
    Q_OBJECT
public:
    explicit CImageView(CQuadrelDoc& doc, QWidget* parent = nullptr);
    ~CImageView() override;

    void onUpdate(CQuadrelDoc& doc, int hint, CDocumentView* sender) override;
    // Where the image is drawn, in viewport coordinates before scrolling.
    QRect displayRect() const;
    // The viewport position that shows an image pixel (for tests and tools).
    QPoint viewportPointOf(const QPoint& imagePoint) const;
    void clickAt(const QPoint& viewportPoint, bool shift);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void updateScrollRange();

    CQuadrelDoc& m_doc;
};

} // namespace quadrel
