// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/TripModel.h"

#include "card/CardFiles.h"
#include "trip/TextLogReader.h"
#include "trip/TripLog.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>

// One reading of a log, made on the UI thread or a worker and then handed to the UI thread.
struct CTripModel::Reading {
    QString logPath;
    double duration = 0;
    quint64 generation = 0;
    bool ok = false;
    TripTrack track;
    // The table is filled from the process's own (slots past the log keep what an earlier,
    // longer log left there) and copied back once read.
    std::unique_ptr<TripLogData> table;
    double degrees = 0;

    void Run() { ok = TextLog::Read(logPath, duration, track, nullptr, table.get(), &degrees); }
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
    if (!m_recording.isEmpty() && !m_loaded && !m_loading)
        Start();
}

void CTripModel::Start() {
    auto reading = std::make_shared<Reading>();
    reading->logPath = CardFiles::LogPathFor(m_recording);
    reading->duration = m_duration;
    reading->generation = m_generation;
    reading->table = std::make_unique<TripLogData>(TripLog);
    reading->degrees = TripLogDegrees();
    const QString found = CardFiles::LogOf(m_recording);
    if (found.isEmpty() || QFileInfo(found).size() < kBackgroundBytes) {
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
    }
    Q_EMIT TrackChanged();
}
