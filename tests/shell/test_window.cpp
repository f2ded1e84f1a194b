// SPDX-License-Identifier: GPL-3.0-or-later
// The player window driven offscreen with real recordings: start state, the open-file
// command, opening and replacing recordings, every transport command, the timer's
// display, slider seeking and volume, and the failure paths.
#include "ScriptedPrompts.h"
#include "TestSupport.h"
#include "playback/GraphPlayer.h"
#include "records/CurrentRecord.h"
#include "records/RecordInfoDlg.h"
#include "records/RecordListDlg.h"
#include "shell/PlayerDlg.h"
#include "skin/BitmapButton.h"
#include "skin/SkinButton.h"
#include "skin/SkinSlider.h"
#include "trip/TripLog.h"
#include "ui/CellFont.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QLineEdit>
#include <QMenu>
#include <QTreeWidget>
#include <QtTest>

namespace {

class NoGraphEngine : public CGraphPlayer {
public:
    bool CreateGraph() override { return false; }
};

// The dark blue of the skin's video area.
const QColor kVideoAreaColour(8, 20, 44);

// The average character width as fonts have long defined it: the lowercase letters and the
// space, weighted by how often each occurs in text.
double averageCharWidth(const QFont& font) {
    static const int weights[] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6,  35, 20, 56,
                                  56, 17, 4,  49, 56,  71, 31, 10, 18, 3, 18, 2,  166};
    const QFontMetricsF metrics(font);
    double sum = 0;
    for (int i = 0; i < 27; ++i)
        sum += weights[i] * metrics.horizontalAdvance(i < 26 ? QChar('a' + i) : QChar(' '));
    return sum / 1000.0;
}

// The first and last pixel column where `edit` shows text.
std::pair<int, int> inkColumns(QLineEdit* edit) {
    const QImage image = edit->grab().toImage();
    const QRgb background = image.pixel(0, 0);
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (qAbs(qGray(image.pixel(x, y)) - qGray(background)) > 40) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
    return {first, last};
}

// Presses at `at` in `widget`, moves 40 pixels right and 30 down, releases.
void dragFrom(QWidget* widget, QPoint at) {
    QTest::mousePress(widget, Qt::LeftButton, {}, at);
    QTest::mouseMove(widget, at + QPoint(40, 30));
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at + QPoint(40, 30));
}

CBitmapButton* button(CPlayerDlg& w, int id) {
    return qobject_cast<CBitmapButton*>(w.GetDlgItem(id));
}

double position(CPlayerDlg& w) {
    double t = -1;
    w.Player()->GetPositionSeconds(t);
    return t;
}

void openRow(CPlayerDlg& w, const QString& name) {
    CurrentRecord.folder = cardDir();
    CurrentRecord.fileName = name;
    QVERIFY(w.OnOpenRecord());
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        CurrentRecord = CurrentRecordData();
        CPlayerDlg::ResetLastSeekPos();
    }

    void startState() {
        CPlayerDlg w;
        w.show();
        QCOMPARE(w.size(), QSize(1024, 724));
        QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(w.windowTitle(), QStringLiteral("Player"));
        // Rounded corners: the very corner pixel is outside the shape, the centre inside.
        QVERIFY(!w.mask().contains(QPoint(1, 1)));
        QVERIFY(w.mask().contains(QPoint(512, 1)));
        QVERIFY(!w.mask().contains(QPoint(1022, 722)));
        QVERIFY(w.m_dlgRecordList->isVisible());
        QVERIFY(!w.m_dlgRecordInfo->isVisible());
        QVERIFY(button(w, 1000)->GetState());
        QVERIFY(!button(w, 1001)->GetState());
        QVERIFY(!button(w, 1001)->isEnabled());
        QVERIFY(!w.m_dlgRecordList->m_btnOpen->isEnabled());
        QVERIFY(!w.m_sliderSeek->isVisible());
        QVERIFY(w.m_stcVideo->isVisible());
        QVERIFY(w.m_stcChart->isVisible());
        QCOMPARE(w.m_sliderVolume->GetPos(), 500);
        QCOMPARE(w.m_editSpeed->text(), QStringLiteral("0"));
        QVERIFY(w.m_editTime->text().isEmpty());
        QVERIFY(!w.TimerRunning());
        QVERIFY(!w.Player());
        QCOMPARE(w.GetDlgItem(1004)->toolTip(), QStringLiteral("Backward 3s (Shift+Left)"));
        QCOMPARE(w.GetDlgItem(1008)->toolTip(), QStringLiteral("Forward 3s (Shift+Right)"));
        QCOMPARE(w.GetDlgItem(1015)->toolTip(), QStringLiteral("Config"));
        // Controls sit at their dialog-unit places, 1.5 pixels a unit.
        QCOMPARE(w.GetDlgItem(1020)->geometry(), QRect(45, 57, 618, 395));
        QCOMPARE(w.GetDlgItem(1002)->pos(), QPoint(129, 650));
        QCOMPARE(w.GetDlgItem(1010)->pos().y(), 650);

        // Transport without a recording does nothing.
        for (int id = 1002; id <= 1010; ++id)
            button(w, id)->click();
        QVERIFY(!w.Player());
        QVERIFY(!w.TimerRunning());
        QVERIFY(!button(w, 1007)->GetState());
        QVERIFY(!button(w, 1006)->GetState());

        // Clicking the record tab while it shows changes nothing.
        button(w, 1000)->click();
        QVERIFY(w.m_dlgRecordList->isVisible());
        QVERIFY(button(w, 1000)->GetState());
    }

    void openFileListsRows() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        QTreeWidget* list = w.m_dlgRecordList->m_listRecords;
        prompts.openAnswers.push_back({cardDir() + "0002.asf"});
        w.OnOpenFile();
        QCOMPARE(prompts.openFilters, QStringList{QStringLiteral("asf File (*.asf)")});
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("  0001"));
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("0002.asf"));
        QCOMPARE(CurrentRecord.listCount, 1);
        QCOMPARE(CurrentRecord.folder, cardDir());

        prompts.openAnswers.push_back(
            {cardDir() + "0003.asf", cardDir() + "0001.asf", cardDir() + "0005.asf"});
        w.OnOpenFile();
        QCOMPARE(list->topLevelItemCount(), 3);
        const QStringList numbers{"  0001", "  0002", "  0003"};
        const QStringList names{"0003.asf", "0001.asf", "0005.asf"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(list->topLevelItem(i)->text(0), numbers[i]);
            QCOMPARE(list->topLevelItem(i)->text(1), names[i]);
            QVERIFY(list->topLevelItem(i)->text(2).isEmpty());
        }
        QCOMPARE(CurrentRecord.listCount, 3);

        w.OnOpenFile(); // cancelled: nothing changes
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(CurrentRecord.listCount, 3);
        QVERIFY(!w.Player());
    }

    void opensPlaysAndReplaces() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        openRow(w, QStringLiteral("0001.asf"));
        QVERIFY(w.TimerRunning());
        QVERIFY(w.m_dlgRecordInfo->isVisible());
        QVERIFY(!w.m_dlgRecordList->isVisible());
        QVERIFY(button(w, 1001)->isEnabled());
        QVERIFY(button(w, 1001)->GetState());
        QVERIFY(!button(w, 1000)->GetState());
        QVERIFY(button(w, 1007)->GetState());
        QVERIFY(!button(w, 1006)->GetState());
        QVERIFY(w.m_sliderSeek->isVisible());
        QCOMPARE(CurrentRecord.fileName, cardDir() + "0001.asf");
        QCOMPARE(CurrentRecord.videoWidth, 640u);
        QCOMPARE(CurrentRecord.videoHeight, 480u);
        QVERIFY(w.Player()->InRunningState());

        // The display follows the video.
        QVERIFY(waitFor([&] { return w.m_editTime->text().startsWith("00:00:01/"); }));
        QVERIFY(w.m_editTime->text().endsWith("/00:00:10"));
        QVERIFY(w.m_sliderSeek->GetPos() >= 100);
        QCOMPARE(CPlayerDlg::LastSeekPos(), w.m_sliderSeek->GetPos());

        // The trip log beside the recording feeds the chart and the speed box.
        const bool speedShown =
            waitFor([&] { return w.m_editSpeed->text() != QStringLiteral("0"); });
        QVERIFY2(speedShown, qPrintable(QString("%1 %2 %3")
                                            .arg(TripLog.sampleCount)
                                            .arg(TripLog.reloadPending)
                                            .arg(CurrentRecord.fileName)));
        const QImage chart = w.m_stcChart->Picture();
        int lit = 0;
        for (int x = 0; x < chart.width(); ++x)
            lit += chart.pixel(x, 50) == qRgb(255, 255, 255) ||
                   chart.pixel(x, 51) == qRgb(255, 255, 255);
        QVERIFY2(lit > 100, qPrintable(QString::number(lit)));

        // Volume from the slider on every tick.
        const struct {
            int slider;
            int level;
            double linear; // 10 ^ (level / 100 / 20)
        } volumes[] = {{500, -500, 0.5623413},
                       {0, -1000, 0.3162278},
                       {1000, 0, 1.0},
                       {450, -550, 0.5308844},
                       {999, -1, 0.9988494}};
        for (const auto& v : volumes) {
            w.m_sliderVolume->SetPos(v.slider);
            w.OnTimer();
            QVERIFY2(
                qAbs(w.Player()->CurrentLinearVolume() - v.linear) < 1e-6,
                qPrintable(QString("%1: %2").arg(v.level).arg(w.Player()->CurrentLinearVolume())));
        }

        // A second recording replaces the first engine; the timer restarts.
        const int graphs = CGraphPlayer::LiveGraphCount();
        const uint32_t first = w.Player()->RotCookie(); // the address may be reused
        openRow(w, QStringLiteral("0004.asf"));
        QVERIFY(w.Player()->RotCookie() != first);
        QVERIFY(CGraphPlayer::RotEntryName(first).isEmpty());
        QCOMPARE(CGraphPlayer::LiveGraphCount(), graphs);
        QVERIFY(w.TimerRunning());
        QVERIFY(waitFor([&] { return w.m_editTime->text().startsWith("00:00:00/"); }));
        QVERIFY(prompts.messages.isEmpty());

        // Stop: back to the list, timer off, tab 1001 stays enabled.
        button(w, 1005)->click();
        QVERIFY(!w.Player());
        QVERIFY(!w.TimerRunning());
        QVERIFY(!w.m_sliderSeek->isVisible());
        QVERIFY(!w.m_stcVideo->isVisible());
        QVERIFY(!w.m_stcChart->isVisible());
        QVERIFY(w.m_dlgRecordList->isVisible());
        QVERIFY(button(w, 1000)->GetState());
        QVERIFY(!button(w, 1001)->GetState());
        QVERIFY(button(w, 1001)->isEnabled());
        QVERIFY(!button(w, 1007)->GetState());
        QVERIFY(!button(w, 1006)->GetState());
        QCOMPARE(CGraphPlayer::LiveGraphCount(), graphs - 1);
        button(w, 1001)->click();
        QVERIFY(w.m_dlgRecordInfo->isVisible());
    }

    void transportTargets() {
        CPlayerDlg w;
        w.show();
        openRow(w, QStringLiteral("0001.asf"));
        QVERIFY(waitFor([&] { return position(w) > 0; }));
        button(w, 1006)->click(); // pause
        QVERIFY(button(w, 1006)->GetState());
        QVERIFY(!button(w, 1007)->GetState());

        w.Player()->SeekToSeconds(5.0);
        QVERIFY(waitFor([&] { return position(w) > 4.5; }));
        const double here = position(w);
        button(w, 1004)->click(); // back 1.0 s
        QCOMPARE(w.Player()->LastSeekRequest(), here - 1.0);
        const bool back = waitFor([&] { return qAbs(position(w) - (here - 1.0)) < 0.04; });
        QVERIFY2(back, qPrintable(QString("%1 -> %2").arg(here).arg(position(w))));
        const double there = position(w);
        button(w, 1008)->click(); // forward 1.0 s
        QCOMPARE(w.Player()->LastSeekRequest(), there + 1.0);
        QVERIFY(waitFor([&] { return qAbs(position(w) - (there + 1.0)) < 0.04; }));
        const double again = position(w);
        button(w, 1003)->click(); // a frame back: into the frame before the one on screen
        QVERIFY(w.Player()->LastSeekRequest() < again);
        QVERIFY(w.Player()->LastSeekRequest() > again - 0.08);
        button(w, 1002)->click(); // head
        QCOMPARE(w.Player()->LastSeekRequest(), 0.0);
        QVERIFY(waitFor([&] { return position(w) < 0.01; }));
        double duration = 0;
        QVERIFY(w.Player()->GetDurationSeconds(duration));
        button(w, 1010)->click(); // end
        QCOMPARE(w.Player()->LastSeekRequest(), duration);
        // At the end the display reads the duration twice and shows the end look.
        QVERIFY(waitFor([&] {
            w.OnTimer();
            const QString text = w.m_editTime->text();
            return text.size() == 17 && text.left(8) == text.mid(9);
        }));
        QCOMPARE(w.m_sliderSeek->GetPos(), 1000);
        QVERIFY(button(w, 1006)->GetState());
        for (int id : {1002, 1003, 1004, 1008, 1010}) {
            button(w, 1007)->click();
            QVERIFY(button(w, 1007)->GetState());
            button(w, id)->click();
            QVERIFY2(button(w, 1006)->GetState() && !button(w, 1007)->GetState(),
                     qPrintable(QString::number(id)));
        }

        // A frame forward from a running video pauses it and moves one frame on.
        button(w, 1002)->click();
        const bool head = waitFor([&] { return position(w) < 0.01; });
        QVERIFY2(head, qPrintable(QString::number(position(w))));
        button(w, 1007)->click();
        QVERIFY(waitFor([&] { return position(w) > 0.5; }));
        button(w, 1009)->click();
        QVERIFY(waitFor([&] { return w.Player()->InPausedState(); }));
        QVERIFY(button(w, 1006)->GetState());
        const double paused = position(w);
        button(w, 1009)->click();
        QVERIFY(waitFor([&] { return position(w) > paused + 0.01; }));
        QVERIFY(position(w) < paused + 0.06);
    }

    void unreadablePositionDefaults() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        openRow(w, QStringLiteral("no-such-recording.asf"));
        // An unplayable file still switches to playback, with the default display.
        QVERIFY(w.TimerRunning());
        QVERIFY(w.m_dlgRecordInfo->isVisible());
        // Nothing to show: the video area keeps its own dark blue, no black box over it.
        const QImage area = w.m_stcVideo->grab().toImage();
        for (const QPoint& p : {QPoint(5, 5), area.rect().center(), QPoint(area.width() - 5, 5)})
            QCOMPARE(QColor(area.pixel(p)), kVideoAreaColour);
        w.OnTimer();
        QCOMPARE(w.m_editTime->text(), QStringLiteral("00:00:00/00:00:01"));
        QVERIFY(prompts.messages.isEmpty());
        button(w, 1004)->click();
        QCOMPARE(w.Player()->LastSeekRequest(), 0.0);
        button(w, 1003)->click();
        QCOMPARE(w.Player()->LastSeekRequest(), 0.95);
        button(w, 1008)->click();
        QCOMPARE(w.Player()->LastSeekRequest(), 2.0);
        button(w, 1010)->click();
        QCOMPARE(w.Player()->LastSeekRequest(), 1.0);
    }

    void sliderSeekTick() {
        CPlayerDlg w;
        w.show();
        openRow(w, QStringLiteral("0001.asf"));
        QVERIFY(waitFor([&] { return w.m_editTime->text().startsWith("00:00:01"); }));
        w.PlayTimer()->stop(); // the test makes the ticks from here on
        button(w, 1006)->click();
        w.OnTimer();
        const QString before = w.m_editTime->text();
        double duration = 0;
        QVERIFY(w.Player()->GetDurationSeconds(duration));

        w.m_sliderSeek->SetPos(500); // as if the user dragged it
        w.OnTimer();
        QCOMPARE(CPlayerDlg::LastSeekPos(), 500);
        QCOMPARE(w.Player()->LastSeekRequest(), 500.0 * duration * 0.001);
        QCOMPARE(w.m_editTime->text(), before); // not refreshed in the seeking tick
        QVERIFY(button(w, 1006)->GetState());   // paused: the looks stay
        QVERIFY(waitFor([&] {
            w.OnTimer();
            return w.m_editTime->text() != before &&
                   qAbs(position(w) - 500.0 * duration * 0.001) < 0.05;
        }));

        // Seeking while running gives the play look.
        button(w, 1007)->click();
        button(w, 1006)->click();
        w.Player()->StartPlayback();
        QVERIFY(waitFor([&] { return w.Player()->InRunningState(); }));
        w.m_sliderSeek->SetPos(100);
        w.OnTimer();
        QVERIFY(button(w, 1007)->GetState());
        QVERIFY(!button(w, 1006)->GetState());

        // At the end the position equals the duration: pause look, timer still on.
        w.Player()->SeekToSeconds(duration - 0.3);
        QVERIFY(waitFor([&] {
            w.OnTimer();
            return button(w, 1006)->GetState() && !button(w, 1007)->GetState();
        }));
        QCOMPARE(w.m_sliderSeek->GetPos(), 1000);
        QVERIFY(w.Player()->InRunningState());
        w.OnTimer();
        QVERIFY(button(w, 1006)->GetState());
    }

    void systemMenuEscapeAndDragging() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        std::unique_ptr<QMenu> menu(w.CreateSystemMenu(nullptr));
        const QList<QAction*> actions = menu->actions();
        QVERIFY(actions.size() >= 2);
        QVERIFY(actions[actions.size() - 2]->isSeparator());
        QCOMPARE(actions.last()->text(), QStringLiteral("关于 player(&A)..."));
        actions.last()->trigger(); // the same about box as the title button
        QCOMPARE(prompts.modalRuns, 1);
        w.OnSysCommand(IDM_ABOUTBOX | 0x3);
        QCOMPARE(prompts.modalRuns, 2);
        w.OnSysCommand(0xF020);
        QCOMPARE(prompts.modalRuns, 2);

        // Dragging the background moves the window; a button press does not.
        const QPoint start = w.pos();
        QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(20, 300));
        QTest::mouseMove(&w, QPoint(60, 330));
        QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(60, 330));
        QVERIFY(w.pos() != start || !w.windowHandle()); // moved by the system or by hand
        const QPoint moved = w.pos();
        QTest::mousePress(w.GetDlgItem(1005), Qt::LeftButton);
        QTest::mouseRelease(w.GetDlgItem(1005), Qt::LeftButton);
        QCOMPARE(w.pos(), moved);

        // Escape with a button focused closes the window like the close button.
        w.GetDlgItem(1007)->setFocus();
        QTest::keyClick(w.GetDlgItem(1007), Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Rejected));
    }

    // The panel and speed font: Arial's metrics, a 16-pixel cell and a 6-pixel average width,
    // so that an HD resolution fits its box whole.
    void panelFont() {
        CPlayerDlg w;
        const QFont font = w.m_fontArial;
        QVERIFY2(
            QStringList({"Arial", "Liberation Sans", "Arimo"}).contains(QFontInfo(font).family()),
            qPrintable(QFontInfo(font).family()));
        const QFontMetrics metrics(font);
        QCOMPARE(metrics.ascent() + metrics.descent(), 16);
        const double average = averageCharWidth(font);
        QVERIFY2(qAbs(average - 6.0) < 0.5, qPrintable(QString::number(average)));
        QVERIFY(font.italic());
        // Another face is brought to the same cell and width.
        const QFont other = CellFont::Sized(QFont(QStringLiteral("DejaVu Sans")), 16, 6);
        QCOMPARE(QFontMetrics(other).ascent() + QFontMetrics(other).descent(), 16);
        QVERIFY2(qAbs(averageCharWidth(other) - 6.0) < 0.5,
                 qPrintable(QString::number(averageCharWidth(other))));

        for (QLineEdit* edit : {w.m_dlgRecordInfo->m_editRecord, w.m_dlgRecordInfo->m_editEvent,
                                w.m_dlgRecordInfo->m_editResolution, w.m_editSpeed})
            QCOMPARE(edit->font(), font);

        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.OnInformationTab();
        CurrentRecord.videoWidth = 1920;
        CurrentRecord.videoHeight = 1080;
        QLineEdit* resolution = w.m_dlgRecordInfo->m_editResolution;
        w.m_dlgRecordInfo->repaint();
        QCOMPARE(resolution->text(), QStringLiteral("1920*1080"));
        // Whole: the box shows as much of the text as a far wider box does.
        const auto [first, last] = inkColumns(resolution);
        const int width = resolution->width();
        resolution->resize(400, resolution->height());
        const auto [wideFirst, wideLast] = inkColumns(resolution);
        resolution->resize(width, resolution->height());
        QVERIFY(first >= 0 && wideFirst >= 0);
        QVERIFY2(last - first == wideLast - wideFirst && last < width - 1,
                 qPrintable(QString("ink %1..%2 in %3 px, %4..%5 when wide")
                                .arg(first)
                                .arg(last)
                                .arg(width)
                                .arg(wideFirst)
                                .arg(wideLast)));
    }

    // Only the window's own background is a drag handle: not the panels, their preview box
    // or the video area, playing or not.
    void onlyTheBackgroundDrags() {
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QPoint start = w.pos();
        dragFrom(w.m_dlgRecordList, QPoint(5, 30));
        dragFrom(w.m_dlgRecordList->m_stPreview, QPoint(100, 80));
        dragFrom(w.m_stcVideo, QPoint(300, 200));
        QCOMPARE(w.pos(), start);

        openRow(w, QStringLiteral("0001.asf"));
        QVERIFY(waitFor([&] { return w.Player()->FramesDelivered() > 2; }));
        dragFrom(w.m_stcVideo, QPoint(300, 200));
        dragFrom(w.m_dlgRecordInfo, QPoint(5, 90));
        QCOMPARE(w.pos(), start);

        // The background itself still drags.
        dragFrom(&w, QPoint(20, 300));
        QVERIFY(w.pos() != start || !w.windowHandle());
    }

    // The play timer ticks every 150 ms.
    void timerPeriod() {
        CPlayerDlg w;
        QElapsedTimer clock;
        QList<qint64> ticks;
        connect(w.PlayTimer(), &QTimer::timeout, this, [&] { ticks << clock.elapsed(); });
        clock.start();
        w.PlayTimer()->start();
        QVERIFY(waitFor([&] { return ticks.size() >= 13; }, 5000));
        w.PlayTimer()->stop();
        QList<qint64> periods;
        for (int i = 1; i < ticks.size(); ++i)
            periods << ticks[i] - ticks[i - 1];
        std::sort(periods.begin(), periods.end());
        const qint64 median = periods[periods.size() / 2];
        QVERIFY2(median >= 140 && median <= 175, qPrintable(QString::number(median)));
    }

    void timeText() {
        QCOMPARE(CPlayerDlg::FormatTime(65, 180), QStringLiteral("00:01:05/00:03:00"));
        QCOMPARE(CPlayerDlg::FormatTime(3725.9, 1.0).left(9), QStringLiteral("01:02:05/"));
        QCOMPARE(CPlayerDlg::FormatTime(100 * 3600.0, 1.0).left(10), QStringLiteral("100:00:00/"));
    }

    void createGraphFails() {
        CPlayerDlg w;
        w.show();
        w.SetEngineFactory([] { return std::make_unique<NoGraphEngine>(); });
        CurrentRecord.folder = cardDir();
        CurrentRecord.fileName = QStringLiteral("0001.asf");
        QVERIFY(!w.OnOpenRecord());
        QVERIFY(w.Player()); // kept, without a graph
        QVERIFY(!w.TimerRunning());
        QVERIFY(!w.m_sliderSeek->isVisible());
        QVERIFY(w.m_dlgRecordList->isVisible());
        QVERIFY(!button(w, 1001)->isEnabled());
        QCOMPARE(CurrentRecord.fileName, QStringLiteral("0001.asf"));
        for (int id = 1002; id <= 1010; ++id)
            button(w, id)->click(); // the engine refuses everything; nothing breaks

        // With a recording playing, a failed opening leaves its timer running over an
        // engine that can report nothing.
        CPlayerDlg v;
        v.show();
        openRow(v, QStringLiteral("0001.asf"));
        QVERIFY(waitFor([&] { return v.m_sliderSeek->GetPos() > 0; }));
        v.SetEngineFactory([] { return std::make_unique<NoGraphEngine>(); });
        CurrentRecord.fileName = QStringLiteral("0002.asf");
        QVERIFY(!v.OnOpenRecord());
        QVERIFY(v.TimerRunning());
        v.OnTimer();
        QCOMPARE(v.m_editTime->text(), QStringLiteral("00:00:00/00:00:01"));
        QCOMPARE(v.m_sliderSeek->GetPos(), 0);
    }
};

PLAYER_FEATURES_TEST_MAIN(TestWindow)
#include "test_window.moc"
