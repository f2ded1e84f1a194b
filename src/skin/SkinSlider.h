// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QList>
#include <QPair>
#include <QRect>
#include <QWidget>

// Posted to the parent while the thumb is dragged and when it is let go (or a key moved it).
constexpr int WM_SKINSLIDER_MOVING = 0x0400 + 9425;
constexpr int WM_SKINSLIDER_MOVED = 0x0400 + 9426;

// Key colours are given as 0x00RRGGBB; this value takes the key from a pixel of the image.
constexpr quint32 COLOR_KEY_FROM_PIXEL = 0xFF000000;

// What the slider posts to its parent: the message, the control's id and the position at
// the time of posting. Its event type is QEvent::User + the message.
class CSkinSliderNotification : public QEvent {
public:
    CSkinSliderNotification(int message, int wParam, int lParam)
        : QEvent(TypeOf(message)), m_nMessage(message), m_wParam(wParam), m_lParam(lParam) {}

    static QEvent::Type TypeOf(int message) { return QEvent::Type(QEvent::User + message); }

    int Message() const { return m_nMessage; }
    int ControlId() const { return m_wParam; }
    int Position() const { return m_lParam; }

private:
    int m_nMessage;
    int m_wParam;
    int m_lParam;
};

// A horizontal slider drawn from skin bitmaps: a channel across the whole control, a played
// image left of a boundary (the thumb or a fixed x), a thumb, and a focus rectangle. The
// position moves with the left mouse button and eight keys; every user change is posted to
// the parent, which in this program reads the position on its timer instead.
class CSkinSlider : public QWidget {
    Q_OBJECT
public:
    explicit CSkinSlider(QWidget* parent = nullptr);
    ~CSkinSlider() override;

    // The id the notifications carry (the control's id in its window).
    void SetControlId(int id) { m_nId = id; }
    int ControlId() const { return m_nId; }

    // Channel and played images; the control takes the channel's size. Id 0 unloads them.
    bool LoadChannelBitmaps(uint nChannelId, uint nPlayedId, bool bKeyed, quint32 clrKey, int xKey,
                            int yKey);
    // None of these moves the position into the new range.
    void SetRange(int nMin, int nMax, bool bRedraw);
    void SetRangeMin(int nMin, bool bRedraw);
    void SetRangeMax(int nMax, bool bRedraw);
    // The played image ends at this fraction of the width instead of at the thumb.
    void SetFixedSplit(double dFraction, bool bUse);
    // Thumb and the thumb shown while dragging (0: none). Id 0 unloads them.
    bool LoadThumbBitmaps(uint nThumbId, uint nActiveId, bool bKeyed, quint32 clrKey, int xKey,
                          int yKey);
    void ShowFocusRect(bool bShow, bool bRedraw);

    // Clamps to the range and repaints; never notifies.
    void SetPos(int nPos);
    // Thin marks at slider positions, in their colours, over the channel; none by default,
    // and then the slider is drawn exactly as without them.
    void SetMarks(const QList<QPair<int, QColor>>& marks);
    const QList<QPair<int, QColor>>& Marks() const { return m_marks; }
    int GetPos() const { return m_nPos; }
    int GetRangeMin() const { return m_nRangeMin; }
    int GetRangeMax() const { return m_nRangeMax; }
    int GetPageStep() const { return m_nPageStep; }

    // Thumb centre x of a position, and the position of a thumb centre x.
    int PosToPixel(int nPos) const;
    int PixelToPos(int x) const;
    // Where the played image ends in the next paint.
    int SplitX() const;
    bool IsDragging() const { return m_bDragging; }

    // Written by the owner after loading the bitmaps; no redraw follows.
    int m_nInsetLeft = 0;  // pixels at the left that the thumb centre's track leaves out
    int m_nInsetRight = 0; // pixels at the right that the track leaves out
    int m_nInsetTop = 0;   // y of the thumb's top edge

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QList<QPair<int, QColor>> m_marks;
    // One loaded skin picture, kept at the screen's pixel ratio, with its colour-key mask.
    struct Picture {
        uint id = 0;
        bool keyed = false;
        quint32 clrKey = 0;
        QPoint ptKey;
        qreal ratio = 1.0;
        QImage image; // premultiplied ARGB at `ratio`; key-colour pixels made transparent
        QImage mask;  // Alpha8: 255 where the image had the key colour, else 0

        bool IsNull() const { return image.isNull(); }
        void Delete() { *this = Picture(); }
        // Renders the picture at the ratio (and builds its mask when keyed).
        bool Load(uint nId, qreal dRatio, bool bKeyed, quint32 clr, int xKey, int yKey);
        // Renders it again when the screen's ratio changed since.
        void Follow(qreal dRatio);
    };

    // The key colour's pixels go into the mask and become transparent in the image.
    static void BuildKeyMask(Picture& picture);
    // Draws the image's rectangle at (x, y), leaving the target's pixels where the mask is set.
    static void DrawKeyed(QPainter& dc, int x, int y, int cx, int cy, const Picture& picture,
                          int xSrc, int ySrc);
    static void DrawCopy(QPainter& dc, int x, int y, int cx, int cy, const Picture& picture,
                         int xSrc, int ySrc);
    void DrawPart(QPainter& dc, int x, int cx, const Picture& picture, bool bKeyed) const;
    static void DrawFocusRect(QPainter& dc, const QRect& rect);
    void MoveThumbTo(int x);
    void Notify(int message);
    void UpdateOpacity();

    int m_nRangeMax = 100;
    int m_nRangeMin = 0;
    int m_nPos = 0;
    int m_nPageStep = 20;
    bool m_bFixedSplit = false;
    int m_nSplitX = 0;
    QRect m_rcClient;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nThumbWidth = 0;
    int m_nThumbHeight = 0;
    int m_nGrabOffset = 0;
    bool m_bHasPlayed = false;
    bool m_bHasActiveThumb = false;
    bool m_bChannelKeyed = false;
    bool m_bThumbKeyed = false;
    bool m_bHasThumb = false;
    bool m_bHasChannel = false;
    bool m_bDragging = false;
    bool m_bFocused = false;
    bool m_bShowFocusRect = true;
    Picture m_bmpChannel;
    Picture m_bmpPlayed;
    Picture m_bmpThumb;
    Picture m_bmpThumbActive;
    int m_nId = 0;
};
