// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QBasicTimer>
#include <QPixmap>
#include <QRect>

// A push button that shows only skin bitmaps: one at rest, one while the pointer is over it
// and one while it is held down. It can be limited to an ellipse (input outside it goes to
// the parent), and drawn through a shape mask over a piece of the parent's skin, so that
// its corners show the parent's background. Clicks are ordinary button clicks.
class CSkinButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CSkinButton(QWidget* parent = nullptr);
    ~CSkinButton() override;

    // The piece of skin `nBitmapId` under the button: left and top say where it starts (the
    // button's own place in its parent); right and bottom are kept with them.
    void SetBackgroundPiece(uint nBitmapId, int left, int top, int right, int bottom);
    // The button becomes the ellipse inscribed in the size of bitmap `nBitmapId`.
    void SetEllipticRegion(uint nBitmapId, bool bRound);
    // Shape mask: black where the button is, white outside.
    void SetMaskBitmap(uint nBitmapId, bool bUse);
    // The state images; the spare one is kept with them but no state shows it. Returns
    // whether the last image (the hover one) loaded.
    bool LoadStateBitmaps(uint nHoverId, uint nNormalId, uint nPressedId, uint nSpareId);

    bool IsHovering() const { return m_bHover; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // A skin bitmap held by its id, rendered at the pixel ratio of the screen it shows on.
    struct Bitmap {
        uint id = 0;
        QPixmap pixmap;
        bool Load(uint nId, qreal ratio);
        const QPixmap& At(qreal ratio);
        void Delete() { *this = Bitmap(); }
        bool IsNull() const { return pixmap.isNull(); }
    };

    void DrawItem(QPainter& dc, const QRect& item, bool selected);
    void Compose(QPainter& dc, Bitmap& image, int w, int h);
    void OnMouseHover();
    void OnMouseLeave();

    bool m_bHover = false;    // the pointer rests over the button
    bool m_bTracking = false; // hover and leave are being watched for
    Bitmap m_bmpNormal;
    Bitmap m_bmpPressed;
    Bitmap m_bmpSpare;
    Bitmap m_bmpHover;
    Bitmap m_bmpMask;
    Bitmap m_bmpBackground;
    bool m_bUseMask = false;
    bool m_bRound = false;
    bool m_bUseBackground = false;
    QRect m_rcBackground;
    QBasicTimer m_hoverTimer;
};
