#include "skin/SkinButton.h"

#include "skin/SkinCatalogue.h"

#include <QPainter>
#include <QPainterPath>
#include <QRegion>

CSkinButton::CSkinButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
}

bool CSkinButton::LoadStateBitmaps(int hover, int normal, int pressed, int spare) {
    m_hoverId = hover;
    m_normalId = normal;
    m_pressedId = pressed;
    m_spareId = spare;
    update();
    return !Skin::Bitmap(normal).isNull();
}

bool CSkinButton::SetEllipticRegion(int shapeId, bool redraw) {
    const QPixmap shape = Skin::Bitmap(shapeId);
    if (!shape.isNull())
        resize(shape.deviceIndependentSize().toSize());
    m_elliptic = true;
    setMask(QRegion(rect(), QRegion::Ellipse));
    if (redraw)
        update();
    return true;
}

void CSkinButton::enterEvent(QEnterEvent* event) {
    m_hover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CSkinButton::leaveEvent(QEvent* event) {
    m_hover = false;
    update();
    QAbstractButton::leaveEvent(event);
}

bool CSkinButton::hitButton(const QPoint& pos) const {
    if (!m_elliptic)
        return rect().contains(pos);
    return QRegion(rect(), QRegion::Ellipse).contains(pos);
}

void CSkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    int id = m_normalId;
    if (isEnabled() && isDown() && m_pressedId)
        id = m_pressedId;
    else if (isEnabled() && m_hover && m_hoverId)
        id = m_hoverId;
    const QPixmap image = Skin::Bitmap(id);
    if (!image.isNull()) {
        painter.drawPixmap(0, 0, image);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    painter.setPen(QColor(120, 140, 170));
    painter.setBrush(isDown()  ? QColor(70, 100, 150)
                     : m_hover ? QColor(48, 64, 92)
                               : QColor(28, 36, 52));
    if (m_elliptic)
        painter.drawEllipse(r);
    else
        painter.drawRoundedRect(r, 3, 3);
    painter.setPen(isEnabled() ? QColor(220, 226, 235) : QColor(110, 110, 110));
    QFont f = font();
    f.setPixelSize(qMax(8, qMin(12, height() / 3)));
    painter.setFont(f);
    painter.drawText(rect(), Qt::AlignCenter, text());
}
