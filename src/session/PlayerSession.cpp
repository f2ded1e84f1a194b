// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/PlayerSession.h"

#include "playback/GraphPlayer.h"
#include "playback/OpenWait.h"

#include <QMenu>
#include <QWidget>

CPlayerSession::CPlayerSession(QWidget* host) : QObject(host), m_host(host), m_trip(this) {}

void CPlayerSession::Opening(CGraphPlayer* engine, const QString& recording) {
    for (const auto& handler : m_opening)
        handler(engine, recording);
}

void CPlayerSession::AddOpening(std::function<void(CGraphPlayer*, const QString&)> handler) {
    m_opening.push_back(std::move(handler));
}

void CPlayerSession::Opened(CGraphPlayer* engine, const QString& recording) {
    m_engine = engine;
    m_recording = recording;
    m_trip.Open(recording, Duration(0));
    Q_EMIT opened();
    Q_EMIT ticksChanged();
}

void CPlayerSession::Closed() {
    if (!m_engine)
        return;
    m_engine = nullptr;
    m_recording.clear();
    m_trip.Close();
    Q_EMIT closed();
    Q_EMIT ticksChanged();
}

void CPlayerSession::Ticked() {
    m_trip.Tick();
    Q_EMIT ticked();
}

bool CPlayerSession::EndReached() {
    for (const auto& handler : m_endHandlers)
        if (handler())
            return true;
    return false;
}

double CPlayerSession::Position(double fallback) const {
    double t = fallback;
    if (m_engine)
        m_engine->GetPositionSeconds(t);
    return t;
}

double CPlayerSession::Duration(double fallback) const {
    double d = fallback;
    if (m_engine)
        m_engine->GetDurationSeconds(d);
    return d;
}

bool CPlayerSession::Playing() const {
    return m_engine && m_engine->InRunningState();
}

bool CPlayerSession::Busy() {
    return OpenWait::Busy();
}

bool CPlayerSession::Seek(double seconds) {
    if (!m_engine || Busy() || !m_engine->SeekToSeconds(seconds))
        return false;
    Q_EMIT sought();
    return true;
}

void CPlayerSession::AddTicks(std::function<Ticks(double)> provider) {
    m_ticks.push_back(std::move(provider));
}

CPlayerSession::Ticks CPlayerSession::SeekBarTicks() const {
    Ticks ticks;
    const double duration = IsOpen() ? Duration(0) : 0;
    if (duration > 0)
        for (const auto& provider : m_ticks)
            ticks += provider(duration);
    return ticks;
}

void CPlayerSession::AddEndHandler(std::function<bool()> handler) {
    m_endHandlers.push_back(std::move(handler));
}

void CPlayerSession::AddRowMenu(std::function<void(QMenu&, QWidget*, const QString&)> provider) {
    m_rowMenus.push_back(std::move(provider));
}

void CPlayerSession::AddListMenu(std::function<void(QMenu&, QWidget*)> provider) {
    m_listMenus.push_back(std::move(provider));
}

void CPlayerSession::FillRowMenu(QMenu& menu, QWidget* owner, const QString& recording) const {
    for (const auto& provider : m_rowMenus)
        provider(menu, owner, recording);
}

void CPlayerSession::FillListMenu(QMenu& menu, QWidget* owner) const {
    if (!m_listMenus.empty())
        menu.addSeparator();
    for (const auto& provider : m_listMenus)
        provider(menu, owner);
}

void CPlayerSession::SetEventText(std::function<QString(const QString&)> provider) {
    m_eventText = std::move(provider);
}

QString CPlayerSession::EventText(const QString& recording) const {
    return m_eventText && !recording.isEmpty() ? m_eventText(recording) : QString();
}

void CPlayerSession::SetEventDetails(std::function<QString(const QString&)> provider) {
    m_eventDetails = std::move(provider);
}

QString CPlayerSession::EventDetails(const QString& recording) const {
    return m_eventDetails && !recording.isEmpty() ? m_eventDetails(recording) : QString();
}
