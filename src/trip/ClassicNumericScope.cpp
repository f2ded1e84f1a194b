// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/ClassicNumericScope.h"

#include <cstdio>
#include <locale.h>

namespace {
// Created once and kept for the whole run: newlocale is not cheap, and a locale_t in use by a
// thread must outlive that use.
locale_t classicNumericLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}
} // namespace

ClassicNumericScope::ClassicNumericScope() : m_previous(uselocale(static_cast<locale_t>(nullptr))) {
    if (locale_t c = classicNumericLocale())
        uselocale(c);
}

ClassicNumericScope::~ClassicNumericScope() {
    uselocale(m_previous);
}

std::string FormatClassic(const char* format, ...) {
    ClassicNumericScope classic;
    char small[128];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string out;
    if (needed < 0) {
        va_end(again);
        return out;
    }
    if (static_cast<size_t>(needed) < sizeof small) {
        out.assign(small, static_cast<size_t>(needed));
    } else {
        out.resize(static_cast<size_t>(needed));
        std::vsnprintf(out.data(), out.size() + 1, format, again);
    }
    va_end(again);
    return out;
}
