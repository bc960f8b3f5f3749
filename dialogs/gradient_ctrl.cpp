#include "dialogs/gradient_ctrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace quadrel {

CGradientCtrl::CGradientCtrl(QWidget* parent) : QWidget(parent), m_gradient(std::make_shared<CGradient>()) {
    setObjectName(QStringLiteral("MFCGradientCtrl"));
    setFocusPolicy(Qt::StrongFocus);
}

void CGradientCtrl::setGradient(std::shared_ptr<CGradient> g) {
    m_gradient = g ? std::move(g) : std::make_shared<CGradient>();
    m_selection = kPegNone;
    update();
}

void CGradientCtrl::setPegSides(bool first, bool second) {
    m_firstSide = first;
    m_secondSide = second;
    update();
}

void CGradientCtrl::setSelection(int index) {
    m_selection = index;
    update();
}

QRect CGradientCtrl::frameRect() const {
    const int w = width(), h = height();
    return QRect(QPoint(4, m_secondSide ? 23 : 4), QPoint(w - 4, m_firstSide ? h - 23 : h - 4));
}

QRect CGradientCtrl::startBox() const {
    const int h = height();
    return m_firstSide ? QRect(QPoint(4, h - 15), QPoint(11, h - 8)) : QRect(QPoint(4, 8), QPoint(11, 15));
}

QRect CGradientCtrl::endBox() const {
    const int w = width(), h = height();
    return m_firstSide ? QRect(QPoint(w - 11, h - 15), QPoint(w - 4, h - 8)) : QRect(QPoint(w - 11, 8), QPoint(w - 4, 15));
}

int CGradientCtrl::pegRow(int index) const {
    // Crowded pegs alternate between two rows.
    int run = 0, lastX = -1000;
    for (int i = 0; i <= index && i < m_gradient->GetPegCount(); ++i) {
        const int x = pegX(m_gradient->GetPeg(i).position);
        run = x > lastX + 10 ? 0 : run + 1;
        lastX = x;
    }
    return run % 2;
}

QRect CGradientCtrl::pegHitRect(int index, bool firstSide) const {
    const int x0 = pegX(m_gradient->GetPeg(index).position), r = pegRow(index), h = height();
    if (firstSide) return QRect(QPoint(x0 - 4, h - 23 + 11 * r), QPoint(x0 + 5, h - 13 + 11 * r));
    return QRect(QPoint(x0 - 4, 13 - 11 * r), QPoint(x0 + 5, 23 - 11 * r));
}

void CGradientCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width(), h = height();
    p.fillRect(rect(), palette().window());
    const QColor text = palette().windowText().color();
    const QRect frame = frameRect();
    // The strip: one column per entry of the ramp.
    if (h > 10 && w > 10) {
        const std::vector<uint32_t> entries = m_gradient->MakeEntries(w - 10);
        const int top = m_secondSide ? 24 : 5, bottom = frame.bottom() - 1;
        for (int k = 0; k < w - 10; ++k) {
            p.setPen(QColor::fromRgba(entries[static_cast<size_t>(k)]));
            p.drawLine(5 + k, top, 5 + k, bottom);
        }
    }
    p.setPen(text);
    p.setBrush(Qt::NoBrush);
    p.drawRect(frame.adjusted(0, 0, -1, -1));
    p.setBrush(QColor::fromRgba(m_gradient->GetStartPegColour()));
    p.drawRect(startBox().adjusted(0, 0, -1, -1));
    p.setBrush(QColor::fromRgba(m_gradient->GetEndPegColour()));
    p.drawRect(endBox().adjusted(0, 0, -1, -1));

    // Pegs: a triangle pointing at the bar, filled with the peg's colour.
    for (int i = 0; i < m_gradient->GetPegCount(); ++i) {
        const CPeg& peg = m_gradient->GetPeg(i);
        const int x0 = pegX(peg.position), r = pegRow(i);
        p.setBrush(QColor::fromRgba(peg.colour));
        if (m_firstSide)
            p.drawPolygon(QPolygon({QPoint(x0, h - 24 + 11 * r), QPoint(x0 - 5, h - 13 + 11 * r), QPoint(x0 + 6, h - 13 + 11 * r)}));
        if (m_secondSide)
            p.drawPolygon(QPolygon({QPoint(x0, 23 - 11 * r), QPoint(x0 - 5, 12 - 11 * r), QPoint(x0 + 6, 12 - 11 * r)}));
    }
    // The selection mark is part of every paint, so it survives repaints.
    if (m_selection > m_gradient->GetPegCount()) m_selection = kPegNone;
    p.setBrush(Qt::NoBrush);
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setPen(Qt::white);
    if (m_selection == kPegStart) p.drawRect(startBox().adjusted(1, 1, -2, -2));
    else if (m_selection == kPegEnd) p.drawRect(endBox().adjusted(1, 1, -2, -2));
    else if (m_selection >= 0 && m_selection < m_gradient->GetPegCount()) {
        const int x0 = pegX(m_gradient->GetPeg(m_selection).position), r = pegRow(m_selection);
        if (m_firstSide)
            p.drawPolygon(QPolygon({QPoint(x0, h - 21 + 11 * r), QPoint(x0 - 3, h - 15 + 11 * r), QPoint(x0 + 3, h - 15 + 11 * r)}));
        if (m_secondSide)
            p.drawPolygon(QPolygon({QPoint(x0, 20 - 11 * r), QPoint(x0 - 3, 14 - 11 * r), QPoint(x0 + 3, 14 - 11 * r)}));
    }
}

void CGradientCtrl::movePeg(float position) {
    const CPeg& peg = m_gradient->GetPeg(m_selection);
    m_selection = m_gradient->SetPeg(m_selection, peg.colour, std::clamp(position, 0.0f, 1.0f));
    update();
    const CPeg moved = m_gradient->GetPeg(m_selection);
    Q_EMIT pegNotify(kPegMoved, moved, m_selection);
    Q_EMIT pegNotify(kGradientChanged, moved, m_selection);
}

void CGradientCtrl::keyPressEvent(QKeyEvent* event) {
    const int pegs = m_gradient->GetPegCount();
    const bool onPeg = m_selection >= 0 && m_selection < pegs;
    const bool onElement = onPeg || m_selection == kPegStart || m_selection == kPegEnd;
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        if (onPeg) {
            const CPeg removed = m_gradient->GetPeg(m_selection);
            const int old = m_selection;
            m_gradient->RemovePeg(m_selection);
            m_selection = old > 0 ? old - 1 : kPegStart;
            update();
            Q_EMIT pegNotify(kPegRemoved, removed, old);
            Q_EMIT pegNotify(kSelectionChanged, m_gradient->GetPeg(m_selection), m_selection);
            Q_EMIT pegNotify(kGradientChanged, m_spare, -1);
        }
        break;
    case Qt::Key_Tab:
        if (m_selection >= kPegStart && m_selection < pegs) {
            if (m_selection == kPegStart) m_selection = pegs > 0 ? 0 : kPegEnd;
            else if (m_selection == kPegEnd || m_selection == kPegNone) m_selection = kPegStart;
            else m_selection = m_selection + 1 < pegs ? m_selection + 1 : kPegEnd;
            update();
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (onElement) Q_EMIT pegNotify(kEditPeg, m_gradient->GetPeg(m_selection), m_selection);
        break;
    case Qt::Key_Insert:
        if (onElement) {
            const CPeg& peg = m_gradient->GetPeg(m_selection);
            Q_EMIT newPegRequested(peg.position, peg.colour);
        }
        break;
    case Qt::Key_PageUp:
        if (onPeg) movePeg(m_gradient->GetPeg(m_selection).position - 0.1f);
        break;
    case Qt::Key_PageDown:
        if (onPeg) movePeg(m_gradient->GetPeg(m_selection).position + 0.1f);
        break;
    case Qt::Key_Home:
        if (onPeg) movePeg(0.0f);
        break;
    case Qt::Key_End:
        if (onPeg) movePeg(1.0f);
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
        if (onPeg) movePeg(m_gradient->GetPeg(m_selection).position - 0.025f);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        if (onPeg) movePeg(m_gradient->GetPeg(m_selection).position + 0.025f);
        break;
    default: break;
    }
    QWidget::keyPressEvent(event);
}

void CGradientCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
    const QPoint pt = event->position().toPoint();
    const float position = std::clamp(static_cast<float>(pt.x() - 5) / static_cast<float>(width() - 9), 0.0f, 1.0f);
    int hit = kPegNone;
    for (int i = 0; i < m_gradient->GetPegCount() && hit == kPegNone; ++i)
        if ((m_firstSide && pegHitRect(i, true).contains(pt)) || (m_secondSide && pegHitRect(i, false).contains(pt)))
            hit = i;
    // The boxes as they are drawn are the targets for the start and end colours.
    if (hit == kPegNone && startBox().contains(pt)) hit = kPegStart;
    if (hit == kPegNone && endBox().contains(pt)) hit = kPegEnd;
    if (hit != kPegNone) {
        m_selection = hit;
        update();
        Q_EMIT pegNotify(kEditPeg, m_gradient->GetPeg(hit), hit);
    } else {
        Q_EMIT newPegRequested(position, m_gradient->ColourFromPosition(position));
    }
}

} // namespace quadrel
