// SPDX-License-Identifier: GPL-3.0-or-later
// Where seeks go, from the numbers alone: the start and the end of a recording, the frame the
// demuxer is sent to, and a frame back, worked by hand (times in nanoseconds).
#include "playback/SeekPlan.h"

#include <QtTest>
#include <limits>

class TestSeekPlan : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Nothing before the start; at or past the end, just before it (the last frame), and the
    // position the duration; without a known length, where asked.
    void targets() {
        constexpr int64_t second = 1000000000;
        const std::optional<int64_t> tenSeconds = 10 * second;
        SeekPlan::Target t = SeekPlan::ForSeek(-5, tenSeconds);
        QCOMPARE(t.ns, int64_t(0));
        QVERIFY(!t.atEnd);
        t = SeekPlan::ForSeek(25000000, tenSeconds); // 2.5 s in 100 ns units
        QCOMPARE(t.ns, 2500000000);
        QVERIFY(!t.atEnd);
        for (const int64_t units : {int64_t(100000000), int64_t(100000001), int64_t(200000000),
                                    std::numeric_limits<int64_t>::max()}) {
            t = SeekPlan::ForSeek(units, tenSeconds);
            QCOMPARE(t.ns, 10 * second - 1000000);
            QVERIFY(t.atEnd);
        }
        t = SeekPlan::ForSeek(99999999, tenSeconds); // a hundred nanoseconds before the end
        QCOMPARE(t.ns, 9999999900);
        QVERIFY(!t.atEnd);
        t = SeekPlan::ForSeek(std::numeric_limits<int64_t>::max(), std::nullopt);
        QCOMPARE(t.ns, std::numeric_limits<int64_t>::max());
        QVERIFY(!t.atEnd);
        t = SeekPlan::ForSeek(10000, int64_t(500000)); // a recording shorter than the lead
        QCOMPARE(t.ns, int64_t(0));
        QVERIFY(t.atEnd);
    }

    // The key frame to decode from wins; else the covering frame where it starts before the
    // target; else the target itself.
    void demuxerStart() {
        QCOMPARE(SeekPlan::DemuxerStart(4000, 3960, 2999), std::optional<int64_t>(2999));
        QCOMPARE(SeekPlan::DemuxerStart(4000, 3960, std::nullopt), std::optional<int64_t>(3960));
        QCOMPARE(SeekPlan::DemuxerStart(4000, 4000, std::nullopt), std::optional<int64_t>());
        QCOMPARE(SeekPlan::DemuxerStart(4000, std::nullopt, std::nullopt),
                 std::optional<int64_t>());
    }

    // Halfway into the frame before (25 and 15 frames a second), else 2 ms before the frame
    // on screen; never before the start.
    void frameBack() {
        QCOMPARE(SeekPlan::FrameBack(2000000000, 1960000000), int64_t(1980000000));
        QCOMPARE(SeekPlan::FrameBack(2000000000, 1933333333), int64_t(1966666666));
        QCOMPARE(SeekPlan::FrameBack(2000000000, std::nullopt), int64_t(1998000000));
        QCOMPARE(SeekPlan::FrameBack(1000000, std::nullopt), int64_t(0));
    }
};

QTEST_GUILESS_MAIN(TestSeekPlan)
#include "test_seek_plan.moc"
