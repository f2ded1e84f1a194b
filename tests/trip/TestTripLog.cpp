// SPDX-License-Identifier: GPL-3.0-or-later
// The trip log reader: the worked example, record counting at the end of the file, the path
// rule, separators, and logs that are broken in every way a card can break them.
#include "TripTestSupport.h"

#include "records/CurrentRecord.h"
#include "trip/TripLog.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>

using namespace triptest;

namespace {

void fillTable(double value) {
    for (double* column : {TripLog.accelX, TripLog.accelY, TripLog.accelZ, TripLog.latitude,
                           TripLog.longitude, TripLog.speed})
        std::fill(column, column + TRIP_LOG_CAPACITY, value);
}

QString six(double v) {
    return QString::asprintf("%.6f", v);
}

} // namespace

class TestTripLog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString logFile(const QString& name, const QByteArray& bytes) {
        return writeFile(m_dir.filePath(name), bytes);
    }

private Q_SLOTS:
    void init() {
        fillTable(0);
        TripLog.sampleCount = 0;
        TripLog.reloadPending = true;
    }

    void workedExample() {
        const QByteArray line = workedExampleLine() + "\n";
        QCOMPARE(line.size(), 93);
        QVERIFY(LoadTripLogFrom(logFile("worked.LOG", line)));
        QCOMPARE(TripLog.sampleCount, 2); // the line break leaves a trailing slot
        QVERIFY(!TripLog.reloadPending);
        QCOMPARE(TripLog.accelX[0], 0.12);
        QCOMPARE(TripLog.accelY[0], -0.03);
        QCOMPARE(TripLog.accelZ[0], 0.98);
        QCOMPARE(six(TripLog.latitude[0]), QStringLiteral("45.496556"));
        QCOMPARE(six(TripLog.longitude[0]), QStringLiteral("100.254912"));
        QCOMPARE(TripLog.speed[0], 45.0);
        // The conversion, in the order and precision the format defines.
        QCOMPARE(TripLog.latitude[0], 30.0 * 0.016666666666666666 + 45.0 - 0.003444);
        QCOMPARE(TripLog.longitude[0], 15.0 * 0.016666666666666666 + 100.0 + 0.004912);
    }

    void negativeDegreesStillAddMinutes() {
        QVERIFY(LoadTripLogFrom(
            logFile("south.LOG", record("0,0", "0", "-33", "30.0000", "-70", "15.0000", "0"))));
        QCOMPARE(TripLog.sampleCount, 1);
        QCOMPARE(six(TripLog.latitude[0]), six(-33.0 + 0.5 - 0.003444));
        QCOMPARE(six(TripLog.longitude[0]), six(-70.0 + 0.25 + 0.004912));
    }

    void recordCount_data() {
        QTest::addColumn<QByteArray>("ending");
        QTest::addColumn<QByteArray>("lineBreak");
        QTest::addColumn<int>("count");
        QTest::newRow("LF, final line break") << QByteArray("\n") << QByteArray("\n") << 4;
        QTest::newRow("LF, no final line break") << QByteArray() << QByteArray("\n") << 3;
        QTest::newRow("CR LF, final line break") << QByteArray("\r\n") << QByteArray("\r\n") << 4;
        QTest::newRow("CR LF, no final line break") << QByteArray() << QByteArray("\r\n") << 3;
        QTest::newRow("trailing blanks") << QByteArray("  \n\n") << QByteArray("\n") << 4;
    }
    void recordCount() {
        QFETCH(QByteArray, ending);
        QFETCH(QByteArray, lineBreak);
        QFETCH(int, count);
        const QByteArray bytes =
            record("1,1", "1", "10", "6.0000", "20", "12.0000", "10.5") + lineBreak +
            record("2,2", "2", "11", "6.0000", "21", "12.0000", "20.5") + lineBreak +
            record("3,3", "3", "12", "6.0000", "22", "12.0000", "30.5") + ending;
        fillTable(7.0); // what an earlier, longer log left behind
        QVERIFY(LoadTripLogFrom(logFile("three.LOG", bytes)));
        QCOMPARE(TripLog.sampleCount, count);
        QCOMPARE(TripLog.speed[2], 30.5);
        QCOMPARE(TripLog.accelZ[2], 3.0);
        if (count == 4) {
            // The empty trailing pass reads nothing: the accelerations and the speed keep the
            // slot's old contents, the position is the old contents converted with the
            // degrees read last.
            QCOMPARE(TripLog.accelX[3], 7.0);
            QCOMPARE(TripLog.speed[3], 7.0);
            QCOMPARE(TripLog.latitude[3], 7.0 * 0.016666666666666666 + 22.0 - 0.003444);
            QCOMPARE(TripLog.longitude[3], 7.0 * 0.016666666666666666 + 22.0 + 0.004912);
        }
        QCOMPARE(TripLog.accelX[4], 7.0); // never touched
    }

    void emptyLog() {
        fillTable(3.0);
        QVERIFY(LoadTripLogFrom(logFile("empty.LOG", QByteArray())));
        QCOMPARE(TripLog.sampleCount, 1);
        QCOMPARE(TripLog.accelX[0], 3.0);
        QCOMPARE(TripLog.speed[0], 3.0);
        QVERIFY(!TripLog.reloadPending);
    }

    void missingLogIsRetried() {
        QVERIFY(LoadTripLogFrom(logFile("first.LOG", workedExampleLine())));
        QCOMPARE(TripLog.sampleCount, 1);
        const QString later = m_dir.filePath("later.LOG");
        QVERIFY(!LoadTripLogFrom(later));
        QCOMPARE(TripLog.sampleCount, 0);
        QVERIFY(TripLog.reloadPending);
        QCOMPARE(TripLog.accelX[0], 0.12); // nothing else changes
        QVERIFY(!LoadTripLogFrom(later));
        QVERIFY(TripLog.reloadPending);
        writeFile(later, record("5,5", "5", "1", "0", "2", "0", "99") + "\n");
        QVERIFY(LoadTripLogFrom(later));
        QCOMPARE(TripLog.sampleCount, 2);
        QCOMPARE(TripLog.speed[0], 99.0);
        QVERIFY(!TripLog.reloadPending);
    }

    void pathRule_data() {
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("log");
        QTest::newRow("plain") << "/media/DCIM/0001.asf"
                               << "/media/DCIM/0001.LOG";
        QTest::newRow("dot in folder, none in name") << "/a.b/clip"
                                                     << "/a.LOG";
        QTest::newRow("no dot at all") << "clip"
                                       << ".LOG";
        QTest::newRow("two dots") << "/rec/clip.part.asf"
                                  << "/rec/clip.part.LOG";
        QTest::newRow("upper case extension") << "/rec/0002.ASF"
                                              << "/rec/0002.LOG";
    }
    void pathRule() {
        QFETCH(QString, video);
        QFETCH(QString, log);
        QCOMPARE(TripLogPath(video), log);
    }

    // LoadTripLog reads CurrentRecord.fileName; copies on a Linux disk may have any case.
    void logBesideTheVideo_data() {
        QTest::addColumn<QString>("logName");
        QTest::newRow("exact") << "clip.LOG";
        QTest::newRow("lower case") << "clip.log";
        QTest::newRow("mixed case") << "clip.Log";
        QTest::newRow("odd case") << "clip.lOg";
    }
    void logBesideTheVideo() {
        QFETCH(QString, logName);
        QTemporaryDir dir;
        writeFile(dir.filePath(logName), workedExampleLine());
        CurrentRecord.fileName = dir.filePath("clip.asf");
        QVERIFY(LoadTripLog());
        QCOMPARE(TripLog.speed[0], 45.0);
        // The name itself must match exactly: another clip's log is not this one's.
        CurrentRecord.fileName = dir.filePath("CLIP.asf");
        QVERIFY(!LoadTripLog());
    }

    void exactCaseWins() {
        QTemporaryDir dir;
        writeFile(dir.filePath("clip.log"), record("1,1", "1", "0", "0", "0", "0", "11"));
        writeFile(dir.filePath("clip.LOG"), record("1,1", "1", "0", "0", "0", "0", "22"));
        CurrentRecord.fileName = dir.filePath("clip.asf");
        QVERIFY(LoadTripLog());
        QCOMPARE(TripLog.speed[0], 22.0);
    }

    void separators_data() {
        QTest::addColumn<QByteArray>("xy");
        QTest::addColumn<double>("y");
        QTest::newRow("comma") << QByteArray("0.12,-0.03") << -0.03;
        QTest::newRow("blank") << QByteArray("0.12 -0.03") << -0.03;
        QTest::newRow("comma and blank") << QByteArray("0.12, -0.03") << -0.03;
        // The separator is taken unseen: without one the minus sign is swallowed.
        QTest::newRow("missing") << QByteArray("0.12-0.03") << 0.03;
    }
    void separators() {
        QFETCH(QByteArray, xy);
        QFETCH(double, y);
        QVERIFY(LoadTripLogFrom(
            logFile("sep.LOG", record(xy, "0.98", "45", "30.0000", "100", "15.0000", "45"))));
        QCOMPARE(TripLog.accelX[0], 0.12);
        QCOMPARE(TripLog.accelY[0], y);
        QCOMPARE(TripLog.accelZ[0], 0.98);
        QCOMPARE(TripLog.speed[0], 45.0);
    }

    void longTokensAreSkippedWhole_data() {
        QTest::addColumn<int>("length");
        QTest::newRow("23, fits the old scratch area") << 23;
        QTest::newRow("24") << 24;
        QTest::newRow("200") << 200;
        QTest::newRow("100000") << 100000;
    }
    void longTokensAreSkippedWhole() {
        QFETCH(int, length);
        const QByteArray token(length, 'T');
        const QByteArray bytes =
            record("1.5,2.5", "3.5", "45", "30.0000", "100", "15.0000", "61", token) + "\n" +
            workedExampleLine() + "\n";
        QVERIFY(LoadTripLogFrom(logFile("long.LOG", bytes)));
        QCOMPARE(TripLog.sampleCount, 3);
        QCOMPARE(TripLog.accelX[0], 1.5);
        QCOMPARE(TripLog.speed[0], 61.0);
        QCOMPARE(TripLog.accelX[1], 0.12);
        QCOMPARE(TripLog.speed[1], 45.0);
    }

    void overCapacity_data() {
        QTest::addColumn<int>("records");
        QTest::addColumn<bool>("finalBreak");
        QTest::addColumn<int>("count");
        QTest::newRow("3999 + trailing slot") << 3999 << true << 4000;
        QTest::newRow("4000, no line break") << 4000 << false << 4000;
        QTest::newRow("4000 + trailing slot") << 4000 << true << 4000;
        QTest::newRow("4001") << 4001 << true << 4000;
        QTest::newRow("100000") << 100000 << true << 4000;
    }
    void overCapacity() {
        QFETCH(int, records);
        QFETCH(bool, finalBreak);
        QFETCH(int, count);
        QByteArray bytes;
        for (int i = 0; i < records; ++i) {
            if (i)
                bytes += '\n';
            bytes += record("0.1,0.2", "0.3", "45", "0", "100", "0", QByteArray::number(i));
        }
        if (finalBreak)
            bytes += '\n';
        QVERIFY(LoadTripLogFrom(logFile("big.LOG", bytes)));
        QCOMPARE(TripLog.sampleCount, count);
        QCOMPARE(TripLog.speed[std::min(records, TRIP_LOG_CAPACITY) - 1],
                 double(std::min(records, TRIP_LOG_CAPACITY) - 1));
    }

    void truncatedMidRecord() {
        QByteArray bytes = workedExampleLine() + "\n" + workedExampleLine();
        bytes.chop(30); // ends in the filler after the second record's accelerations
        fillTable(8.0);
        QVERIFY(LoadTripLogFrom(logFile("cut.LOG", bytes)));
        QCOMPARE(TripLog.sampleCount, 2);
        QCOMPARE(TripLog.accelX[1], 0.12); // read before the cut
        QCOMPARE(TripLog.speed[1], 8.0);   // never reached: the old value stays
    }

    void unreadableFieldsKeepOldValues() {
        fillTable(4.25);
        const QByteArray bytes =
            record("x,-0.03", "0.98", "45", "30.0000", "100", "15.0000", "fast") + "\n";
        QVERIFY(LoadTripLogFrom(logFile("garbage.LOG", bytes)));
        QVERIFY(TripLog.sampleCount >= 1 && TripLog.sampleCount <= TRIP_LOG_CAPACITY);
        QCOMPARE(TripLog.accelX[0], 4.25);
    }

    // Whatever the bytes, the load ends and stays inside the table (run under the sanitizers,
    // this is where a write past a buffer would show).
    void binaryAndBrokenLogs_data() {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray random(256 * 1024, '\0');
        QRandomGenerator gen(1234);
        for (char& c : random)
            c = static_cast<char>(gen.bounded(256));
        QTest::newRow("random bytes") << random;
        QTest::newRow("NUL bytes") << QByteArray(5000, '\0');
        QTest::newRow("only blanks") << QByteArray(5000, ' ');
        QTest::newRow("one endless token") << QByteArray(300000, 'x');
        QTest::newRow("numbers only") << QByteArray("1 2 3 4 5 6 7 8 9 ").repeated(5000);
        QTest::newRow("huge and odd numbers")
            << record("1e999,nan", "-inf", "1e308", "1e308", "-1e308", "-1e308", "1e400") + "\n";
        QTest::newRow("no separators at all")
            << QByteArray("2010/05/2014:30:05.....0.12-0.03-0.98A.....4530.0000,10015.000045B\n")
                   .repeated(100);
    }
    void binaryAndBrokenLogs() {
        QFETCH(QByteArray, bytes);
        QVERIFY(LoadTripLogFrom(logFile("broken.LOG", bytes)));
        QVERIFY(TripLog.sampleCount >= 1);
        QVERIFY(TripLog.sampleCount <= TRIP_LOG_CAPACITY);
    }

    void folderNamedLikeTheLog() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("clip.LOG"));
        CurrentRecord.fileName = dir.filePath("clip.asf");
        fillTable(6.0);
        // It opens, but its first read fails: not readable, like a missing log, and retried.
        QVERIFY(!LoadTripLog());
        QCOMPARE(TripLog.sampleCount, 0);
        QVERIFY(TripLog.reloadPending);
        QCOMPARE(TripLog.latitude[0], 6.0);
        QVERIFY(!LoadTripLog());
        QVERIFY(TripLog.reloadPending);
    }

    // The log is read as text: a CR LF pair is one character, also inside a fixed skip.
    void lineBreakInsideSkips_data() {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::newRow("in the 22-character skip")
            << QByteArray(" 14:30:05 ") << QByteArray(" 14:30:05\r\n");
        QTest::newRow("in the 6-character skip") << QByteArray(" A ") << QByteArray(" A\r\n");
        QTest::newRow("in the 2-character skip") << QByteArray(", 100") << QByteArray(",\r\n100");
    }
    void lineBreakInsideSkips() {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        const QByteArray line = workedExampleLine();
        QVERIFY(line.contains(from));
        QByteArray lf = line, crlf = line;
        lf.replace(from, QByteArray(to).replace("\r\n", "\n"));
        crlf.replace(from, to);
        QVERIFY(LoadTripLogFrom(logFile("lf.LOG", lf + "\n" + lf + "\n")));
        const double lfX = TripLog.accelX[1], lfLat = TripLog.latitude[1];
        const double lfLon = TripLog.longitude[1], lfSpeed = TripLog.speed[1];
        QCOMPARE(TripLog.sampleCount, 3);
        fillTable(0);
        QVERIFY(LoadTripLogFrom(logFile("crlf.LOG", crlf + "\r\n" + crlf + "\r\n")));
        QCOMPARE(TripLog.sampleCount, 3);
        QCOMPARE(TripLog.accelX[1], 0.12);
        QCOMPARE(TripLog.accelX[1], lfX);
        QCOMPARE(TripLog.latitude[1], lfLat);
        QCOMPARE(TripLog.longitude[1], lfLon);
        QCOMPARE(TripLog.speed[1], lfSpeed);
        QCOMPARE(TripLog.speed[1], 45.0);
        // A CR on its own is an ordinary character.
        QByteArray cr = line;
        cr.replace(" 14:30:05 ", " 14:30:05\r");
        QVERIFY(LoadTripLogFrom(logFile("cr.LOG", cr)));
        QCOMPARE(TripLog.accelX[0], 0.12);
    }

    // The degrees value last read carries over to the next load: the one slot of an empty log
    // converts its old contents with the degrees the previous log ended on.
    void degreesCarryOverBetweenLoads() {
        QVERIFY(LoadTripLogFrom(logFile("before.LOG", workedExampleLine())));
        QCOMPARE(TripLog.sampleCount, 1);
        const double latitude = TripLog.latitude[0], longitude = TripLog.longitude[0];
        QVERIFY(LoadTripLogFrom(logFile("nothing.LOG", QByteArray())));
        QCOMPARE(TripLog.sampleCount, 1);
        QCOMPARE(TripLog.latitude[0], latitude * 0.016666666666666666 + 100.0 - 0.003444);
        QCOMPARE(TripLog.longitude[0], longitude * 0.016666666666666666 + 100.0 + 0.004912);
    }

    void commaDecimalLocale() {
        CommaLocale comma;
        if (!comma.active())
            QSKIP("no comma-decimal locale could be set up on this machine");
        QCOMPARE(QByteArray(std::localeconv()->decimal_point), QByteArray(","));
        QVERIFY(LoadTripLogFrom(logFile("comma.LOG", workedExampleLine() + "\n")));
        QCOMPARE(TripLog.accelX[0], 0.12);
        QCOMPARE(TripLog.accelY[0], -0.03);
        QCOMPARE(six(TripLog.latitude[0]), QStringLiteral("45.496556"));
        QCOMPARE(TripLog.speed[0], 45.0);
        // The reader switched only for its own reads.
        QCOMPARE(QByteArray(std::localeconv()->decimal_point), QByteArray(","));
    }
};

int runTripLogTests(int argc, char** argv) {
    TestTripLog t;
    return QTest::qExec(&t, argc, argv);
}

#include "TestTripLog.moc"
