// SPDX-License-Identifier: GPL-3.0-or-later
// A card of a recorder with several cameras, made by ffmpeg in the names and folders such
// recorders write: which files are one moment's cameras, how far apart they started (held
// against ffprobe's creation times), one row a moment in the record list with its cameras
// beside the name, an ASF folder listed as before, and a rear camera's file showing the trip
// that only the front's carries (held against ExifTool's reading of the front).
#include "RunProgram.h"
#include "ScriptedPrompts.h"
#include "TestSupport.h"
#include "card/CameraPairs.h"
#include "card/CardFiles.h"
#include "democard/CameraCard.h"
#include "records/RecordListDlg.h"
#include "shell/PlayerDlg.h"
#include "trip/TripModel.h"
#include "trip/TripReader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTreeWidget>
#include <cmath>

namespace {

// The card: each file with the creation time its camera gave it (UTC); the names carry the
// camera's clock, here the same. The rear camera opens its file a second after the front.
struct Made {
    const char* path;
    const char* created;
};
const Made kCard[] = {
    {"Movie/2024_0315_083012_0001F.MP4", "2024-03-15T08:30:12Z"},
    {"Movie/2024_0315_083013_0001R.MP4", "2024-03-15T08:30:13Z"},
    // The rear camera unplugged: the front alone.
    {"Movie/2024_0315_083112_0002F.MP4", "2024-03-15T08:31:12Z"},
    {"RO/2024_0315_083212_0003F.MP4", "2024-03-15T08:32:12Z"},
    {"RO/2024_0315_083213_0003R.mp4", "2024-03-15T08:32:13Z"},
    {"20240315_083312_NF.mp4", "2024-03-15T08:33:12Z"},
    {"20240315_083312_NR.MP4", "2024-03-15T08:33:12Z"},
    {"20240315_083313_NI.mp4", "2024-03-15T08:33:13Z"},
    // An event's front and rear, and the interior's normal file of the same second: another
    // kind of recording, not the event's.
    {"20240315_083412_EF.mp4", "2024-03-15T08:34:12Z"},
    {"20240315_083412_ER.mp4", "2024-03-15T08:34:12Z"},
    {"20240315_083412_NI.mp4", "2024-03-15T08:34:12Z"},
    {"Normal/F/20240315_083612_NF.mp4", "2024-03-15T08:36:12Z"},
    {"Normal/R/20240315_083613_NR.mp4", "2024-03-15T08:36:13Z"},
    {"Event/F/20240315_083712_EF.mp4", "2024-03-15T08:37:12Z"},
    // Names without a time: only the files' creation times say the rear began 2 s later.
    {"Parking/PARK0009F.MP4", "2024-03-15T08:40:00Z"},
    {"Parking/PARK0009R.MP4", "2024-03-15T08:40:02Z"},
};

// The record list of that card: one row a moment, the front's file, its cameras.
const QStringList kRows = {"Movie/2024_0315_083012_0001F.MP4",
                           "Movie/2024_0315_083112_0002F.MP4",
                           "RO/2024_0315_083212_0003F.MP4",
                           "20240315_083312_NF.mp4",
                           "20240315_083412_EF.mp4",
                           "20240315_083412_NI.mp4",
                           "Normal/F/20240315_083612_NF.mp4",
                           "Event/F/20240315_083712_EF.mp4",
                           "Parking/PARK0009F.MP4"};
const QStringList kLabels = {"F+R", "", "F+R", "F+R+I", "F+R", "", "F+R", "", "F+R"};

bool ffmpeg(const QStringList& args) {
    const Ran r = run("ffmpeg", QStringList{"-v", "error", "-nostdin", "-y"} + args);
    if (r.code != 0)
        qWarning("ffmpeg: %s", r.err.constData());
    return r.code == 0;
}

// What ffprobe reads as the file's creation time.
QDateTime probedCreation(const QString& file) {
    const Ran r = run("ffprobe", {"-v", "error", "-show_entries", "format_tags=creation_time",
                                  "-of", "default=nw=1:nk=1", file});
    return QDateTime::fromString(QString::fromLatin1(r.out.trimmed()), Qt::ISODateWithMs);
}

QStringList column(QTreeWidget* list, int c) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(c);
    return texts;
}

} // namespace

class TestCameraPairs : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_card, m_base;

    QString file(const QString& path) const { return m_card + "/" + path; }

private Q_SLOTS:
    void initTestCase() {
        m_card = m_dir.filePath("card");
        m_base = m_dir.filePath("base.mp4");
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10", "-t", "3", "-c:v",
                        "libx264", "-pix_fmt", "yuv420p", m_base}));
        for (const Made& m : kCard) {
            const QString path = file(m.path);
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            QStringList args{"-i",   m_base,      "-c",
                             "copy", "-metadata", QString("creation_time=") + m.created};
            // One camera's movie header in 64-bit fields, as a recorder with a fine movie time
            // scale writes it.
            if (QByteArray(m.path).endsWith("PARK0009R.MP4"))
                args << "-movie_timescale"
                     << "2000000000";
            QVERIFY(ffmpeg(args << "-f"
                                << "mp4" << path));
        }
        QFile rear(file("Parking/PARK0009R.MP4"));
        QVERIFY(rear.open(QIODevice::ReadOnly));
        const QByteArray bytes = rear.readAll();
        QCOMPARE(int(bytes.at(bytes.indexOf("mvhd") + 4)), 1);
        // Files named without a time are listed by their own time: the same for the moment's.
        const QDateTime parked(QDate(2024, 3, 15), QTime(9, 0, 0));
        for (const char* name : {"Parking/PARK0009F.MP4", "Parking/PARK0009R.MP4"}) {
            QFile f(file(name));
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(parked, QFileDevice::FileModificationTime));
        }
    }

    // Each file's cameras: itself first, then front, rear, interior; the others' starts as far
    // from its own as ffprobe's creation times are.
    void camerasOfAFile_data() {
        QTest::addColumn<QString>("recording");
        QTest::addColumn<QStringList>("cameras");
        QTest::addColumn<QStringList>("roles");
        QTest::addColumn<QString>("label");
        const auto row = [](const char* tag, const QStringList& cameras, const QStringList& roles,
                            const char* label) {
            QTest::newRow(tag) << cameras[0] << cameras << roles << QString(label);
        };
        row("front, rear named 1 s later",
            {"Movie/2024_0315_083012_0001F.MP4", "Movie/2024_0315_083013_0001R.MP4"}, {"F", "R"},
            "F+R");
        row("rear with a lower-case extension",
            {"RO/2024_0315_083213_0003R.mp4", "RO/2024_0315_083212_0003F.MP4"}, {"R", "F"}, "F+R");
        row("interior of three",
            {"20240315_083313_NI.mp4", "20240315_083312_NF.mp4", "20240315_083312_NR.MP4"},
            {"I", "F", "R"}, "F+R+I");
        row("normal interior beside an event", {"20240315_083412_NI.mp4"}, {"I"}, "");
        row("camera folders",
            {"Normal/R/20240315_083613_NR.mp4", "Normal/F/20240315_083612_NF.mp4"}, {"R", "F"},
            "F+R");
        row("no time in the names, rear (64-bit header)",
            {"Parking/PARK0009R.MP4", "Parking/PARK0009F.MP4"}, {"R", "F"}, "F+R");
    }

    void camerasOfAFile() {
        QFETCH(QString, recording);
        QFETCH(QStringList, cameras);
        QFETCH(QStringList, roles);
        QFETCH(QString, label);
        const QList<CameraPairs::Camera> found = CameraPairs::CamerasOf(file(recording));
        QStringList paths, foundRoles;
        for (const CameraPairs::Camera& c : found) {
            paths << QDir(m_card).relativeFilePath(c.path);
            foundRoles << c.role;
        }
        QCOMPARE(paths, cameras);
        QCOMPARE(foundRoles, roles);
        QCOMPARE(CameraPairs::Label(found), label);
        const QDateTime own = probedCreation(file(recording));
        QVERIFY(own.isValid());
        for (const CameraPairs::Camera& c : found) {
            const double expected = double(own.secsTo(probedCreation(c.path)));
            QVERIFY2(
                std::abs(c.offsetSeconds - expected) < 1e-9,
                qPrintable(
                    QString("%1: %2, ffprobe %3").arg(c.path).arg(c.offsetSeconds).arg(expected)));
        }
    }

    // The list: one row a moment, numbered on, the moment's cameras in the 4th column; the
    // moments of the panel's own grouping name every file of the card once.
    void oneRowAMoment() {
        CRecordListDlg panel;
        QCOMPARE(panel.FillCardList(m_card), kRows.size());
        QTreeWidget* list = panel.m_listRecords;
        QCOMPARE(column(list, 1), kRows);
        QCOMPARE(column(list, 3), kLabels);
        QCOMPARE(column(list, 2), QStringList(kRows.size(), QString()));
        QCOMPARE(list->topLevelItem(8)->text(0), QString("  0009"));
        QStringList all;
        for (const CameraPairs::Moment& m :
             CameraPairs::Moments(m_card, CardFiles::OtherRecorderFiles(m_card)))
            all << m.name << m.cameras;
        QStringList made;
        for (const Made& m : kCard)
            made << m.path;
        all.sort();
        made.sort();
        QCOMPARE(all, made);
    }

    // In the window's list (whose headings the skin paints at fixed places) a moment's cameras
    // show as a badge before its name, which stays the file's name; the columns keep their
    // places; an ASF folder listed after it shows no badge.
    void camerasBadgeInTheWindow() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeWidget* list = w.m_dlgRecordList->m_listRecords;
        QHeaderView* header = list->header();
        QVERIFY(w.m_dlgRecordList->FillCardList(cardDir()) > 0);
        const int nameAt = header->sectionViewportPosition(1), nameWidth = header->sectionSize(1);
        const int eventAt = header->sectionViewportPosition(2);

        QCOMPARE(w.m_dlgRecordList->FillCardList(m_card), kRows.size());
        QVERIFY(list->isColumnHidden(3));
        QCOMPARE(header->sectionViewportPosition(1), nameAt);
        QCOMPARE(header->sectionSize(1), nameWidth);
        QCOMPARE(header->sectionViewportPosition(2), eventAt);
        int badges = 0;
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = list->topLevelItem(row);
            QVERIFY(!item->icon(1).isNull()); // a blank one for a camera alone
            if (item->text(3).isEmpty())
                continue;
            ++badges;
            QVERIFY(item->toolTip(1).contains(item->text(3)));
            QVERIFY(!item->text(1).contains(QLatin1Char('+')));
        }
        QVERIFY(badges > 0);

        QVERIFY(w.m_dlgRecordList->FillCardList(cardDir()) > 0);
        QVERIFY(list->isColumnHidden(3));
        QVERIFY(list->topLevelItem(0)->icon(1).isNull());
        QCOMPARE(header->sectionViewportPosition(2), eventAt);
    }

    // A folder of ASF recordings, even named as a pair would be, lists as the recorder's
    // software listed it: every file, in name order regardless of case, three columns.
    void asfFolderAsBefore() {
        QTemporaryDir dir;
        QStringList names = {"2024_0315_083012_0001F.asf", "2024_0315_083013_0001R.ASF",
                             "0002.asf"};
        for (const QString& name : names)
            QVERIFY(
                ffmpeg({"-i", m_base, "-t", "1", "-c:v", "wmv2", "-f", "asf", dir.filePath(name)}));
        const Ran ls = run("sh", {"-c", "ls -1 | LC_ALL=C sort -f"}, dir.path());
        const QStringList sorted = QString::fromUtf8(ls.out.trimmed()).split('\n');
        CRecordListDlg panel;
        QCOMPARE(panel.FillCardList(dir.path()), 3);
        QCOMPARE(column(panel.m_listRecords, 1), sorted);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(panel.m_listRecords->topLevelItem(i)->columnCount(), 3);
        QCOMPARE(CameraPairs::CamerasOf(dir.filePath(names[0])).size(), 1);
    }

    // The demo card's rear file has no GPS of its own: it shows the front's fixes, each where
    // the rear's time line meets ExifTool's GPS time of it (the rear began a second after the
    // front), through the reader and through the trip model the window uses.
    void rearShowsTheFrontsTrip() {
        const QList<democard::CameraRecording> all = democard::cameraRecordings();
        const auto made = [&](const QString& path) {
            for (const democard::CameraRecording& c : all)
                if (c.path == path)
                    return c;
            return democard::CameraRecording{};
        };
        const democard::CameraRecording rear = made("Movie/2026_0520_143001_0001R.MP4");
        QCOMPARE(int(rear.layout), int(democard::TripLayout::None));
        const QString front = cardFile("cameras/Movie/2026_0520_143000_0001F.MP4");
        const QString rearFile = cardFile("cameras/" + rear.path);
        QVERIFY(!TripReaders::For(rearFile));

        TripTrack track;
        QString error;
        QVERIFY2(TripReaders::Read(rearFile, 0, track, &error), qPrintable(error));
        QCOMPARE(track.source, front);

        QProcessEnvironment utc;
        utc.insert("TZ", "UTC");
        const Ran exif =
            run("exiftool", {"-ee", "-n", "-p", "$GPSDateTime $GPSLatitude $GPSLongitude", front},
                {}, utc);
        QCOMPARE(exif.code, 0);
        const QDateTime rearStart = rear.rec.start.toUTC();
        int expected = 0;
        for (const QByteArray& line : exif.out.trimmed().split('\n')) {
            const QList<QByteArray> f = line.split(' ');
            QCOMPARE(f.size(), 4);
            const QDateTime read = QDateTime::fromString(
                QString::fromLatin1(f[0] + ' ' + f[1]).left(19), "yyyy:MM:dd HH:mm:ss");
            const QDateTime at(read.date(), read.time(), QTimeZone::utc());
            const double time = rearStart.msecsTo(at) / 1000.0;
            if (time < 0)
                continue; // before the rear began
            ++expected;
            const TripSample* s = nullptr;
            for (const TripSample& t : track.samples)
                if (std::abs(t.time - time) < 1e-3)
                    s = &t;
            QVERIFY2(s && s->HasFix(), line.constData());
            QVERIFY(std::abs(s->latitude - f[2].toDouble()) < 1e-5);
            QVERIFY(std::abs(s->longitude - f[3].toDouble()) < 1e-5);
        }
        QVERIFY(expected >= 10);
        QCOMPARE(int(track.samples.size()), expected);

        CTripModel model;
        model.Open(rearFile, 0);
        model.Tick();
        QVERIFY(waitFor([&] { return model.Loaded(); }));
        QCOMPARE(model.Track().samples.size(), track.samples.size());

        // A recording alone, without a trip, reads as none, as before.
        QVERIFY(!TripReaders::Read(file("Event/F/20240315_083712_EF.mp4"), 0, track, &error));
        QCOMPARE(error, QString("no trip beside or inside it"));
    }

    // A card of 500 recordings (250 moments of front and rear) groups in a fraction of the time
    // its listing took: names with times are paired without opening a file.
    void fiveHundredRecordings() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("Movie"));
        const QDateTime start(QDate(2024, 3, 16), QTime(6, 0, 0));
        for (int i = 0; i < 250; ++i) {
            const QDateTime at = start.addSecs(60 * i);
            const QString n = QString::asprintf("%04d", i + 1);
            QVERIFY(QFile::copy(
                m_base, dir.filePath("Movie/" + at.toString("yyyy_MMdd_HHmmss_") + n + "F.MP4")));
            QVERIFY(QFile::copy(m_base, dir.filePath("Movie/" +
                                                     at.addSecs(1).toString("yyyy_MMdd_HHmmss_") +
                                                     n + "R.MP4")));
        }
        QElapsedTimer timer;
        timer.start();
        const QStringList listed = CardFiles::OtherRecorderFiles(dir.path());
        const qint64 listing = timer.nsecsElapsed();
        timer.restart();
        const QList<CameraPairs::Moment> moments = CameraPairs::Moments(dir.path(), listed);
        const qint64 grouping = timer.nsecsElapsed();
        qInfo("500 recordings: listed in %.1f ms, grouped in %.1f ms", listing / 1e6,
              grouping / 1e6);
        QCOMPARE(listed.size(), 500);
        QCOMPARE(moments.size(), 250);
        for (const CameraPairs::Moment& m : moments)
            QCOMPARE(m.label, QString("F+R"));
    }
};

PLAYER_WINDOW_TEST_MAIN(TestCameraPairs)

#include "test_camera_pairs.moc"
