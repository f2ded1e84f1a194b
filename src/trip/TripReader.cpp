// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/TripReader.h"

#include "card/CardFiles.h"
#include "trip/CameraReaders.h"
#include "trip/TextLogReader.h"

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

bool Read(const QString& recording, double duration, TripTrack& track, QString* error) {
    const TripReader* reader = For(recording);
    if (!reader) {
        if (error)
            *error = QStringLiteral("no trip beside or inside it");
        return false;
    }
    return reader->Read(recording, duration, track, error);
}

} // namespace TripReaders
