// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

// A drawing surface that buffers what is drawn on an area of a target painter and copies
// the result to the target in one piece when it is destroyed, so the screen never shows a
// half-drawn picture. Callers draw through it (`dc->drawLine(...)`) in the target's own
// logical coordinates.
//
// The buffer starts as a copy of what the target already shows in the area (bCopyScreen)
// or filled with the target's background colour. Over a printer the object does not
// buffer: it draws straight into the target and, when destroyed, neither copies nor ends
// the target, which stays its owner's.
class COffscreenDC {
public:
    // pArea null: the target's clip box (or its whole surface when it has no clip).
    explicit COffscreenDC(QPainter* pTargetDC, const QRect* pArea = nullptr,
                          bool bCopyScreen = false);
    ~COffscreenDC();

    COffscreenDC(const COffscreenDC&) = delete;
    COffscreenDC& operator=(const COffscreenDC&) = delete;

    // The painter that receives the drawing: the buffer's, or the printer's own.
    QPainter* DC() { return m_pDC; }
    QPainter* operator->() { return m_pDC; }
    QPainter& operator*() { return *m_pDC; }

    bool IsBuffered() const { return m_bBuffered; }
    // The buffered area, in the target's logical coordinates.
    QRect Area() const { return m_rcArea; }

private:
    void CopyFromTarget();

    QImage m_bmpBuffer;    // the buffered area, at the target's device pixels
    QPainter* m_pTargetDC; // receives the finished image; borrowed, never owned
    QRect m_rcArea;        // the area, in the target's logical coordinates
    bool m_bBuffered;      // false over a printer: drawing goes straight to the target
    QRect m_rcDevice;      // the area in the target's device-independent pixels
    QPainter m_dcMemory;   // draws into m_bmpBuffer while buffering
    QPainter* m_pDC;
};
