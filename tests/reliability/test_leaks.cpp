// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and closing 200 recordings in a row, as a user going through a card does, half of
// them through the record list (with its preview engine) and half as the panels' open
// message does directly. After a warm-up of 20 the process may grow by less than 20 MB, and
// no graph, streaming thread or file may be left behind by a closed recording.
// PLAYER_LEAK_CYCLES changes the count (the sanitizer run, ten times slower, takes fewer).
#include "ReliabilitySupport.h"
#include "records/CurrentRecord.h"
#include "skin/SkinButton.h"

#include <QTreeWidget>
#include <malloc.h>

using namespace reliability;

namespace {

constexpr int kWarmUp = 20;
constexpr long kGrowthLimitKiB = 20 * 1024;

struct Figures {
    long rssKiB;
    long threads;
    long files;
};

Figures measure() {
    // Freed memory the allocator still holds is not a leak; give it back first.
    malloc_trim(0);
    return {procStatus("VmRSS"), procStatus("Threads"), openFileCount()};
}

} // namespace

class TestLeaks : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void openAndClose200() {
        bool ok = false;
        const int requested = qEnvironmentVariableIntValue("PLAYER_LEAK_CYCLES", &ok);
        const int cycles = ok && requested > kWarmUp ? requested : 200;
        QTemporaryDir card;
        QVERIFY(card.isValid());
        // The short recordings of the card, with and without sound or picture.
        const QStringList names = {
            "0001.asf",        "extras/A.ASF", "extras/audio-only.asf", "extras/video-only.asf",
            "extras/clip.avi", "0004.asf"};
        QVERIFY(copyFromCard(card.path(), names));
        const QString folder = card.path() + QLatin1Char('/');

        ScriptedPrompts prompts;
        CurrentRecord = CurrentRecordData();
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Watchdog watchdog(60);
        QTreeWidget* list = w.m_dlgRecordList->m_listRecords;

        Figures warm{};
        int picturesSeen = 0;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < cycles; ++i) {
            const QString name = QFileInfo(names[i % names.size()]).fileName();
            watchdog.step(QStringLiteral("cycle %1: %2").arg(i).arg(name));
            if (i % 2 == 0) {
                CurrentRecord.folder = folder;
                CurrentRecord.fileName = name;
                QVERIFY(w.OnOpenRecord());
            } else {
                // Through the list: LOAD the folder, select the row (preview), OPEN.
                prompts.openAnswers.push_back({folder + name});
                w.OnRecordTab();
                w.m_dlgRecordList->OnLoad();
                const QList<QTreeWidgetItem*> rows = list->findItems(name, Qt::MatchExactly, 1);
                if (rows.isEmpty()) { // ".avi" is not listed by LOAD: open it directly
                    CurrentRecord.folder = folder;
                    CurrentRecord.fileName = name;
                    QVERIFY(w.OnOpenRecord());
                } else {
                    list->setCurrentItem(rows.first());
                    QVERIFY(w.m_dlgRecordList->m_pPreview);
                    w.m_dlgRecordList->m_btnOpen->click();
                }
            }
            QVERIFY(w.Player());
            QVERIFY(CGraphPlayer::LiveGraphCount() <= 2);
            // Long enough for frames and a few timer ticks, not to play it through.
            QTest::qWait(120);
            if (w.Player()->FramesDelivered() > 0)
                ++picturesSeen;
            w.OnStop();
            QVERIFY(!w.Player());
            // Only the preview may still hold a graph.
            QCOMPARE(CGraphPlayer::LiveGraphCount(), w.m_dlgRecordList->m_pPreview ? 1 : 0);
            QVERIFY(prompts.messages.isEmpty());

            if (i + 1 == kWarmUp) {
                // Measured as at the end: no preview, streaming threads wound down.
                w.m_dlgRecordList->StopPreview();
                QTest::qWait(500);
                warm = measure();
            }
        }
        // The preview goes with the next selection of nothing: LOAD of an empty folder.
        QTemporaryDir empty;
        prompts.openAnswers.push_back({empty.path() + "/none.asf"});
        w.m_dlgRecordList->OnLoad();
        w.m_dlgRecordList->StopPreview();
        QCOMPARE(CGraphPlayer::LiveGraphCount(), 0);
        // Streaming threads wind down, and idle ones of GLib's shared pool end after 15 s.
        waitFor([&] { return procStatus("Threads") <= warm.threads; }, 20000);
        const Figures end = measure();

        std::printf("leaks: %d recordings opened and closed in %.1f s (%d showed a picture); "
                    "after %d: RSS %ld KiB, %ld threads, %ld files; at the end: RSS %ld KiB "
                    "(%+ld KiB), %ld threads, %ld files\n",
                    cycles, double(clock.elapsed()) / 1000.0, picturesSeen, kWarmUp, warm.rssKiB,
                    warm.threads, warm.files, end.rssKiB, end.rssKiB - warm.rssKiB, end.threads,
                    end.files);
        QVERIFY(picturesSeen > cycles / 2);
#ifdef PLAYER_UNDER_ASAN
        // The address checker keeps freed memory in quarantine: the resident size says nothing
        // here, and its leak check at exit takes over.
#else
        QVERIFY2(end.rssKiB - warm.rssKiB < kGrowthLimitKiB,
                 qPrintable(QStringLiteral("grew by %1 KiB").arg(end.rssKiB - warm.rssKiB)));
#endif
        // A leaked pipeline keeps its streaming threads and its file open.
        QVERIFY2(
            end.threads <= warm.threads + 2,
            qPrintable(
                QStringLiteral("%1 threads, %2 after warm-up").arg(end.threads).arg(warm.threads)));
        QVERIFY2(
            end.files <= warm.files,
            qPrintable(
                QStringLiteral("%1 files open, %2 after warm-up").arg(end.files).arg(warm.files)));
    }
};

RELIABILITY_TEST_MAIN(TestLeaks)
#include "test_leaks.moc"
