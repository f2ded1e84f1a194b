// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "trip/TripModel.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <functional>
#include <vector>

class CGraphPlayer;
class QMenu;
class QWidget;

// What happens to the recording that is open, between the window and what plugs in beside it.
// The window tells the session when a recording opens and closes, on every tick and when one
// plays to its end; features (clip marks, events, play through, trip export) ask it where the
// recording is and what it holds, and attach to it through small hooks, wired in one place at
// start-up. Neither side knows the other: the window never includes a feature, a feature never
// the window.
class CPlayerSession : public QObject {
    Q_OBJECT
public:
    // Ticks on the seek bar: a position 0 … 1000 and a colour.
    using Ticks = QList<QPair<int, QColor>>;

    explicit CPlayerSession(QWidget* host);

    // The window's side. Opening: the engine is made and about to open `recording`.
    void Opening(CGraphPlayer* engine, const QString& recording);
    void Opened(CGraphPlayer* engine, const QString& recording);
    void Closed();
    void Ticked();
    // The recording playing reached its end; true when a feature went on with it (the window
    // then leaves it alone).
    bool EndReached();

    // The features' side. The window the session serves (owner of dialogs, holder of keys).
    QWidget* Host() const { return m_host; }
    CGraphPlayer* Engine() const { return m_engine; }
    bool IsOpen() const { return m_engine != nullptr; }
    // The open recording's path; empty when none.
    const QString& Recording() const { return m_recording; }
    double Position(double fallback = 0) const;
    double Duration(double fallback = 0) const;
    bool Playing() const;
    // An engine's wait is under way: nothing may act on it.
    static bool Busy();
    // Seeks and keeps playing or paused; false without a recording.
    bool Seek(double seconds);
    // The open recording's trip.
    CTripModel& Trip() { return m_trip; }

    // Hooks.
    // Called with an engine about to open a recording (it may be given more to play).
    void AddOpening(std::function<void(CGraphPlayer*, const QString&)> handler);
    void AddTicks(std::function<Ticks(double duration)> provider);
    Ticks SeekBarTicks() const;
    // A feature's ticks changed (the window shows SeekBarTicks again).
    void TicksChanged() { Q_EMIT ticksChanged(); }
    void AddEndHandler(std::function<bool()> handler);
    // Entries of a row's menu in the record list, and of the whole list's.
    void AddRowMenu(std::function<void(QMenu&, QWidget*, const QString&)> provider);
    void AddListMenu(std::function<void(QMenu&, QWidget*)> provider);
    void FillRowMenu(QMenu& menu, QWidget* owner, const QString& recording) const;
    void FillListMenu(QMenu& menu, QWidget* owner) const;
    // What the information panel's Event box says of a recording.
    void SetEventText(std::function<QString(const QString&)> provider);
    QString EventText(const QString& recording) const;
    // The longer account the box gives when pointed at (its tool tip).
    void SetEventDetails(std::function<QString(const QString&)> provider);
    QString EventDetails(const QString& recording) const;

Q_SIGNALS:
    void opened();
    void closed();
    void ticked();
    void ticksChanged();
    // A feature moved the recording (the window shows its play or pause look again).
    void sought();

private:
    QWidget* m_host;
    CGraphPlayer* m_engine = nullptr; // the window's; set between Opened and Closed
    QString m_recording;
    CTripModel m_trip;
    std::vector<std::function<Ticks(double)>> m_ticks;
    std::vector<std::function<bool()>> m_endHandlers;
    std::vector<std::function<void(CGraphPlayer*, const QString&)>> m_opening;
    std::vector<std::function<void(QMenu&, QWidget*, const QString&)>> m_rowMenus;
    std::vector<std::function<void(QMenu&, QWidget*)>> m_listMenus;
    std::function<QString(const QString&)> m_eventText;
    std::function<QString(const QString&)> m_eventDetails;
};
