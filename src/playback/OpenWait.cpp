// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/OpenWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace OpenWait {

namespace {

// How often a wait looks at what it waits for: an open is seen within a couple of milliseconds
// of its first frame, and a look costs a few microseconds.
constexpr int kPollMs = 2;
// How long Run waits before serving the UI thread: about one frame of the window's painting.
constexpr auto kQuietWait = std::chrono::milliseconds(16);

bool OnUiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// UI thread only: how many waits are under way (one inside another's served events counts
// twice), and what was asked to happen once none is.
int s_depth = 0;
std::vector<std::function<void()>>& Deferred() {
    static std::vector<std::function<void()>> actions;
    return actions;
}

void RunDeferredWhenIdle();

void Enter() {
    ++s_depth;
}

void Leave() {
    if (--s_depth == 0 && !Deferred().empty())
        // Posted: the code that waited is still on the stack, using what it waited on.
        QMetaObject::invokeMethod(QCoreApplication::instance(), RunDeferredWhenIdle,
                                  Qt::QueuedConnection);
}

// Marks a wait of the UI thread for its lifetime.
class Waiting {
public:
    Waiting() { Enter(); }
    ~Waiting() { Leave(); }
    Waiting(const Waiting&) = delete;
    Waiting& operator=(const Waiting&) = delete;
};

void RunDeferredWhenIdle() {
    // Another wait may have begun since this was posted: it posts again when it ends.
    if (s_depth > 0)
        return;
    std::vector<std::function<void()>> actions;
    actions.swap(Deferred());
    for (const auto& action : actions)
        action();
}

} // namespace

bool Busy() {
    return s_depth > 0;
}

Operation::Operation() {
    Enter();
}

Operation::~Operation() {
    Leave();
}

void WhenIdle(std::function<void()> action) {
    if (s_depth == 0) {
        action();
        return;
    }
    Deferred().push_back(std::move(action));
}

bool ServeUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    const auto expired = [&] { return timeoutMs >= 0 && clock.elapsed() >= timeoutMs; };
    if (done())
        return true;
    if (!OnUiThread()) {
        while (!expired()) {
            QThread::msleep(kPollMs);
            if (done())
                return true;
        }
        return false;
    }

    const Waiting waiting;
    bool finished = false;
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    poll.setInterval(kPollMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        finished = done();
        if (finished || expired())
            loop.quit();
    });
    poll.start();
    // User input waits in the window system's queue until the open is over.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return finished;
}

GstStateChangeReturn SetState(GstElement* element, GstState state) {
    GstStateChangeReturn result = GST_STATE_CHANGE_FAILURE;
    Run([&] { result = gst_element_set_state(element, state); });
    return result;
}

void Run(const std::function<void()>& work) {
    if (!OnUiThread()) {
        work();
        return;
    }
    const Waiting waiting;
    std::mutex mutex;
    std::condition_variable returnedCv;
    bool returned = false;
    std::thread worker([&] {
        work();
        const std::lock_guard<std::mutex> lock(mutex);
        returned = true;
        returnedCv.notify_all();
    });
    bool quick = false;
    {
        std::unique_lock<std::mutex> lock(mutex);
        quick = returnedCv.wait_for(lock, kQuietWait, [&] { return returned; });
    }
    if (!quick) {
        ServeUntil(
            [&] {
                const std::lock_guard<std::mutex> lock(mutex);
                return returned;
            },
            -1);
    }
    // ServeUntil also ends when the application quits; the work must still have returned.
    worker.join();
}

} // namespace OpenWait
