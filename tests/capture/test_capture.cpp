// SPDX-License-Identifier: GPL-3.0-or-later
// Snapshot and print of the frame on screen, through the real window and engine.
#include "ScriptedPrompts.h"
#include "TestSupport.h"
#include "capture/FrameCapture.h"
#include "playback/GraphPlayer.h"
#include "records/CurrentRecord.h"
#include "shell/PlayerDlg.h"
#include "skin/BitmapButton.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList leftovers() {
    return QDir(QDir::tempPath()).entryList({QStringLiteral("player-frame-*")}, QDir::Files);
}

CBitmapButton* button(CPlayerDlg& w, int id) {
    return qobject_cast<CBitmapButton*>(w.GetDlgItem(id));
}

} // namespace

class TestCapture : public QObject {
    Q_OBJECT

    std::unique_ptr<CPlayerDlg> m_window;

    CPlayerDlg& playing() {
        m_window = std::make_unique<CPlayerDlg>();
        m_window->show();
        CurrentRecord.folder = QDir(qEnvironmentVariable("PLAYER_TEST_CARD")).absolutePath() + "/";
        CurrentRecord.fileName = QStringLiteral("0001.asf");
        m_window->OnOpenRecord();
        waitFor([&] { return m_window->Player()->FramesDelivered() > 3; });
        return *m_window;
    }

private Q_SLOTS:
    void cleanup() { m_window.reset(); }

    void snapshotSavesTheFrameAndResumes() {
        ScriptedPrompts prompts;
        QTemporaryDir dir;
        CPlayerDlg& w = playing();
        const QString target = dir.filePath(QStringLiteral("shot.bmp"));
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older picture");
        old.close();
        prompts.saveAnswers.push_back(target);
        const QStringList before = leftovers();

        w.OnSnapshot();
        QCOMPARE(prompts.saveFilters, QStringList{QStringLiteral("BMP File (*.bmp)")});
        QCOMPARE(prompts.saveSuffixes, QStringList{QStringLiteral("bmp")});
        QVERIFY(prompts.messages.isEmpty());
        QVERIFY(waitFor([&] { return w.Player()->InRunningState(); })); // resumed
        QCOMPARE(leftovers(), before);

        QImage saved(target, "BMP");
        QCOMPARE(saved.size(), QSize(640, 480));
        // The file holds exactly the picture the engine reports (header + block).
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.left(2), QByteArray("BM"));
        QCOMPARE(bytes.size(), 14 + 40 + 640 * 480 * 3);
    }

    void pausedStaysPausedAndCancelLeavesNothing() {
        ScriptedPrompts prompts;
        CPlayerDlg& w = playing();
        w.OnPause();
        QVERIFY(waitFor([&] { return w.Player()->InPausedState(); }));
        const QStringList before = leftovers();
        w.OnSnapshot(); // no answer queued: the user cancels
        QCOMPARE(prompts.saveFilters.size(), 1);
        QTest::qWait(200);
        QVERIFY(w.Player()->InPausedState());
        QCOMPARE(leftovers(), before);
        QVERIFY(prompts.messages.isEmpty());
    }

    void unwritableTargetIsReported() {
        ScriptedPrompts prompts;
        QTemporaryDir dir;
        CPlayerDlg& w = playing();
        prompts.saveAnswers.push_back(dir.filePath(QStringLiteral("no/such/folder/shot.bmp")));
        w.OnSnapshot();
        QCOMPARE(prompts.messages, QStringList{QStringLiteral("Save Failed!")});
        // A folder standing where the file should go is not replaced either.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken.bmp")));
        prompts.saveAnswers.push_back(dir.filePath(QStringLiteral("taken.bmp")));
        w.OnSnapshot();
        QCOMPARE(prompts.messages.size(), 2);
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("taken.bmp"))).isDir());
    }

    void printsTheWholeFrameOnOnePage() {
        ScriptedPrompts prompts;
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
        QString docName;
        prompts.printerAnswers.push_back([&](QPrinter& printer) {
            docName = printer.docName();
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        });
        CPlayerDlg& w = playing();
        w.OnPrint();
        QCOMPARE(prompts.printerRequests, 1);
        QCOMPARE(docName, QStringLiteral("Print Window"));
        QVERIFY(prompts.messages.isEmpty());
        QVERIFY(w.Player()->InPausedState()); // printing leaves it paused
        QVERIFY(button(w, 1006)->GetState());
        QVERIFY(!button(w, 1007)->GetState());

        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") +
                     bytes.count("/Type /Page "),
                 qsizetype(1));
        QVERIFY(bytes.contains("/Subtype /Image"));
        QVERIFY(bytes.contains("/Width 640"));
        QVERIFY(bytes.contains("/Height 480"));
    }

    void printLayoutKeepsTheWholePicture() {
        // 640 x 480 on a portrait page: full width, aspect kept, nothing cropped.
        QCOMPARE(FrameCapture::PrintRect({640, 480}, {0, 0, 4800, 6600}), QRect(0, 0, 4800, 3600));
        // 720 x 576 is no longer cut to its top-left 640 x 480 part.
        QCOMPARE(FrameCapture::PrintRect({720, 576}, {0, 0, 4800, 6600}), QRect(0, 0, 4800, 3840));
        // A wide picture on a landscape page is bounded by the height.
        QCOMPARE(FrameCapture::PrintRect({1280, 720}, {0, 0, 6600, 3000}), QRect(0, 0, 5333, 3000));
        QVERIFY(FrameCapture::PrintRect({0, 0}, {0, 0, 100, 100}).isNull());
    }

    void cancelledPrintLeavesThePauseLook() {
        ScriptedPrompts prompts; // no printer answer: cancelled
        CPlayerDlg& w = playing();
        const QStringList before = leftovers();
        w.OnPrint();
        QCOMPARE(prompts.printerRequests, 1);
        QVERIFY(w.Player()->InPausedState());
        QVERIFY(button(w, 1006)->GetState());
        QVERIFY(!button(w, 1007)->GetState());
        QCOMPARE(leftovers(), before);
    }

    // The frame file cannot be created (the temporary folder takes no file): both commands say
    // so and end there, the video left paused.
    void frameFileThatCannotBeCreated() {
        ScriptedPrompts prompts;
        QTemporaryDir saves;
        const QString target = saves.filePath(QStringLiteral("never.bmp"));
        prompts.saveAnswers.push_back(target);
        prompts.printerAnswers.push_back([](QPrinter&) { return true; });
        CPlayerDlg& w = playing();
        QVERIFY(w.Player()->InRunningState());
        const QByteArray tmp = qgetenv("TMPDIR");
        // A file where the folder should be: nothing can be created in it, not even by root.
        QTemporaryDir dir;
        QFile notAFolder(dir.filePath(QStringLiteral("tmp")));
        QVERIFY(notAFolder.open(QIODevice::WriteOnly));
        notAFolder.close();
        qputenv("TMPDIR", QFile::encodeName(notAFolder.fileName()));
        QCOMPARE(QDir::tempPath(), notAFolder.fileName());
        w.OnSnapshot();
        const QStringList afterSnapshot = prompts.messages;
        QTest::qWait(300);
        const bool pausedAfterSnapshot = w.Player()->InPausedState();
        w.OnPlay();
        QVERIFY(waitFor([&] { return w.Player()->InRunningState(); }));
        w.OnPrint();
        qputenv("TMPDIR", tmp);
        if (tmp.isNull())
            qunsetenv("TMPDIR");

        QCOMPARE(afterSnapshot.size(), 1);
        QVERIFY(pausedAfterSnapshot);
        QCOMPARE(prompts.saveFilters.size(), 0); // no save dialog after the failure
        QCOMPARE(prompts.messages.size(), 2);
        QCOMPARE(prompts.printerRequests, 0);
        QVERIFY(w.Player()->InPausedState());
        QVERIFY(button(w, 1006)->GetState());
        QVERIFY(!QFile::exists(target));
    }

    // A printer that cannot start the document.
    void printThatFailsToStart() {
        ScriptedPrompts prompts;
        QTemporaryDir dir;
        prompts.printerAnswers.push_back([&](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(dir.filePath(QStringLiteral("no/such/folder/page.pdf")));
            return true;
        });
        CPlayerDlg& w = playing();
        w.OnPrint();
        QCOMPARE(prompts.printerRequests, 1);
        QCOMPARE(prompts.messages, QStringList{QStringLiteral("Print Failed!")});
        QVERIFY(w.Player()->InPausedState());
    }

    // With no printer on the machine the dialog's PDF entry, named after the recording, is the
    // choice: the page that poppler reads back shows the frame.
    void printsToAPdfBesideTheRecording() {
        ScriptedPrompts prompts;
        QTemporaryDir dir;
        QVERIFY(QFile::copy(cardFile("0003.asf"), dir.filePath("0003.asf")));
        QPageLayout layout;
        QString offered;
        prompts.printerAnswers.push_back([&](QPrinter& printer) {
            offered = printer.outputFileName();
            layout = printer.pageLayout();
            return true; // Print pressed on what the dialog offered
        });
        m_window = std::make_unique<CPlayerDlg>();
        CurrentRecord.folder = dir.path() + "/";
        CurrentRecord.fileName = QStringLiteral("0003.asf");
        m_window->OnOpenRecord();
        QVERIFY(waitFor([&] { return m_window->Player()->FramesDelivered() > 3; }));
        m_window->OnPrint();
        const QString pdf = dir.filePath("0003.pdf");
        QCOMPARE(offered, pdf);
        QVERIFY(prompts.messages.isEmpty());
        QVERIFY(m_window->Player()->SaveFrameBitmap(dir.filePath("frame.bmp"))); // still paused
        const QImage frame(dir.filePath("frame.bmp"), "BMP");

        // poppler renders each page to page-N.png, at 72 dpi: a pixel per point.
        QCOMPARE(QProcess::execute("pdftoppm", {"-r", "72", "-png", pdf, dir.filePath("page")}), 0);
        QCOMPARE(QDir(dir.path()).entryList({"page-*.png"}), QStringList{"page-1.png"});
        const QRect paint = layout.paintRect(QPageLayout::Point).toRect();
        const QSize small(32, 24); // both pictures brought down: mean difference of grey levels
        const QImage a = QImage(dir.filePath("page-1.png"))
                             .copy(FrameCapture::PrintRect(frame.size(), paint))
                             .scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage b = frame.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        double difference = 0;
        for (int i = 0; i < small.width() * small.height(); ++i)
            difference += qAbs(qGray(a.pixel(i % 32, i / 32)) - qGray(b.pixel(i % 32, i / 32)));
        difference /= small.width() * small.height();
        QVERIFY2(difference < 12, qPrintable(QString::number(difference)));
    }

    void nothingWithoutARecording() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.OnSnapshot();
        w.OnPrint();
        QVERIFY(prompts.saveFilters.isEmpty());
        QCOMPARE(prompts.printerRequests, 0);
        QVERIFY(prompts.messages.isEmpty());
    }
};

QTEST_MAIN(TestCapture)
#include "test_capture.moc"
