// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/OutputGuard.h"

#include "formats/FileKind.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace OutputGuard {

namespace {

// Names of the files a recorder writes on its card (matched in any letter case).
const QStringList& CardPatterns() {
    static const QStringList patterns = {"*.asf", "*.avi",  "*.mp4",     "*.mov",
                                         "*.log", "*.nmea", "*.gps",     "*.3gf",
                                         "*.ts",  "*.h264", "setup.ini", "setup.bak"};
    return patterns;
}

struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    bool valid = false;
    bool operator==(const Identity& o) const {
        return valid && o.valid && device == o.device && inode == o.inode;
    }
};

Identity IdentityOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, true};
}

// A file the program wrote itself, unchanged since: the manifest beside it (same name,
// ".sha256") says the program wrote it and gives its SHA-256.
bool OwnEarlierOutput(const QFileInfo& out) {
    QFile manifest(out.absoluteDir().filePath(out.completeBaseName() + QStringLiteral(".sha256")));
    if (!manifest.open(QIODevice::ReadOnly) || manifest.size() > (1 << 20))
        return false;
    const QByteArray text = manifest.readAll();
    if (!text.contains("\n# written by dashcard-player "))
        return false;
    const QByteArray name = QFile::encodeName(out.fileName());
    QByteArray listed;
    for (const QByteArray& line : text.split('\n'))
        if (line.size() == 64 + 2 + name.size() && line.endsWith("  " + name))
            listed = line.left(64);
    if (listed.isEmpty())
        return false;
    QFile file(out.absoluteFilePath());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) && hash.result().toHex() == listed;
}

} // namespace

bool IsCardFileName(const QString& name) {
    return QDir::match(CardPatterns(), name);
}

QString Refused(const QString& out, const QStringList& inputs, Existing existing) {
    const QFileInfo target(out);
    if (!target.exists())
        return {};
    if (target.isDir())
        return QStringLiteral("%1 is a folder").arg(out);
    const Identity identity = IdentityOf(target.absoluteFilePath());
    for (const QString& input : inputs) {
        if (IdentityOf(input) == identity)
            return QStringLiteral("%1 is %2 itself").arg(out, QFileInfo(input).fileName());
    }
    if (!OwnEarlierOutput(target)) {
        if (FileKind::IsRecording(FileKind::Of(target.absoluteFilePath())))
            return QStringLiteral("%1 is a recording").arg(out);
        if (IsCardFileName(target.fileName()))
            return QStringLiteral("%1 is one of a card's files").arg(out);
        // The card's files, whatever name the output reaches them by.
        QStringList folders;
        for (const QString& input : inputs) {
            const QFileInfo in(input);
            const QString folder = in.isDir() ? in.absoluteFilePath() : in.absolutePath();
            if (!folders.contains(folder))
                folders.append(folder);
        }
        for (const QString& folder : folders) {
            const QDir card(folder);
            for (const QString& name : card.entryList(CardPatterns(), QDir::Files | QDir::System))
                if (IdentityOf(card.filePath(name)) == identity)
                    return QStringLiteral("%1 is the card's file %2").arg(out, name);
        }
    }
    if (existing == Existing::Refuse)
        return QStringLiteral("%1 exists (--force replaces it)").arg(out);
    return {};
}

} // namespace OutputGuard
