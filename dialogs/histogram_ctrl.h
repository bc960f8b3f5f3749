#pragma once

#include "core/threshold.h"

#include <QImage>
#include <QWidget>

#include <memory>
#include <vector>

namespace quadrel {

// The histogram of one channel as a curve, with the threshold bounds as vertical marker lines that can be
// picked with the mouse and moved by dragging or with the keys. The positions of the shared marker vector
// are edited in place; every change is reported by a notification.
class CHistogramCtrl : public QWidget {
    Q_OBJECT
public:
    // Notification codes, as the dialog has always received them.
    enum Code : int {
        kPicked = 1,
        kMoving = 3,
        kMoved = 4,
        kClick = -2,
        kDoubleClick = -3,
        kRightClick = -5,
        kRightDoubleClick = -6,
        kHover = -13,
    };

    explicit CHistogramCtrl(QWidget* parent = nullptr);

    void setValues(const std::vector<double>& values);
    void setLineColour(uint32_t argb);
    void setMarkers(std::shared_ptr<CMarkerVector> markers);
    // Drops the cached rendering and repaints without erasing.
    void redraw();

    std::shared_ptr<CMarkerVector> markers() const { return m_markers; }
    std::shared_ptr<CMarker> selectedMarker() const { return m_markers ? m_markers->selected : nullptr; }
    bool moved() const { return m_moved; }
    // The client x of a marker position.
    double xOf(double position) const;

    QSize sizeHint() const override { return {266, 120}; }

Q_SIGNALS:
    // Codes 1, 3 and 4 with the selected marker (null when none is selected).
    void markerNotify(int code, std::shared_ptr<CMarker> marker);
    // The mouse codes with the point in client coordinates; hover carries no point.
    void mouseNotify(int code, QPoint point);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void draw(QImage& image) const;
    void sortMarkers();

    std::vector<double> m_values;
    std::shared_ptr<CMarkerVector> m_markers;
    QImage m_cache;
    uint32_t m_lineColour = 0xFF800080u;
    uint32_t m_backgroundColour = 0xFFC0C0C0u;
    uint32_t m_markerColour = 0xFF800080u;
    bool m_moved = false;
};

} // namespace quadrel
