// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <clocale>
#include <cstring>
#include <memory>

namespace triptest {

// One log record as the recorder writes it: two leading tokens, 21 filler characters, the
// three accelerations, a token, 5 filler characters, latitude and longitude as degrees and
// minutes, the speed and a closing token. xy is the text from the X value to the Y value, so
// tests can vary the separator.
inline QByteArray record(const QByteArray& xy, const QByteArray& z, const QByteArray& latDeg,
                         const QByteArray& latMin, const QByteArray& lonDeg,
                         const QByteArray& lonMin, const QByteArray& speed,
                         const QByteArray& first = "2010/05/20") {
    return first + " 14:30:05 " + QByteArray(21, '.') + xy + "," + z + " A " + QByteArray(5, '.') +
           latDeg + " " + latMin + ", " + lonDeg + " " + lonMin + " " + speed + " B";
}

// The worked example of the log format (92 characters before its line break).
inline QByteArray workedExampleLine() {
    return record("0.12,-0.03", "0.98", "45", "30.0000", "100", "15.0000", "45");
}

inline QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    f.write(bytes);
    return path;
}

// Switches the C library's numeric locale to one that writes a decimal comma, for as long as
// it lives. The machine may have none installed; then one is compiled into a private temporary
// folder (found through LOCPATH), which changes nothing outside this process.
class CommaLocale {
public:
    CommaLocale() {
        const char* previous = std::setlocale(LC_NUMERIC, nullptr);
        m_previous = previous ? previous : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8",
                                 "ru_RU.UTF-8", "nl_NL.UTF-8", "it_IT.UTF-8"}) {
            if (tryLocale(name))
                return;
        }
        m_dir = std::make_unique<QTemporaryDir>();
        const QString target = m_dir->filePath(QStringLiteral("de_DE.UTF-8"));
        QProcess localedef;
        localedef.start(QStringLiteral("localedef"),
                        {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                         QStringLiteral("UTF-8"), target});
        if (!localedef.waitForFinished(60000))
            return;
        m_oldLocPath = qgetenv("LOCPATH");
        m_setLocPath = true;
        qputenv("LOCPATH", m_dir->path().toLocal8Bit());
        tryLocale("de_DE.UTF-8");
    }
    ~CommaLocale() {
        std::setlocale(LC_NUMERIC, m_previous.constData());
        if (m_setLocPath) {
            if (m_oldLocPath.isNull())
                qunsetenv("LOCPATH");
            else
                qputenv("LOCPATH", m_oldLocPath);
        }
    }
    bool active() const { return m_active; }
    QByteArray name() const { return m_name; }

private:
    bool tryLocale(const char* name) {
        if (!std::setlocale(LC_NUMERIC, name))
            return false;
        if (std::strcmp(std::localeconv()->decimal_point, ",") != 0) {
            std::setlocale(LC_NUMERIC, m_previous.constData());
            return false;
        }
        m_active = true;
        m_name = name;
        return true;
    }

    QByteArray m_previous;
    QByteArray m_name;
    QByteArray m_oldLocPath;
    bool m_setLocPath = false;
    bool m_active = false;
    std::unique_ptr<QTemporaryDir> m_dir;
};

} // namespace triptest
