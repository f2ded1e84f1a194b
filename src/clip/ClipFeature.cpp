// SPDX-License-Identifier: GPL-3.0-or-later
#include "clip/ClipFeature.h"

#include "playback/GraphPlayer.h"
#include "session/PlayerSession.h"
#include "ui/WindowKeys.h"

#include <QMenu>
#include <QWidget>

CClipFeature::CClipFeature(CPlayerSession& session) : QObject(&session), m_session(session) {
    QWidget* window = session.Host();
    BindWindowKey(window, QKeySequence(Qt::Key_I), KeyRepeat::No, [this] { OnMarkStart(); });
    BindWindowKey(window, QKeySequence(Qt::Key_O), KeyRepeat::No, [this] { OnMarkEnd(); });
    BindWindowKey(window, QKeySequence(Qt::Key_Backspace), KeyRepeat::No,
                  [this] { OnClearMarks(); });
    BindWindowKey(window, QKeySequence(Qt::CTRL | Qt::Key_E), KeyRepeat::No,
                  [this] { OnExportClip(); });
    session.AddTicks([this](double duration) { return m_marks.Ticks(duration); });
    session.AddRowMenu([](QMenu& menu, QWidget* owner, const QString& recording) {
        menu.addAction(QStringLiteral("Export clip…"), owner, [owner, recording] {
            ClipExport::ExportFromWindow(owner, recording, 0, -1);
        });
    });
    // The marks were the other recording's.
    connect(&session, &CPlayerSession::opened, this, [this] { m_marks.Clear(); });
}

CClipFeature* CClipFeature::Of(const QObject* window) {
    return window ? window->findChild<CClipFeature*>() : nullptr;
}

void CClipFeature::OnMarkStart() {
    if (!m_session.IsOpen() || m_session.Busy())
        return;
    m_marks.SetStart(m_session.Position(0.0));
    m_session.TicksChanged();
}

void CClipFeature::OnMarkEnd() {
    if (!m_session.IsOpen() || m_session.Busy())
        return;
    // The frame on screen goes into the clip: the end mark is where that frame ends.
    const double at = m_session.Position(0.0);
    const qint64 frameEnd = m_session.Engine()->ShownFrameEnd();
    const double end =
        frameEnd > 0 && double(frameEnd) / 1e9 > at ? double(frameEnd) / 1e9 : at + 0.001;
    m_marks.SetEnd(std::min(end, m_session.Duration(end)));
    m_session.TicksChanged();
}

void CClipFeature::OnClearMarks() {
    m_marks.Clear();
    m_session.TicksChanged();
}

void CClipFeature::OnExportClip() {
    if (!m_session.IsOpen() || m_session.Busy())
        return;
    const auto [from, to] = m_marks.Span(m_session.Duration(-1.0));
    ClipExport::ExportFromWindow(m_session.Host(), m_session.Recording(), from,
                                 m_marks.Any() ? to : -1);
}
