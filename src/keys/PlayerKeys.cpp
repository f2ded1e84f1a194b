// SPDX-License-Identifier: GPL-3.0-or-later
#include "keys/PlayerKeys.h"

#include "records/RecordListDlg.h"
#include "shell/PlayerDlg.h"
#include "skin/BitmapButton.h"
#include "skin/SkinButton.h"
#include "skin/SkinSlider.h"
#include "ui/WindowKeys.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QTreeWidget>

namespace {

bool TabJustPressed();

// Leaves to the control that has the focus the keys it uses itself, so the window's keys never
// take one from it: a slider moves with the navigation keys, the record list walks its rows,
// selects with Space and finds a row by its typed name, a button or tab is pressed with Space
// (and gets Enter, which it may pass on). Accepting the override makes Qt deliver the key to
// the control instead of firing the window's shortcut.
class FocusedKeysStay : public QObject {
public:
    enum class Kind { Slider, List, Button };
    FocusedKeysStay(Kind kind, QObject* parent) : QObject(parent), m_kind(kind) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
            // A button has Space and Enter only when the user put the focus there (Tab or a
            // click): the one Qt focuses on its own as the window opens or a panel hides
            // leaves them to the window, where Space plays and pauses.
            // Qt also says "Tab" when it moves the focus off a widget that hides.
            switch (static_cast<QFocusEvent*>(event)->reason()) {
            case Qt::TabFocusReason:
            case Qt::BacktabFocusReason:
                if (!TabJustPressed())
                    break;
                [[fallthrough]];
            case Qt::MouseFocusReason:
            case Qt::ShortcutFocusReason:
                watched->setProperty(kChosen, event->type() == QEvent::FocusIn);
                break;
            default: // the window comes back, or the program moved it: as it was
                break;
            }
        }
        if (event->type() == QEvent::ShortcutOverride &&
            (m_kind != Kind::Button || watched->property(kChosen).toBool()) &&
            Uses(*static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    static constexpr const char* kChosen = "focusChosenByUser";

    bool Uses(const QKeyEvent& key) const {
        const Qt::KeyboardModifiers chord =
            key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        switch (key.key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            return m_kind != Kind::Button;
        case Qt::Key_Space:
            return m_kind != Kind::Slider && !chord;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return m_kind == Kind::Button && !chord;
        default:
            // Letters and digits find a row of the list by its name.
            return m_kind == Kind::List && !chord && !key.text().isEmpty() &&
                   key.text().at(0).isPrint();
        }
    }

    Kind m_kind;
};

// When the user last pressed Tab or Shift+Tab anywhere in the program (the application's
// events pass by it first).
class TabWatch : public QObject {
public:
    using QObject::QObject;
    static QElapsedTimer& Clock() {
        static QElapsedTimer clock;
        return clock;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
                Clock().start();
        }
        return QObject::eventFilter(watched, event);
    }
};

bool TabJustPressed() {
    return TabWatch::Clock().isValid() && TabWatch::Clock().elapsed() < 250;
}

template <typename Handler>
void Bind(CPlayerDlg& window, const QKeySequence& key, QAbstractButton* button, KeyRepeat repeat,
          Handler handler) {
    BindWindowKey(&window, key, repeat, handler, button);
}

// Up and Down move the volume by 5 % of its range a press: 20 presses from silence to full.
constexpr int kVolumeStep = 50;

void StepVolume(CSkinSlider* volume, int direction) {
    // The bar follows at once; the timer hands its position to the engine, as after a drag.
    volume->SetPos(volume->GetPos() + direction * kVolumeStep);
}

} // namespace

void InstallPlayerKeys(CPlayerDlg& w) {
    // Space toggles on what the buttons show: the play look pressed means playing.
    Bind(w, QKeySequence(Qt::Key_Space), w.m_btnPlay, KeyRepeat::No, [&w] {
        if (w.m_btnPlay->GetState())
            w.OnPause();
        else
            w.OnPlay();
    });
    w.m_btnPause->setToolTip(w.m_btnPause->toolTip() + QStringLiteral(" (Space)"));
    Bind(w, QKeySequence(Qt::Key_Left), w.m_btnFrameBack, KeyRepeat::Yes,
         [&w] { w.OnFrameBack(); });
    Bind(w, QKeySequence(Qt::Key_Right), w.m_btnFrameForward, KeyRepeat::Yes,
         [&w] { w.OnFrameForward(); });
    Bind(w, QKeySequence(Qt::SHIFT | Qt::Key_Left), w.m_btnBack, KeyRepeat::Yes,
         [&w] { w.OnBack(); });
    Bind(w, QKeySequence(Qt::SHIFT | Qt::Key_Right), w.m_btnForward, KeyRepeat::Yes,
         [&w] { w.OnForward(); });
    Bind(w, QKeySequence(Qt::Key_Home), w.m_btnHead, KeyRepeat::Yes, [&w] { w.OnHead(); });
    Bind(w, QKeySequence(Qt::Key_End), w.m_btnEnd, KeyRepeat::Yes, [&w] { w.OnEnd(); });
    Bind(w, QKeySequence(Qt::CTRL | Qt::Key_O), w.m_btnOpenFile, KeyRepeat::No,
         [&w] { w.OnOpenFile(); });
    Bind(w, QKeySequence(Qt::CTRL | Qt::Key_S), w.m_btnSnap, KeyRepeat::No,
         [&w] { w.OnSnapshot(); });
    Bind(w, QKeySequence(Qt::CTRL | Qt::Key_P), w.m_btnPrint, KeyRepeat::No, [&w] { w.OnPrint(); });
    // The keys of what plugs in beside the window (clip marks, events) are bound by each.
    w.m_sliderSeek->setToolTip(
        QStringLiteral("Clip marks: I start, O end, Backspace clears; Ctrl+E exports the clip") +
        QStringLiteral("\nEvents: F3 finds them, N / Shift+N jump to the next / previous; P plays "
                       "through the card"));
    Bind(w, QKeySequence(Qt::Key_Up), nullptr, KeyRepeat::Yes,
         [&w] { StepVolume(w.m_sliderVolume, +1); });
    Bind(w, QKeySequence(Qt::Key_Down), nullptr, KeyRepeat::Yes,
         [&w] { StepVolume(w.m_sliderVolume, -1); });
    w.m_sliderVolume->setToolTip(QStringLiteral("Volume (Up / Down: 5 % louder / softer)"));

    using Kind = FocusedKeysStay::Kind;
    auto* slider = new FocusedKeysStay(Kind::Slider, &w);
    w.m_sliderSeek->installEventFilter(slider);
    w.m_sliderVolume->installEventFilter(slider);
    w.m_dlgRecordList->m_listRecords->installEventFilter(new FocusedKeysStay(Kind::List, &w));
    qApp->installEventFilter(new TabWatch(&w));
    auto* button = new FocusedKeysStay(Kind::Button, &w);
    for (QAbstractButton* control : w.findChildren<QAbstractButton*>())
        control->installEventFilter(button);
}
