// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/BitmapButton.h"

#include "skin/SkinCatalogue.h"

#include <QPainter>

CBitmapButton::CBitmapButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

bool CBitmapButton::LoadBitmaps(int normal, int pressed, int focused, int disabled) {
    m_normal = normal;
    m_pressed = pressed;
    m_focused = focused;
    m_disabled = disabled;
    update();
    return !Skin::Bitmap(normal).isNull();
}

void CBitmapButton::SizeToContent() {
    const QPixmap image = Skin::Bitmap(m_normal);
    if (!image.isNull())
        resize(image.deviceIndependentSize().toSize());
}

void CBitmapButton::SetState(bool pressed) {
    if (m_stateLook == pressed)
        return;
    m_stateLook = pressed;
    update();
}

QSize CBitmapButton::sizeHint() const {
    const QPixmap image = Skin::Bitmap(m_normal);
    return image.isNull() ? QSize(34, 28) : image.deviceIndependentSize().toSize();
}

void CBitmapButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool pressedLook = m_stateLook || isDown();
    int id = m_normal;
    if (!isEnabled() && m_disabled)
        id = m_disabled;
    else if (pressedLook && m_pressed)
        id = m_pressed;
    else if (hasFocus() && m_focused)
        id = m_focused;
    const QPixmap image = Skin::Bitmap(id);
    if (!image.isNull()) {
        painter.drawPixmap(0, 0, image);
        return;
    }
    // No skin image: a plain key with the caption.
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QColor(90, 110, 140));
    painter.setBrush(pressedLook ? QColor(70, 100, 150) : QColor(28, 36, 52));
    painter.drawRoundedRect(r, 4, 4);
    painter.setPen(!isEnabled()  ? QColor(110, 110, 110)
                   : pressedLook ? Qt::white
                                 : QColor(190, 198, 210));
    painter.drawText(rect(), Qt::AlignCenter, text());
}
