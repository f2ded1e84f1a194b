// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A memory card that fails on command for the tests: faultycard.py (a FUSE file system)
// mirrors a folder into a private temporary mount point for the guard's lifetime. The card
// is unmounted in every exit path: by the destructor, and, should the test process die, by
// the file system itself once its command pipe closes.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <unistd.h>

#ifndef FAULTY_CARD_SCRIPT
#error "FAULTY_CARD_SCRIPT names faultycard.py"
#endif

namespace reliability {

class FaultyCard {
public:
    // Why no card can be mounted on this machine; empty when one can.
    static QString unavailable() {
        if (!QFileInfo::exists(QStringLiteral("/dev/fuse")))
            return QStringLiteral("no /dev/fuse: FUSE is not available here");
        if (::access("/dev/fuse", R_OK | W_OK) != 0)
            return QStringLiteral("/dev/fuse cannot be opened by this user");
        if (QStandardPaths::findExecutable(QStringLiteral("fusermount3")).isEmpty())
            return QStringLiteral("no fusermount3 (scripts/install-deps installs fuse3)");
        if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                              {QStringLiteral("-c"), QStringLiteral("import fusepy")}) != 0)
            return QStringLiteral("/usr/bin/python3 lacks fusepy (scripts/install-deps installs "
                                  "python3-fusepy)");
        return {};
    }

    // Mirrors `source`; isMounted() says whether that worked, error() why not.
    explicit FaultyCard(const QString& source) {
        m_mountDir.setAutoRemove(false); // removed by hand, and only once empty
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {QStringLiteral(FAULTY_CARD_SCRIPT), source, m_mountDir.path()});
        if (readLine() != "ready") {
            m_error = QStringLiteral("the card did not mount: ") + m_process.errorString();
            unmount();
        }
    }
    ~FaultyCard() { unmount(); }
    FaultyCard(const FaultyCard&) = delete;
    FaultyCard& operator=(const FaultyCard&) = delete;

    bool isMounted() const { return m_error.isEmpty() && mountedAt(m_mountDir.path()); }
    QString error() const { return m_error; }
    // The card's folder, ending with "/".
    QString folder() const { return m_mountDir.path() + QLatin1Char('/'); }

    // Every operation fails with `errnoName` ("EIO", "ENODEV"): now, in `ms` milliseconds,
    // or after `ops` more operations.
    bool pull(const char* errnoName = "EIO") { return command(QByteArray("pull ") + errnoName); }
    bool pullIn(int ms, const char* errnoName = "EIO") {
        return command(QByteArray("pull ") + errnoName + " ms " + QByteArray::number(ms));
    }
    bool pullAfterOps(int ops, const char* errnoName = "EIO") {
        return command(QByteArray("pull ") + errnoName + " ops " + QByteArray::number(ops));
    }
    // Works again, at full speed, without limits.
    bool back() { return command("back"); }
    // Slow reads, writes and folder listings; with a `suffix`, only of files whose names end so.
    bool throttle(qint64 bytesPerSecond, int msPerRead, const QByteArray& suffix = {}) {
        return command("throttle " + QByteArray::number(bytesPerSecond) + ' ' +
                       QByteArray::number(msPerRead) + ' ' + suffix);
    }
    bool fillAfter(qint64 bytes) { return command("full " + QByteArray::number(bytes)); }
    bool writeProtect(bool on) { return command(on ? "readonly on" : "readonly off"); }

    // Files this process holds open on the card.
    int openFilesOnCard() const {
        int count = 0;
        const QDir fds(QStringLiteral("/proc/self/fd"));
        for (const QString& fd : fds.entryList(QDir::Files | QDir::System))
            count += QFile::symLinkTarget(fds.filePath(fd)).startsWith(folder());
        return count;
    }

private:
    static bool mountedAt(const QString& path) {
        QFile mounts(QStringLiteral("/proc/self/mountinfo"));
        if (!mounts.open(QIODevice::ReadOnly))
            return false;
        const QByteArray target = QFile::encodeName(path);
        for (const QByteArray& line : mounts.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() > 4 && fields[4] == target)
                return true;
        }
        return false;
    }

    QByteArray readLine(int ms = 10000) {
        while (!m_process.canReadLine() && m_process.state() != QProcess::NotRunning)
            if (!m_process.waitForReadyRead(ms))
                break;
        return m_process.readLine().trimmed();
    }

    bool command(const QByteArray& line) {
        if (m_process.state() != QProcess::Running)
            return false;
        m_process.write(line + '\n');
        m_process.waitForBytesWritten(5000);
        return readLine() == "ok";
    }

    void unmount() {
        if (m_process.state() == QProcess::Running) {
            command("back");               // a pulled card would refuse even the look at its root
            m_process.closeWriteChannel(); // the file system unmounts and ends
            if (!m_process.waitForFinished(10000)) {
                m_process.terminate();
                m_process.waitForFinished(5000);
            }
        }
        const QString path = m_mountDir.path();
        for (const char* option : {"-u", "-uz"})
            if (mountedAt(path))
                QProcess::execute(QStringLiteral("fusermount3"), {QLatin1String(option), path});
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
        if (!mountedAt(path))
            QDir().rmdir(path); // never recursively: that would reach through a live mount
    }

    QTemporaryDir m_mountDir;
    QProcess m_process;
    QString m_error;
};

} // namespace reliability

// Skips the test, saying why, where no card can be mounted.
#define REQUIRE_FAULTY_CARD()                                                                      \
    do {                                                                                           \
        const QString why = reliability::FaultyCard::unavailable();                                \
        if (!why.isEmpty())                                                                        \
            QSKIP(qPrintable(QStringLiteral("no faulty card: ") + why));                           \
    } while (false)
