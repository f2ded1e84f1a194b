// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/CameraPairs.h"

#include "card/CardFiles.h"
#include "formats/Mp4Boxes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <sys/stat.h>

namespace CameraPairs {

namespace {

// The rear camera may open its file a second or two after the front one, and the name carries
// the second it opened.
constexpr qint64 kNameSlackSeconds = 2;

// One recording of a folder, as its name says.
struct Entry {
    QString path; // absolute
    QString key;  // the name less its time and camera letter, lower case: partners share it
    QString role; // "F", "R", "I", or "" when neither the name nor the folder says
    QDateTime at; // the time in the name; invalid when it has none
};

bool IsMp4Name(const QString& name) {
    return name.endsWith(QLatin1String(".mp4"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".mov"), Qt::CaseInsensitive);
}

bool IsCameraFolderName(const QString& name) {
    return name.size() == 1 && QStringLiteral("FRIfri").contains(name);
}

Entry Parse(const QString& folder, const QString& name, const QString& folderRole) {
    // The camera letter closes the name, after the sequence number ("0001F"), a separator, or
    // the kind of recording ("_NF"); a word that merely ends in F, R or I is not one.
    static const QRegularExpression lettered(QStringLiteral(R"(^(.*(?:[0-9_\-]|_[NEPM]))([FRI])$)"),
                                             QRegularExpression::CaseInsensitiveOption);
    // The same time shapes CardFiles::TimeInName reads, taken out of the key so that a rear
    // named a second later still shares it.
    static const QRegularExpression timeShape(
        QStringLiteral(R"(\d{4}_\d{4}_\d{6}|\d{8}[_-]\d{6})"));
    Entry e;
    e.path = folder + QLatin1Char('/') + name;
    QString stem = name.left(name.lastIndexOf(QLatin1Char('.')));
    const QRegularExpressionMatch m = lettered.match(stem);
    if (m.hasMatch()) {
        e.role = m.captured(2).toUpper();
        stem = m.captured(1);
    } else {
        e.role = folderRole;
    }
    e.at = CardFiles::TimeInName(name);
    if (e.at.isValid())
        stem.replace(timeShape, QStringLiteral("#"));
    e.key = stem.toLower();
    return e;
}

// A folder's recordings by key, as of the folder's last change: a card of hundreds of
// recordings is listed once, not once per recording.
struct Index {
    timespec changed{};
    ino_t inode = 0;
    QHash<QString, QList<Entry>> byKey;
};

QHash<QString, QList<Entry>> IndexOf(const QString& folder, const QString& folderRole) {
    static std::mutex mutex;
    static QHash<QString, Index> indexes;
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return {};
    std::lock_guard lock(mutex);
    if (indexes.size() >= 64 && !indexes.contains(folder))
        indexes.clear(); // a program visits few folders; never grow without end
    Index& index = indexes[folder];
    if (index.inode != st.st_ino || index.changed.tv_sec != st.st_mtim.tv_sec ||
        index.changed.tv_nsec != st.st_mtim.tv_nsec) {
        index = Index{st.st_mtim, st.st_ino, {}};
        for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name)) {
            if (!IsMp4Name(name))
                continue;
            Entry e = Parse(folder, name, folderRole);
            if (!e.role.isEmpty())
                index.byKey[e.key].append(e);
        }
    }
    return index.byKey;
}

// The folders a recording's partners may lie in: its own and, for a camera's folder under a
// layout folder ("Normal/F"), the other cameras' folders beside it.
QList<QPair<QString, QString>> FoldersBeside(const QString& folder) {
    QList<QPair<QString, QString>> folders;
    const QFileInfo info(folder);
    const QString name = info.fileName();
    if (IsCameraFolderName(name) &&
        CardFiles::LayoutFolders().contains(QFileInfo(info.absolutePath()).fileName(),
                                            Qt::CaseInsensitive)) {
        const QDir parent(info.absolutePath());
        for (const QString& sub : parent.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
            if (IsCameraFolderName(sub))
                folders.append({parent.absoluteFilePath(sub), sub.toUpper()});
    } else {
        folders.append({folder, QString()});
    }
    return folders;
}

int RoleRank(const QString& role) {
    static const QStringList order = {"F", "R", "I"};
    const int at = int(order.indexOf(role));
    return at < 0 ? int(order.size()) : at;
}

// `recording` and its partners, partners in the order front, rear, interior; no offsets yet.
QList<Entry> Partners(const QString& recording) {
    const QFileInfo info(recording);
    const QString folder = info.absolutePath();
    const QString name = info.fileName();
    Entry self{info.absoluteFilePath(), {}, {}, {}};
    if (!IsMp4Name(name))
        return {self};
    const auto folders = FoldersBeside(folder);
    QString ownRole;
    for (const auto& [path, role] : folders)
        if (path == folder)
            ownRole = role;
    self = Parse(folder, name, ownRole);
    if (self.role.isEmpty())
        return {self};
    // Of each other camera, the file nearest in time that shares the key.
    QHash<QString, Entry> best;
    for (const auto& [path, role] : folders) {
        const auto index = IndexOf(path, role);
        const auto it = index.constFind(self.key);
        if (it == index.constEnd())
            continue;
        for (const Entry& e : *it) {
            if (e.role == self.role || e.at.isValid() != self.at.isValid())
                continue;
            const qint64 gap = e.at.isValid() ? std::abs(self.at.secsTo(e.at)) : 0;
            if (gap > kNameSlackSeconds)
                continue;
            const auto held = best.constFind(e.role);
            if (held != best.constEnd()) {
                const qint64 heldGap = held->at.isValid() ? std::abs(self.at.secsTo(held->at)) : 0;
                if (heldGap < gap || (heldGap == gap && held->path < e.path))
                    continue;
            }
            best.insert(e.role, e);
        }
    }
    QList<Entry> partners = best.values();
    std::sort(partners.begin(), partners.end(),
              [](const Entry& a, const Entry& b) { return RoleRank(a.role) < RoleRank(b.role); });
    partners.prepend(self);
    return partners;
}

// Seconds since 1904 in the file's movie header; none when it has no readable one or the
// recorder left it unset.
std::optional<uint64_t> CreationTime(const QString& path) {
    Mp4::Reader file(path);
    if (!file.IsOpen())
        return std::nullopt;
    const std::optional<Mp4::Box> mvhd = file.Find({Mp4::Type("moov"), Mp4::Type("mvhd")});
    if (!mvhd)
        return std::nullopt;
    const QByteArray b = file.Payload(*mvhd, 32);
    const uint64_t at =
        b.size() >= 12 && b[0] == 1 ? (b.size() >= 20 ? Mp4::Be64(b, 4) : 0) : Mp4::Be32(b, 4);
    if (at == 0)
        return std::nullopt;
    return at;
}

QString LabelOf(const Entry& e) {
    if (e.role == QLatin1String("F"))
        return QStringLiteral("Front");
    if (e.role == QLatin1String("R"))
        return QStringLiteral("Rear");
    if (e.role == QLatin1String("I"))
        return QStringLiteral("Interior");
    return QFileInfo(e.path).fileName();
}

} // namespace

QList<Camera> CamerasOf(const QString& recording) {
    const QList<Entry> entries = Partners(recording);
    QList<Camera> cameras;
    std::optional<uint64_t> ownCreation;
    bool ownCreationRead = false;
    for (const Entry& e : entries) {
        Camera camera{e.path, e.role, LabelOf(e), 0};
        if (!cameras.isEmpty()) {
            if (e.at.isValid()) {
                camera.offsetSeconds = double(entries.first().at.secsTo(e.at));
            } else {
                // Names without a time: the files' own creation times, read only here.
                if (!ownCreationRead) {
                    ownCreation = CreationTime(entries.first().path);
                    ownCreationRead = true;
                }
                const std::optional<uint64_t> theirs = CreationTime(e.path);
                if (ownCreation && theirs)
                    camera.offsetSeconds = double(int64_t(*theirs - *ownCreation));
            }
        }
        cameras.append(camera);
    }
    return cameras;
}

QString Label(const QList<Camera>& cameras) {
    if (cameras.size() < 2)
        return {};
    QStringList roles;
    for (const Camera& c : cameras)
        roles.append(c.role.isEmpty() ? QStringLiteral("?") : c.role);
    std::stable_sort(roles.begin(), roles.end(),
                     [](const QString& a, const QString& b) { return RoleRank(a) < RoleRank(b); });
    return roles.join(QLatin1Char('+'));
}

QList<Moment> Moments(const QString& folder, const QStringList& listed) {
    const QDir top(folder);
    QHash<QString, int> position; // absolute path → index in `listed`
    for (int i = 0; i < listed.size(); ++i)
        position.insert(QDir::cleanPath(top.absoluteFilePath(listed[i])), i);
    QSet<int> taken;
    QList<Moment> moments;
    for (int i = 0; i < listed.size(); ++i) {
        if (taken.contains(i))
            continue;
        // Only partners that are listed and not in another moment already.
        QList<Entry> members;
        for (const Entry& e : Partners(top.absoluteFilePath(listed[i]))) {
            const int at = position.value(QDir::cleanPath(e.path), -1);
            if (at >= 0 && (at == i || !taken.contains(at))) {
                members.append(e);
                taken.insert(at);
            }
        }
        // The front camera stands for the moment, else the first listed (this one).
        int main = 0;
        for (int m = 0; m < members.size(); ++m)
            if (members[m].role == QLatin1String("F")) {
                main = m;
                break;
            }
        Moment moment;
        QList<Camera> cameras;
        for (int m = 0; m < members.size(); ++m) {
            const QString rel = listed[position.value(QDir::cleanPath(members[m].path))];
            if (m == main)
                moment.name = rel;
            else
                moment.cameras.append(rel);
            cameras.append(Camera{members[m].path, members[m].role, LabelOf(members[m]), 0});
        }
        moment.label = Label(cameras);
        moments.append(moment);
    }
    return moments;
}

} // namespace CameraPairs
