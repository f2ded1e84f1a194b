// SPDX-License-Identifier: GPL-3.0-or-later
// Keyboard control through real key events offscreen: each key does what its button does, a
// focused slider keeps its own keys, nothing reaches the window while a dialog is open, and
// the playback invariants hold throughout. (Escape and Enter: test_window.)
#include "../reliability/ReliabilitySupport.h"
#include "clip/ClipFeature.h"
#include "events/EventsFeature.h"
#include "records/CurrentRecord.h"
#include "skin/SkinButton.h"

#include <QTreeWidget>

namespace {

// Where the keyboard sends a key: the focused control, else the active window.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target ? target : QApplication::activeWindow(), key, modifiers);
}

// Tab, as the user would, until `control` has the focus.
void tabTo(QWidget* control) {
    for (int i = 0; i < 80 && QApplication::focusWidget() != control; ++i)
        press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control);
}

} // namespace

class TestKeys : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keysActAsTheirButtons() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        w.activateWindow();
        QVERIFY(waitFor([&] { return QApplication::activeWindow() == &w; }));
        QCOMPARE(w.m_btnBack->toolTip(), QStringLiteral("Backward 3s (Shift+Left)"));
        CurrentRecord.folder = cardDir();
        CurrentRecord.fileName = QStringLiteral("0001.asf");
        QVERIFY(w.OnOpenRecord());
        QVERIFY(waitFor([&] { return w.Player()->FramesDelivered() > 2; }));
        w.setFocus();
        auto position = [&] {
            double t = -1;
            w.Player()->GetPositionSeconds(t);
            return t;
        };
        double mark = 0;
        // Each key, then what the engine must show once it has acted.
        const struct {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            std::function<bool()> done;
        } steps[] = {
            {Qt::Key_Space, {}, [&] { return w.Player()->InPausedState(); }},
            {Qt::Key_Space, {}, [&] { return w.Player()->InRunningState(); }},
            {Qt::Key_Home, {}, [&] { return w.Player()->InPausedState() && position() < 0.01; }},
            {Qt::Key_Right, Qt::ShiftModifier, [&] { return qAbs(position() - 1.0) < 0.05; }},
            {Qt::Key_Right, {}, [&] { return (mark = position()) > 1.01 && mark < 1.1; }},
            {Qt::Key_Left, {}, [&] { return position() > 0.9 && position() < mark - 0.01; }},
            {Qt::Key_Left, Qt::ShiftModifier, [&] { return position() < 0.1; }},
            {Qt::Key_End,
             {},
             [&] {
                 double d = -1;
                 w.Player()->GetDurationSeconds(d);
                 return w.m_btnPause->GetState() && qAbs(position() - d) < 0.001;
             }},
            {Qt::Key_Space, {}, [&] { return w.m_btnPlay->GetState(); }}, // plays from the end
        };
        for (const auto& step : steps) {
            press(step.key, step.modifiers);
            QVERIFY2(waitFor(step.done),
                     qPrintable(QKeySequence(step.key | step.modifiers).toString()));
            const QString wrong = reliability::checkWindowInvariants(w, true, false);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        }
        // 5 % of the range a press, up with Up and down with Down.
        press(Qt::Key_Up);
        QCOMPARE(w.m_sliderVolume->GetPos(), 550);
        press(Qt::Key_Down);
        press(Qt::Key_Down);
        QCOMPARE(w.m_sliderVolume->GetPos(), 450);
        press(Qt::Key_Up);
        QCOMPARE(w.m_sliderVolume->GetPos(), 500);
        QVERIFY(w.m_sliderVolume->toolTip().contains("Up / Down: 5 %"));
        press(Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(prompts.openFilters, QStringList{QStringLiteral("asf File (*.asf)")});

        // A focused slider keeps its keys (its Up goes one down, Home to 0); Space and the
        // Ctrl keys still act from it.
        w.m_sliderVolume->setFocus();
        press(Qt::Key_Up);
        QCOMPARE(w.m_sliderVolume->GetPos(), 499);
        press(Qt::Key_Home);
        QCOMPARE(w.m_sliderVolume->GetPos(), 0);
        QVERIFY(w.m_btnPlay->GetState()); // not sent to the head
        press(Qt::Key_Space);
        QVERIFY(w.m_btnPause->GetState());
        press(Qt::Key_S, Qt::ControlModifier);
        press(Qt::Key_P, Qt::ControlModifier);
        QVERIFY(prompts.saveFilters.size() == 1 && prompts.printerRequests == 1);

        // With a dialog of the window open, its keys go to the dialog only.
        bool dialogActive = false;
        prompts.modalAnswers.push_back([&](QDialog& dialog) {
            dialog.show();
            dialog.activateWindow();
            dialogActive = waitFor([&] { return QApplication::activeWindow() == &dialog; });
            // Space last: it presses the box's focused close button.
            for (Qt::Key key : {Qt::Key_Up, Qt::Key_Home, Qt::Key_P, Qt::Key_Space})
                press(key, key == Qt::Key_P ? Qt::ControlModifier : Qt::NoModifier);
            return int(QDialog::Rejected);
        });
        w.OnAboutButton();
        QVERIFY(dialogActive);
        QVERIFY(w.m_btnPause->GetState() && w.m_sliderVolume->GetPos() == 0);
        QCOMPARE(prompts.printerRequests, 1);
    }

    // A key the focused control uses goes to it, not to the window: Space on a button or a
    // tab presses it, Space and letters in the record list select and search there.
    void focusedControlsKeepTheirKeys() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        w.activateWindow();
        QVERIFY(waitFor([&] { return QApplication::activeWindow() == &w; }));
        QTreeWidget* rows = w.m_dlgRecordList->m_listRecords;
        QCOMPARE(w.m_dlgRecordList->FillRecordList(cardDir(), ".asf"), 9);
        rows->topLevelItem(0)->setSelected(true);
        w.m_dlgRecordList->OnDblClk(0);
        QVERIFY(waitFor([&] { return w.Player() && w.Player()->FramesDelivered() > 2; }));

        // The button Qt focuses as the window opens is not the user's choice: Space plays
        // and pauses there.
        QVERIFY(qobject_cast<QAbstractButton*>(QApplication::focusWidget()));
        press(Qt::Key_Space);
        QVERIFY(waitFor([&] { return w.Player()->InPausedState(); }));
        QCOMPARE(prompts.modalRuns, 0); // not the About box
        press(Qt::Key_Space);
        QVERIFY(waitFor([&] { return w.Player()->InRunningState(); }));

        // Next, clicked and so focused: Space opens the row after, playback goes on.
        QTest::mouseClick(w.m_dlgRecordInfo->m_btnNext, Qt::LeftButton);
        QCOMPARE(CurrentRecord.listIndex, 1);
        QCOMPARE(QApplication::focusWidget(), w.m_dlgRecordInfo->m_btnNext);
        press(Qt::Key_Space);
        QCOMPARE(CurrentRecord.listIndex, 2);
        QVERIFY(w.m_btnPlay->GetState());

        // Stop, tabbed to: Space stops (the recording closes) rather than pausing.
        tabTo(w.m_btnStop);
        press(Qt::Key_Space);
        QVERIFY(waitFor([&] { return !w.Player(); }));

        // The list: Space selects a row, a letter searches it and leaves the
        // window's letter keys (P: play through) alone.
        const bool through = CEventsFeature::PlayThrough();
        rows->clearSelection();
        rows->setCurrentItem(rows->topLevelItem(3), 0, QItemSelectionModel::NoUpdate);
        rows->setFocus();
        press(Qt::Key_Space);
        QCOMPARE(rows->selectedItems().size(), 1); // (Qt's list also searches for the space)
        press(Qt::Key_P);
        QCOMPARE(CEventsFeature::PlayThrough(), through);

        // The INFO tab, tabbed to: Space shows the information panel, the list hides.
        w.m_btnInfoTab->setEnabled(true);
        tabTo(w.m_btnInfoTab);
        press(Qt::Key_Space);
        QVERIFY(w.m_dlgRecordInfo->isVisible() && !w.m_dlgRecordList->isVisible());
    }

    // After the record list had the keys, a click on the video gives them back to the window:
    // Space pauses and I marks, where the list would select and search.
    void clickOnTheVideoTakesTheKeysBack() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        w.activateWindow();
        QVERIFY(waitFor([&] { return QApplication::activeWindow() == &w; }));
        QTreeWidget* rows = w.m_dlgRecordList->m_listRecords;
        QCOMPARE(w.m_dlgRecordList->FillRecordList(cardDir(), ".asf"), 9);
        rows->topLevelItem(0)->setSelected(true);
        w.m_dlgRecordList->OnDblClk(0);
        QVERIFY(waitFor([&] { return w.Player() && w.Player()->FramesDelivered() > 2; }));
        rows->setFocus();
        QCOMPARE(QApplication::focusWidget(), rows);
        QTest::mouseClick(w.m_stcVideo, Qt::LeftButton, {}, w.m_stcVideo->rect().center());
        QVERIFY(QApplication::focusWidget() != rows);
        press(Qt::Key_Space);
        QVERIFY(waitFor([&] { return w.Player()->InPausedState(); }));
        press(Qt::Key_I);
        QVERIFY(CClipFeature::Of(&w)->Marks().Any());
    }
};

PLAYER_WINDOW_TEST_MAIN(TestKeys)
#include "test_keys.moc"
