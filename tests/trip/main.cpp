// SPDX-License-Identifier: GPL-3.0-or-later
// The trip module's tests: the log reader, the chart and the map bridge, in one executable.
#include "TestSupport.h"

#include <QApplication>
#include <QtGlobal>
#include <clocale>

int runTripLogTests(int argc, char** argv);
int runTripChartTests(int argc, char** argv);
int runMapBridgeTests(int argc, char** argv);
int runTripTrackTests(int argc, char** argv);

int main(int argc, char** argv) {
    prepareWindowTests(); // ctest sets these, a manual run may not
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    // "test_trip [log|chart|map] [test options]" runs one group only.
    struct Group {
        const char* name;
        int (*run)(int, char**);
    };
    const Group groups[] = {{"log", runTripLogTests},
                            {"chart", runTripChartTests},
                            {"map", runMapBridgeTests},
                            {"track", runTripTrackTests}};
    const char* only = nullptr;
    if (argc > 1) {
        for (const Group& g : groups) {
            if (qstrcmp(argv[1], g.name) == 0)
                only = g.name;
        }
    }
    if (only) {
        argv[1] = argv[0];
        ++argv;
        --argc;
    }
    int failed = 0;
    for (const Group& g : groups) {
        if (!only || qstrcmp(only, g.name) == 0)
            failed += g.run(argc, argv);
    }
    return failed ? 1 : 0;
}
