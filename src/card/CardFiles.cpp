// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/CardFiles.h"

#include "formats/FileKind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace CardFiles {

QString LogPathFor(const QString& videoPath) {
    const qsizetype dot = videoPath.lastIndexOf(QLatin1Char('.'));
    return (dot >= 0 ? videoPath.left(dot) : QString()) + QStringLiteral(".LOG");
}

QStringList LogCandidates(const QString& logPath) {
    QStringList candidates{logPath};
    if (!logPath.endsWith(QLatin1String(".LOG")))
        return candidates;
    static const char* const otherCases[] = {"log", "Log", "lOG", "LOg", "LoG", "lOg", "loG"};
    const QString stem = logPath.left(logPath.size() - 3);
    for (const char* ext : otherCases)
        candidates.append(stem + QLatin1String(ext));
    return candidates;
}

QString LogOf(const QString& recording) {
    for (const QString& candidate : LogCandidates(LogPathFor(recording)))
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).absoluteFilePath();
    return {};
}

namespace {

// A folder's file names by their lower-case form, as of the folder's last change.
struct Listing {
    timespec changed{};
    ino_t inode = 0;
    QHash<QString, QStringList> names;
};

} // namespace

QString Beside(const QString& recording, const QString& extension) {
    static std::mutex mutex;
    static QHash<QString, Listing> listings;
    const QFileInfo info(recording);
    const QString folder = info.absolutePath();
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return {};
    const QString wanted = (info.completeBaseName() + QLatin1Char('.') + extension).toLower();
    std::lock_guard lock(mutex);
    if (listings.size() >= 64 && !listings.contains(folder))
        listings.clear(); // a program visits few folders; never grow without end
    Listing& listing = listings[folder];
    // A second's resolution would miss a file added in the same second: the time in full.
    if (listing.inode != st.st_ino || listing.changed.tv_sec != st.st_mtim.tv_sec ||
        listing.changed.tv_nsec != st.st_mtim.tv_nsec) {
        listing = Listing{st.st_mtim, st.st_ino, {}};
        for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            listing.names[name.toLower()].append(name);
    }
    const auto it = listing.names.constFind(wanted);
    if (it == listing.names.constEnd())
        return {};
    // Of names differing in case only, the same one every time.
    return folder + QLatin1Char('/') + *std::min_element(it->begin(), it->end());
}

QString RecordingOf(const QString& logPath) {
    const QFileInfo log(logPath);
    const QDir dir = log.absoluteDir();
    // Name filters match in any letter case.
    const QStringList found =
        dir.entryList({log.completeBaseName() + QStringLiteral(".asf")}, QDir::Files, QDir::Name);
    return found.isEmpty() ? QString() : dir.filePath(found.first());
}

QString SetupFileIn(const QString& folder) {
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({QStringLiteral("setup.ini")}, QDir::Files, QDir::Name))
        if (name.compare(QLatin1String("setup.ini"), Qt::CaseInsensitive) == 0)
            return dir.filePath(name);
    return {};
}

namespace {

const QStringList& RecordingPatterns() {
    static const QStringList patterns = {"*.asf", "*.mp4", "*.mov"};
    return patterns;
}

// Names the program's own clip export gave its files, listed in its manifests.
QSet<QString> OwnOutputs(const QDir& dir) {
    QSet<QString> own;
    for (const QString& name : dir.entryList({QStringLiteral("*.sha256")}, QDir::Files)) {
        QFile manifest(dir.filePath(name));
        if (!manifest.open(QIODevice::ReadOnly) || manifest.size() > (1 << 20))
            continue;
        const QByteArray text = manifest.readAll();
        if (!text.contains("\n# written by dashcard-player "))
            continue;
        for (const QByteArray& line : text.split('\n'))
            if (line.size() > 66 && line[64] == ' ' && line[65] == ' ')
                own.insert(QString::fromUtf8(line.mid(66)));
    }
    return own;
}

} // namespace

QDateTime TimeInName(const QString& name) {
    static const QRegularExpression patterns[] = {
        QRegularExpression(QStringLiteral(R"((\d{4})_(\d{2})(\d{2})_(\d{2})(\d{2})(\d{2}))")),
        QRegularExpression(QStringLiteral(R"((\d{4})(\d{2})(\d{2})[_-](\d{2})(\d{2})(\d{2}))"))};
    for (const QRegularExpression& pattern : patterns) {
        const QRegularExpressionMatch m = pattern.match(name);
        if (!m.hasMatch())
            continue;
        const QDateTime at(
            QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()),
            QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt()),
            Qt::LocalTime);
        if (at.isValid())
            return at;
    }
    return {};
}

bool IsEventRecording(const QString& path) {
    const QFileInfo info(path);
    const QString folder = info.absoluteDir().dirName().toUpper();
    const QString parent = QFileInfo(info.absolutePath()).absoluteDir().dirName().toUpper();
    for (const QString& f : {folder, parent})
        if (f == QLatin1String("RO") || f == QLatin1String("EVENT"))
            return true;
    const QString stem = info.completeBaseName().toUpper();
    static const QRegularExpression marked(
        QStringLiteral(R"((^EV|_E[FRI]?$|_E[FRI]?_|\d+E[FRI]?$))"));
    return marked.match(stem).hasMatch();
}

const QStringList& LayoutFolders() {
    static const QStringList folders = {"Movie", "RO", "Parking", "Normal", "Event"};
    return folders;
}

QString CardFolderOf(const QString& recording) {
    QDir dir = QFileInfo(recording).absoluteDir();
    const auto isLayout = [](const QDir& d) {
        return LayoutFolders().contains(d.dirName(), Qt::CaseInsensitive);
    };
    const QString name = dir.dirName();
    if (name.size() == 1 && QStringLiteral("FRIfri").contains(name)) {
        QDir up = dir;
        if (up.cdUp() && isLayout(up))
            dir = up;
    }
    if (isLayout(dir))
        dir.cdUp();
    return dir.absolutePath();
}

QStringList OtherRecorderFiles(const QString& folder) {
    const QDir top(folder);
    QStringList folders{QString()};
    for (const QString& sub : top.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!LayoutFolders().contains(sub, Qt::CaseInsensitive))
            continue;
        folders.append(sub + QLatin1Char('/'));
        for (const QString& camera :
             QDir(top.filePath(sub)).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (camera.size() == 1 && QStringLiteral("FRIfri").contains(camera))
                folders.append(sub + QLatin1Char('/') + camera + QLatin1Char('/'));
    }
    struct Found {
        QString path;
        QDateTime at;
    };
    std::vector<Found> found;
    bool other = false;
    for (const QString& sub : folders) {
        const QDir dir(top.filePath(sub));
        const QSet<QString> own = OwnOutputs(dir);
        for (const QFileInfo& file :
             dir.entryInfoList(RecordingPatterns(), QDir::Files, QDir::Name)) {
            if (own.contains(file.fileName()))
                continue;
            // An MP4 or MOV file that is one by its contents makes the card another recorder's
            // (an empty or stray file of that name does not).
            const bool asf = file.suffix().compare(QLatin1String("asf"), Qt::CaseInsensitive) == 0;
            if (!asf && !FileKind::IsRecording(FileKind::Of(file.absoluteFilePath())))
                continue;
            other = other || !asf || !sub.isEmpty();
            QDateTime at = TimeInName(file.fileName());
            if (!at.isValid())
                at = file.lastModified();
            found.push_back({sub + file.fileName(), at});
        }
    }
    if (!other)
        return {};
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.at != b.at ? a.at < b.at : a.path.compare(b.path, Qt::CaseInsensitive) < 0;
    });
    QStringList paths;
    for (const Found& f : found)
        paths.append(f.path);
    return paths;
}

} // namespace CardFiles
