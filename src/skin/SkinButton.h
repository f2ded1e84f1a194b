#pragma once

#include <QAbstractButton>

// A hover button: rest, hover and pressed images, optionally limited to an ellipse.
class CSkinButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CSkinButton(QWidget* parent = nullptr);

    // Image ids of the skin in the order hover, normal, pressed and a spare one.
    bool LoadStateBitmaps(int hover, int normal, int pressed, int spare = 0);
    // Makes the button the ellipse inscribed in the image `shapeId`'s size.
    bool SetEllipticRegion(int shapeId, bool redraw = true);

    bool IsHovering() const { return m_hover; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    int m_hoverId = 0, m_normalId = 0, m_pressedId = 0, m_spareId = 0;
    bool m_hover = false;
    bool m_elliptic = false;
};
