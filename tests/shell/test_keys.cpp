// Keyboard control of the player window through real key events offscreen: each key does
// what its button does, a focused slider or list keeps its own keys, nothing reaches the
// window while a dialog is open, and the playback invariants hold after every key.
#include "../reliability/ReliabilitySupport.h"
#include "records/CurrentRecord.h"
#include "skin/SkinButton.h"

#include <QTreeWidget>

namespace {

// Where the keyboard sends a key: the focused control, else the active window.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    if (!target)
        target = QApplication::activeWindow();
    QVERIFY(target);
    QTest::keyClick(target, key, modifiers);
}

double position(CPlayerDlg& w) {
    double t = -1;
    w.Player()->GetPositionSeconds(t);
    return t;
}

double duration(CPlayerDlg& w) {
    double d = -1;
    w.Player()->GetDurationSeconds(d);
    return d;
}

bool near(double a, double b, double tolerance) {
    return std::abs(a - b) <= tolerance;
}

} // namespace

class TestKeys : public QObject {
    Q_OBJECT

    std::unique_ptr<CPlayerDlg> m_window;
    bool m_opened = false;

    CPlayerDlg& activeWindow() {
        m_window = std::make_unique<CPlayerDlg>();
        m_window->show();
        m_window->activateWindow();
        [&] { QVERIFY(QTest::qWaitForWindowActive(m_window.get())); }();
        m_opened = false;
        return *m_window;
    }

    void open(CPlayerDlg& w, const QString& name) {
        CurrentRecord.folder = cardDir();
        CurrentRecord.fileName = name;
        QVERIFY(w.OnOpenRecord());
        QVERIFY(waitFor([&] { return w.Player()->FramesDelivered() > 2; }));
        m_opened = true;
        w.setFocus(); // the window, not a control
    }

    void holds() {
        const QString wrong = reliability::checkWindowInvariants(*m_window, m_opened, false);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }

private Q_SLOTS:
    void cleanup() { m_window.reset(); }

    // Every key against the engine it drives, with a recording open and without one.
    void keysActAsTheirButtons() {
        ScriptedPrompts prompts;
        CPlayerDlg& w = activeWindow();
        QCOMPARE(w.m_btnPlay->toolTip(), QStringLiteral("Play (Space)"));
        QCOMPARE(w.m_btnPause->toolTip(), QStringLiteral("Pause (Space)"));
        QCOMPARE(w.m_btnBack->toolTip(), QStringLiteral("Backward 3s (Shift+Left)"));
        QCOMPARE(w.m_btnPrint->toolTip(), QStringLiteral("Print (Ctrl+P)"));
        QCOMPARE(w.m_btnStop->toolTip(), QStringLiteral("Stop"));

        // Nothing open: the transport keys do nothing, as the buttons do.
        for (Qt::Key key : {Qt::Key_Space, Qt::Key_Left, Qt::Key_Right, Qt::Key_Home, Qt::Key_End})
            press(key);
        QVERIFY(!w.Player());
        holds();

        open(w, QStringLiteral("0001.asf"));
        press(Qt::Key_Space);
        QVERIFY(waitFor([&] { return w.Player()->InPausedState(); }));
        QVERIFY(w.m_btnPause->GetState() && !w.m_btnPlay->GetState());
        holds();
        press(Qt::Key_Space);
        QVERIFY(waitFor([&] { return w.Player()->InRunningState(); }));
        QVERIFY(w.m_btnPlay->GetState());
        holds();

        press(Qt::Key_Home);
        QVERIFY(waitFor([&] { return w.Player()->InPausedState() && near(position(w), 0, 0.01); }));
        press(Qt::Key_Right, Qt::ShiftModifier);
        QVERIFY(waitFor([&] { return near(position(w), 1.0, 0.05); }));
        press(Qt::Key_Right);
        QVERIFY(waitFor([&] { return position(w) > 1.01 && position(w) < 1.1; }));
        const double stepped = position(w);
        press(Qt::Key_Left);
        QVERIFY(waitFor([&] { return position(w) < stepped && position(w) > 0.9; }));
        press(Qt::Key_Left, Qt::ShiftModifier);
        QVERIFY(waitFor([&] { return position(w) < 0.1; }));
        press(Qt::Key_End);
        QVERIFY(waitFor([&] { return near(position(w), duration(w), 0.001); }));
        QVERIFY(w.m_btnPause->GetState());
        holds();

        // At the end (pause look), Space plays, as the play button would.
        press(Qt::Key_Space);
        QVERIFY(w.m_btnPlay->GetState());
        holds();

        QCOMPARE(w.m_sliderVolume->GetPos(), 500);
        press(Qt::Key_Up);
        QCOMPARE(w.m_sliderVolume->GetPos(), 520);
        press(Qt::Key_Down);
        press(Qt::Key_Down);
        QCOMPARE(w.m_sliderVolume->GetPos(), 480);

        press(Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(prompts.openFilters, QStringList{QStringLiteral("asf File (*.asf)")});
        press(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(prompts.saveFilters, QStringList{QStringLiteral("BMP File (*.bmp)")});
        press(Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(prompts.printerRequests, 1);
        holds();

        // Enter still does nothing; Escape on a focused button still closes the window.
        w.m_btnStop->setFocus();
        press(Qt::Key_Return);
        QVERIFY(w.isVisible() && w.Player());
        press(Qt::Key_Escape);
        QVERIFY(!w.isVisible());
    }

    // A focused slider or record list keeps its keys; Space and Ctrl+S still act from there.
    void focusedControlsKeepTheirKeys() {
        ScriptedPrompts prompts;
        CPlayerDlg& w = activeWindow();
        open(w, QStringLiteral("0002.asf"));
        w.m_sliderVolume->setFocus();
        press(Qt::Key_Up); // the slider's own Up: one down
        QCOMPARE(w.m_sliderVolume->GetPos(), 499);
        press(Qt::Key_Home);
        QCOMPARE(w.m_sliderVolume->GetPos(), 0);
        press(Qt::Key_PageDown, Qt::ShiftModifier);
        QCOMPARE(w.m_sliderVolume->GetPos(), 20);
        QVERIFY(w.m_btnPlay->GetState()); // Home did not go to the head
        press(Qt::Key_Space);
        QVERIFY(w.m_btnPause->GetState());
        press(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(prompts.saveFilters.size(), 1);
        QCOMPARE(QApplication::focusWidget(), w.m_sliderVolume);
        holds();

        w.OnStop();
        QTreeWidget* list = w.m_dlgRecordList->m_listRecords;
        w.m_dlgRecordList->FillRecordList(cardDir(), QStringLiteral(".asf"));
        list->setFocus();
        list->setCurrentItem(list->topLevelItem(0));
        press(Qt::Key_Down); // the list walks its rows; the volume stays
        QCOMPARE(list->currentIndex().row(), 1);
        press(Qt::Key_End);
        QCOMPARE(list->currentIndex().row(), list->topLevelItemCount() - 1);
        QCOMPARE(w.m_sliderVolume->GetPos(), 20);
        m_opened = true;
        const QString wrong = reliability::checkWindowInvariants(w, true, true);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }

    // While a dialog of the window is open, the window's keys do nothing.
    void noKeyWhileADialogIsOpen() {
        ScriptedPrompts prompts;
        CPlayerDlg& w = activeWindow();
        open(w, QStringLiteral("0001.asf"));
        bool dialogActive = false;
        prompts.modalAnswers.push_back([&](QDialog& dialog) {
            dialog.show();
            dialog.activateWindow();
            dialogActive = waitFor([&] { return QApplication::activeWindow() == &dialog; }, 3000);
            // Space last: it presses the box's focused close button.
            for (Qt::Key key : {Qt::Key_Up, Qt::Key_Home, Qt::Key_P, Qt::Key_Space})
                press(key, key == Qt::Key_P ? Qt::ControlModifier : Qt::NoModifier);
            return int(QDialog::Rejected);
        });
        w.OnAboutButton();
        QVERIFY(dialogActive);
        QVERIFY(w.m_btnPlay->GetState());
        QVERIFY(w.Player()->InRunningState());
        QCOMPARE(w.m_sliderVolume->GetPos(), 500);
        QCOMPARE(prompts.printerRequests, 0);
        holds();
    }
};

PLAYER_WINDOW_TEST_MAIN(TestKeys)
#include "test_keys.moc"
