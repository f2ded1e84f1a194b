// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <optional>
#include <vector>

namespace bench {

struct Group {
    const char* name;
    int (*run)(int argc, char** argv);
};

// Every group registers itself here (see the bottom of each Bench*.cpp).
std::vector<Group>& groups();

struct Registrar {
    Registrar(const char* name, int (*run)(int, char**)) { groups().push_back({name, run}); }
};

// The short form `bench --smoke` runs each group in (PLAYER_BENCH_SMOKE set): a run or two of
// every figure on small inputs, to show that the group still measures, not what it measures.
bool Smoke();
// `full` runs, or at most two in the short form.
inline int Runs(int full) {
    return Smoke() && full > 2 ? 2 : full;
}

// One result line: JSON on stdout, a row of the table on stderr.
void report(const QString& metric, double ours, std::optional<double> baseline, const char* unit);

double median(std::vector<double> values);

// Serves events until `done` holds; false after `ms`.
template <typename F> bool serveUntil(F done, int ms = 15000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace bench
