// SPDX-License-Identifier: GPL-3.0-or-later
#include "BenchCommon.h"

#include <algorithm>
#include <clocale>
#include <cstdio>

namespace bench {

std::vector<Group>& groups() {
    static std::vector<Group> all;
    return all;
}

void report(const QString& metric, double ours, std::optional<double> baseline, const char* unit) {
    // JSON numbers need ".", whatever locale the Qt application picked up.
    std::setlocale(LC_NUMERIC, "C");
    const QByteArray name = metric.toUtf8();
    if (baseline && *baseline > 0) {
        const double ratio = ours / *baseline;
        std::printf("{\"metric\": \"%s\", \"ours\": %.3f, \"baseline\": %.3f, \"ratio\": %.3f, "
                    "\"unit\": \"%s\"}\n",
                    name.constData(), ours, *baseline, ratio, unit);
        std::fprintf(stderr, "%-48s %12.3f %12.3f %8.2f  %s\n", name.constData(), ours, *baseline,
                     ratio, unit);
    } else {
        std::printf("{\"metric\": \"%s\", \"ours\": %.3f, \"baseline\": null, \"ratio\": null, "
                    "\"unit\": \"%s\"}\n",
                    name.constData(), ours, unit);
        std::fprintf(stderr, "%-48s %12.3f %12s %8s  %s\n", name.constData(), ours, "-", "-", unit);
    }
    std::fflush(stdout);
}

bool Smoke() {
    static const bool smoke = !qEnvironmentVariableIsEmpty("PLAYER_BENCH_SMOKE");
    return smoke;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace bench
