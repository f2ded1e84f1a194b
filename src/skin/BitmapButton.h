// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>

// A push button drawn from bitmaps: normal, pressed, focused and disabled images. Besides
// the pressed look while the mouse holds it, it keeps a persistent pressed look that its
// owner sets with SetState (tabs show the visible panel, play and pause the playback).
class CBitmapButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CBitmapButton(QWidget* parent = nullptr);

    // Image ids of the skin; 0 leaves that image out.
    bool LoadBitmaps(int normal, int pressed = 0, int focused = 0, int disabled = 0);
    // Sizes the button to its normal image.
    void SizeToContent();

    // The persistent pressed look.
    void SetState(bool pressed);
    bool GetState() const { return m_stateLook; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_normal = 0, m_pressed = 0, m_focused = 0, m_disabled = 0;
    bool m_stateLook = false;
};
