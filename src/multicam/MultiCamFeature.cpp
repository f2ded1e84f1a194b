// SPDX-License-Identifier: GPL-3.0-or-later
#include "multicam/MultiCamFeature.h"

#include "card/CameraPairs.h"
#include "playback/GraphPlayer.h"
#include "playback/VideoSurface.h"
#include "session/PlayerSession.h"
#include "ui/WindowKeys.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>

CMultiCamFeature::CMultiCamFeature(CPlayerSession& session)
    : QObject(&session), m_session(session) {
    QWidget* window = session.Host();
    BindWindowKey(window, QKeySequence(Qt::Key_C), KeyRepeat::No, [this] { OnSwap(); });
    BindWindowKey(window, QKeySequence(Qt::Key_V), KeyRepeat::No, [this] { OnToggleView(); });
    BindWindowKey(window, QKeySequence(Qt::SHIFT | Qt::Key_C), KeyRepeat::No,
                  [this] { OnNextCorner(); });
    session.AddOpening(
        [this](CGraphPlayer* engine, const QString& recording) { OnOpening(engine, recording); });
    connect(&session, &CPlayerSession::opened, this, [this] { OnOpened(); });
}

CMultiCamFeature* CMultiCamFeature::Of(const QObject* window) {
    return window ? window->findChild<CMultiCamFeature*>() : nullptr;
}

void CMultiCamFeature::OnOpening(CGraphPlayer* engine, const QString& recording) {
    if (!engine)
        return;
    const QList<CameraPairs::Camera> cameras = CameraPairs::CamerasOf(recording);
    if (cameras.size() < 2)
        return;
    engine->SetOwnCameraLabel(cameras.front().label);
    for (qsizetype i = 1; i < cameras.size(); ++i)
        engine->AddCamera({cameras[i].path, cameras[i].label, cameras[i].offsetSeconds});
}

void CMultiCamFeature::OnOpened() {
    CGraphPlayer* engine = Engine();
    if (!engine)
        return;
    // The arrangement kept from the last recording, its large camera if this one has it.
    CameraLayout::Arrangement arrangement = m_arrangement;
    if (arrangement.main >= engine->CameraCount())
        arrangement.main = 0;
    engine->SetArrangement(arrangement);
    QWidget* host = engine->VideoSurface() ? engine->VideoSurface()->parentWidget() : nullptr;
    if (host && host != m_videoHost) {
        host->installEventFilter(this);
        m_videoHost = host;
    }
}

CGraphPlayer* CMultiCamFeature::Engine() const {
    CGraphPlayer* engine = m_session.Engine();
    return engine && engine->CameraCount() > 1 ? engine : nullptr;
}

void CMultiCamFeature::Apply(const CameraLayout::Arrangement& arrangement) {
    m_arrangement = arrangement;
    if (CGraphPlayer* engine = Engine())
        engine->SetArrangement(arrangement);
}

void CMultiCamFeature::OnSwap() {
    CGraphPlayer* engine = Engine();
    if (!engine)
        return;
    CameraLayout::Arrangement next = engine->Arrangement();
    next.main = (next.main + 1) % engine->CameraCount();
    Apply(next);
}

void CMultiCamFeature::OnToggleView() {
    CGraphPlayer* engine = Engine();
    if (!engine)
        return;
    CameraLayout::Arrangement next = engine->Arrangement();
    next.view = next.view == CameraLayout::View::PictureInPicture
                    ? CameraLayout::View::SideBySide
                    : CameraLayout::View::PictureInPicture;
    Apply(next);
}

void CMultiCamFeature::OnNextCorner() {
    CGraphPlayer* engine = Engine();
    if (!engine)
        return;
    CameraLayout::Arrangement next = engine->Arrangement();
    next.view = CameraLayout::View::PictureInPicture;
    next.corner = (next.corner + 1) % 4;
    Apply(next);
}

void CMultiCamFeature::FillMenu(QMenu& menu) {
    CGraphPlayer* engine = Engine();
    if (!engine)
        return;
    const CameraLayout::Arrangement now = engine->Arrangement();
    for (int i = 0; i < engine->CameraCount(); ++i) {
        QAction* large = menu.addAction(
            QStringLiteral("Large picture: %1").arg(engine->CameraLabel(i)), this, [this, i] {
                CameraLayout::Arrangement next = m_arrangement;
                next.main = i;
                Apply(next);
            });
        large->setCheckable(true);
        large->setChecked(now.main == i);
    }
    menu.addSeparator();
    QAction* pip = menu.addAction(QStringLiteral("Picture in picture"), this, [this] {
        CameraLayout::Arrangement next = m_arrangement;
        next.view = CameraLayout::View::PictureInPicture;
        Apply(next);
    });
    pip->setCheckable(true);
    pip->setChecked(now.view == CameraLayout::View::PictureInPicture);
    QAction* side = menu.addAction(QStringLiteral("Side by side"), this, [this] {
        CameraLayout::Arrangement next = m_arrangement;
        next.view = CameraLayout::View::SideBySide;
        Apply(next);
    });
    side->setCheckable(true);
    side->setChecked(now.view == CameraLayout::View::SideBySide);
    menu.addAction(QStringLiteral("Move the small picture to the next corner"), this,
                   [this] { OnNextCorner(); });
}

bool CMultiCamFeature::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_videoHost)
        return false;
    CGraphPlayer* engine = Engine();
    if (!engine)
        return false;
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        const QList<QRect> areas = engine->CameraAreas();
        const CameraLayout::Arrangement now = engine->Arrangement();
        if (now.view != CameraLayout::View::PictureInPicture)
            return false;
        for (int i = 0; i < areas.size(); ++i) {
            if (i != now.main && areas[i].contains(mouse->position().toPoint())) {
                CameraLayout::Arrangement next = now;
                next.main = i;
                Apply(next);
                break;
            }
        }
        return false; // the window still takes the keys back on a click on the video
    }
    if (event->type() == QEvent::ContextMenu) {
        QMenu menu;
        FillMenu(menu);
        menu.exec(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    return false;
}
