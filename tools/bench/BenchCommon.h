#pragma once

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

// One result line: JSON on stdout, a row of the table on stderr.
void report(const QString& metric, double ours, std::optional<double> baseline, const char* unit);

double median(std::vector<double> values);

} // namespace bench
