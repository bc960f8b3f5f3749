#pragma once

#include "dialogs/gradient.h"

#include <QWidget>

#include <memory>

namespace quadrel {

// A colour bar: the gradient's ramp with its start and end boxes and its pegs, which can be selected,
// moved, removed and asked for with the keyboard and by double click. Changes are reported by
// notifications; the control itself never adds a peg or opens a colour chooser.
class CGradientCtrl : public QWidget {
    Q_OBJECT
public:
    enum Code : int {
        kSelectionChanged = 1,
        kPegMoved = 3,
        kPegRemoved = 4,
        kNewPeg = 5,
        kEditPeg = 6,
        kGradientChanged = 7,
    };

    explicit CGradientCtrl(QWidget* parent = nullptr);

    std::shared_ptr<CGradient> gradient() const { return m_gradient; }
    void setGradient(std::shared_ptr<CGradient> g);
    // Which sides carry pegs: for a horizontal bar the first side is below it, the second above.
    void setPegSides(bool first, bool second);
    int selection() const { return m_selection; }
    void setSelection(int index);
    void redraw() { update(); }

    // Geometry, for the owner and the tests.
    QRect frameRect() const;
    QRect startBox() const;
    QRect endBox() const;
    QRect pegHitRect(int index, bool firstSide) const;
    int pegX(float position) const { return static_cast<int>((width() - 10) * position) + 5; }

    QSize sizeHint() const override { return {266, 48}; }

Q_SIGNALS:
    // Codes 1, 3, 4, 6 and 7 with the peg concerned and its index.
    void pegNotify(int code, CPeg peg, int index);
    // Code 5: a new peg asked for at a position, with the colour there.
    void newPegRequested(float position, uint32_t colour);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; } // Tab moves between the pegs

private:
    int pegRow(int index) const;
    void movePeg(float position);

    std::shared_ptr<CGradient> m_gradient;
    int m_selection = kPegNone;
    bool m_firstSide = false;
    bool m_secondSide = true;
    CPeg m_spare;
};

} // namespace quadrel
