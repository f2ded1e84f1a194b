// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/CameraLayout.h"

#include <QObject>
#include <QPointer>

class CPlayerSession;
class CGraphPlayer;
class QMenu;
class QWidget;

// A recorder's cameras played together, plugged into the session: when a recording opens, its
// partner cameras (rear, interior) are handed to the engine to play with it; they show as small
// pictures in a corner of the video area or side by side. A click on a small picture or C makes
// it the large one, V switches between picture in picture and side by side, Shift+C moves the
// small pictures to the next corner; the video area's menu offers the same. The choice is kept
// for the next recording.
class CMultiCamFeature : public QObject {
    Q_OBJECT
public:
    explicit CMultiCamFeature(CPlayerSession& session);

    void OnSwap();       // the next camera becomes the large one
    void OnToggleView(); // picture in picture <-> side by side
    void OnNextCorner(); // the small pictures move on, clockwise
    CameraLayout::Arrangement Arrangement() const { return m_arrangement; }

    // The feature attached to the session of `window`, if any.
    static CMultiCamFeature* Of(const QObject* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnOpening(CGraphPlayer* engine, const QString& recording);
    void OnOpened();
    void Apply(const CameraLayout::Arrangement& arrangement);
    void FillMenu(QMenu& menu);
    CGraphPlayer* Engine() const; // the open engine when it shows several cameras

    CPlayerSession& m_session;
    CameraLayout::Arrangement m_arrangement;
    QPointer<QWidget> m_videoHost;
};
