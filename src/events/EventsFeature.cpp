// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/EventsFeature.h"

#include "card/CameraClock.h"
#include "config/DeviceConfig.h"
#include "events/EventFinder.h"
#include "records/CurrentRecord.h"
#include "records/RecordInfoDlg.h"
#include "records/RecordListDlg.h"
#include "session/PlayerSession.h"
#include "session/ProgressWork.h"
#include "ui/ProgramSettings.h"
#include "ui/Prompts.h"
#include "ui/WindowKeys.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <optional>

CEventsFeature::CEventsFeature(CPlayerSession& session, CRecordListDlg& list, CRecordInfoDlg& info)
    : QObject(&session), m_session(session), m_list(list), m_info(info) {
    QWidget* window = session.Host();
    BindWindowKey(window, QKeySequence(Qt::Key_F3), KeyRepeat::No, [this] { OnFindEvents(); });
    BindWindowKey(window, QKeySequence(Qt::Key_N), KeyRepeat::Yes, [this] { OnJumpToEvent(+1); });
    BindWindowKey(window, QKeySequence(Qt::SHIFT | Qt::Key_N), KeyRepeat::Yes,
                  [this] { OnJumpToEvent(-1); });
    BindWindowKey(window, QKeySequence(Qt::Key_P), KeyRepeat::No,
                  [] { SetPlayThrough(!PlayThrough()); });
    session.AddTicks([this](double duration) {
        CPlayerSession::Ticks ticks;
        const Events::Scan* scan = Events::Known(m_session.Recording());
        if (scan) {
            const QColor jolt(255, 64, 64);
            for (const Events::Event& e : scan->events)
                ticks.append({int(std::lround(std::min(e.at, duration) * 1000 / duration)), jolt});
        }
        return ticks;
    });
    // Empty until the user asks for the events.
    session.SetEventText([](const QString& recording) {
        const Events::Scan* scan = Events::Known(recording);
        return scan ? Events::Summary(*scan) : QString();
    });
    session.SetEventDetails([](const QString& recording) {
        const Events::Scan* scan = Events::Known(recording);
        return scan ? Events::Details(*scan, recording) : QString();
    });
    session.AddListMenu([this](QMenu& menu, QWidget*) {
        QAction* find =
            menu.addAction(QStringLiteral("Find events"), this, [this] { OnFindEvents(); });
        find->setShortcut(QKeySequence(Qt::Key_F3));
        QAction* through = menu.addAction(QStringLiteral("Play through the card"));
        through->setCheckable(true);
        through->setChecked(PlayThrough());
        through->setShortcut(QKeySequence(Qt::Key_P));
        connect(through, &QAction::toggled, this, [](bool on) { SetPlayThrough(on); });
        if (!CurrentRecord.folder.isEmpty())
            menu.addAction(QStringLiteral("Camera clock offset…"), this,
                           [this] { OnCameraClockOffset(); });
    });
    session.AddEndHandler([this] { return PlayOn(); });
}

CEventsFeature* CEventsFeature::Of(const QObject* window) {
    return window ? window->findChild<CEventsFeature*>() : nullptr;
}

bool CEventsFeature::PlayThrough() {
    return ProgramSettings::Value(QStringLiteral("playThrough"), false).toBool();
}

void CEventsFeature::SetPlayThrough(bool on) {
    ProgramSettings::SetValue(QStringLiteral("playThrough"), on);
}

bool CEventsFeature::PlayOn() {
    // With play through on, the next row opens and plays as Next would; the last row ends as
    // without it.
    if (!PlayThrough() || CurrentRecord.listIndex < 0 ||
        CurrentRecord.listIndex >= CurrentRecord.listCount - 1 || m_list.FirstSelectedRow() < 0)
        return false;
    m_info.OnNext();
    return true;
}

void CEventsFeature::OnJumpToEvent(int direction) {
    if (!m_session.IsOpen() || m_session.Busy())
        return;
    const Events::Scan* scan = Events::Known(m_session.Recording());
    if (!scan)
        return;
    // Two seconds before the peak, to see it coming; a step back passes over the event just
    // jumped to while it is still playing into it.
    const double now = m_session.Position(0.0);
    std::optional<double> target;
    for (const Events::Event& e : scan->events) {
        const double at = std::max(0.0, e.at - Events::kMergeSeconds);
        if (direction > 0 && at > now + 0.25 && !target)
            target = at;
        if (direction < 0 && at < now - 0.5)
            target = at;
    }
    if (target)
        m_session.Seek(*target);
}

void CEventsFeature::OnCameraClockOffset() {
    // A camera whose backup battery went flat names its files from a wrong clock; the GPS
    // time is right. The offset is the card's, whichever recording is open.
    const QString card = CurrentRecord.folder;
    const std::optional<double> seconds = Prompts::current().askNumber(
        m_session.Host(),
        QStringLiteral("Seconds to add to the camera's clock of this card\n(%1):")
            .arg(QDir::toNativeSeparators(card)),
        CameraClock::Offset(card), -1e9, 1e9, 0);
    if (!seconds)
        return;
    CameraClock::SetOffset(card, *seconds);
    m_info.UpdateFromCurrentRecord();
}

void CEventsFeature::OnFindEvents() {
    if (m_session.Busy())
        return;
    QTreeWidget* rows = m_list.m_listRecords;
    QStringList recordings;
    for (int i = 0; i < rows->topLevelItemCount(); ++i)
        recordings.append(CurrentRecord.folder + rows->topLevelItem(i)->text(1));
    if (recordings.isEmpty())
        return;

    // The settings file the dialog would open: the one chosen last, else the card's.
    Events::Limits limits;
    limits.x = DeviceConfig.dLimitX;
    limits.y = DeviceConfig.dLimitY;
    limits.z = DeviceConfig.dLimitZ;
    bool fromSetup = false;
    for (const QString& setup : {g_strSetupPath, Events::SetupFileIn(CurrentRecord.folder)}) {
        if (!setup.isEmpty() && QFileInfo(setup).isFile()) {
            if (const auto read = Events::ReadLimits(setup)) {
                limits = *read;
                fromSetup = true;
                break;
            }
        }
    }
    if (!fromSetup) {
        // Other recorders keep their limits to themselves: the user says what a jolt is, once.
        const QString key = QStringLiteral("events/limit");
        const double fallback = std::max({limits.x, limits.y, limits.z});
        const std::optional<double> g = Prompts::current().askNumber(
            m_session.Host(),
            QStringLiteral("This card has no setup.ini.\nFind the jolts over (g, on any axis):"),
            ProgramSettings::Value(key, fallback > 0 ? fallback : 2.0).toDouble(), 0.1, 16.0, 2);
        if (!g)
            return;
        ProgramSettings::SetValue(key, *g);
        limits.x = limits.y = limits.z = *g;
        limits.givenIn = QStringLiteral("in the event search");
    }

    std::vector<Events::Scan> scans(size_t(recordings.size()));
    const bool finished = RunWithProgress(
        m_session.Host(), QStringLiteral("Find events"), QStringLiteral("Finding events…"),
        [&](const std::function<bool(double)>& progress) {
            for (qsizetype i = 0; i < recordings.size(); ++i) {
                if (!progress(double(i) / double(recordings.size())))
                    return;
                scans[size_t(i)] = Events::ScanRecording(recordings[i], limits);
            }
        });
    if (!finished)
        return;

    // The list may have been filled again meanwhile: only rows still naming a scanned
    // recording take its result.
    const QString said = QStringLiteral("Limits: ") + Events::LimitsText(limits);
    rows->headerItem()->setToolTip(2, said);
    for (int i = 0; i < rows->topLevelItemCount() && i < recordings.size(); ++i) {
        QTreeWidgetItem* row = rows->topLevelItem(i);
        if (CurrentRecord.folder + row->text(1) != recordings[i])
            continue;
        Events::Remember(recordings[i], scans[size_t(i)]);
        row->setText(2, Events::Summary(scans[size_t(i)]));
        const QString details = Events::Details(scans[size_t(i)], recordings[i]);
        row->setToolTip(2, details.isEmpty() ? said : said + QLatin1Char('\n') + details);
    }
    m_session.TicksChanged();
    m_info.UpdateFromCurrentRecord();
}
