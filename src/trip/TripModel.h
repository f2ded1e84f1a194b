// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "trip/TripTrack.h"

#include <QObject>
#include <QString>
#include <memory>

// The trip of the recording that is open: its track, read once on the first tick of the
// playback timer after the recording opens, as the recorder's software read its log (on a
// worker thread where the log is large, so the window keeps painting), and the chart's table
// (TripLog) filled from the same reading. Nothing reads the card while the chart paints. A log
// that cannot be read leaves the table as the recorder's software left it (no samples, a
// load pending) and is tried again on each tick, until it reads or another recording opens.
class CTripModel : public QObject {
    Q_OBJECT
public:
    explicit CTripModel(QObject* parent = nullptr);
    ~CTripModel() override;

    // The trip to read is `recording`'s, whose length is `duration` seconds (0: not known).
    void Open(const QString& recording, double duration);
    // No recording: the track is emptied (the table stays, as the recorder's software kept it).
    void Close();
    // A tick of the playback timer: the trip is read if it has not been (tried again after a
    // failure).
    void Tick();

    const TripTrack& Track() const { return m_track; }
    // Whether the trip has been read (and the table filled from it).
    bool Loaded() const { return m_loaded; }
    bool Loading() const { return m_loading; }
    // The sample the chart shows at slot `slot`, or null.
    const TripSample* SampleOfSlot(int slot) const { return m_track.SampleOfSlot(slot); }

    // Logs at least this large are read off the UI thread.
    static constexpr qint64 kBackgroundBytes = 1 << 20;

Q_SIGNALS:
    // The trip of the open recording has been read (or could not be).
    void TrackChanged();

private:
    struct Reading;
    void Start();
    void Finish(const std::shared_ptr<Reading>& reading);

    QString m_recording;
    double m_duration = 0;
    TripTrack m_track;
    bool m_loaded = false;
    bool m_loading = false;
    bool m_gaveUp = false;    // a trip that is not a text log could not be read
    quint64 m_generation = 0; // which open a reading on a worker belongs to
};
