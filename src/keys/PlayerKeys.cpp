// SPDX-License-Identifier: GPL-3.0-or-later
#include "keys/PlayerKeys.h"

#include "records/RecordListDlg.h"
#include "shell/PlayerDlg.h"
#include "skin/BitmapButton.h"
#include "skin/SkinButton.h"
#include "skin/SkinSlider.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QShortcut>
#include <QTreeWidget>

namespace {

// Keeps the navigation keys with the control that has the focus: a slider moves with them
// and the record list walks its rows. Accepting the override makes Qt deliver the key to
// the control instead of firing the window's shortcut.
class NavigationKeysStay : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride) {
            switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Left:
            case Qt::Key_Right:
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Home:
            case Qt::Key_End:
                event->accept();
                return true;
            default:
                break;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

// Commands that open a dialog or toggle do not repeat while the key is held; steps do.
enum class Repeat { No, Yes };

template <typename Handler>
void Bind(CPlayerDlg& window, const QKeySequence& key, QAbstractButton* button, Repeat repeat,
          Handler handler) {
    auto* shortcut = new QShortcut(key, &window);
    shortcut->setContext(Qt::WindowShortcut);
    shortcut->setAutoRepeat(repeat == Repeat::Yes);
    QObject::connect(shortcut, &QShortcut::activated, &window, handler);
    if (button)
        button->setToolTip(QStringLiteral("%1 (%2)").arg(button->toolTip(),
                                                         key.toString(QKeySequence::PortableText)));
}

void StepVolume(CSkinSlider* volume, int direction) {
    // The bar follows at once; the timer hands its position to the engine, as after a drag.
    volume->SetPos(volume->GetPos() + direction * volume->GetPageStep());
}

} // namespace

void InstallPlayerKeys(CPlayerDlg& w) {
    // Space toggles on what the buttons show: the play look pressed means playing.
    Bind(w, QKeySequence(Qt::Key_Space), w.m_btnPlay, Repeat::No, [&w] {
        if (w.m_btnPlay->GetState())
            w.OnPause();
        else
            w.OnPlay();
    });
    w.m_btnPause->setToolTip(w.m_btnPause->toolTip() + QStringLiteral(" (Space)"));
    Bind(w, QKeySequence(Qt::Key_Left), w.m_btnFrameBack, Repeat::Yes, [&w] { w.OnFrameBack(); });
    Bind(w, QKeySequence(Qt::Key_Right), w.m_btnFrameForward, Repeat::Yes,
         [&w] { w.OnFrameForward(); });
    Bind(w, QKeySequence(Qt::SHIFT | Qt::Key_Left), w.m_btnBack, Repeat::Yes, [&w] { w.OnBack(); });
    Bind(w, QKeySequence(Qt::SHIFT | Qt::Key_Right), w.m_btnForward, Repeat::Yes,
         [&w] { w.OnForward(); });
    Bind(w, QKeySequence(Qt::Key_Home), w.m_btnHead, Repeat::Yes, [&w] { w.OnHead(); });
    Bind(w, QKeySequence(Qt::Key_End), w.m_btnEnd, Repeat::Yes, [&w] { w.OnEnd(); });
    Bind(w, QKeySequence(Qt::CTRL | Qt::Key_O), w.m_btnOpenFile, Repeat::No,
         [&w] { w.OnOpenFile(); });
    Bind(w, QKeySequence(Qt::CTRL | Qt::Key_S), w.m_btnSnap, Repeat::No, [&w] { w.OnSnapshot(); });
    Bind(w, QKeySequence(Qt::CTRL | Qt::Key_P), w.m_btnPrint, Repeat::No, [&w] { w.OnPrint(); });
    // The clip's marks and its export.
    Bind(w, QKeySequence(Qt::Key_I), nullptr, Repeat::No, [&w] { w.OnMarkStart(); });
    Bind(w, QKeySequence(Qt::Key_O), nullptr, Repeat::No, [&w] { w.OnMarkEnd(); });
    Bind(w, QKeySequence(Qt::Key_Backspace), nullptr, Repeat::No, [&w] { w.OnClearMarks(); });
    Bind(w, QKeySequence(Qt::CTRL | Qt::Key_E), nullptr, Repeat::No, [&w] { w.OnExportClip(); });
    w.m_sliderSeek->setToolTip(
        QStringLiteral("Clip marks: I start, O end, Backspace clears; Ctrl+E exports the clip"));
    // The events of the listed recordings, the jumps between them, and play through.
    Bind(w, QKeySequence(Qt::Key_F3), nullptr, Repeat::No, [&w] { w.OnFindEvents(); });
    Bind(w, QKeySequence(Qt::Key_N), nullptr, Repeat::Yes, [&w] { w.OnJumpToEvent(+1); });
    Bind(w, QKeySequence(Qt::SHIFT | Qt::Key_N), nullptr, Repeat::Yes,
         [&w] { w.OnJumpToEvent(-1); });
    Bind(w, QKeySequence(Qt::Key_P), nullptr, Repeat::No,
         [] { CPlayerDlg::SetPlayThrough(!CPlayerDlg::PlayThrough()); });
    w.m_sliderSeek->setToolTip(w.m_sliderSeek->toolTip() +
                               QStringLiteral("\nEvents: F3 finds them, N / Shift+N jump to the "
                                              "next / previous; P plays through the card"));
    Bind(w, QKeySequence(Qt::Key_Up), nullptr, Repeat::Yes,
         [&w] { StepVolume(w.m_sliderVolume, +1); });
    Bind(w, QKeySequence(Qt::Key_Down), nullptr, Repeat::Yes,
         [&w] { StepVolume(w.m_sliderVolume, -1); });

    auto* stay = new NavigationKeysStay(&w);
    for (QWidget* control :
         {static_cast<QWidget*>(w.m_sliderSeek), static_cast<QWidget*>(w.m_sliderVolume),
          static_cast<QWidget*>(w.m_dlgRecordList->m_listRecords)})
        control->installEventFilter(stay);
}
