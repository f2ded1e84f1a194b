// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <clocale>
#include <cstdarg>
#include <string>

// Every text format this program reads or writes (trip logs, script calls to the map page)
// uses "." as the decimal separator, whatever numeric locale the user runs under. Qt sets the
// C library's locale from the environment, so formatted input and output are done inside this
// scope, which switches only the calling thread to the "C" numeric locale and restores the
// previous thread locale when it ends.
class ClassicNumericScope {
public:
    ClassicNumericScope();
    ~ClassicNumericScope();
    ClassicNumericScope(const ClassicNumericScope&) = delete;
    ClassicNumericScope& operator=(const ClassicNumericScope&) = delete;

private:
    locale_t m_previous;
};

// printf-style formatting in the "C" numeric locale, any length.
std::string FormatClassic(const char* format, ...) __attribute__((format(printf, 1, 2)));
