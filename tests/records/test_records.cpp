// SPDX-License-Identifier: GPL-3.0-or-later
// The record list and record information panels inside the real player window: listing a
// folder, previewing the selected row, opening it, and stepping through the card with
// Previous and Next; the messages of the failure paths.
#include "RunProgram.h"
#include "ScriptedPrompts.h"
#include "TestSupport.h"
#include "democard/DemoCard.h"
#include "playback/GraphPlayer.h"
#include "playback/VideoSurface.h"
#include "records/CurrentRecord.h"
#include "records/RecordInfoDlg.h"
#include "records/RecordListDlg.h"
#include "session/PlayerSession.h"
#include "shell/PlayerDlg.h"
#include "skin/SkinButton.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <clocale>

namespace {

void touch(const QString& path) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
}

QStringList column(QTreeWidget* list, int c) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(c);
    return texts;
}

int rowOf(QTreeWidget* list, const QString& name) {
    return column(list, 1).indexOf(name);
}

void clickRow(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

void doubleClickRow(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    list->scrollToItem(item);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

bool previewShowsFrame(CRecordListDlg* panel) {
    CGraphPlayer* preview = panel->m_pPreview.get();
    return preview && preview->VideoSurface() && preview->VideoSurface()->PaintedFrames() > 0 &&
           preview->VideoSurface()->parentWidget() == panel->m_stPreview;
}

// Lets the window paint what changed, so the information panel has looked at
// `CurrentRecord` again.
void settle() {
    QTest::qWait(50);
}

QString recordLine(CPlayerDlg& w) {
    return w.m_dlgRecordInfo->m_editRecord->text();
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TestRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // An MP4 the power cut before its index was written, or while it was written, is listed,
    // and selecting it says why it cannot be played, not "Open fail" alone.
    void cutMp4SaysWhy() {
        QFile whole(cardFile("cameras/.base/GX010044.MP4"));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray bytes = whole.readAll();
        const qsizetype moov = bytes.lastIndexOf("moov") - 4; // ffmpeg writes the index last
        QVERIFY(moov > 0);
        for (const qsizetype size : {bytes.size() * 6 / 10, moov + 200}) {
            ScriptedPrompts prompts;
            QTemporaryDir dir;
            QFile cut(dir.filePath("2026_0520_150000_0009F.MP4"));
            QVERIFY(cut.open(QIODevice::WriteOnly));
            cut.write(bytes.left(size));
            cut.close();
            // ffmpeg finds nothing to decode either.
            const Ran decode =
                run("ffmpeg", {"-v", "error", "-i", cut.fileName(), "-f", "null", "-"});
            QVERIFY2(decode.code != 0, decode.err.constData());
            CRecordListDlg panel;
            QCOMPARE(panel.FillCardList(dir.path()), 1);
            panel.m_listRecords->setCurrentItem(panel.m_listRecords->topLevelItem(0));
            QVERIFY(waitFor([&] { return !prompts.messages.isEmpty(); }));
            QVERIFY2(prompts.messages[0].startsWith("Open fail\n") &&
                         prompts.messages[0].contains("index (moov)"),
                     qPrintable(prompts.messages[0]));
        }
    }

    // The panels need no player window: in a bare widget, with their sibling and a session
    // handed in, Next opens the row after the current one, a row's menu holds what the
    // session's features offer, and the Event box says what they say. Without them, the menu is
    // empty and Next asks for a row.
    void panelsWithoutTheWindow() {
        ScriptedPrompts prompts;
        QWidget host;
        CRecordListDlg list(&host);
        CRecordInfoDlg info(&host);
        QCOMPARE(list.FillRecordList(cardDir(), ".asf"), 9);
        std::unique_ptr<QMenu> bare(list.CreateRowMenu(0));
        QVERIFY(bare && bare->actions().isEmpty());
        list.m_listRecords->topLevelItem(1)->setSelected(true);
        CurrentRecord.listIndex = 1;
        info.OnNext();
        QCOMPARE(prompts.messages, QStringList{"pls select file to be downloaded!"});

        CPlayerSession session(&host);
        QStringList offered;
        session.AddRowMenu([&](QMenu& menu, QWidget*, const QString& recording) {
            offered.append(recording);
            menu.addAction(QStringLiteral("Row entry"));
        });
        session.AddListMenu([](QMenu& menu, QWidget*) { menu.addAction(QStringLiteral("List")); });
        session.SetEventText([](const QString& recording) {
            return recording.endsWith(QLatin1String("0003.asf")) ? QStringLiteral("1 × 2.6 g")
                                                                 : QString();
        });
        list.SetSession(&session);
        info.SetSession(&session);
        info.SetRecordList(&list);
        std::unique_ptr<QMenu> menu(list.CreateRowMenu(2));
        QCOMPARE(offered, QStringList{cardDir() + "0003.asf"});
        QStringList texts;
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                texts.append(action->text());
        QCOMPARE(texts, (QStringList{"Row entry", "List"}));

        QSignalSpy opened(&info, &CRecordInfoDlg::openRecordRequested);
        info.OnNext();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(CurrentRecord.listIndex, 2);
        QCOMPARE(CurrentRecord.fileName, QStringLiteral("0003.asf"));
        CurrentRecord.fileName = cardDir() + "0003.asf";
        info.UpdateFromCurrentRecord();
        QCOMPARE(info.m_editEvent->text(), QStringLiteral("1 × 2.6 g"));
        CurrentRecord = CurrentRecordData{};
    }

    void initTestCase() {
        if (!QFile::exists(cardDir() + "0001.asf") || !QFile::exists(cardDir() + "extras/A.ASF"))
            QFAIL("the test card is missing; run the make_test_card fixture first");
    }

    void init() { CurrentRecord = CurrentRecordData(); }

    // Lower-cased extensions compared exactly, directories and other names skipped, the
    // folder's final "/" added once, rows in name order numbered from 0001.
    void listingEdgeCases() {
        QTemporaryDir dir;
        for (const char* name : {"b.asf", "A.ASF", "c.Asf.txt", "d.avi", "f", ".asf.bak",
                                 "名字 with space.asf", "x.mp4"})
            touch(dir.filePath(QString::fromUtf8(name)));
        QVERIFY(QDir(dir.path()).mkdir("e.asf"));

        CRecordListDlg panel;
        const int rows = panel.FillRecordList(dir.path(), ".asf");
        QCOMPARE(rows, 3);
        QCOMPARE(CurrentRecord.listCount, 3);
        QCOMPARE(CurrentRecord.folder, dir.path() + "/");
        QCOMPARE(column(panel.m_listRecords, 0), (QStringList{"  0001", "  0002", "  0003"}));
        QCOMPARE(column(panel.m_listRecords, 1),
                 (QStringList{"A.ASF", "b.asf", QString::fromUtf8("名字 with space.asf")}));
        QCOMPARE(column(panel.m_listRecords, 2), (QStringList{"", "", ""}));

        // A folder given with its "/" keeps exactly one.
        QCOMPARE(panel.FillRecordList(dir.path() + "/", ".asf"), 3);
        QCOMPARE(CurrentRecord.folder, dir.path() + "/");
        QCOMPARE(panel.m_listRecords->topLevelItemCount(), 3);

        // A folder that cannot be read, and an empty one: an empty list, silently.
        ScriptedPrompts prompts;
        QTemporaryDir empty;
        QCOMPARE(panel.FillRecordList(dir.path() + "/missing", ".asf"), 0);
        QCOMPARE(CurrentRecord.folder, dir.path() + "/missing/");
        QCOMPARE(panel.m_listRecords->topLevelItemCount(), 0);
        QCOMPARE(panel.FillRecordList(empty.path(), ".asf"), 0);
        QCOMPARE(CurrentRecord.listCount, 0);
        QVERIFY(prompts.messages.isEmpty());
    }

    // Name order ignores letter case, as on the recorder's own file system.
    void listingIgnoresLetterCase() {
        QTemporaryDir dir;
        for (const char* name : {"D4.asf", "c3.asf", "B2.asf", "a1.asf"})
            touch(dir.filePath(QString::fromLatin1(name)));
        CRecordListDlg panel;
        QCOMPARE(panel.FillRecordList(dir.path(), ".asf"), 4);
        QCOMPARE(column(panel.m_listRecords, 1),
                 (QStringList{"a1.asf", "B2.asf", "c3.asf", "D4.asf"}));
        QCOMPARE(column(panel.m_listRecords, 0),
                 (QStringList{"  0001", "  0002", "  0003", "  0004"}));
    }

    // The number column runs past four digits.
    void tenThousandRows() {
        QTemporaryDir dir;
        for (int i = 1; i <= 10000; ++i)
            touch(dir.filePath(QString::asprintf("%05d.asf", i)));
        for (int i = 0; i < 50; ++i)
            touch(dir.filePath(QString::asprintf("%05d.LOG", i)));
        CRecordListDlg panel;
        QCOMPARE(panel.FillRecordList(dir.path(), ".asf"), 10000);
        QTreeWidget* list = panel.m_listRecords;
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("  0001"));
        QCOMPARE(list->topLevelItem(9998)->text(0), QStringLiteral("  9999"));
        QCOMPARE(list->topLevelItem(9999)->text(0), QStringLiteral("  10000"));
        QCOMPARE(list->topLevelItem(9999)->text(1), QStringLiteral("10000.asf"));
        QCOMPARE(list->topLevelItem(4711)->text(1), QStringLiteral("04712.asf"));
    }

    // LOAD: the chooser's filter, the chosen file naming only its folder, cancel.
    void loadThroughChooser() {
        ScriptedPrompts prompts;
        QTemporaryDir dir;
        for (const char* name : {"A.ASF", "b.asf", "c.Asf.txt", "d.avi", "x.mp4"})
            touch(dir.filePath(QString::fromLatin1(name)));
        CPlayerDlg w;
        CRecordListDlg* panel = w.m_dlgRecordList;
        CurrentRecord.listIndex = 4;
        CurrentRecord.fileName = "kept.asf";
        CurrentRecord.numberText = "  0005";

        prompts.openAnswers.push_back({dir.filePath("x.mp4")});
        QTest::mouseClick(panel->m_btnLoad, Qt::LeftButton);
        QCOMPARE(prompts.openFilters,
                 QStringList{QString::fromUtf8("视频文件(*.asf;*.avi;*.mp4)")});
        QCOMPARE(column(panel->m_listRecords, 1), (QStringList{"A.ASF", "b.asf"}));
        QCOMPARE(CurrentRecord.folder, dir.path() + "/");
        QCOMPARE(CurrentRecord.listCount, 2);
        // Loading leaves the chosen record alone.
        QCOMPARE(CurrentRecord.listIndex, 4);
        QCOMPARE(CurrentRecord.fileName, QStringLiteral("kept.asf"));
        QCOMPARE(CurrentRecord.numberText, QStringLiteral("  0005"));

        // Cancelled: nothing changes.
        QTest::mouseClick(panel->m_btnLoad, Qt::LeftButton);
        QCOMPARE(prompts.openFilters.size(), 2);
        QCOMPARE(panel->m_listRecords->topLevelItemCount(), 2);
        QCOMPARE(CurrentRecord.folder, dir.path() + "/");
        QVERIFY(prompts.messages.isEmpty());
        QVERIFY(!w.Player());

        // A name typed in the folder is enough for LOAD. The settings chooser does not take
        // a file in a folder that is not there: it asks again (here: cancelled).
        QTemporaryDir other;
        touch(other.filePath("e.asf"));
        prompts.openAnswers.push_back({other.filePath("not-there.asf")});
        QTest::mouseClick(panel->m_btnLoad, Qt::LeftButton);
        QCOMPARE(column(panel->m_listRecords, 1), QStringList{"e.asf"});
        const QString missing = other.filePath("gone/setup.ini");
        prompts.openAnswers.push_back({missing});
        w.OnConfiguration();
        QCOMPARE(prompts.openFilters.size(), 5); // asked again after the refusal
        QVERIFY(prompts.messages.isEmpty());
        QCOMPARE(prompts.modalRuns, 0); // no settings dialog over nothing
        QVERIFY(!QFileInfo::exists(missing));
    }

    // Selecting a row previews it, paused, in the box, without opening it; the focused row
    // clicked again keeps its preview; the keyboard moves the preview along.
    void selectionPreviews() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CRecordListDlg* panel = w.m_dlgRecordList;
        QTreeWidget* list = panel->m_listRecords;
        QVERIFY(!panel->m_btnOpen->isEnabled());
        QCOMPARE(panel->FillRecordList(cardDir(), ".asf"), 9);

        clickRow(list, 2);
        QCOMPARE(CurrentRecord.listIndex, 2);
        QCOMPARE(panel->m_strPreviewPath, cardDir() + "0003.asf");
        QVERIFY(panel->m_btnOpen->isEnabled());
        QVERIFY(waitFor([&] { return previewShowsFrame(panel); }));
        QVERIFY(panel->m_pPreview->InPausedState());
        QVERIFY(!w.Player());
        QVERIFY(panel->isVisible());
        QVERIFY(CurrentRecord.fileName.isEmpty());

        // The focused row clicked again, or deselected and clicked again, keeps its preview.
        const uint32_t first = panel->m_pPreview->RotCookie();
        clickRow(list, 2);
        QCOMPARE(panel->m_pPreview->RotCookie(), first);
        const QPoint row2 = list->visualItemRect(list->topLevelItem(2)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, row2);
        QCOMPARE(panel->FirstSelectedRow(), -1);
        QTest::qWait(20);
        clickRow(list, 2);
        QCOMPARE(panel->FirstSelectedRow(), 2);
        QCOMPARE(panel->m_pPreview->RotCookie(), first);

        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(CurrentRecord.listIndex, 3);
        QCOMPARE(panel->m_strPreviewPath, cardDir() + "0004.asf");
        QVERIFY(panel->m_pPreview->RotCookie() != first);
        QVERIFY(waitFor([&] { return previewShowsFrame(panel); }));

        // Loading another folder neither stops the preview nor disables OPEN.
        const uint32_t current = panel->m_pPreview->RotCookie();
        QCOMPARE(panel->FillRecordList(cardDir() + "extras", ".asf"), 7);
        QCOMPARE(panel->m_pPreview->RotCookie(), current);
        QVERIFY(panel->m_btnOpen->isEnabled());
        QCOMPARE(CurrentRecord.listIndex, 3);
        QVERIFY(prompts.messages.isEmpty());
    }

    // Files that cannot be shown: "Open fail", and the selection still counts.
    void previewFailures() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CRecordListDlg* panel = w.m_dlgRecordList;
        QTreeWidget* list = panel->m_listRecords;
        panel->FillRecordList(cardDir() + "extras", ".asf");

        for (const char* name : {"empty.asf", "random.asf"}) {
            prompts.messages.clear();
            const int row = rowOf(list, QString::fromLatin1(name));
            QVERIFY(row >= 0);
            clickRow(list, row);
            QCOMPARE(prompts.messages, QStringList{"Open fail"});
            QCOMPARE(CurrentRecord.listIndex, row);
            QVERIFY(panel->m_btnOpen->isEnabled());
        }

        // Odd names preview like any other.
        prompts.messages.clear();
        clickRow(list, rowOf(list, QString::fromUtf8("名字 with space.asf")));
        QVERIFY(waitFor([&] { return previewShowsFrame(panel); }));
        QVERIFY(prompts.messages.isEmpty());
    }

    // OPEN and double click write the record and the window plays it; their messages.
    void openAndDoubleClick() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CRecordListDlg* panel = w.m_dlgRecordList;
        QTreeWidget* list = panel->m_listRecords;
        panel->FillRecordList(cardDir(), ".asf");

        panel->m_btnOpen->setEnabled(true);
        QTest::mouseClick(panel->m_btnOpen, Qt::LeftButton);
        QCOMPARE(prompts.messages, QStringList{"pls select file to be downloaded!"});
        QVERIFY(!w.Player());
        QCOMPARE(CurrentRecord.listIndex, -1);
        QVERIFY(CurrentRecord.fileName.isEmpty());

        clickRow(list, 1);
        QTest::mouseClick(panel->m_btnOpen, Qt::LeftButton);
        QCOMPARE(CurrentRecord.listIndex, 1);
        QCOMPARE(CurrentRecord.numberText, QStringLiteral("  0002"));
        // The window has opened it before OPEN returns, and made the name a full path.
        QVERIFY(w.Player());
        QCOMPARE(CurrentRecord.fileName, cardDir() + "0002.asf");
        QVERIFY(w.m_dlgRecordInfo->isVisible());
        QVERIFY(!panel->isVisible());
        QVERIFY(waitFor([&] { return w.Player()->InRunningState(); }));

        // Double click on a row: the row under the pointer is opened.
        w.OnRecordTab();
        QTest::qWait(20);
        doubleClickRow(list, 4);
        QCOMPARE(CurrentRecord.listIndex, 4);
        QCOMPARE(CurrentRecord.numberText, QStringLiteral("  0005"));
        QCOMPARE(CurrentRecord.fileName, cardDir() + "0005.asf");
        QVERIFY(w.Player());
        QVERIFY(waitFor([&] { return w.Player()->InRunningState(); }));
        QCOMPARE(prompts.messages.size(), 1);

        // Double click below the rows.
        w.OnRecordTab();
        QTest::qWait(20);
        const CGraphPlayer* playing = w.Player();
        const QPoint below(20, list->viewport()->height() - 3);
        QVERIFY(!list->indexAt(below).isValid());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, below);
        QCOMPARE(prompts.messages.last(), QStringLiteral("Invalid Select File"));
        QCOMPARE(CurrentRecord.listIndex, -1);
        QCOMPARE(w.Player(), playing);
    }

    // Previous and Next enabling from `CurrentRecord`, refreshed lazily: the texts follow
    // on a repaint or a touch, and setting them does not keep the panel painting.
    void informationFollowsRecord() {
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.OnInformationTab();
        settle();
        CRecordInfoDlg* info = w.m_dlgRecordInfo;

        // Start: "Record: " and nothing, 0*0, both disabled.
        QCOMPARE(recordLine(w), QStringLiteral("Record: "));
        QCOMPARE(info->m_editResolution->text(), QStringLiteral("0*0"));
        QVERIFY(info->m_editEvent->text().isEmpty());
        QVERIFY(!info->m_btnPrevious->isEnabled());
        QVERIFY(!info->m_btnNext->isEnabled());

        struct Case {
            int index, count;
            bool previous, next;
        };
        const Case cases[] = {
            {-1, 5, false, false}, {0, 1, false, false}, {0, 5, false, true},
            {4, 5, true, false},   {2, 5, true, true},
        };
        for (const Case& c : cases) {
            CurrentRecord.listIndex = c.index;
            CurrentRecord.listCount = c.count;
            CurrentRecord.fileName = "/card/x.asf";
            CurrentRecord.numberText = "  0003";
            info->repaint();
            QCOMPARE(info->m_btnPrevious->isEnabled(), c.previous);
            QCOMPARE(info->m_btnNext->isEnabled(), c.next);
            QCOMPARE(recordLine(w), c.index < 0
                                        ? QStringLiteral("Record: /card/x.asf")
                                        : QStringLiteral("No.  0003   Record: /card/x.asf"));
        }

        // Nothing passes through the panel: the old texts stay.
        QTest::qWait(200);
        CurrentRecord.videoWidth = 720;
        CurrentRecord.videoHeight = 480;
        QTest::qWait(200);
        QCOMPARE(info->m_editResolution->text(), QStringLiteral("0*0"));
        // The mouse over the panel brings them up to date.
        QTest::mouseMove(info, QPoint(20, 120));
        QTRY_COMPARE(info->m_editResolution->text(), QStringLiteral("720*480"));

        // A change repaints the edit a few times, then the panel is quiet again.
        PaintCounter counter;
        info->m_editRecord->installEventFilter(&counter);
        CurrentRecord.fileName = "/card/y.asf";
        info->update();
        QTest::qWait(300);
        QCOMPARE(recordLine(w), QStringLiteral("No.  0003   Record: /card/y.asf"));
        QVERIFY2(counter.paints <= 3, qPrintable(QString::number(counter.paints)));
        const int paints = counter.paints;
        QTest::qWait(200);
        QCOMPARE(counter.paints, paints);
    }

    // The heading and the edits draw their text from the top of their boxes, as the panel's
    // controls always did, not centred a few pixels lower.
    void informationTextStartsAtTheTop() {
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.OnInformationTab();
        CurrentRecord.listIndex = 0;
        CurrentRecord.listCount = 1;
        CurrentRecord.numberText = "  0001";
        CurrentRecord.fileName = "/card/0001.asf";
        CurrentRecord.videoWidth = 1920;
        CurrentRecord.videoHeight = 1080;
        CRecordInfoDlg* info = w.m_dlgRecordInfo;
        info->repaint();
        QLabel* heading = nullptr;
        for (QLabel* label : info->findChildren<QLabel*>())
            if (label->text() == QStringLiteral("-----Current Record-----"))
                heading = label;
        QVERIFY(heading);

        const QList<QWidget*> boxes{heading, info->m_editRecord, info->m_editResolution};
        for (QWidget* box : boxes) {
            const QImage image = box->grab().toImage();
            const QRgb background = image.pixel(0, 0);
            int firstInk = -1;
            for (int y = 0; y < image.height() && firstInk < 0; ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qAbs(qGray(image.pixel(x, y)) - qGray(background)) > 60) {
                        firstInk = y;
                        break;
                    }
            // Where the tallest glyph of a line drawn at the top of the box starts.
            const QFontMetrics metrics(box->font());
            const QString text =
                box == heading ? heading->text() : static_cast<QLineEdit*>(box)->text();
            const int expected = metrics.ascent() + metrics.tightBoundingRect(text).top();
            QVERIFY2(firstInk >= 0 && qAbs(firstInk - expected) <= 1,
                     qPrintable(QString("%1: ink from row %2, top line gives %3")
                                    .arg(text)
                                    .arg(firstInk)
                                    .arg(expected)));
        }
    }

    // Through the program's own controls: OPEN on row 0, then Next and Previous.
    void previousAndNext() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CRecordListDlg* panel = w.m_dlgRecordList;
        CRecordInfoDlg* info = w.m_dlgRecordInfo;
        panel->FillRecordList(cardDir(), ".asf");

        clickRow(panel->m_listRecords, 0);
        QTest::mouseClick(panel->m_btnOpen, Qt::LeftButton);
        settle();
        QCOMPARE(recordLine(w), "No.  0001   Record: " + cardDir() + "0001.asf");
        const democard::Recording first = democard::standardRecordings().first();
        QCOMPARE(info->m_editResolution->text(),
                 QString("%1*%2").arg(first.width).arg(first.height));
        QVERIFY(!info->m_btnPrevious->isEnabled());
        QVERIFY(info->m_btnNext->isEnabled());

        QTest::mouseClick(info->m_btnNext, Qt::LeftButton);
        QCOMPARE(CurrentRecord.listIndex, 1);
        QCOMPARE(CurrentRecord.fileName, cardDir() + "0002.asf");
        QVERIFY(w.Player());
        settle();
        QCOMPARE(recordLine(w), "No.  0002   Record: " + cardDir() + "0002.asf");
        QVERIFY(info->m_btnPrevious->isEnabled());
        QVERIFY(info->m_btnNext->isEnabled());
        // The list keeps highlighting the row that was selected.
        QCOMPARE(panel->FirstSelectedRow(), 0);

        QTest::mouseClick(info->m_btnPrevious, Qt::LeftButton);
        settle();
        QCOMPARE(recordLine(w), "No.  0001   Record: " + cardDir() + "0001.asf");
        QVERIFY(!info->m_btnPrevious->isEnabled());

        // Up to the last row, where Next gives up.
        for (int i = 0; i < 8; ++i) {
            QVERIFY(info->m_btnNext->isEnabled());
            QTest::mouseClick(info->m_btnNext, Qt::LeftButton);
            settle();
        }
        QCOMPARE(CurrentRecord.listIndex, 8);
        QCOMPARE(recordLine(w), "No.  0009   Record: " + cardDir() + "0009.asf");
        QVERIFY(!info->m_btnNext->isEnabled());
        QVERIFY(info->m_btnPrevious->isEnabled());
        QVERIFY(prompts.messages.isEmpty());
    }

    // Previous / Next without a selected row, and past the end of a smaller list.
    void adjacentWithoutSelection() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CRecordListDlg* panel = w.m_dlgRecordList;
        CRecordInfoDlg* info = w.m_dlgRecordInfo;
        panel->FillRecordList(cardDir(), ".asf");
        int opened = 0;
        connect(info, &CRecordInfoDlg::openRecordRequested, this, [&] { ++opened; });

        CurrentRecord.listIndex = 2;
        CurrentRecord.fileName = "before.asf";
        info->OnNext();
        info->OnPrevious();
        QCOMPARE(prompts.messages, (QStringList{"pls select file to be downloaded!",
                                                "pls select file to be downloaded!"}));
        QCOMPARE(CurrentRecord.listIndex, 2);
        QCOMPARE(CurrentRecord.fileName, QStringLiteral("before.asf"));
        QCOMPARE(opened, 0);
        QVERIFY(!w.Player());

        // The record points at row 5 of the card, then a folder of two is loaded.
        clickRow(panel->m_listRecords, 5);
        QTemporaryDir small;
        touch(small.filePath("a.asf"));
        touch(small.filePath("b.asf"));
        panel->FillRecordList(small.path(), ".asf");
        clickRow(panel->m_listRecords, 0);
        CurrentRecord.listIndex = 5;
        info->OnNext();
        QCOMPARE(opened, 1);
        QCOMPARE(CurrentRecord.listIndex, 6);
        QVERIFY(CurrentRecord.numberText.isEmpty());
        // The window was asked to open the folder itself, and survived it.
        QCOMPARE(CurrentRecord.fileName, small.path() + "/");
    }

    // The preview's engine goes with the panel.
    void previewReleasedWithPanel() {
        const int before = CGraphPlayer::LiveGraphCount();
        {
            CPlayerDlg w;
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            w.m_dlgRecordList->FillRecordList(cardDir(), ".asf");
            clickRow(w.m_dlgRecordList->m_listRecords, 0);
            QVERIFY(waitFor([&] { return previewShowsFrame(w.m_dlgRecordList); }));
            QCOMPARE(CGraphPlayer::LiveGraphCount(), before + 1);
        }
        QCOMPARE(CGraphPlayer::LiveGraphCount(), before);
    }
};

PLAYER_WINDOW_TEST_MAIN(TestRecords)

#include "test_records.moc"
