#include "skin/SkinSlider.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr int kThumbHalf = 7;
}

CSkinSlider::CSkinSlider(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void CSkinSlider::SetRange(int minimum, int maximum, bool redraw) {
    m_nMin = minimum;
    m_nMax = qMax(minimum, maximum);
    m_nPos = qBound(m_nMin, m_nPos, m_nMax);
    if (redraw)
        update();
}

void CSkinSlider::SetPos(int pos) {
    pos = qBound(m_nMin, pos, m_nMax);
    if (pos == m_nPos)
        return;
    m_nPos = pos;
    update();
}

int CSkinSlider::PosToPixel(int pos) const {
    const int left = m_nInsetLeft + kThumbHalf;
    const int span = qMax(1, width() - m_nInsetRight - kThumbHalf - left);
    if (m_nMax == m_nMin)
        return left;
    return left + int(double(pos - m_nMin) * span / (m_nMax - m_nMin) + 0.5);
}

int CSkinSlider::PixelToPos(int x) const {
    const int left = m_nInsetLeft + kThumbHalf;
    const int span = qMax(1, width() - m_nInsetRight - kThumbHalf - left);
    const double f = qBound(0.0, double(x - left) / span, 1.0);
    return m_nMin + int(f * (m_nMax - m_nMin) + 0.5);
}

void CSkinSlider::Notify(int message) {
    if (!parentWidget())
        return;
    QCoreApplication::postEvent(parentWidget(), new QEvent(QEvent::Type(QEvent::User + message)));
}

void CSkinSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    m_bDragging = true;
    SetPos(PixelToPos(event->position().toPoint().x()));
    Notify(WM_SKINSLIDER_MOVING);
}

void CSkinSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!m_bDragging)
        return;
    SetPos(PixelToPos(event->position().toPoint().x()));
    Notify(WM_SKINSLIDER_MOVING);
}

void CSkinSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_bDragging = false;
    Notify(WM_SKINSLIDER_MOVED);
}

void CSkinSlider::keyPressEvent(QKeyEvent* event) {
    const int page = qMax(1, (m_nMax - m_nMin) / 10);
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        SetPos(m_nPos - 1);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        SetPos(m_nPos + 1);
        break;
    case Qt::Key_PageUp:
        SetPos(m_nPos - page);
        break;
    case Qt::Key_PageDown:
        SetPos(m_nPos + page);
        break;
    case Qt::Key_Home:
        SetPos(m_nMin);
        break;
    case Qt::Key_End:
        SetPos(m_nMax);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    Notify(WM_SKINSLIDER_MOVED);
}

void CSkinSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int cy = m_nInsetTop + (height() - m_nInsetTop - m_nInsetBottom) / 2;
    const int left = m_nInsetLeft + kThumbHalf;
    const int right = width() - m_nInsetRight - kThumbHalf;
    const int x = PosToPixel(m_nPos);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 26, 38));
    painter.drawRoundedRect(QRect(left, cy - 3, right - left, 6), 3, 3);
    painter.setBrush(QColor(60, 140, 230));
    painter.drawRoundedRect(QRect(left, cy - 3, x - left, 6), 3, 3);
    painter.setBrush(QColor(235, 200, 60));
    painter.drawEllipse(QPoint(x, cy), kThumbHalf - 1, kThumbHalf - 1);
}
