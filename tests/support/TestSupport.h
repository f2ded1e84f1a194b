#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <QtTest>

// The demo card the test run wrote (folder name ends with "/").
inline QString cardDir() {
    return QDir(qEnvironmentVariable("PLAYER_TEST_CARD")).absolutePath() + QLatin1Char('/');
}

inline QString cardFile(const QString& name) {
    return cardDir() + name;
}

// Serves events until `done` holds or `ms` milliseconds pass; playback runs on its own
// threads, so the tests wait for what it shows rather than for a fixed time.
template <typename F> bool waitFor(F done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QTest::qWait(10);
    }
    return true;
}
