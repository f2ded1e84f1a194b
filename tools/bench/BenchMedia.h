// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/GstHandles.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <vector>

class QFrame;

namespace benchmedia {

// Lets the UI thread paint what is pending without timing it.
void settle(int ms);
// CPU seconds of this process (RUSAGE_SELF) so far.
double cpuSeconds(int who);
// Kilobytes of a /proc/PID/status line ("VmRSS", "VmHWM") of this process or another; -1 when
// unreadable.
double statusKb(const char* field, const QString& process = QStringLiteral("self"));
QByteArray uriOf(const QString& path);
// Runs a program to its end; its CPU seconds, or -1 when it failed. With `peakKb`, also its
// peak memory.
double childCpu(const QByteArrayList& args, double* peakKb = nullptr);
// The host is the player window's video area, shown (off screen when headless).
void showAsVideoArea(QFrame& host);
// playbin into a fakesink, paused, `runs` accurate flushing seeks to random targets (the same
// sequence every run): the median until prerolled again, -1 when it failed.
double floorSeekMedian(const QByteArray& uri, double duration, int runs);
// The same with one playbin for each of `uris`, each seek sent to all and timed until all are
// prerolled again: what the machine gives for several files at once.
double floorSeekMedian(const QByteArrayList& uris, double duration, int runs);

// The floor of a seek, one at a time, to interleave with ours: playbin(s) into a fakesink,
// paused; each seek an accurate flushing one, timed until all are prerolled again.
class FloorSeeker {
public:
    explicit FloorSeeker(const QByteArrayList& uris);
    ~FloorSeeker();
    FloorSeeker(const FloorSeeker&) = delete;
    FloorSeeker& operator=(const FloorSeeker&) = delete;
    bool ok() const { return m_ok; }
    double seek(double seconds); // ms, -1 when it failed

private:
    bool prerolled() const;
    std::vector<GstElementPtr> m_pipelines;
    bool m_ok = false;
};

} // namespace benchmedia
