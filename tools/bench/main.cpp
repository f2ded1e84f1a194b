// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks: `bench GROUP` prints one JSON object per metric on standard output and a
// readable table on standard error. Baselines run in the same invocation as ours.
#include "BenchCommon.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench GROUP [options]\ngroups:");
        for (const auto& g : bench::groups())
            std::fprintf(stderr, " %s", g.name);
        std::fprintf(stderr, "\n");
        return 2;
    }
    for (const auto& g : bench::groups()) {
        if (std::strcmp(g.name, argv[1]) == 0)
            return g.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "bench: unknown group '%s'\n", argv[1]);
    return 2;
}
