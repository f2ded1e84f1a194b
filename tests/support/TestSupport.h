// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Features.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <QtTest>
#include <clocale>

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

// For test programs whose windows may host the map page: its web engine cannot sandbox itself
// as root, and the tests run headless unless told otherwise. Before QApplication exists.
inline void prepareWindowTests() {
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Player windows come with what start-up wires into them (keys, clip, events, export).
    Features::Install();
}

// The main of such a program, numbers in files read and written in the "C" locale as the
// program itself does.
#define PLAYER_WINDOW_TEST_MAIN(TestClass)                                                         \
    int main(int argc, char** argv) {                                                              \
        prepareWindowTests();                                                                      \
        QApplication app(argc, argv);                                                              \
        std::setlocale(LC_NUMERIC, "C");                                                           \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

// QTEST_MAIN with what start-up wires into every player window.
#define PLAYER_FEATURES_TEST_MAIN(TestClass)                                                       \
    int main(int argc, char** argv) {                                                              \
        QApplication app(argc, argv);                                                              \
        Features::Install();                                                                       \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
