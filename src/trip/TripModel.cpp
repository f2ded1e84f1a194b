// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/TripModel.h"

#include "card/CardFiles.h"
#include "trip/TextLogReader.h"
#include "trip/TripLog.h"
#include "trip/TripReader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <algorithm>

// One reading of a log, made on the UI thread or a worker and then handed to the UI thread.
namespace {

// The chart's table from a track of another recorder's (one slot a sample, spread over the
// table where there are more): the recorder's own conversion of positions is applied, so that
// the map page, which undoes it, places the vehicle where the sample says.
void FillTable(TripTrack& track, TripLogData& table) {
    const size_t n = track.samples.size();
    const size_t slots = std::min<size_t>(n, TRIP_LOG_CAPACITY);
    track.sampleOfSlot.assign(slots, -1);
    for (size_t k = 0; k < slots; ++k) {
        const size_t i = n <= TRIP_LOG_CAPACITY ? k : k * n / TRIP_LOG_CAPACITY;
        const TripSample& s = track.samples[i];
        table.accelX[k] = s.accelX;
        table.accelY[k] = s.accelY;
        table.accelZ[k] = s.accelZ;
        table.speed[k] = s.speed;
        table.latitude[k] = s.latitude - 0.003444;
        table.longitude[k] = s.longitude + 0.004912;
        track.sampleOfSlot[k] = int(i);
    }
    table.sampleCount = int32_t(slots);
}

} // namespace

struct CTripModel::Reading {
    QString recording;
    bool textLog = true;
    QString logPath;
    double duration = 0;
    quint64 generation = 0;
    bool ok = false;
    TripTrack track;
    // The table is filled from the process's own (slots past the log keep what an earlier,
    // longer log left there) and copied back once read.
    std::unique_ptr<TripLogData> table;
    double degrees = 0;

    void Run() {
        if (textLog) {
            ok = TextLog::Read(logPath, duration, track, nullptr, table.get(), &degrees);
            return;
        }
        ok = TripReaders::Read(recording, duration, track);
        if (ok)
            FillTable(track, *table);
    }
};

CTripModel::CTripModel(QObject* parent) : QObject(parent) {}

CTripModel::~CTripModel() = default;

void CTripModel::Open(const QString& recording, double duration) {
    m_recording = recording;
    m_duration = duration;
    ++m_generation;
    m_track = TripTrack{};
    m_loaded = false;
    m_loading = false;
    m_gaveUp = false;
}

void CTripModel::Close() {
    m_recording.clear();
    ++m_generation;
    m_track = TripTrack{};
    m_loaded = false;
    m_loading = false;
    Q_EMIT TrackChanged();
}

void CTripModel::Tick() {
    if (!m_recording.isEmpty() && !m_loaded && !m_loading && !m_gaveUp)
        Start();
}

void CTripModel::Start() {
    auto reading = std::make_shared<Reading>();
    reading->recording = m_recording;
    reading->logPath = CardFiles::LogPathFor(m_recording);
    const QString found = CardFiles::LogOf(m_recording);
    const TripReader* reader = TripReaders::For(m_recording);
    // A rear camera's file without a trip shows the front's, read like any other recorder's.
    reading->textLog =
        reader == TripReaders::All().front() || (!reader && !TripReaders::FromPartner(m_recording));
    reading->duration = m_duration;
    reading->generation = m_generation;
    reading->table = std::make_unique<TripLogData>(TripLog);
    reading->degrees = TripLogDegrees();
    // Another recorder's trip lies in the video itself or beside it: read in the background.
    if (reading->textLog && (found.isEmpty() || QFileInfo(found).size() < kBackgroundBytes)) {
        reading->Run();
        Finish(reading);
        return;
    }
    m_loading = true;
    // The pool is waited for when the application ends.
    QPointer<CTripModel> self(this);
    QThreadPool::globalInstance()->start([reading, self] {
        reading->Run();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [reading, self] {
                if (self)
                    self->Finish(reading);
            },
            Qt::QueuedConnection);
    });
}

void CTripModel::Finish(const std::shared_ptr<Reading>& reading) {
    if (reading->generation != m_generation)
        return; // another recording opened meanwhile
    m_loading = false;
    // As the recorder's software loads its log: the table is the log's, or no slots and a load
    // still pending.
    if (reading->ok) {
        TripLog = *reading->table;
        TripLogDegrees() = reading->degrees;
        TripLog.reloadPending = false;
        m_track = std::move(reading->track);
        m_loaded = true;
    } else {
        TripLog.sampleCount = 0;
        TripLog.reloadPending = true;
        // A text log is tried again on each tick, as the recorder's software did; a trip inside
        // a video (or beside it) that cannot be read will not read on the next tick either.
        m_gaveUp = !reading->textLog;
    }
    Q_EMIT TrackChanged();
}
