// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/TripReader.h"

#include "card/CameraPairs.h"
#include "card/CardFiles.h"
#include "trip/CameraReaders.h"
#include "trip/TextLogReader.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>

namespace {

// The recorder's text log beside the recording (NNNN.LOG beside NNNN.asf).
class TextLogTripReader final : public TripReader {
public:
    QString Name() const override { return QStringLiteral("text log"); }
    bool Probe(const QString& recording) const override {
        return !CardFiles::LogOf(recording).isEmpty();
    }
    QStringList Files(const QString& recording) const override {
        return {CardFiles::LogOf(recording)};
    }
    bool Read(const QString& recording, double duration, TripTrack& track,
              QString* error) const override {
        return TextLog::Read(CardFiles::LogPathFor(recording), duration, track, error);
    }
};

// What a file was when a track was read from it: a file written again (even to the same size
// within the same second) or replaced has another change time or inode. (Written again to the
// same size within one tick of the kernel's file clock, a few milliseconds, it would look the
// same: recorders do not rewrite a closed file, and no tool of ours does that.)
struct Stamp {
    QByteArray path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{}, changed{};
    bool operator==(const Stamp& o) const {
        return path == o.path && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

std::optional<Stamp> StampOf(const QString& path) {
    Stamp s;
    s.path = QFile::encodeName(path);
    struct stat st {};
    if (::stat(s.path.constData(), &st) != 0)
        return std::nullopt;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.modified = st.st_mtim;
    s.changed = st.st_ctim;
    return s;
}

// Tracks read from other recorders' files, kept while those files stay as they were: a card
// scanned again (the event search, the exports) reads none of them twice. Bounded by samples.
class TrackCache {
public:
    std::shared_ptr<const TripTrack> Find(const QString& recording, double duration) {
        const std::optional<Stamp> own = StampOf(recording);
        std::lock_guard lock(m_mutex);
        const auto it = m_entries.find(recording);
        if (!own || it == m_entries.end() || it->duration != duration || it->stamps.empty() ||
            !(it->stamps.front() == *own))
            return nullptr;
        for (size_t k = 1; k < it->stamps.size(); ++k) {
            const std::optional<Stamp> now = StampOf(QFile::decodeName(it->stamps[k].path));
            if (!now || !(*now == it->stamps[k]))
                return nullptr;
        }
        it->used = ++m_clock;
        return it->track;
    }

    void Keep(const QString& recording, double duration, const QStringList& files,
              const TripTrack& track) {
        Entry entry;
        for (const QString& file : QStringList{recording} + files) {
            const std::optional<Stamp> s = file.isEmpty() ? std::nullopt : StampOf(file);
            if (!s)
                return;
            entry.stamps.push_back(*s);
        }
        entry.duration = duration;
        entry.track = std::make_shared<const TripTrack>(track);
        std::lock_guard lock(m_mutex);
        entry.used = ++m_clock;
        if (const auto old = m_entries.find(recording); old != m_entries.end()) {
            m_samples -= old->track->samples.size();
            m_entries.erase(old);
        }
        m_samples += track.samples.size();
        m_entries.insert(recording, std::move(entry));
        while ((m_samples > kMaxSamples || m_entries.size() > kMaxEntries) &&
               m_entries.size() > 1) {
            auto oldest = m_entries.begin();
            for (auto e = m_entries.begin(); e != m_entries.end(); ++e)
                if (e->used < oldest->used)
                    oldest = e;
            m_samples -= oldest->track->samples.size();
            m_entries.erase(oldest);
        }
    }

private:
    static constexpr size_t kMaxSamples = 500000;  // some 60 MB
    static constexpr qsizetype kMaxEntries = 8192; // tracks of few samples count too
    struct Entry {
        std::vector<Stamp> stamps; // the recording's, then its side files'
        double duration = 0;
        std::shared_ptr<const TripTrack> track;
        quint64 used = 0;
    };
    std::mutex m_mutex;
    QHash<QString, Entry> m_entries;
    size_t m_samples = 0;
    quint64 m_clock = 0;
};

TrackCache& Cache() {
    static TrackCache cache;
    return cache;
}

} // namespace

namespace TripReaders {

const std::vector<const TripReader*>& All() {
    static const TextLogTripReader textLog;
    // The recorder's own log first; then what other recorders write inside their files, then
    // beside them.
    static const std::vector<const TripReader*> readers = {&textLog,
                                                           &CameraReaders::Novatek(),
                                                           &CameraReaders::FreeBoxNmea(),
                                                           &CameraReaders::GpsBox(),
                                                           &CameraReaders::Gpmf(),
                                                           &CameraReaders::NmeaFile()};
    return readers;
}

const TripReader* For(const QString& recording) {
    for (const TripReader* reader : All())
        if (reader->Probe(recording))
            return reader;
    return nullptr;
}

QStringList Files(const QString& recording) {
    const TripReader* reader = For(recording);
    return reader ? reader->Files(recording) : QStringList();
}

namespace {

// The recording's own trip, through its own reader.
bool ReadOwn(const QString& recording, double duration, TripTrack& track, QString* error) {
    const QString path = QFileInfo(recording).absoluteFilePath();
    if (const std::shared_ptr<const TripTrack> kept = Cache().Find(path, duration)) {
        track = *kept;
        return true;
    }
    const TripReader* reader = For(recording);
    if (!reader) {
        if (error)
            *error = QStringLiteral("no trip beside or inside it");
        return false;
    }
    if (!reader->Read(recording, duration, track, error))
        return false;
    // The recorder's own logs are read in one pass already; other recorders' files are kept.
    if (reader != All().front())
        Cache().Keep(path, duration, reader->Files(recording), track);
    return true;
}

} // namespace

bool FromPartner(const QString& recording) {
    const QList<CameraPairs::Camera> cameras = CameraPairs::CamerasOf(recording);
    for (qsizetype i = 1; i < cameras.size(); ++i)
        if (For(cameras[i].path))
            return true;
    return false;
}

bool Read(const QString& recording, double duration, TripTrack& track, QString* error) {
    const bool own = ReadOwn(recording, duration, track, error);
    if (own && !track.samples.empty())
        return true;
    // A recorder writes the GPS into one camera's file (the front's) only: the other cameras of
    // the moment show that trip, on their own time line.
    const QList<CameraPairs::Camera> cameras = CameraPairs::CamerasOf(recording);
    for (qsizetype i = 1; i < cameras.size(); ++i) {
        TripTrack theirs;
        if (!ReadOwn(cameras[i].path, duration, theirs, nullptr) || theirs.samples.empty())
            continue;
        // A sample at t in the partner's file is at t + offset in this one; what fell before
        // this file began is not on its time line.
        TripTrack moved = theirs;
        moved.samples.clear();
        moved.sampleOfSlot.clear();
        for (TripSample s : theirs.samples) {
            s.time += cameras[i].offsetSeconds;
            if (s.time >= 0)
                moved.samples.push_back(std::move(s));
        }
        if (moved.samples.empty())
            continue;
        track = std::move(moved);
        return true;
    }
    return own;
}

} // namespace TripReaders
