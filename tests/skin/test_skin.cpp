// SPDX-License-Identifier: GPL-3.0-or-later
// The skin: every catalogued picture at its size and sharp at a doubled pixel ratio, the
// pictures the controls rely on (masks, key pixels, slider halves that must match), the
// windows' shapes, background painting with black beyond the picture, the off-screen
// drawing surface, and the pressed looks of the player window's bitmap buttons.
#include "playback/GraphPlayer.h"
#include "records/CurrentRecord.h"
#include "shell/PlayerDlg.h"
#include "skin/BitmapButton.h"
#include "skin/OffscreenDC.h"
#include "skin/SkinCatalogue.h"
#include "skin/SkinnedWindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QPrinter>
#include <QSet>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

namespace {

struct CatalogueRow {
    QList<int> ids;
    QSize size;
};

// The skin's catalogue: ids and their sizes in pixels.
const QList<CatalogueRow>& ExpectedCatalogue() {
    static const QList<CatalogueRow> rows = {
        {{202, 131}, {1024, 724}},
        {{203}, {397, 190}},
        {{154, 160}, {316, 521}},
        {{136, 137, 138, 139}, {147, 26}},
        {{140, 149, 141, 142, 145, 146, 148, 150, 143, 144}, {55, 55}},
        {{155, 156, 157, 158, 159}, {50, 20}},
        {{161}, {14, 12}},
        {{162}, {115, 18}},
        {{163, 164}, {157, 18}},
        {{165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175, 176, 177, 178, 179, 180, 181, 182},
         {34, 28}},
        {{183, 186}, {30, 18}},
        {{184, 185}, {31, 18}},
        {{187, 188}, {597, 37}},
        {{189}, {29, 16}},
        {{191, 192, 193, 194, 195, 196, 197}, {26, 26}},
        {{204, 205}, {25, 24}},
    };
    return rows;
}

QImage Rgb(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage Picture(int id, qreal ratio = 1.0) {
    return Skin::Bitmap(id, ratio).toImage();
}

int Luma(QRgb c) {
    return (qRed(c) * 30 + qGreen(c) * 59 + qBlue(c) * 11) / 100;
}

// True when two images agree on every pixel of `area`.
bool SameIn(const QImage& a, const QImage& b, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return false;
    return true;
}

// A widget painted from the skin the way the skinned windows paint themselves.
class SkinnedTestWindow : public QWidget {
public:
    explicit SkinnedTestWindow(int id) : m_id(id) { setAttribute(Qt::WA_OpaquePaintEvent); }
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        Skin::PaintBackground(painter, this, m_id);
        ++paints;
    }

private:
    int m_id;
};

// A parent that paints stripes, and a child whose buffered painting starts from them.
class StripedParent : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        for (int x = 0; x < width(); x += 10)
            painter.fillRect(x, 0, 5, height(), (x / 10) % 2 ? Qt::yellow : Qt::darkGreen);
    }
};

class CopyScreenChild : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        COffscreenDC dc(&painter, nullptr, true);
        dc->fillRect(QRect(0, 0, 4, 4), Qt::red);
    }
};

QString CardDir() {
    return QDir(qEnvironmentVariable("PLAYER_TEST_CARD")).absolutePath() + "/";
}

} // namespace

class TestSkin : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { Skin::ClearCache(); }

    // ---- The catalogue -------------------------------------------------------------

    void everyCataloguedIdAtItsSize() {
        QSet<int> expected;
        for (const CatalogueRow& row : ExpectedCatalogue()) {
            for (int id : row.ids) {
                expected.insert(id);
                QCOMPARE(Skin::BitmapSize(id), row.size);
                const QPixmap normal = Skin::Bitmap(id, 1.0);
                QVERIFY2(!normal.isNull(), qPrintable(QString::number(id)));
                QCOMPARE(normal.size(), row.size);
                // At a doubled ratio the picture has twice the pixels and the same size.
                const QPixmap doubled = Skin::Bitmap(id, 2.0);
                QCOMPARE(doubled.size(), row.size * 2);
                QCOMPARE(doubled.deviceIndependentSize().toSize(), row.size);
                // Drawn, not blank.
                const QImage image = Rgb(normal.toImage());
                QSet<QRgb> colours;
                for (int y = 0; y < image.height(); y += 2)
                    for (int x = 0; x < image.width(); x += 2)
                        colours.insert(image.pixel(x, y));
                QVERIFY2(colours.size() >= 3, qPrintable(QString::number(id)));
            }
        }
        const QList<int> ids = Skin::CatalogueIds();
        QCOMPARE(QSet<int>(ids.begin(), ids.end()), expected);
        QVERIFY(Skin::Bitmap(201, 1.0).isNull());
        QVERIFY(Skin::Bitmap(0, 1.0).isNull());
    }

    void doubledPicturesAreDrawnNotEnlarged() {
        // A sharp doubled picture has detail a plain enlargement of the normal one lacks.
        for (int id : {202, 169, 146, 191, 189}) {
            const QImage doubled = Rgb(Picture(id, 2.0));
            const QImage enlarged =
                Rgb(Picture(id, 1.0))
                    .scaled(doubled.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
            int differing = 0;
            for (int y = 0; y < doubled.height(); ++y)
                for (int x = 0; x < doubled.width(); ++x)
                    differing += doubled.pixel(x, y) != enlarged.pixel(x, y);
            QVERIFY2(differing > doubled.width() * doubled.height() / 50,
                     qPrintable(QString::number(id)));
        }
    }

    void renderingIsRepeatable() {
        QCOMPARE(Skin::Render(202, 1.0), Skin::Render(202, 1.0));
        QCOMPARE(Skin::Render(160, 2.0), Skin::Render(160, 2.0));
    }

    void statePairsLookDifferent() {
        const QList<QPair<int, int>> pairs = {
            {136, 137}, {138, 139}, {174, 175}, {170, 171}, {178, 179}, {182, 181}, {166, 167},
            {168, 169}, {172, 165}, {180, 177}, {176, 173}, {148, 150}, {146, 145}, {142, 141},
            {140, 149}, {144, 143}, {157, 156}, {159, 158}, {158, 155}, {183, 186}, {185, 184},
            {191, 196}, {193, 192}, {195, 194}, {204, 205}, {163, 164}, {187, 188}, {202, 131}};
        for (const auto& [a, b] : pairs)
            QVERIFY2(Rgb(Picture(a)) != Rgb(Picture(b)),
                     qPrintable(QString("%1 %2").arg(a).arg(b)));
        // The nine normal transport keys all differ from one another.
        const QList<int> keys = {174, 170, 178, 182, 166, 168, 172, 180, 176};
        for (int i = 0; i < keys.size(); ++i)
            for (int j = i + 1; j < keys.size(); ++j)
                QVERIFY(Rgb(Picture(keys[i])) != Rgb(Picture(keys[j])));
    }

    void titleButtonsAndTheirMask() {
        // The mask is a black disc on white; the images are white around their disc, so
        // that combined with the mask the parent's skin shows at the corners.
        const QImage mask = Rgb(Picture(197));
        QCOMPARE(mask.pixel(13, 13), qRgb(0, 0, 0));
        QCOMPARE(mask.pixel(4, 13), qRgb(0, 0, 0));
        for (const QPoint& corner : {QPoint(0, 0), QPoint(25, 0), QPoint(0, 25), QPoint(25, 25)})
            QCOMPARE(mask.pixel(corner), qRgb(255, 255, 255));
        for (int id : {191, 192, 193, 194, 195, 196}) {
            const QImage image = Rgb(Picture(id));
            for (const QPoint& corner :
                 {QPoint(0, 0), QPoint(25, 0), QPoint(0, 25), QPoint(25, 25)})
                QCOMPARE(image.pixel(corner), qRgb(255, 255, 255));
            QVERIFY(image.pixel(13, 20) != qRgb(255, 255, 255));
        }
    }

    void thumbIsKeyedByItsCornerPixel() {
        // The slider keys the thumb by its top-left pixel: that pixel is see-through, and
        // so is the whole surround, while the bus itself is solid.
        const QImage thumb = Picture(189).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(Skin::HasAlpha(189));
        const QRgb key = thumb.pixel(0, 0);
        QCOMPARE(qAlpha(key), 0);
        QCOMPARE(thumb.pixel(28, 0), key);
        QCOMPARE(qAlpha(thumb.pixel(14, 7)), 255);
        // The other slider pictures are opaque: they are copied, not keyed.
        for (int id : {163, 164, 187, 188})
            QVERIFY(!Skin::HasAlpha(id));
    }

    void sliderHalvesMatchOutsideTheTrack() {
        // The slider shows the played picture left of its split and the channel right of
        // it; everything but the track must be the same in both, or it would jump as the
        // split moves.
        const QImage channel = Rgb(Picture(163)), played = Rgb(Picture(164));
        QVERIFY(SameIn(channel, played, QRect(0, 0, 24, 18)));    // the speaker
        QVERIFY(SameIn(channel, played, QRect(140, 0, 17, 18)));  // the loud end
        QVERIFY(!SameIn(channel, played, QRect(28, 0, 106, 18))); // the track differs
        const QImage seek = Rgb(Picture(187)), seekPlayed = Rgb(Picture(188));
        QVERIFY(SameIn(seek, seekPlayed, QRect(0, 0, 597, 24)));   // the scale and the thumb's lane
        QVERIFY(!SameIn(seek, seekPlayed, QRect(0, 24, 597, 13))); // red line against blue
    }

    void playerBackgroundLinesUpWithTheControls() {
        const QImage skin = Rgb(Picture(202));
        // Displays sit on black: the time and speed boxes.
        QCOMPARE(skin.pixel(QRect(201, 689, 165, 18).center()), qRgb(0, 0, 0));
        QCOMPARE(skin.pixel(QRect(492, 660, 33, 20).center()), qRgb(0, 0, 0));
        // A dark socket ring lies just outside each circular button, on lighter metal.
        for (int x : {570, 662, 756, 852}) {
            const QPoint centre(x + 27, 635 + 27);
            QVERIFY(Luma(skin.pixel(centre + QPoint(0, -29))) < 25);
            QVERIFY(Luma(skin.pixel(centre + QPoint(-29, 0))) < 25);
        }
        // The video area is deep blue, darker than the frame around it.
        const QRgb video = skin.pixel(100, 100);
        QVERIFY(qBlue(video) > qRed(video));
        QVERIFY(Luma(video) < Luma(skin.pixel(20, 300)));
        // The title buttons' area is the same in both player skins (their background
        // pieces are cut from the second one).
        const QImage second = Rgb(Picture(131));
        QVERIFY(SameIn(skin, second, QRect(920, 15, 90, 75)));
        QVERIFY(!SameIn(skin, second, QRect(455, 615, 110, 105))); // km/h against mph
    }

    void cacheDoesNotGrowWithRepainting() {
        SkinnedTestWindow window(202);
        window.resize(1024, 724);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.repaint();
        const int held = Skin::CachedBitmapCount();
        QVERIFY(held >= 1);
        for (int i = 0; i < 30; ++i)
            window.repaint();
        QVERIFY(window.paints >= 31);
        QCOMPARE(Skin::CachedBitmapCount(), held);
        // Scales coming and going keep the cache bounded.
        for (int i = 0; i < 20; ++i)
            Skin::Bitmap(197, 1.0 + i * 0.25);
        QVERIFY(Skin::CachedBitmapCount() <= 4 * Skin::CatalogueIds().size());
    }

    // ---- Window shapes -------------------------------------------------------------

    void playerWindowShape() {
        const QSize size(1024, 724);
        const QRegion shape = Skin::RoundedWindowRegion(size, 40, 40);
        QCOMPARE(shape.boundingRect(), QRect(QPoint(0, 0), size));
        // Each corner, mirrored: cut along a circle of radius 20.
        for (int corner = 0; corner < 4; ++corner) {
            auto at = [&](int x, int y) {
                return QPoint(corner & 1 ? size.width() - 1 - x : x,
                              corner & 2 ? size.height() - 1 - y : y);
            };
            QVERIFY(!shape.contains(at(0, 0)));
            QVERIFY(!shape.contains(at(4, 4)));  // just outside the arc
            QVERIFY(shape.contains(at(7, 7)));   // just inside it
            QVERIFY(!shape.contains(at(0, 10))); // the edge starts below the corner
            QVERIFY(shape.contains(at(0, 20)));
            QVERIFY(shape.contains(at(20, 0)));
        }
        QVERIFY(shape.contains(QPoint(512, 0)));
        QVERIFY(shape.contains(QPoint(0, 362)));
        // The four corners together cut away about (4 - pi) r^2.
        qint64 area = 0;
        for (const QRect& r : shape)
            area += qint64(r.width()) * r.height();
        const double cut = 1024.0 * 724 - area;
        QVERIFY2(qAbs(cut - (4 - M_PI) * 400) < 20, qPrintable(QString::number(cut)));
    }

    void aboutBoxShape() {
        const QSize size(396, 192);
        const QRegion shape = Skin::RoundedWindowRegion(size, 28, 28);
        for (int corner = 0; corner < 4; ++corner) {
            auto at = [&](int x, int y) {
                return QPoint(corner & 1 ? size.width() - 1 - x : x,
                              corner & 2 ? size.height() - 1 - y : y);
            };
            QVERIFY(!shape.contains(at(2, 2)));
            QVERIFY(shape.contains(at(5, 5)));
            QVERIFY(shape.contains(at(14, 0)));
            QVERIFY(shape.contains(at(0, 14)));
        }
    }

    void panelShapeHasOneRoundedCorner() {
        const QSize size(317, 518);
        const QRegion shape = Skin::PanelRegion(size);
        QCOMPARE(shape.boundingRect(), QRect(QPoint(0, 0), size));
        const int r = size.width() - 1;
        // Top right: cut along a circle of radius 120.
        QVERIFY(!shape.contains(QPoint(r, 0)));
        QVERIFY(!shape.contains(QPoint(r - 33, 33)));
        QVERIFY(shape.contains(QPoint(r - 38, 38)));
        QVERIFY(!shape.contains(QPoint(r, 100)));
        QVERIFY(shape.contains(QPoint(r, 121)));
        QVERIFY(shape.contains(QPoint(r - 121, 0)));
        QVERIFY(!shape.contains(QPoint(r - 100, 0)));
        // The other three corners are square.
        QVERIFY(shape.contains(QPoint(0, 0)));
        QVERIFY(shape.contains(QPoint(0, size.height() - 1)));
        QVERIFY(shape.contains(QPoint(r, size.height() - 1)));
    }

    void panelShapeFollowsResizing() {
        QWidget panel;
        auto reshape = [&] { panel.setMask(Skin::PanelRegion(panel.size())); };
        panel.resize(317, 518);
        reshape();
        QVERIFY(!panel.mask().contains(QPoint(316 - 33, 33)));
        panel.resize(400, 300);
        reshape();
        // The rounded corner moved with the top-right corner; the old one is inside now.
        QVERIFY(panel.mask().contains(QPoint(316 - 33, 33)));
        QVERIFY(!panel.mask().contains(QPoint(399 - 33, 33)));
        QVERIFY(panel.mask().contains(QPoint(399 - 38, 38)));
        QVERIFY(panel.mask().contains(QPoint(0, 299)));
        QVERIFY(panel.mask().contains(QPoint(399, 299)));
    }

    // ---- Background painting -------------------------------------------------------

    void oversizedWindowIsBlackBeyondItsSkin() {
        QImage window(1100, 800, QImage::Format_RGB32);
        window.fill(Qt::white);
        {
            QPainter painter(&window);
            Skin::PaintBackground(painter, window.size(), 202, true);
        }
        const QImage skin = Rgb(Picture(202));
        QCOMPARE(window.pixel(1050, 100), qRgb(0, 0, 0));
        QCOMPARE(window.pixel(500, 760), qRgb(0, 0, 0));
        QCOMPARE(window.pixel(1099, 799), qRgb(0, 0, 0));
        for (const QPoint& at :
             {QPoint(500, 300), QPoint(0, 0), QPoint(1023, 723), QPoint(600, 650)})
            QCOMPARE(window.pixel(at), skin.pixel(at));
    }

    void aboutBoxLeavesWhatLiesBeyondItsPicture() {
        QImage window(420, 200, QImage::Format_RGB32);
        window.fill(Qt::magenta);
        {
            QPainter painter(&window);
            Skin::PaintBackground(painter, window.size(), 203, Skin::ClearsToBlack(203));
        }
        const QImage face = Rgb(Picture(203));
        QCOMPARE(window.pixel(410, 100), QColor(Qt::magenta).rgb());
        QCOMPARE(window.pixel(200, 195), QColor(Qt::magenta).rgb());
        QCOMPARE(window.pixel(200, 100), face.pixel(200, 100));
        QCOMPARE(window.pixel(396, 189), face.pixel(396, 189));
    }

    void backgroundAtDoubledRatioUsesTheDoubledPicture() {
        QImage window(2 * 1024, 2 * 724, QImage::Format_RGB32);
        window.setDevicePixelRatio(2.0);
        {
            QPainter painter(&window);
            Skin::PaintBackground(painter, QSize(1024, 724), 202, true);
        }
        const QImage doubled = Rgb(Picture(202, 2.0));
        QVERIFY(SameIn(window, doubled, QRect(900, 1300, 200, 120))); // the gauge's face
        QVERIFY(SameIn(window, doubled, QRect(0, 0, 64, 64)));
    }

    void widgetRepaintsThePartAskedFor() {
        SkinnedTestWindow window(154);
        window.resize(317, 518);
        const QImage whole = Rgb(window.grab().toImage());
        const QImage skin = Rgb(Picture(154));
        QVERIFY(SameIn(whole, skin, QRect(0, 0, 316, 518)));
        QCOMPARE(whole.pixel(316, 10), qRgb(0, 0, 0)); // beyond the 316-pixel picture
        // Painting only a part lands that part at its place.
        const QRect part(40, 300, 50, 30);
        const QImage piece = Rgb(window.grab(part).toImage());
        QCOMPARE(piece.size(), part.size());
        QVERIFY(SameIn(piece, skin.copy(part), QRect(QPoint(0, 0), part.size())));
    }

    // ---- The off-screen drawing surface ----------------------------------------------

    void offscreenStartsInTheBackgroundColour() {
        QImage target(100, 80, QImage::Format_RGB32);
        target.fill(Qt::blue);
        QPainter painter(&target);
        const QRect area(10, 10, 30, 20);
        {
            COffscreenDC dc(&painter, &area);
            QVERIFY(dc.IsBuffered());
            dc->fillRect(QRect(15, 15, 5, 5), Qt::red);
            // Nothing reaches the target before the one copy at the end.
            QCOMPARE(target.pixel(16, 16), QColor(Qt::blue).rgb());
        }
        QCOMPARE(target.pixel(12, 12), qRgb(255, 255, 255)); // a fresh painter's background
        QCOMPARE(target.pixel(16, 16), QColor(Qt::red).rgb());
        QCOMPARE(target.pixel(5, 5), QColor(Qt::blue).rgb()); // outside the area
        QCOMPARE(target.pixel(40, 30), QColor(Qt::blue).rgb());
        painter.setBackground(Qt::green);
        { COffscreenDC dc(&painter, &area); }
        QCOMPARE(target.pixel(12, 12), QColor(Qt::green).rgb());
    }

    void offscreenStartsAsACopyOfTheScreen() {
        QImage target(100, 80, QImage::Format_RGB32);
        for (int x = 0; x < 100; ++x)
            for (int y = 0; y < 80; ++y)
                target.setPixel(x, y, qRgb(x * 2, y * 3, 77));
        const QImage before = target.copy();
        QPainter painter(&target);
        const QRect area(20, 10, 40, 40);
        {
            COffscreenDC dc(&painter, &area, true);
            dc->fillRect(QRect(30, 20, 4, 4), Qt::red);
        }
        QCOMPARE(target.pixel(31, 21), QColor(Qt::red).rgb());
        QCOMPARE(target.pixel(21, 11), before.pixel(21, 11));
        QCOMPARE(target.pixel(59, 49), before.pixel(59, 49));
        QCOMPARE(target.pixel(45, 40), before.pixel(45, 40));
    }

    void offscreenAreaAwayFromTheOrigin() {
        QImage target(120, 100, QImage::Format_RGB32);
        target.fill(Qt::blue);
        QPainter painter(&target);
        const QRect area(70, 50, 30, 25);
        {
            COffscreenDC dc(&painter, &area, true);
            dc->fillRect(QRect(72, 52, 3, 3), Qt::red);   // target coordinates
            dc->fillRect(QRect(5, 5, 10, 10), Qt::green); // outside the area: not buffered
            dc->drawLine(QPoint(70, 74), QPoint(99, 74));
        }
        QCOMPARE(target.pixel(73, 53), QColor(Qt::red).rgb());
        QCOMPARE(target.pixel(71, 51), QColor(Qt::blue).rgb());
        QCOMPARE(target.pixel(8, 8), QColor(Qt::blue).rgb());
        QCOMPARE(target.pixel(85, 74), qRgb(0, 0, 0));
        QCOMPARE(target.pixel(85, 75), QColor(Qt::blue).rgb());
    }

    void offscreenFollowsTheTargetsTransform() {
        QImage target(100, 100, QImage::Format_RGB32);
        target.fill(Qt::blue);
        QPainter painter(&target);
        painter.scale(2, 2);
        const QRect area(10, 10, 10, 10);
        {
            COffscreenDC dc(&painter, &area, true);
            dc->fillRect(QRect(12, 12, 2, 2), Qt::red);
        }
        QCOMPARE(target.pixel(24, 24), QColor(Qt::red).rgb());
        QCOMPARE(target.pixel(27, 27), QColor(Qt::red).rgb());
        QCOMPARE(target.pixel(23, 23), QColor(Qt::blue).rgb());
        QCOMPARE(target.pixel(28, 28), QColor(Qt::blue).rgb());
    }

    void offscreenKeepsDevicePixels() {
        QImage target(200, 200, QImage::Format_RGB32);
        target.setDevicePixelRatio(2.0);
        target.fill(Qt::blue);
        QPainter painter(&target);
        const QRect area(10, 10, 20, 20);
        {
            COffscreenDC dc(&painter, &area, true);
            dc->fillRect(QRectF(12, 12, 0.5, 0.5), Qt::red);
        }
        QCOMPARE(target.pixel(24, 24), QColor(Qt::red).rgb());
        QCOMPARE(target.pixel(25, 25), QColor(Qt::blue).rgb());
    }

    void offscreenWithoutAnAreaCoversTheClipBox() {
        QImage target(60, 60, QImage::Format_RGB32);
        target.fill(Qt::blue);
        QPainter painter(&target);
        painter.setClipRect(QRect(10, 10, 20, 20));
        {
            COffscreenDC dc(&painter);
            QCOMPARE(dc.Area(), QRect(10, 10, 20, 20));
        }
        QCOMPARE(target.pixel(15, 15), qRgb(255, 255, 255));
        QCOMPARE(target.pixel(35, 35), QColor(Qt::blue).rgb());
        painter.setClipping(false);
        COffscreenDC whole(&painter);
        QCOMPARE(whole.Area(), QRect(0, 0, 60, 60));
        // On a doubled image the surface is measured in its logical pixels.
        QImage doubled(120, 120, QImage::Format_RGB32);
        doubled.setDevicePixelRatio(2.0);
        QPainter onDoubled(&doubled);
        COffscreenDC all(&onDoubled);
        QCOMPARE(all.Area(), QRect(0, 0, 60, 60));
    }

    void offscreenCopiesWhatAWidgetShows() {
        // A child buffering with the screen copied first shows its parent through it.
        StripedParent parent;
        parent.resize(80, 40);
        auto* child = new CopyScreenChild(&parent);
        child->setGeometry(20, 10, 40, 20);
        QImage shot(parent.size(), QImage::Format_RGB32);
        shot.fill(Qt::black);
        parent.render(&shot);
        QCOMPARE(shot.pixel(21, 11), QColor(Qt::red).rgb());
        for (int x = 26; x < 60; ++x)
            QCOMPARE(shot.pixel(x, 20), shot.pixel(x, 2)); // the stripes run on through the child
    }

    void offscreenPassesThroughToAPrinter() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("page.pdf"));
        QPainter painter;
        QVERIFY(painter.begin(&printer));
        const QRect area(10, 10, 200, 100);
        {
            COffscreenDC dc(&painter, &area);
            QVERIFY(!dc.IsBuffered());
            QCOMPARE(dc.DC(), &painter);
            QCOMPARE(dc.Area(), area);
            dc->drawLine(20, 20, 180, 80);
        }
        // The printer's painter is still its owner's, active and usable.
        QVERIFY(painter.isActive());
        painter.drawText(QPoint(20, 150), QStringLiteral("after"));
        QVERIFY(painter.end());
        QVERIFY(QFileInfo(dir.filePath("page.pdf")).size() > 0);
    }

    // ---- The player window's bitmap buttons ------------------------------------------

    void pressedLooksFollowPlayPauseAndStop() {
        if (qEnvironmentVariableIsEmpty("PLAYER_TEST_CARD"))
            QSKIP("no test card (run through ctest)");
        CurrentRecord = CurrentRecordData();
        CPlayerDlg w;
        w.show();
        auto shows = [&](int control, int picture) {
            auto* button = qobject_cast<CBitmapButton*>(w.GetDlgItem(control));
            return button && Rgb(button->grab().toImage()) == Rgb(Picture(picture));
        };
        // At rest: the record tab lit, the information tab dark, play and pause normal.
        QVERIFY(shows(1000, 139));
        QVERIFY(shows(1001, 136));
        QVERIFY(shows(1007, 168));
        QVERIFY(shows(1006, 166));
        QVERIFY(shows(1005, 182));

        CurrentRecord.folder = CardDir();
        CurrentRecord.fileName = QStringLiteral("0001.asf");
        QVERIFY(w.OnOpenRecord());
        QVERIFY(shows(1007, 169));
        QVERIFY(shows(1006, 166));
        QVERIFY(shows(1000, 138));
        QVERIFY(shows(1001, 137));

        w.OnPause();
        QVERIFY(shows(1007, 168));
        QVERIFY(shows(1006, 167));
        w.OnPlay();
        QVERIFY(shows(1007, 169));
        QVERIFY(shows(1006, 166));

        w.OnStop();
        QVERIFY(shows(1007, 168));
        QVERIFY(shows(1006, 166));
        QVERIFY(shows(1000, 139));
        QVERIFY(shows(1001, 136));
    }
};

QTEST_MAIN(TestSkin)
#include "test_skin.moc"
