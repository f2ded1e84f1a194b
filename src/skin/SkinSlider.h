#pragma once

#include <QWidget>

// Posted to the parent while the thumb is dragged and when it is let go.
constexpr int WM_SKINSLIDER_MOVING = 0x0400 + 9425;
constexpr int WM_SKINSLIDER_MOVED = 0x0400 + 9426;

// A horizontal slider drawn from bitmaps. The owner reads its position when it needs it.
class CSkinSlider : public QWidget {
    Q_OBJECT
public:
    explicit CSkinSlider(QWidget* parent = nullptr);

    void SetRange(int minimum, int maximum, bool redraw = false);
    void SetPos(int pos);
    int GetPos() const { return m_nPos; }
    int GetRangeMin() const { return m_nMin; }
    int GetRangeMax() const { return m_nMax; }

    // The control id the notifications carry.
    void SetControlId(int id) { m_nId = id; }

    int m_nInsetLeft = 0;
    int m_nInsetRight = 0;
    int m_nInsetTop = 0;
    int m_nInsetBottom = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int PixelToPos(int x) const;
    int PosToPixel(int pos) const;
    void Notify(int message);

    int m_nMin = 0;
    int m_nMax = 100;
    int m_nPos = 0;
    int m_nId = 0;
    bool m_bDragging = false;
};
