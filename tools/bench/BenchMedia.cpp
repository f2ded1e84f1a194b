// SPDX-License-Identifier: GPL-3.0-or-later
// What the groups that play media share: CPU of this process and of a child, the floors
// GStreamer's own playbin sets, the host a player window gives the video.
#include "BenchMedia.h"

#include "BenchCommon.h"
#include "playback/GstHandles.h"
#include "ui/DialogUnits.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QTemporaryFile>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace benchmedia {

using bench::serveUntil;

// Lets the UI thread paint what is pending without timing it.
void settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Kilobytes of a /proc/PID/status line ("VmRSS", "VmHWM") of this process or another; -1 when
// unreadable.
double statusKb(const char* field, const QString& process) {
    QFile status("/proc/" + process + "/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').front().toDouble();
    }
    return -1;
}

QByteArray uriOf(const QString& path) {
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded();
}

// Runs a program to its end; its CPU seconds, or -1 when it failed (its messages are shown
// only then: a machine without sound makes every audio probe complain). With `peakKb`, also
// its peak memory, read while it runs: the peak wait4 gives counts the memory of the process
// that started it.
double childCpu(const QByteArrayList& args, double* peakKb) {
    QTemporaryFile messages;
    if (!messages.open())
        return -1;
    const QByteArray messagesPath = QFile::encodeName(messages.fileName());
    std::vector<char*> argv;
    for (const QByteArray& a : args)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, messagesPath.constData(),
                                     O_WRONLY | O_TRUNC, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    rusage usage{};
    pid_t reaped;
    do {
        if (peakKb) {
            reaped = wait4(pid, &status, WNOHANG, &usage);
            if (reaped == 0) {
                *peakKb = std::max(*peakKb, statusKb("VmHWM", QString::number(pid)));
                usleep(20000);
            }
        } else {
            reaped = wait4(pid, &status, 0, &usage);
        }
    } while ((reaped < 0 && errno == EINTR) || reaped == 0);
    if (reaped != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s", messages.readAll().constData());
        return -1;
    }
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The host is the player window's video area, shown (off screen when headless).
void showAsVideoArea(QFrame& host) {
    host.resize(DialogUnits::rect(30, 38, 412, 263).size());
    host.show();
    serveUntil([&] { return host.isVisible(); });
}

// The floor of a seek: playbin into a fakesink, paused, an accurate flushing seek to each of
// the same targets, timed until the pipeline is prerolled again.
double floorSeekMedian(const QByteArray& uri, double duration, int runs) {
    return floorSeekMedian(QByteArrayList{uri}, duration, runs);
}

FloorSeeker::FloorSeeker(const QByteArrayList& uris) {
    for (const QByteArray& uri : uris) {
        const QByteArray line = "playbin uri=\"" + uri + "\" video-sink=\"fakesink sync=true\"";
        GstElement* parsed = gst_parse_launch(line.constData(), nullptr);
        if (!parsed)
            return;
        m_pipelines.emplace_back(GST_ELEMENT(gst_object_ref_sink(parsed)));
    }
    bool paused = !m_pipelines.empty();
    for (const GstElementPtr& pipeline : m_pipelines)
        paused = paused && gst_element_set_state(pipeline.get(), GST_STATE_PAUSED) !=
                               GST_STATE_CHANGE_FAILURE;
    m_ok = paused && prerolled();
}

FloorSeeker::~FloorSeeker() {
    for (const GstElementPtr& pipeline : m_pipelines)
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

bool FloorSeeker::prerolled() const {
    for (const GstElementPtr& pipeline : m_pipelines) {
        if (gst_element_get_state(pipeline.get(), nullptr, nullptr, 5 * GST_SECOND) !=
            GST_STATE_CHANGE_SUCCESS)
            return false;
    }
    return true;
}

double FloorSeeker::seek(double seconds) {
    if (!m_ok)
        return -1;
    QElapsedTimer clock;
    clock.start();
    bool sent = true;
    for (const GstElementPtr& pipeline : m_pipelines)
        sent = sent &&
               gst_element_seek_simple(pipeline.get(), GST_FORMAT_TIME,
                                       GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                       gint64(seconds * GST_SECOND));
    if (!sent || !prerolled())
        return -1;
    return clock.nsecsElapsed() / 1e6;
}

double floorSeekMedian(const QByteArrayList& uris, double duration, int runs) {
    FloorSeeker floor(uris);
    std::vector<double> seeks;
    std::mt19937 random(20260520);
    std::uniform_real_distribution<double> where(0.5, duration - 0.5);
    for (int run = 0; run < runs && floor.ok(); ++run) {
        const double ms = floor.seek(where(random));
        if (ms < 0)
            break;
        seeks.push_back(ms);
    }
    return seeks.size() == size_t(runs) ? bench::median(seeks) : -1;
}

} // namespace benchmedia
