// SPDX-License-Identifier: GPL-3.0-or-later
// The skinned controls: the bitmap slider (geometry, dragging, keys, notifications, keyed
// pictures, painting), the hover button (hover, press, elliptic input, masked corners over
// the parent's skin) and the about box, alone and as the player window configures them.
#include "ScriptedPrompts.h"
#include "TestSupport.h"
#include "playback/GraphPlayer.h"
#include "records/CurrentRecord.h"
#include "records/RecordInfoDlg.h"
#include "records/RecordListDlg.h"
#include "shell/AboutDlg.h"
#include "shell/PlayerDlg.h"
#include "skin/SkinButton.h"
#include "skin/SkinCatalogue.h"
#include "skin/SkinSlider.h"
#include "skin/SkinnedWindow.h"
#include "ui/DialogUnits.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QtTest>
#include <memory>

namespace {

struct Notice {
    int message;
    int id;
    int pos;
    bool operator==(const Notice& o) const {
        return message == o.message && id == o.id && pos == o.pos;
    }
};

char* toString(const Notice& n) {
    return QTest::toString(QString::asprintf(
        "{%s, %d, %d}", n.message == WM_SKINSLIDER_MOVING ? "MOVING" : "MOVED", n.id, n.pos));
}

// Records the sliders' notifications as they reach a parent.
class NoticeLog : public QObject {
public:
    explicit NoticeLog(QObject* parent) { parent->installEventFilter(this); }
    QList<Notice> seen;

    // What has arrived once the posted events are delivered; clears the log.
    QList<Notice> Take() {
        QCoreApplication::sendPostedEvents();
        QList<Notice> taken;
        taken.swap(seen);
        return taken;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        for (int message : {WM_SKINSLIDER_MOVING, WM_SKINSLIDER_MOVED}) {
            if (event->type() == CSkinSliderNotification::TypeOf(message)) {
                const auto* n = static_cast<const CSkinSliderNotification*>(event);
                seen.append({n->Message(), n->ControlId(), n->Position()});
            }
        }
        return false;
    }
};

Notice Moving(int id, int pos) {
    return {WM_SKINSLIDER_MOVING, id, pos};
}
Notice Moved(int id, int pos) {
    return {WM_SKINSLIDER_MOVED, id, pos};
}

// Mouse events sent straight to a widget, so that a test sees exactly what one handler
// did before anything posted is delivered.
void SendMouse(QWidget* w, QEvent::Type type, int x, Qt::MouseButton button = Qt::LeftButton) {
    const QPointF at(x, w->height() / 2);
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, at, w->mapToGlobal(at),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}
void Press(QWidget* w, int x) {
    SendMouse(w, QEvent::MouseButtonPress, x);
}
void Move(QWidget* w, int x) {
    SendMouse(w, QEvent::MouseMove, x);
}
void Release(QWidget* w, int x) {
    SendMouse(w, QEvent::MouseButtonRelease, x);
}

QImage Shot(QWidget* w) {
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A skin picture at one pixel per pixel, as the tests compare against it.
QImage Picture(int id) {
    return Skin::Render(id, 1.0).convertToFormat(QImage::Format_ARGB32);
}
QRgb Rgb(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000u;
}

// The seek slider of the player window at a given position, drawn: which picture each
// pixel of a row comes from.
QString RowSources(const QImage& shot, int row, const QImage& a, const QImage& b, int from,
                   int to) {
    QString sources;
    for (int x = from; x < to; ++x) {
        const QRgb p = shot.pixel(x, row);
        sources += p == Rgb(a, x, row) ? (p == Rgb(b, x, row) ? '=' : 'a')
                                       : (p == Rgb(b, x, row) ? 'b' : '?');
    }
    return sources;
}

// A window of one colour holding the controls under test.
std::unique_ptr<QWidget> Board(QSize size, QColor colour = QColor(10, 200, 30)) {
    auto board = std::make_unique<QWidget>();
    board->resize(size);
    QPalette palette = board->palette();
    palette.setColor(QPalette::Window, colour);
    board->setPalette(palette);
    board->setAutoFillBackground(true);
    return board;
}

// Counts the presses that reach it (those the buttons on it do not take).
class PressBoard : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// Pixels of the button that show a picture: those inside the button's window shape.
bool ShowsPicture(QWidget* button, const QImage& shot, const QImage& picture, QString* where) {
    const QRegion shape = button->mask().isEmpty() ? QRegion(button->rect()) : button->mask();
    for (int y = 0; y < button->height(); ++y) {
        for (int x = 0; x < button->width(); ++x) {
            if (!shape.contains(QPoint(x, y)))
                continue;
            if (shot.pixel(x, y) != Rgb(picture, x, y)) {
                *where = QStringLiteral("(%1, %2)").arg(x).arg(y);
                return false;
            }
        }
    }
    return true;
}

void MouseTo(QWidget* window, QPoint at) {
    QTest::mouseMove(window->windowHandle(), at);
    QCoreApplication::processEvents();
}

} // namespace

class TestControls : public QObject {
    Q_OBJECT

    std::unique_ptr<CPlayerDlg> m_window;
    std::unique_ptr<NoticeLog> m_log;

    CSkinSlider* Seek() { return m_window->m_sliderSeek; }
    CSkinSlider* Volume() { return m_window->m_sliderVolume; }

private Q_SLOTS:
    void initTestCase() {
        m_window = std::make_unique<CPlayerDlg>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_log = std::make_unique<NoticeLog>(m_window.get());
    }

    void init() {
        Seek()->show();
        Seek()->SetPos(0);
        Volume()->SetPos(500);
        m_log->Take();
    }

    void cleanupTestCase() {
        m_log.reset();
        m_window.reset();
    }

    // --- The bitmap slider ---

    void seekGeometryAndSplit() {
        CSkinSlider* s = Seek();
        QCOMPARE(s->geometry(),
                 QRect(DialogUnits::rect(38, 379, 396, 20).topLeft(), QSize(597, 37)));
        QCOMPARE(s->PosToPixel(0), 14);
        QCOMPARE(s->PosToPixel(1000), 582);
        QCOMPARE(s->PixelToPos(583), 1001);
        QCOMPARE(s->PixelToPos(14), 0);

        // The played part ends at 591 whatever the position; the track line (row 30) shows
        // where each part comes from, and the thumb (rows 10 to 25) stays above it.
        const QImage channel = Picture(187), played = Picture(188);
        const QString expected = QString(591, 'b') + QString(597 - 591, 'a');
        for (int pos : {0, 500, 1000}) {
            s->SetPos(pos);
            QCOMPARE(s->SplitX(), 591);
            QString sources = RowSources(Shot(s), 30, channel, played, 0, 597);
            // Where both pictures agree either answer is right.
            for (int x = 0; x < sources.size(); ++x)
                if (sources[x] == '=')
                    sources[x] = expected[x];
            QCOMPARE(sources, expected);
        }
    }

    void seekThumbDrawnKeyed() {
        // The bus sits with its left edge at PosToPixel - 14 and its top at 10; its
        // see-through surround shows the bar beneath.
        CSkinSlider* s = Seek();
        const QImage bus = Picture(189), played = Picture(188);
        for (int pos : {0, 500, 1000}) {
            s->SetPos(pos);
            const QImage shot = Shot(s);
            const int left = s->PosToPixel(pos) - 14;
            int opaque = 0, clear = 0;
            for (int y = 0; y < 16; ++y) {
                for (int x = 0; x < 29; ++x) {
                    const int alpha = qAlpha(bus.pixel(x, y));
                    const QRgb at = shot.pixel(left + x, 10 + y);
                    if (alpha == 255) {
                        QCOMPARE(at, Rgb(bus, x, y));
                        ++opaque;
                    } else if (alpha == 0) {
                        QCOMPARE(at, Rgb(played, left + x, 10 + y));
                        ++clear;
                    }
                }
            }
            QVERIFY(opaque > 100 && clear > 20);
        }
    }

    void pressGrabsOrJumps() {
        CSkinSlider* s = Seek();
        s->SetPos(500);
        QCOMPARE(s->PosToPixel(500), 298);

        // Within 14 pixels of the centre the press takes hold of the thumb where it is.
        Press(s, 298 + 14);
        QVERIFY(s->IsDragging());
        QCOMPARE(s->GetPos(), 500);
        QCOMPARE(m_log->Take(), QList<Notice>());
        Move(s, 412); // the centre follows 14 pixels behind the pointer: 398
        QCOMPARE(s->GetPos(), s->PixelToPos(398));
        QCOMPARE(s->GetPos(), 676);
        QCOMPARE(m_log->Take(), QList<Notice>{Moving(1033, 676)});
        Release(s, 412);
        QVERIFY(!s->IsDragging());
        QCOMPARE(m_log->Take(), QList<Notice>{Moved(1033, 676)});

        // Farther away the centre jumps to the pointer and says so at once, posted: the
        // parent hears of it only after the handler has returned.
        s->SetPos(500);
        Press(s, 298 + 15);
        QCOMPARE(s->GetPos(), 526);
        QVERIFY(m_log->seen.isEmpty());
        QCOMPARE(m_log->Take(), QList<Notice>{Moving(1033, 526)});

        // Dragging beyond either end stops at the range's ends.
        Move(s, 2000);
        QCOMPARE(s->GetPos(), 1000);
        Move(s, -300);
        QCOMPARE(s->GetPos(), 0);
        Release(s, -300);
        QCOMPARE(m_log->Take(),
                 (QList<Notice>{Moving(1033, 1000), Moving(1033, 0), Moved(1033, 0)}));

        // Without a press, moves do nothing; a release still reports the position.
        s->SetPos(300);
        Move(s, 100);
        QCOMPARE(s->GetPos(), 300);
        Release(s, 100);
        QCOMPARE(s->GetPos(), 300);
        QCOMPARE(m_log->Take(), QList<Notice>{Moved(1033, 300)});

        // Other buttons neither drag nor report.
        SendMouse(s, QEvent::MouseButtonPress, 500, Qt::RightButton);
        SendMouse(s, QEvent::MouseButtonRelease, 500, Qt::RightButton);
        QVERIFY(!s->IsDragging());
        QCOMPARE(s->GetPos(), 300);
        QCOMPARE(m_log->Take(), QList<Notice>());
    }

    void setPosClampsSilently() {
        CSkinSlider* s = Seek();
        s->SetPos(-5);
        QCOMPARE(s->GetPos(), 0);
        s->SetPos(2000);
        QCOMPARE(s->GetPos(), 1000);
        QCOMPARE(m_log->Take(), QList<Notice>());

        // A new range leaves the position where it was until the next SetPos.
        CSkinSlider alone;
        alone.SetRange(0, 1000, false);
        alone.SetPos(800);
        alone.SetRange(0, 100, true);
        QCOMPARE(alone.GetPos(), 800);
        alone.SetPos(alone.GetPos());
        QCOMPARE(alone.GetPos(), 100);
    }

    void keysStepAndReport() {
        CSkinSlider* s = Seek();
        s->SetPos(500);
        const struct {
            Qt::Key key;
            int pos;
        } steps[] = {{Qt::Key_Left, 499}, {Qt::Key_Up, 498},     {Qt::Key_Right, 499},
                     {Qt::Key_Down, 500}, {Qt::Key_PageUp, 480}, {Qt::Key_PageDown, 500},
                     {Qt::Key_End, 1000}, {Qt::Key_End, 1000},   {Qt::Key_PageDown, 1000},
                     {Qt::Key_Home, 0},   {Qt::Key_Left, 0},     {Qt::Key_Home, 0}};
        QList<Notice> expected;
        for (const auto& step : steps) {
            QTest::keyClick(s, step.key);
            QCOMPARE(s->GetPos(), step.pos);
            expected << Moved(1033, step.pos);
        }
        // Even unchanged positions are reported, once per key.
        QCOMPARE(m_log->Take(), expected);

        // Other keys do nothing, and do not reach the window either: Escape on the slider
        // does not close the program.
        QTest::keyClick(s, Qt::Key_A);
        QTest::keyClick(s, Qt::Key_Escape);
        QTest::keyClick(s, Qt::Key_Return);
        QCOMPARE(s->GetPos(), 0);
        QVERIFY(m_window->isVisible());
        QCOMPARE(m_log->Take(), QList<Notice>());
    }

    void tabLeavesTheSlider() {
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        CSkinSlider* s = Volume();
        QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(81, 9));
        QVERIFY(s->hasFocus());
        QTest::keyClick(s, Qt::Key_Tab);
        QVERIFY(!s->hasFocus());
        QCOMPARE(m_log->Take(), (QList<Notice>{Moved(1028, 500)}));
        QCOMPARE(Volume()->GetPos(), 500);
    }

    void volumeBoundaryFollowsPointer() {
        CSkinSlider* v = Volume();
        QCOMPARE(v->size(), QSize(157, 18));
        QCOMPARE(v->PosToPixel(500), 81);
        QCOMPARE(v->SplitX(), 81);
        const QImage channel = Picture(163), played = Picture(164);
        auto boundaryOk = [&](int split) {
            QString sources = RowSources(Shot(v), 9, channel, played, 0, 157);
            const QString expected = QString(split, 'b') + QString(157 - split, 'a');
            for (int x = 0; x < sources.size(); ++x)
                if (sources[x] == '=')
                    sources[x] = expected[x];
            if (sources != expected)
                qWarning() << sources;
            return sources == expected;
        };
        QVERIFY(boundaryOk(81));

        // No thumb: every press jumps; the boundary follows the pointer from 28 to 134.
        Press(v, 5);
        QCOMPARE(v->GetPos(), 0);
        QCOMPARE(v->SplitX(), 28);
        QVERIFY(boundaryOk(28));
        Move(v, 300);
        QCOMPARE(v->GetPos(), 1000);
        QCOMPARE(v->SplitX(), 134);
        QVERIFY(boundaryOk(134));
        Move(v, 81);
        Release(v, 81);
        QCOMPARE(v->GetPos(), 500);
        QCOMPARE(m_log->Take(), (QList<Notice>{Moving(1028, 0), Moving(1028, 1000),
                                               Moving(1028, 500), Moved(1028, 500)}));
    }

    void whiteKeyIsTransparent() {
        // A keyed channel lets the window beneath show through every white pixel of its
        // picture: the corners outside the disc and the white question mark inside it.
        auto board = Board(QSize(80, 60));
        auto* slider = new CSkinSlider(board.get());
        slider->move(20, 10);
        QVERIFY(slider->LoadChannelBitmaps(191, 0, true, COLOR_KEY_FROM_PIXEL, 0, 0));
        QCOMPARE(slider->size(), QSize(26, 26));
        board->show();
        QVERIFY(QTest::qWaitForWindowExposed(board.get()));
        const QImage shot = Shot(board.get());
        const QImage picture = Picture(191);
        const QRgb green = qRgb(10, 200, 30);
        int white = 0, inside = 0;
        for (int y = 0; y < 26; ++y) {
            for (int x = 0; x < 26; ++x) {
                const bool key = Rgb(picture, x, y) == qRgb(255, 255, 255);
                QCOMPARE(shot.pixel(20 + x, 10 + y), key ? green : Rgb(picture, x, y));
                white += key;
                inside += key && (x - 13) * (x - 13) + (y - 13) * (y - 13) < 64;
            }
        }
        QVERIFY(white > 40);
        QVERIFY(inside > 5); // white wherever it lies, not only at the edge

        // The same key given as a colour, on a thumb over an opaque channel.
        CSkinSlider keyed(board.get());
        keyed.LoadChannelBitmaps(187, 0, false, COLOR_KEY_FROM_PIXEL, 0, 0);
        keyed.SetRange(0, 10, false);
        QVERIFY(keyed.LoadThumbBitmaps(191, 0, true, 0x00FFFFFF, 0, 0));
        const QImage thumbShot = Shot(&keyed);
        const QImage channel = Picture(187);
        for (int y = 0; y < 26; ++y)
            for (int x = 0; x < 26; ++x) {
                const bool key = Rgb(picture, x, y) == qRgb(255, 255, 255);
                QCOMPARE(thumbShot.pixel(x, y), key ? Rgb(channel, x, y) : Rgb(picture, x, y));
            }
    }

    void repaintsLeaveNoOldThumb() {
        // What reaches the screen after the thumb moved is what a fresh paint gives: over a
        // keyed channel (the window shows through) and over an opaque one.
        auto board = Board(QSize(80, 60));
        auto* keyed = new CSkinSlider(board.get());
        keyed->move(20, 10);
        keyed->LoadChannelBitmaps(191, 0, true, COLOR_KEY_FROM_PIXEL, 0, 0);
        keyed->SetRange(0, 10, false);
        keyed->LoadThumbBitmaps(161, 0, false, COLOR_KEY_FROM_PIXEL, 0, 0);
        auto* opaque = new CSkinSlider(board.get());
        opaque->move(20, 40);
        opaque->LoadChannelBitmaps(163, 0, false, COLOR_KEY_FROM_PIXEL, 0, 0);
        opaque->SetRange(0, 10, false);
        opaque->LoadThumbBitmaps(161, 0, false, COLOR_KEY_FROM_PIXEL, 0, 0);
        board->resize(200, 70);
        board->show();
        QVERIFY(QTest::qWaitForWindowExposed(board.get()));
        auto onScreen = [&] {
            QCoreApplication::processEvents();
            return board->screen()
                ->grabWindow(board->winId())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        };
        const QImage first = onScreen();
        for (CSkinSlider* s : {keyed, opaque})
            s->SetPos(10);
        const QImage moved = onScreen();
        QVERIFY(moved != first);
        QCOMPARE(moved, Shot(board.get()));
        for (CSkinSlider* s : {keyed, opaque})
            s->SetPos(0);
        QCOMPARE(onScreen(), first);
    }

    void thumbWiderThanControlIsReported() {
        ScriptedPrompts prompts;
        CSkinSlider slider;
        QVERIFY(slider.LoadChannelBitmaps(189, 0, false, COLOR_KEY_FROM_PIXEL, 0, 0));
        QVERIFY(slider.LoadThumbBitmaps(187, 0, false, COLOR_KEY_FROM_PIXEL, 0, 0));
        QCOMPARE(prompts.messages,
                 (QStringList{QStringLiteral("m_nThumbWidth=597"), QStringLiteral("m_nWidth=29")}));
        QVERIFY(slider.LoadThumbBitmaps(163, 0, false, COLOR_KEY_FROM_PIXEL, 0, 0));
        QCOMPARE(prompts.messages.size(), 4);
    }

    void failedAndEmptyLoads() {
        auto board = Board(QSize(620, 60));
        auto* slider = new CSkinSlider(board.get());
        board->show();
        QVERIFY(QTest::qWaitForWindowExposed(board.get()));
        QVERIFY(slider->LoadChannelBitmaps(187, 188, false, COLOR_KEY_FROM_PIXEL, 0, 0));
        const QImage before = Shot(slider);
        QCOMPARE(before.pixel(300, 30), Rgb(Picture(187), 300, 30));

        // A played image that cannot load unloads the channel too.
        QVERIFY(!slider->LoadChannelBitmaps(187, 9999, false, COLOR_KEY_FROM_PIXEL, 0, 0));
        const QImage broken = Shot(slider);
        QVERIFY(broken.pixel(300, 30) != before.pixel(300, 30));
        QVERIFY(!slider->LoadThumbBitmaps(9999, 0, true, COLOR_KEY_FROM_PIXEL, 0, 0));

        // Id 0 unloads; the control then shows one plain colour.
        QVERIFY(slider->LoadChannelBitmaps(187, 188, false, COLOR_KEY_FROM_PIXEL, 0, 0));
        QVERIFY(slider->LoadChannelBitmaps(0, 0, false, COLOR_KEY_FROM_PIXEL, 0, 0));
        const QImage empty = Shot(slider);
        QCOMPARE(empty.pixel(0, 0), empty.pixel(596, 36));
        QCOMPARE(empty.pixel(300, 30), empty.pixel(0, 0));
    }

    void focusRectangleAndNoDisabledLook() {
        auto board = Board(QSize(200, 40));
        auto* slider = new CSkinSlider(board.get());
        slider->LoadChannelBitmaps(163, 0, false, COLOR_KEY_FROM_PIXEL, 0, 0);
        slider->SetRange(0, 1000, false);
        board->show();
        QVERIFY(QTest::qWaitForWindowExposed(board.get()));
        board->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(board.get()));
        const QImage channel = Picture(163);
        const QImage plain = Shot(slider);
        QCOMPARE(plain.pixel(0, 0), Rgb(channel, 0, 0));

        // Focused: every other pixel of the edge inverted.
        slider->setFocus();
        const QImage focused = Shot(slider);
        auto inverted = [](QRgb p) { return qRgb(255 - qRed(p), 255 - qGreen(p), 255 - qBlue(p)); };
        for (const QPoint& p : {QPoint(0, 0), QPoint(2, 0), QPoint(156, 17), QPoint(0, 4)})
            QCOMPARE(focused.pixel(p), inverted(plain.pixel(p)));
        for (const QPoint& p : {QPoint(1, 0), QPoint(0, 3), QPoint(80, 9)})
            QCOMPARE(focused.pixel(p), plain.pixel(p));

        // Turned off, or without the focus, no rectangle.
        slider->ShowFocusRect(false, true);
        QCOMPARE(Shot(slider), plain);
        slider->ShowFocusRect(true, true);
        slider->clearFocus();
        QCOMPARE(Shot(slider), plain);

        // The slider draws the same when disabled.
        slider->setEnabled(false);
        QCOMPARE(Shot(slider), plain);
    }

    // --- The hover button ---

    void hoverMovesBetweenNeighbours() {
        auto board = Board(QSize(200, 100));
        auto* open = new CSkinButton(board.get());
        open->move(20, 20);
        open->SetEllipticRegion(150, true);
        open->LoadStateBitmaps(148, 150, 148, 150);
        auto* snap = new CSkinButton(board.get());
        snap->move(80, 20);
        snap->SetEllipticRegion(145, true);
        snap->LoadStateBitmaps(146, 145, 145, 145);
        board->show();
        QVERIFY(QTest::qWaitForWindowExposed(board.get()));
        QCOMPARE(open->size(), QSize(55, 55));
        QString where;

        MouseTo(board.get(), QPoint(47, 47));
        QVERIFY(waitFor([&] { return open->IsHovering(); }, 2000));
        QVERIFY2(ShowsPicture(open, Shot(open), Picture(148), &where), qPrintable(where));
        QVERIFY(ShowsPicture(snap, Shot(snap), Picture(145), &where));

        MouseTo(board.get(), QPoint(107, 47));
        QVERIFY(waitFor([&] { return snap->IsHovering(); }, 2000));
        QVERIFY(!open->IsHovering());
        QVERIFY2(ShowsPicture(open, Shot(open), Picture(150), &where), qPrintable(where));
        QVERIFY2(ShowsPicture(snap, Shot(snap), Picture(146), &where), qPrintable(where));

        // Out of both, both rest.
        MouseTo(board.get(), QPoint(190, 90));
        QVERIFY(waitFor([&] { return !snap->IsHovering(); }, 2000));
        QVERIFY(ShowsPicture(snap, Shot(snap), Picture(145), &where));
    }

    void pressedThenHover() {
        // The configuration button: hover 140, rest and pressed 149.
        auto board = Board(QSize(100, 100));
        auto* button = new CSkinButton(board.get());
        button->move(20, 20);
        button->SetEllipticRegion(149, true);
        button->LoadStateBitmaps(140, 149, 149, 142);
        QSignalSpy clicks(button, &QAbstractButton::clicked);
        board->show();
        QVERIFY(QTest::qWaitForWindowExposed(board.get()));
        QString where;

        MouseTo(board.get(), QPoint(47, 47));
        QVERIFY(waitFor([&] { return button->IsHovering(); }, 2000));
        QTest::mousePress(board->windowHandle(), Qt::LeftButton, {}, QPoint(47, 47));
        QVERIFY(button->isDown());
        QVERIFY2(ShowsPicture(button, Shot(button), Picture(149), &where), qPrintable(where));
        QTest::mouseRelease(board->windowHandle(), Qt::LeftButton, {}, QPoint(47, 47));
        QCOMPARE(clicks.count(), 1);
        QVERIFY2(ShowsPicture(button, Shot(button), Picture(140), &where), qPrintable(where));

        // Disabled, it rests, and the pointer does not wake it.
        button->setEnabled(false);
        QVERIFY(!button->IsHovering());
        MouseTo(board.get(), QPoint(48, 48));
        QTest::qWait(20);
        QVERIFY(!button->IsHovering());
        QVERIFY2(ShowsPicture(button, Shot(button), Picture(149), &where), qPrintable(where));
    }

    void inputOnlyInsideTheEllipse() {
        PressBoard board;
        board.resize(100, 100);
        auto* button = new CSkinButton(&board);
        button->move(20, 20);
        button->SetEllipticRegion(150, true);
        button->LoadStateBitmaps(148, 150, 148, 150);
        QSignalSpy clicks(button, &QAbstractButton::clicked);
        board.show();
        QVERIFY(QTest::qWaitForWindowExposed(&board));

        // The button's corner lies outside its disc: the press goes to the window beneath,
        // and the pointer there does not light the button.
        const QPoint corner(20 + 3, 20 + 3);
        MouseTo(&board, corner);
        QTest::qWait(20);
        QVERIFY(!button->IsHovering());
        QTest::mouseClick(board.windowHandle(), Qt::LeftButton, {}, corner);
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(board.presses, 1);

        QTest::mouseClick(board.windowHandle(), Qt::LeftButton, {}, QPoint(47, 47));
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(board.presses, 1);
    }

    void titleCornersShowTheWindowSkin() {
        // Around their discs the title buttons show skin 131 exactly as it lies under them
        // (drawn by the button, or by the window where the button's shape cuts it away: the
        // two skins agree there); inside, their own pictures.
        const QImage window = Shot(m_window.get());
        const QImage skin = Picture(131), mask = Picture(197);
        const struct { int id, normal; } titles[] = {{1037, 192}, {1038, 194}, {1036, 196}};
        for (const auto& t : titles) {
            QWidget* button = m_window->GetDlgItem(t.id);
            QCOMPARE(button->size(), QSize(26, 26));
            QCOMPARE(button->mask(), QRegion(0, 0, 26, 26, QRegion::Ellipse));
            const QPoint at = button->pos();
            const QImage picture = Picture(t.normal);
            int corners = 0, disc = 0;
            for (int y = 0; y < 26; ++y) {
                for (int x = 0; x < 26; ++x) {
                    const QRgb m = Rgb(mask, x, y);
                    const QRgb shown = window.pixel(at.x() + x, at.y() + y);
                    QRgb expected = shown;
                    // The three buttons overlap a little; each neighbour's disc is its own.
                    bool neighbour = false;
                    for (const auto& other : titles) {
                        QWidget* o = m_window->GetDlgItem(other.id);
                        neighbour |=
                            o != button && o->mask().contains(at + QPoint(x, y) - o->pos());
                    }
                    if (neighbour)
                        continue;
                    if (m == qRgb(255, 255, 255)) {
                        expected = Rgb(skin, at.x() + x, at.y() + y);
                        ++corners;
                    } else if (m == qRgb(0, 0, 0) && button->mask().contains(QPoint(x, y))) {
                        expected = Rgb(picture, x, y);
                        ++disc;
                    }
                    QVERIFY2(shown == expected,
                             qPrintable(QString::asprintf("%d (%d, %d): %08x %08x", t.id, x, y,
                                                          shown, expected)));
                }
            }
            QVERIFY(disc > 300);
            QVERIFY(corners > 80);
        }
    }

    void titleCornersWithoutTheWindowShape() {
        // The full corners, drawn by the button itself: the piece of 131 at its place.
        auto* button = qobject_cast<CSkinButton*>(m_window->GetDlgItem(1038));
        const QImage shot = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage skin = Picture(131), mask = Picture(197);
        const QPoint at = button->pos();
        for (const QPoint& c : {QPoint(0, 0), QPoint(25, 0), QPoint(0, 25), QPoint(25, 25)}) {
            QCOMPARE(Rgb(mask, c.x(), c.y()), qRgb(255, 255, 255));
            QCOMPARE(shot.pixel(c), Rgb(skin, at.x() + c.x(), at.y() + c.y()));
        }
    }

    void everyInstanceRestsOnItsImage() {
        // Each skinned button of the program at rest shows its normal picture (the disabled
        // OPEN and Next included), with the circular ones clipped to their discs.
        const struct {
            QWidget* button;
            int normal;
            QSize size;
            bool round;
        } buttons[] = {
            {m_window->GetDlgItem(1011), 150, {55, 55}, true},
            {m_window->GetDlgItem(1013), 145, {55, 55}, true},
            {m_window->GetDlgItem(1014), 141, {55, 55}, true},
            {m_window->GetDlgItem(1015), 149, {55, 55}, true},
            {m_window->m_dlgRecordList->m_btnLoad, 156, DialogUnits::rect(57, 3, 33, 12).size(),
             false},
            {m_window->m_dlgRecordList->m_btnOpen, 158, DialogUnits::rect(92, 3, 33, 12).size(),
             false},
            {m_window->m_dlgRecordInfo->m_btnPrevious, 184,
             DialogUnits::rect(28, 16, 19, 11).size(), false},
            {m_window->m_dlgRecordInfo->m_btnNext, 186, DialogUnits::rect(156, 16, 19, 11).size(),
             false},
        };
        QVERIFY(!m_window->m_dlgRecordList->m_btnOpen->isEnabled());
        for (const auto& b : buttons) {
            QCOMPARE(b.button->size(), b.size);
            QCOMPARE(!b.button->mask().isEmpty(), b.round);
            if (b.round)
                QCOMPARE(b.button->mask(),
                         QRegion(0, 0, b.size.width(), b.size.height(), QRegion::Ellipse));
            QString where;
            QVERIFY2(ShowsPicture(b.button, Shot(b.button), Picture(b.normal), &where),
                     qPrintable(QString::number(b.normal) + where));
            QVERIFY(!b.button->accessibleName().isEmpty());
        }
        for (int id : {1036, 1037, 1038})
            QVERIFY(!m_window->GetDlgItem(id)->accessibleName().isEmpty());
        QCOMPARE(Seek()->accessibleName(), QStringLiteral("Seek"));
        QCOMPARE(Volume()->accessibleName(), QStringLiteral("Volume"));
    }

    // --- The about box ---

    void aboutBoxLook() {
        CAboutDlg about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QVERIFY(about.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(about.size(), QSize(396, 192));
        QCOMPARE(about.mask(), Skin::RoundedWindowRegion(about.size(), 28, 28));
        for (const QPoint& corner : {QPoint(0, 0), QPoint(395, 0), QPoint(0, 191), QPoint(395, 191),
                                     QPoint(3, 3), QPoint(392, 188)})
            QVERIFY(!about.mask().contains(corner));
        QVERIFY(about.mask().contains(QPoint(14, 14)));

        // The hidden title text is there for assistive tools, never on screen.
        QCOMPARE(about.m_stcTitle->text(), QStringLiteral("车载录像及GPS轨迹跟踪仪 1.6 版"));
        QVERIFY(!about.m_stcTitle->isVisible());
        QCOMPARE(about.accessibleName(), about.m_stcTitle->text());

        // The face is picture 203 at the window's corner.
        const QImage shot = Shot(&about);
        const QImage face = Picture(203);
        for (const QPoint& p :
             {QPoint(200, 100), QPoint(60, 50), QPoint(380, 170), QPoint(30, 160)})
            QCOMPARE(shot.pixel(p), Rgb(face, p.x(), p.y()));

        // The close button: a 25 x 24 disc at its place, 205 at rest and 204 under the pointer.
        CSkinButton* close = about.m_btnClose;
        QCOMPARE(close->geometry(),
                 QRect(DialogUnits::rect(228, 16, 16, 15).topLeft(), QSize(25, 24)));
        QCOMPARE(close->mask(), QRegion(0, 0, 25, 24, QRegion::Ellipse));
        QString where;
        QVERIFY2(ShowsPicture(close, Shot(close), Picture(205), &where), qPrintable(where));
        MouseTo(&about, close->geometry().center());
        QVERIFY(waitFor([&] { return close->IsHovering(); }, 2000));
        QVERIFY2(ShowsPicture(close, Shot(close), Picture(204), &where), qPrintable(where));
        MouseTo(&about, QPoint(200, 100));
        QVERIFY(waitFor([&] { return !close->IsHovering(); }, 2000));
        QVERIFY2(ShowsPicture(close, Shot(close), Picture(205), &where), qPrintable(where));
    }

    void aboutBoxEnds() {
        {
            CAboutDlg about;
            about.open();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            QTest::mouseClick(about.windowHandle(), Qt::LeftButton, {},
                              about.m_btnClose->geometry().center());
            QCOMPARE(about.result(), int(QDialog::Accepted));
            QVERIFY(!about.isVisible());
        }
        {
            CAboutDlg about;
            about.open();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            QTest::keyClick(&about, Qt::Key_Escape);
            QCOMPARE(about.result(), int(QDialog::Rejected));
            QVERIFY(!about.isVisible());
        }
    }

    void aboutBoxFromBothEntries() {
        ScriptedPrompts prompts;
        QStringList opened;
        auto note = [&](QDialog& dialog) {
            auto* about = qobject_cast<CAboutDlg*>(&dialog);
            opened << (about ? about->m_stcTitle->text() : QStringLiteral("something else"));
            return int(QDialog::Accepted);
        };
        prompts.modalAnswers.push_back(note);
        prompts.modalAnswers.push_back(note);

        // The title button: a click inside its disc.
        QWidget* title = m_window->GetDlgItem(1036);
        QTest::mouseClick(m_window->windowHandle(), Qt::LeftButton, {}, title->geometry().center());
        QCOMPARE(opened, QStringList{QStringLiteral("车载录像及GPS轨迹跟踪仪 1.6 版")});

        // The system menu's last entry.
        std::unique_ptr<QMenu> menu(m_window->CreateSystemMenu(nullptr));
        menu->actions().last()->trigger();
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened.last(), opened.first());
        QCOMPARE(prompts.modalRuns, 2);
    }

    // --- The player window with a recording ---

    void seekBarDragsTheVideo() {
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CPlayerDlg::ResetLastSeekPos();
        CurrentRecord.folder = cardDir();
        CurrentRecord.fileName = QStringLiteral("0001.asf");
        QVERIFY(w.OnOpenRecord());
        QVERIFY(w.m_sliderSeek->isVisible());
        QVERIFY(waitFor([&] { return w.m_editTime->text().startsWith("00:00:01"); }));
        w.PlayTimer()->stop(); // the test makes the ticks from here on
        w.OnPause();
        double duration = 0;
        QVERIFY(w.Player()->GetDurationSeconds(duration));

        // A press in the middle of the bar jumps there; the next tick seeks the video.
        CSkinSlider* s = w.m_sliderSeek;
        QTest::mousePress(s, Qt::LeftButton, {}, QPoint(298, 20));
        QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(298, 20));
        QCOMPARE(s->GetPos(), 500);
        w.OnTimer();
        QCOMPARE(w.Player()->LastSeekRequest(), 500 * duration * 0.001);

        // The volume bar sets the level on the next tick.
        CSkinSlider* v = w.m_sliderVolume;
        QTest::mouseClick(v, Qt::LeftButton, {}, QPoint(28, 9));
        QCOMPARE(v->GetPos(), 0);
        w.OnTimer();
        QVERIFY(qAbs(w.Player()->CurrentLinearVolume() -
                     CGraphPlayer::LinearVolumeFromLevel(-1000)) < 1e-6);
        w.ClosePlayer();
    }
};

PLAYER_FEATURES_TEST_MAIN(TestControls)
#include "test_controls.moc"
