// The trip module's tests: the log reader, the chart and the map bridge, in one executable.
#include <QApplication>
#include <QtGlobal>
#include <clocale>

int runTripLogTests(int argc, char** argv);
int runTripChartTests(int argc, char** argv);
int runMapBridgeTests(int argc, char** argv);

int main(int argc, char** argv) {
    // The web engine's sandbox cannot run as root; ctest sets these, a manual run may not.
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    // "test_trip [log|chart|map] [test options]" runs one group only.
    struct Group {
        const char* name;
        int (*run)(int, char**);
    };
    const Group groups[] = {
        {"log", runTripLogTests}, {"chart", runTripChartTests}, {"map", runMapBridgeTests}};
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
