// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers shared by the long-running reliability tests: a private copy of part of the demo
// card, the process's resource figures, a watchdog for hangs, and the window's invariants.

#include "ScriptedPrompts.h"
#include "TestSupport.h"
#include "playback/GraphPlayer.h"
#include "records/RecordInfoDlg.h"
#include "records/RecordListDlg.h"
#include "shell/PlayerDlg.h"
#include "skin/BitmapButton.h"
#include "skin/SkinSlider.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#define PLAYER_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLAYER_UNDER_ASAN 1
#endif
#endif

namespace reliability {

// Copies the named files of the demo card (paths relative to it) into `dir`, flat.
inline bool copyFromCard(const QString& dir, const QStringList& names) {
    for (const QString& name : names) {
        const QString target = dir + QLatin1Char('/') + QFileInfo(name).fileName();
        QFile::remove(target);
        if (!QFile::copy(cardFile(name), target))
            return false;
    }
    return true;
}

// A line of /proc/self/status in KiB ("VmRSS", "Threads" gives a plain count).
inline long procStatus(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

inline long openFileCount() {
    return long(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

// Aborts the process, naming what it was doing, when one step takes longer than a bound:
// a hang then shows as a clear failure instead of a test killed by its time limit.
class Watchdog {
public:
    explicit Watchdog(int seconds) : m_limit(seconds), m_thread([this] { run(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    // Starts the clock for a step.
    void step(const QString& what) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_what = what.toStdString();
        m_started = std::chrono::steady_clock::now();
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop) {
            m_wake.wait_for(lock, std::chrono::milliseconds(500));
            if (!m_stop && std::chrono::steady_clock::now() - m_started > m_limit) {
                std::fprintf(stderr, "HANG: more than %d s in step: %s\n", int(m_limit.count()),
                             m_what.c_str());
                std::fflush(stderr);
                std::abort();
            }
        }
    }

    std::chrono::seconds m_limit;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::string m_what = "start";
    std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
    std::thread m_thread;
};

inline CBitmapButton* bitmapButton(CPlayerDlg& w, int id) {
    return qobject_cast<CBitmapButton*>(w.GetDlgItem(id));
}

// The time display once a tick has written it: "hh:mm:ss/hh:mm:ss", hours of any width.
inline bool timeTextWellFormed(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^(\\d{2,}):([0-5]\\d):([0-5]\\d)/(\\d{2,}):([0-5]\\d):([0-5]\\d)$"));
    return form.match(text).hasMatch();
}

// The playback state table's invariants that hold between any two user actions. Returns
// an empty string when they hold, else what is wrong. `everOpened` says whether a
// recording has been opened since the window was made; `everStopped` whether Stop was
// pressed since.
inline QString checkWindowInvariants(CPlayerDlg& w, bool everOpened, bool everStopped) {
    QStringList wrong;
    const bool open = w.Player() != nullptr;
    if (w.TimerRunning() != open)
        wrong << QStringLiteral("timer %1 with a recording %2")
                     .arg(w.TimerRunning() ? "running" : "stopped", open ? "open" : "closed");
    if (open && w.PlayTimer()->interval() != 150)
        wrong << QStringLiteral("timer period %1").arg(w.PlayTimer()->interval());
    const int graphs = CGraphPlayer::LiveGraphCount();
    const int expected = (open ? 1 : 0) + (w.m_dlgRecordList->m_pPreview ? 1 : 0);
    if (graphs > 2 || graphs > expected)
        wrong << QStringLiteral("%1 live graphs, at most %2 expected").arg(graphs).arg(expected);

    // Seek slider, video and chart areas follow the state: closed, stopped, open.
    const bool seekShown = !w.m_sliderSeek->isHidden();
    const bool videoShown = !w.m_stcVideo->isHidden();
    const bool chartShown = !w.m_stcChart->isHidden();
    if (open && !(seekShown && videoShown && chartShown))
        wrong << QStringLiteral("an open recording without seek bar, video or chart");
    if (!open && seekShown)
        wrong << QStringLiteral("seek bar shown with no recording open");
    if (!open && everStopped && (videoShown || chartShown))
        wrong << QStringLiteral("video or chart area shown after Stop");
    if (!open && !everStopped && !(videoShown && chartShown))
        wrong << QStringLiteral("video or chart area hidden before any Stop");

    // Play and pause looks: one of them while open, neither otherwise.
    const bool play = bitmapButton(w, 1007)->GetState();
    const bool pause = bitmapButton(w, 1006)->GetState();
    if (open && play == pause)
        wrong << QStringLiteral("play %1 and pause %2 with a recording open")
                     .arg(play ? "pressed" : "normal", pause ? "pressed" : "normal");
    if (!open && (play || pause))
        wrong << QStringLiteral("play or pause pressed with no recording open");

    // One panel at a time, and its tab pressed.
    const bool listShown = !w.m_dlgRecordList->isHidden();
    const bool infoShown = !w.m_dlgRecordInfo->isHidden();
    if (listShown == infoShown)
        wrong << QStringLiteral("both panels or neither shown");
    if (bitmapButton(w, 1000)->GetState() != listShown ||
        bitmapButton(w, 1001)->GetState() != infoShown)
        wrong << QStringLiteral("tab looks do not match the panel shown");
    if (everOpened && !bitmapButton(w, 1001)->isEnabled())
        wrong << QStringLiteral("information tab disabled after an open");

    const QString time = w.m_editTime->text();
    if (!time.isEmpty() && !timeTextWellFormed(time))
        wrong << QStringLiteral("time display \"%1\"").arg(time);
    const int seek = w.m_sliderSeek->GetPos();
    const int volume = w.m_sliderVolume->GetPos();
    if (seek < 0 || seek > 1000 || volume < 0 || volume > 1000)
        wrong << QStringLiteral("slider outside its range (seek %1, volume %2)")
                     .arg(seek)
                     .arg(volume);
    return wrong.join(QStringLiteral("; "));
}

} // namespace reliability

// QTEST_MAIN, less Qt Test's five-minute limit per test function: these runs are bounded by
// their Watchdog per step and by ctest's TIMEOUT, and a long run on demand goes well past it.
#define RELIABILITY_TEST_MAIN(TestObject)                                                          \
    int main(int argc, char** argv) {                                                              \
        if (qEnvironmentVariableIsEmpty("QTEST_FUNCTION_TIMEOUT"))                                 \
            qputenv("QTEST_FUNCTION_TIMEOUT", "86400000");                                         \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        Features::Install();                                                                       \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
