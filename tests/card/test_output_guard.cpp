// SPDX-License-Identifier: GPL-3.0-or-later
// No writer of the program ever writes over a card's own files: every output of the command
// line (trip exports, clip and sidecars, the events table) tried against the recording, its
// log, setup.ini and setup.bak in any letter case, and links to them; the card's bytes checked
// by sha256sum before and after. An existing file of anyone else is replaced only with --force;
// the program's own earlier clip, with its manifest beside it, may be.
#include "../reliability/ReliabilitySupport.h"
#include "RunProgram.h"

#include <QProcess>
#include <QTemporaryDir>
#include <unistd.h>

namespace {

Ran player(const QStringList& args, const QString& folder) {
    return run(PLAYER_BINARY, args, folder);
}

// sha256sum's own reading of every file of the folder.
QByteArray sums(const QString& folder) {
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start("sh", {"-c", "sha256sum * | sort"});
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

} // namespace

class TestOutputGuard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every writer, aimed at each of the card's files under its own name or another: status 1,
    // "not written", and not a byte of the card changed, --force or not.
    void cardFilesAreNeverWritten() {
        QTemporaryDir dir;
        QVERIFY(reliability::copyFromCard(dir.path(),
                                          {"0001.asf", "0001.LOG", "0002.asf", "setup.ini"}));
        QVERIFY(QFile::copy(cardFile("setup.ini"), dir.filePath("SETUP.BAK")));
        // Another name for the recording and for the log.
        QCOMPARE(::link(QFile::encodeName(dir.filePath("0002.asf")),
                        QFile::encodeName(dir.filePath("hard.csv"))),
                 0);
        QVERIFY(QFile::link(dir.filePath("0001.LOG"), dir.filePath("soft.gpx")));
        const QByteArray before = sums(dir.path());
        const QStringList targets = {"0001.asf",  "0001.LOG", "0002.asf", "setup.ini",
                                     "SETUP.BAK", "hard.csv", "soft.gpx"};
        for (const bool force : {false, true}) {
            for (const QString& target : targets) {
                const QList<QStringList> writers = {
                    {"--export-gpx", "0001.LOG", target},
                    {"--export-kml", "0001.LOG", target},
                    {"--events", ".", "--csv", target},
                    {"--events", "0001.LOG", "--csv", target},
                    {"--export-clip", "0001.asf", "--from", "1", "--to", "2", target},
                };
                for (QStringList writer : writers) {
                    if (force)
                        writer.append("--force");
                    const Ran r = player(writer, dir.path());
                    QVERIFY2(r.code == 1 && r.err.contains("not written"),
                             qPrintable(writer.join(' ') + ": " + r.err));
                }
            }
        }
        QCOMPARE(sums(dir.path()), before);
    }

    // A file that is not the card's: refused when it exists, unless --force; and a clip written
    // again over the program's own earlier one (its MP4 included, though MP4 is what recorders
    // write) with --force.
    void existingFilesOnlyWithForce() {
        QTemporaryDir dir;
        QVERIFY(reliability::copyFromCard(dir.path(), {"0001.asf", "0001.LOG"}));
        QFile other(dir.filePath("mine.gpx"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("someone's\n");
        other.close();
        Ran r = player({"--export-gpx", "0001.LOG", "mine.gpx"}, dir.path());
        QVERIFY2(r.code == 1 && r.err.contains("--force"), r.err.constData());
        QVERIFY(other.open(QIODevice::ReadOnly));
        QCOMPARE(other.readAll(), QByteArray("someone's\n"));
        other.close();
        r = player({"--export-gpx", "0001.LOG", "mine.gpx", "--force"}, dir.path());
        QCOMPARE(r.code, 0);
        QVERIFY(other.open(QIODevice::ReadOnly));
        QVERIFY(other.readAll().contains("<gpx"));
        other.close();

        const QStringList clip = {"--export-clip", "0001.asf", "--from",    "1",
                                  "--to",          "2",        "--overlay", "span.mkv"};
        QCOMPARE(player(clip, dir.path()).code, 0);
        r = player(clip, dir.path());
        QVERIFY2(r.code == 1 && r.err.contains("--force"), r.err.constData());
        r = player(clip + QStringList{"--force"}, dir.path());
        QVERIFY2(r.code == 0, r.err.constData());
        // An MP4 of someone else's under that name is a recording: never written over.
        QVERIFY(QFile::remove(dir.filePath("span.mp4")));
        QVERIFY(QFile::copy(cardFile("extras/mp4/clip.mp4"), dir.filePath("span.mp4")));
        r = player(clip + QStringList{"--force"}, dir.path());
        QVERIFY2(r.code == 1 && r.err.contains("span.mp4 is a recording"), r.err.constData());
    }
};

PLAYER_WINDOW_TEST_MAIN(TestOutputGuard)
#include "test_output_guard.moc"
