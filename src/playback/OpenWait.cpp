#include "playback/OpenWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

namespace OpenWait {

namespace {

// How often a wait looks at what it waits for: well under a frame of the window's painting.
constexpr int kPollMs = 5;

bool OnUiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

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
    if (!OnUiThread())
        return gst_element_set_state(element, state);
    std::atomic<bool> returned{false};
    GstStateChangeReturn result = GST_STATE_CHANGE_FAILURE;
    std::thread worker([&] {
        result = gst_element_set_state(element, state);
        returned = true;
    });
    // No bound of our own: the change touches the pipeline until it returns, so it must have
    // returned before anyone may touch or release the pipeline again.
    ServeUntil([&] { return returned.load(); }, -1);
    worker.join();
    return result;
}

} // namespace OpenWait
