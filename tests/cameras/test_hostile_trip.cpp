// SPDX-License-Identifier: GPL-3.0-or-later
// Other recorders' files as a failing card leaves them, made from the demo card's: cut short at
// many points, box sizes and table counts that claim the impossible, offsets past the end, an
// index that points back into itself, NMEA with broken checksums, garbage and endless lines,
// side files and whole recordings preallocated to 64 MB or 4 GB and more (holes read as zeros).
// Every read must end soon, read no more than the readers' scan limit, stay in bounded memory,
// say when it read nothing, and give only positions the intact file holds (ExifTool's reading
// of it, gpsbabel's of NMEA) in their order; never one at 0,0.
#include "RunProgram.h"
#include "TestSupport.h"
#include "democard/CameraCard.h"
#include "formats/Mp4Boxes.h"
#include "trip/TripReader.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>

namespace {

struct Patch {
    qint64 at = 0;
    QByteArray bytes;
    bool insert = false; // else overwrite (left out where the file was cut before it)
};

// What the card did to a file: cut it, overwrote or inserted bytes, then left it longer with a
// hole (preallocated, its tail never written).
struct Damage {
    qint64 cut = -1;
    QList<Patch> patches;
    qint64 size = 0;
};

} // namespace
Q_DECLARE_METATYPE(Damage)

namespace {

constexpr qint64 kMiB = 1 << 20;
constexpr qint64 kHuge = (qint64(9) << 29) + 3; // 4.5 GB and a bit

template <typename T> QByteArray be(T v) {
    QByteArray b(sizeof v, 0);
    qToBigEndian(v, b.data());
    return b;
}

Damage patched(const QList<Patch>& patches) {
    return {-1, patches, 0};
}

// A field of /proc/self/status (kB) or /proc/self/io (bytes).
qint64 procField(const char* file, const QByteArray& key) {
    QFile f(QString::fromLatin1(file));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').first().toLongLong();
    return -1;
}

double metres(const QPointF& a, const QPointF& b) {
    constexpr double kEarth = 6371000, kRad = M_PI / 180;
    const double x = (b.y() - a.y()) * kRad * std::cos((a.x() + b.x()) / 2 * kRad);
    return std::hypot(x, (b.x() - a.x()) * kRad) * kEarth;
}

// The fixes ExifTool decodes from an MP4 file, in the order it prints them (latitude, longitude).
QList<QPointF> exifFixes(const QString& file) {
    QProcessEnvironment utc;
    utc.insert("TZ", "UTC");
    const Ran r =
        run("exiftool", {"-ee", "-n", "-G3", "-a", "-s", "-api", "QuickTimeUTC", file}, {}, utc);
    QList<QPointF> fixes;
    for (const QByteArray& line : r.out.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (line.startsWith("[Doc") && f.size() == 4 && f[1] == "GPSLatitude")
            fixes << QPointF(f[3].toDouble(), 0);
        else if (line.startsWith("[Doc") && f.size() == 4 && f[1] == "GPSLongitude")
            fixes.last().setY(f[3].toDouble());
    }
    return fixes;
}

QList<QPointF> gpsbabelFixes(const QString& nmea) {
    const Ran r = run("gpsbabel", {"-t", "-i", "nmea", "-f", nmea, "-o", "unicsv", "-F", "-"});
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    const QList<QByteArray> header = lines.value(0).trimmed().split(',');
    const qsizetype lat = header.indexOf("Latitude"), lon = header.indexOf("Longitude");
    QList<QPointF> fixes;
    for (qsizetype i = 1; lat >= 0 && lon >= 0 && i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].trimmed().split(',');
        fixes << QPointF(f.value(lat).toDouble(), f.value(lon).toDouble());
    }
    return fixes;
}

// Where the box at `path` begins in `b` ("moov/trak.2/mdia": the third trak), or -1; our own
// walk of the intact file, to know where to damage it.
qint64 boxAt(const QByteArray& b, const QString& path) {
    qint64 from = 0, to = b.size(), at = -1;
    for (const QString& step : path.split('/')) {
        const QByteArray type = step.left(4).toLatin1();
        int nth = step.size() > 5 ? step.mid(5).toInt() : 0;
        at = -1;
        for (qint64 p = from; p + 8 <= to && at < 0;) {
            const qint64 size = qFromBigEndian<quint32>(b.constData() + p);
            if (b.mid(p + 4, 4) == type && nth-- == 0)
                at = p;
            if (size < 8)
                break;
            p += size;
        }
        if (at < 0)
            return -1;
        from = at + 8;
        to = at + qFromBigEndian<quint32>(b.constData() + at);
    }
    return at;
}

quint32 sizeAt(const QByteArray& b, qint64 at) {
    return qFromBigEndian<quint32>(b.constData() + at);
}

// Every box start under `from` (containers opened), to cut the file there.
void boxStarts(const QByteArray& b, qint64 from, qint64 to, QList<qint64>& starts) {
    static const QList<QByteArray> containers = {"moov", "trak", "mdia", "minf", "stbl"};
    for (qint64 p = from; p + 8 <= to && sizeAt(b, p) >= 8; p += sizeAt(b, p)) {
        starts << p;
        if (containers.contains(b.mid(p + 4, 4)))
            boxStarts(b, p + 8, p + sizeAt(b, p), starts);
    }
}

// The same bytes written over `field` bytes after every `key` from `from` on.
QList<Patch> atEach(const QByteArray& b, qint64 from, const QByteArray& key, int field,
                    const QByteArray& bytes) {
    QList<Patch> patches;
    for (qint64 i = b.indexOf(key, from); i >= 0; i = b.indexOf(key, i + 1))
        patches << Patch{i + field, bytes};
    return patches;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Layout {
    QString name;                     // of the recording
    QByteArray bytes;                 // its bytes
    QMap<QString, QByteArray> beside; // files beside it, by extension
    QList<QPointF> fixes;             // the intact layout's, as an independent reader gives them
};

} // namespace

class TestHostileTrip : public QObject {
    Q_OBJECT

    QMap<QString, Layout> m_layouts;
    qint64 m_startHwm = 0;

    // Rows for one layout: `target` is the extension of the file beside that is damaged (empty:
    // the recording).
    void row(const char* layout, const QString& label, const Damage& d, int fixes = -1,
             bool noIndex = false, const QString& target = {}) {
        QTest::addRow("%s %s", layout, qPrintable(label))
            << QString(layout) << target << d << fixes << noIndex;
    }

    // Cut at every box (inside its header, halfway), at the last byte and at `extra`.
    void cuts(const char* layout, QList<qint64> extra) {
        const QByteArray& b = m_layouts[layout].bytes;
        const qint64 mdat = boxAt(b, "mdat"), moov = boxAt(b, "moov");
        QList<qint64> starts;
        boxStarts(b, 0, b.size(), starts);
        for (const qint64 s : starts)
            extra << s + 6 << s + sizeAt(b, s) / 2;
        extra << b.size() - 1;
        std::sort(extra.begin(), extra.end());
        extra.erase(std::unique(extra.begin(), extra.end()), extra.end());
        for (const qint64 cut : extra)
            if (cut > 0 && cut < b.size())
                row(layout, QStringLiteral("cut at %1").arg(cut), {cut, {}, 0}, -1,
                    cut >= mdat + 8 && cut < moov + 8);
    }

    // Sizes no box can have, for the box at `box`.
    void sizes(const char* layout, const QString& name, qint64 box) {
        const QByteArray& b = m_layouts[layout].bytes;
        const QByteArray type = b.mid(box + 4, 4);
        for (const quint32 v : {0u, 1u, 7u, 0xFFFFFFFFu, quint32(b.size() + 1)})
            row(layout, QStringLiteral("%1 size %2").arg(name).arg(v), patched({{box, be(v)}}));
        row(layout, name + " size 2^63", patched({{box, be(1u) + type + be(quint64(1) << 63)}}));
    }

private Q_SLOTS:
    void initTestCase() {
        m_startHwm = procField("/proc/self/status", "VmHWM");
        for (const democard::CameraRecording& c : democard::cameraRecordings()) {
            static const char* const names[] = {"", "novatek", "freebox", "gpmf", "gpsbox", "nmea"};
            const char* name = names[int(c.layout)];
            if (!*name || m_layouts.contains(name))
                continue;
            Layout& l = m_layouts[name];
            const QString video = cardFile("cameras/" + c.path);
            l.name = QFileInfo(video).fileName();
            l.bytes = readAll(video);
            if (c.layout == democard::TripLayout::NmeaBeside) {
                l.beside["NMEA"] = readAll(democard::nmeaName(video));
                l.fixes = gpsbabelFixes(democard::nmeaName(video));
            } else {
                l.fixes = exifFixes(video);
            }
            QVERIFY2(l.fixes.size() >= 10 && !l.bytes.isEmpty(), name);
            if (c.layout == democard::TripLayout::FreeBoxNmea) {
                // Older firmware: the free box's NMEA and G records beside the plain video.
                Layout& side = m_layouts["sidegps"];
                side = {l.name, readAll(cardFile("cameras/.base/" + l.name)), {}, l.fixes};
                for (const char* ext : {"gps", "3gf"}) {
                    const qint64 box = boxAt(l.bytes, QStringLiteral("free.1/%1 ").arg(ext));
                    QVERIFY(box > 0);
                    side.beside[ext] = l.bytes.mid(box + 8, sizeAt(l.bytes, box) - 8);
                }
            }
        }
        QCOMPARE(m_layouts.size(), 6);
    }

    void read_data() {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("target");
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<int>("fixes"); // how many must still read; -1: any
        QTest::addColumn<bool>("noIndex");
        for (const char* layout : {"novatek", "freebox", "gpmf", "gpsbox"}) {
            const QByteArray& b = m_layouts[layout].bytes;
            row(layout, "intact", {}, int(m_layouts[layout].fixes.size()));
            row(layout, "preallocated to 4.5 GB", {-1, {}, kHuge},
                int(m_layouts[layout].fixes.size()));
            sizes(layout, "moov", boxAt(b, "moov"));
            sizes(layout, "mdat", boxAt(b, "mdat"));
        }

        // Novatek: the blocks after moov, indexed from moov/gps.
        const QByteArray& nb = m_layouts["novatek"].bytes;
        const qint64 first = nb.indexOf("freeGPS ") - 4, last = nb.lastIndexOf("freeGPS ") - 4;
        const qint64 index = boxAt(nb, "moov/gps "), count = sizeAt(nb, index + 12);
        QList<qint64> inBlocks;
        for (const qint64 block : {first, last})
            for (const int k : {4, 12, 44, 60, 75, 76})
                inBlocks << block + k;
        cuts("novatek", inBlocks);
        sizes("novatek", "first block", first);
        sizes("novatek", "index", index);
        row("novatek", "index count 2^32-1", patched({{index + 12, be(0xFFFFFFFFu)}}));
        const auto everyEntry = [&](quint32 offset) {
            QList<Patch> p;
            for (qint64 i = 0; i < count; ++i)
                p << Patch{index + 16 + 8 * i, be(offset)};
            return patched(p);
        };
        row("novatek", "index offsets past the end", everyEntry(0xFFFFFFF0));
        row("novatek", "index offsets at moov", everyEntry(quint32(boxAt(nb, "moov"))));
        row("novatek", "index offsets at the index", everyEntry(quint32(index)));
        row("novatek", "last index offset at the last bytes",
            patched({{index + 16 + 8 * (count - 1), be(quint32(nb.size() - 12))}}), int(count - 1));
        // No index and moov to the file's end: found by the scan, which must stop at its limit.
        const Damage lost{-1, {{boxAt(nb, "moov"), be(0u)}, {index + 12, be(0u)}}, kHuge};
        row("novatek", "scanned, preallocated to 4.5 GB", lost, int(count));
        row("novatek", "header only, preallocated to 4.5 GB",
            {56, {{40, be(1u) + "mdat" + be(quint64(kHuge - 40))}}, kHuge}, -1, true);

        // The free box of NMEA and G records, after moov.
        const QByteArray& fb = m_layouts["freebox"].bytes;
        cuts("freebox", {});
        sizes("freebox", "free box", boxAt(fb, "free.1"));
        for (const char* child : {"free.1/sttm", "free.1/gps ", "free.1/3gf "})
            sizes("freebox", child, boxAt(fb, child));

        // GPMF: the gpmd track's tables, and its samples in the last mdat.
        const QByteArray& gb = m_layouts["gpmf"].bytes;
        const QString stbl = "moov/trak.2/mdia/minf/stbl/";
        const qint64 stsz = boxAt(gb, stbl + "stsz"), stco = boxAt(gb, stbl + "stco"),
                     stsc = boxAt(gb, stbl + "stsc"), stts = boxAt(gb, stbl + "stts"),
                     media = boxAt(gb, "mdat.1");
        QVERIFY(stsz > 0 && stco > 0 && stsc > 0 && stts > 0 && media > 0);
        cuts("gpmf", {media + 8, media + 20, media + 40, media + 100});
        for (const char* table : {"stsd", "stsz", "stco", "stsc", "stts"})
            sizes("gpmf", table, boxAt(gb, stbl + table));
        sizes("gpmf", "samples' mdat", media);
        const QByteArray most = be(0xFFFFFFFFu);
        const QList<QPair<const char*, QList<Patch>>> tables = {
            {"stsz count", {{stsz + 16, most}}},
            {"stsz one size for all", {{stsz + 12, most}}},
            {"stco count", {{stco + 12, most}}},
            {"stco offset past the end", {{stco + 16, most}}},
            {"stco read as co64", {{stco + 4, "co64"}}},
            {"stsc count", {{stsc + 12, most}}},
            {"stsc samples per chunk", {{stsc + 20, most}}},
            {"stts count", {{stts + 12, most}}},
            {"stts first run", {{stts + 16, most}}},
            {"stco count, stsc from the last chunk", {{stco + 12, most}, {stsc + 16, most}}},
            {"every count at its most, 4 MB samples",
             {{stsz + 12, be(4u << 20)},
              {stsz + 16, most},
              {stco + 12, most},
              {stsc + 20, be(1u)}}},
        };
        for (const auto& [label, patches] : tables)
            row("gpmf", label, patched(patches));
        for (const char* key : {"DEVC", "STRM", "GPS5", "ACCL", "SCAL"}) {
            row("gpmf", QStringLiteral("%1 repeat 65535").arg(key),
                patched(atEach(gb, media, key, 6, "\xFF\xFF")));
            row("gpmf", QStringLiteral("%1 structure size 0").arg(key),
                patched(atEach(gb, media, key, 5, QByteArray(1, 0))));
        }
        row("gpmf", "SCAL zero", patched(atEach(gb, media, "SCAL", 8, QByteArray(20, 0))));

        // The GPS box of 36-byte records, after moov.
        const QByteArray& sb = m_layouts["gpsbox"].bytes;
        const qint64 box = boxAt(sb, "GPS ");
        cuts("gpsbox", {box + 8 + 35, box + 8 + 36, box + 8 + 37});
        sizes("gpsbox", "GPS box", box);

        // NMEA beside the video, and the free box's NMEA and G records beside it.
        const QByteArray text = m_layouts["nmea"].beside["NMEA"];
        const int lines = int(text.count('\n'));
        const auto nmea = [&](const QString& label, const Damage& d, int fixes = -1) {
            row("nmea", label, d, fixes, false, "NMEA");
        };
        nmea("intact", {}, lines);
        for (const qint64 cut : {qint64(1), qint64(40), text.size() / 2, text.size() - 2})
            nmea(QStringLiteral("cut at %1").arg(cut), {cut, {}, 0});
        QList<Patch> digits, stars, ends;
        for (qint64 i = text.indexOf("$GP"), n = 0; i >= 0; i = text.indexOf("$GP", i + 1), ++n)
            if (n % 3 == 0)
                digits << Patch{i + 22, text.at(i + 22) == '1' ? "2" : "1"}; // latitude's minutes
        for (qint64 i = text.indexOf('*'); i >= 0; i = text.indexOf('*', i + 1))
            stars << Patch{i + 1, "ZZ"};
        for (qint64 i = text.indexOf("\r\n"); i >= 0; i = text.indexOf("\r\n", i + 1))
            ends << Patch{i, "  "};
        nmea("every third position changed, checksum kept", patched(digits),
             lines - int(digits.size()));
        nmea("checksums unreadable", patched(stars), 0);
        // Sentences run together on one line: its one-byte sum happens to match; its length not.
        nmea("line ends lost", patched(ends), 0);
        QByteArray noise(4096, 0);
        QRandomGenerator random(7);
        random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        const qint64 middle = text.indexOf("\r\n", text.size() / 2) + 2;
        nmea("binary garbage inside", patched({{middle, noise, true}}));
        // The line after the zeros starts with them: no sentence.
        nmea("a cluster of zeros inside", patched({{middle, QByteArray(65536, 0), true}}),
             lines - 1);
        nmea("a megabyte-long line", patched({{middle, QByteArray(kMiB, ','), true}}), lines - 1);
        nmea("preallocated to 80 MB", {-1, {}, 80 * kMiB}, lines);
        const Layout& side = m_layouts["sidegps"];
        const int all = int(side.fixes.size());
        row("sidegps", "intact", {}, all);
        row("sidegps", "gps cut", {side.beside["gps"].size() / 2, {}, 0}, -1, false, "gps");
        row("sidegps", "gps preallocated to 80 MB", {-1, {}, 80 * kMiB}, all, false, "gps");
        row("sidegps", "3gf cut inside a record", {side.beside["3gf"].size() - 5, {}, 0}, all,
            false, "3gf");
        row("sidegps", "3gf preallocated to 80 MB", {-1, {}, 80 * kMiB}, all, false, "3gf");
        row("sidegps", "3gf binary garbage", patched({{0, noise, true}}), all, false, "3gf");
    }

    void read() {
        QFETCH(QString, layout);
        QFETCH(QString, target);
        QFETCH(Damage, damage);
        QFETCH(int, fixes);
        QFETCH(bool, noIndex);
        const Layout& l = m_layouts[layout];
        QTemporaryDir dir;
        const QString video = dir.filePath(l.name);
        const auto write = [&](const QString& path, QByteArray bytes, bool damaged) {
            if (damaged && damage.cut >= 0)
                bytes.truncate(damage.cut);
            for (const Patch& p : damaged ? damage.patches : QList<Patch>())
                if (p.insert)
                    bytes.insert(p.at, p.bytes);
                else if (p.at + p.bytes.size() <= bytes.size())
                    bytes.replace(p.at, p.bytes.size(), p.bytes);
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
            QVERIFY(!damaged || !damage.size || out.resize(damage.size));
        };
        write(video, l.bytes, target.isEmpty());
        for (auto it = l.beside.begin(); it != l.beside.end(); ++it)
            write(video.left(video.lastIndexOf('.') + 1) + it.key(), it.value(),
                  it.key() == target);
        if (QTest::currentTestFailed())
            return;

        const qint64 readBefore = procField("/proc/self/io", "rchar");
        QElapsedTimer clock;
        clock.start();
        TripTrack track;
        QString error;
        const bool ok = TripReaders::Read(video, 0, track, &error);
        const qint64 readMs = clock.restart();
        const QString missing = Mp4::MissingIndex(video);
        const qint64 indexMs = clock.elapsed();
        const qint64 read = procField("/proc/self/io", "rchar") - readBefore;
        QVERIFY2(readMs < 5000 && indexMs < 5000, qPrintable(QString::number(readMs)));
        // The scan's limit, not the whole of a 4.5 GB file.
        QVERIFY2(read < (qint64(2) << 30) + 64 * kMiB, qPrintable(QString::number(read)));
        if (noIndex)
            QVERIFY(!missing.isEmpty());
        if (!ok)
            QVERIFY(!error.isEmpty());
        else
            QVERIFY2(!track.samples.empty() || track.Skipped() > 0, "nothing read, no failure");
        // Each fix one of the intact file's, in its order.
        int found = 0;
        qsizetype next = 0;
        for (const TripSample& s : track.samples) {
            if (!s.HasFix())
                continue;
            const QPointF p(s.latitude, s.longitude);
            QVERIFY(std::isfinite(s.latitude) && std::isfinite(s.longitude));
            QVERIFY(s.latitude != 0 || s.longitude != 0);
            while (next < l.fixes.size() && metres(p, l.fixes[next]) >= 1)
                ++next;
            QVERIFY2(next++ < l.fixes.size(), qPrintable(QString::number(found++)));
        }
        if (fixes >= 0)
            QCOMPARE(found, fixes);
    }

    void cleanupTestCase() {
        // Over the whole run; freed memory the address checker holds back counts too.
#ifdef __SANITIZE_ADDRESS__ // GCC's word for the sanitizer build
        constexpr qint64 kBound = 800 << 10;
#else
        constexpr qint64 kBound = 200 << 10;
#endif
        const qint64 grown = procField("/proc/self/status", "VmHWM") - m_startHwm;
        qInfo("peak memory grew by %lld MB", grown >> 10);
        QVERIFY2(grown < kBound, qPrintable(QString::number(grown >> 10)));
    }
};

QTEST_GUILESS_MAIN(TestHostileTrip)
#include "test_hostile_trip.moc"
