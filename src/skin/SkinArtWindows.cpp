// SPDX-License-Identifier: GPL-3.0-or-later
// The window backgrounds of the skin: the player window (and its mph twin), the about
// box's face and the two side panels.
#include "skin/SkinArt.h"
#include "skin/SkinKit.h"
#include "skin/SkinLayout.h"

#include <QPainterPathStroker>
#include <QtMath>

using namespace SkinKit;

namespace {

// A rectangle whose top-right corner is rounded with radius `big` and the other three
// with `small`.
QPainterPath TopRightRounded(const QRectF& r, qreal big, qreal small) {
    QPainterPath path;
    path.moveTo(r.left() + small, r.top());
    path.lineTo(r.right() - big, r.top());
    path.arcTo(QRectF(r.right() - 2 * big, r.top(), 2 * big, 2 * big), 90, -90);
    path.lineTo(r.right(), r.bottom() - small);
    if (small > 0)
        path.arcTo(QRectF(r.right() - 2 * small, r.bottom() - 2 * small, 2 * small, 2 * small), 0,
                   -90);
    path.lineTo(r.left() + small, r.bottom());
    if (small > 0)
        path.arcTo(QRectF(r.left(), r.bottom() - 2 * small, 2 * small, 2 * small), 270, -90);
    path.lineTo(r.left(), r.top() + small);
    if (small > 0)
        path.arcTo(QRectF(r.left(), r.top(), 2 * small, 2 * small), 180, -90);
    path.closeSubpath();
    return path;
}

QPointF PolarPoint(const QPointF& centre, qreal radius, qreal degrees) {
    const qreal a = qDegreesToRadians(degrees);
    return {centre.x() + radius * std::cos(a), centre.y() - radius * std::sin(a)};
}

// The program's emblem: a lens inside a ring, with a small location mark.
void Emblem(QPainter& p, const QPointF& c, qreal r, qreal alpha = 1.0) {
    p.save();
    p.setOpacity(p.opacity() * alpha);
    QRadialGradient ring(c - QPointF(r * 0.3, r * 0.3), r * 1.4);
    ring.setColorAt(0, Colour::AccentLight);
    ring.setColorAt(1, Colour::Accent.darker(150));
    p.setPen(QPen(QBrush(ring), r * 0.16));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r * 0.88, r * 0.88);
    QRadialGradient lens(c - QPointF(r * 0.2, r * 0.25), r * 0.7);
    lens.setColorAt(0, QColor(120, 190, 255));
    lens.setColorAt(0.45, QColor(24, 70, 150));
    lens.setColorAt(1, QColor(6, 16, 40));
    p.setPen(Qt::NoPen);
    p.setBrush(lens);
    p.drawEllipse(c, r * 0.56, r * 0.56);
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawEllipse(c - QPointF(r * 0.2, r * 0.2), r * 0.12, r * 0.12);
    p.restore();
}

// A dial: chrome bezel, dark face, ticks and numbers from 0 to `maximum`.
void Gauge(QPainter& p, const QPointF& c, qreal r, int maximum, int labelStep, int minorStep,
           int redFrom, const QString& unit, bool shadow = true) {
    if (shadow)
        DropShadow(p, Circle(c + QPointF(0, 2), r), QPointF(0, 0), 4, QColor(0, 0, 0, 170));
    QLinearGradient chrome(c - QPointF(r, r), c + QPointF(r, r));
    chrome.setColorAt(0, QColor(214, 220, 230));
    chrome.setColorAt(0.45, QColor(120, 128, 140));
    chrome.setColorAt(0.55, QColor(86, 92, 102));
    chrome.setColorAt(1, QColor(36, 40, 46));
    p.setPen(Qt::NoPen);
    p.setBrush(chrome);
    p.drawEllipse(c, r, r);
    p.setBrush(QColor(10, 12, 16));
    p.drawEllipse(c, r - 3.2, r - 3.2);
    QRadialGradient face(c - QPointF(0, r * 0.35), r * 1.1);
    face.setColorAt(0, QColor(24, 44, 78));
    face.setColorAt(0.6, QColor(10, 22, 44));
    face.setColorAt(1, QColor(3, 8, 18));
    p.setBrush(face);
    p.drawEllipse(c, r - 4.2, r - 4.2);

    // The scale sweeps 240 degrees, leaving the bottom free for the display and the unit.
    auto angleOf = [&](qreal v) { return 210.0 - 240.0 * v / maximum; };
    // The red zone along the outer edge of the scale.
    QPainterPath red;
    const qreal rr = r - 6.5;
    const QRectF redBox(c.x() - rr, c.y() - rr, 2 * rr, 2 * rr);
    red.arcMoveTo(redBox, angleOf(redFrom));
    red.arcTo(redBox, angleOf(redFrom), angleOf(maximum) - angleOf(redFrom));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(230, 52, 52), 2.2, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(red);
    // The lit arc below the numbers, as on a car's cluster.
    QPainterPath blue;
    blue.arcMoveTo(redBox, angleOf(0));
    blue.arcTo(redBox, angleOf(0), angleOf(redFrom) - angleOf(0));
    p.setPen(QPen(QColor(64, 156, 255, 150), 1.2, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(blue);

    for (int v = 0; v <= maximum; v += minorStep) {
        const bool major = v % labelStep == 0;
        const qreal a = angleOf(v);
        p.setPen(QPen(major ? QColor(225, 232, 242) : QColor(130, 148, 175), major ? 1.6 : 1.0,
                      Qt::SolidLine, Qt::FlatCap));
        p.drawLine(PolarPoint(c, r - (major ? 14.5 : 11.5), a), PolarPoint(c, r - 8.5, a));
    }
    const QFont numbers = Font(8, QFont::DemiBold, 0, true);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(190, 204, 222));
    for (int v = 0; v <= maximum; v += labelStep) {
        const QPointF at = PolarPoint(c, r - 21.5, angleOf(v));
        p.drawPath(TextPathCentred(numbers, QString::number(v),
                                   QRectF(at - QPointF(10, 5), QSizeF(20, 10))));
    }
    p.setBrush(QColor(120, 170, 230));
    p.drawPath(TextPathCentred(Font(8.5, QFont::Bold, 0.4), unit,
                               QRectF(c.x() - 20, c.y() + r - 20, 40, 10)));
}

// A round socket in the metal for a circular button.
void Socket(QPainter& p, const QPointF& c, qreal r) {
    QRadialGradient inner(c, r);
    inner.setColorAt(0, QColor(20, 23, 28));
    inner.setColorAt(0.85, QColor(9, 10, 13));
    inner.setColorAt(1, QColor(4, 5, 7));
    Recess(p, Circle(c, r), inner, 3.0);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(150, 160, 175, 70), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r + 1.0, r + 1.0);
    p.restore();
}

// The G-sensor legend in the colours of the chart's three axes.
void SensorLegend(QPainter& p, const QRectF& band) {
    p.save();
    p.setPen(Qt::NoPen);
    const qreal y = band.center().y();
    p.setBrush(Colour::Label);
    const QFont caption = Font(9, QFont::Bold, 1.6);
    QPainterPath text = TextPath(caption, QStringLiteral("G-SENSOR"), QPointF(0, 0));
    text.translate(band.left() - text.boundingRect().left(), y - text.boundingRect().center().y());
    p.drawPath(text);
    qreal x = text.boundingRect().right() + 16;
    const struct {
        const char* name;
        QColor colour;
    } axes[] = {{"X", QColor(255, 255, 255)}, {"Y", QColor(0, 255, 0)}, {"Z", QColor(255, 0, 0)}};
    const QFont letter = Font(9, QFont::Bold);
    for (const auto& axis : axes) {
        p.setBrush(axis.colour);
        p.drawEllipse(QPointF(x + 3, y), 2.6, 2.6);
        QPainterPath name = TextPath(letter, QString::fromLatin1(axis.name), QPointF(0, 0));
        name.translate(x + 9 - name.boundingRect().left(), y - name.boundingRect().center().y());
        p.setBrush(QColor(170, 184, 204));
        p.drawPath(name);
        x += 30;
    }
    // A hairline to the right edge of the video.
    QLinearGradient line(QPointF(x, y), QPointF(band.right(), y));
    line.setColorAt(0, QColor(64, 156, 255, 90));
    line.setColorAt(1, QColor(64, 156, 255, 0));
    p.fillRect(QRectF(x, y - 0.5, band.right() - x, 1.0), line);
    p.restore();
}

// The small clock mark beside the time display.
void ClockMark(QPainter& p, const QPointF& c, qreal r) {
    p.save();
    p.setPen(QPen(Colour::Label, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.setPen(QPen(Colour::Label, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, c + QPointF(0, -r * 0.62));
    p.drawLine(c, c + QPointF(r * 0.5, 0));
    p.restore();
}

// An empty screen: deep blue with a faint emblem, shown where the video or a map is not.
void IdleScreen(QPainter& p, const QRectF& r, bool emblem) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(6, 15, 32));
    g.setColorAt(1, QColor(2, 6, 14));
    p.fillRect(r, g);
    QRadialGradient vignette(r.center(), qMax(r.width(), r.height()) * 0.6);
    vignette.setColorAt(0, QColor(30, 70, 140, 46));
    vignette.setColorAt(1, QColor(30, 70, 140, 0));
    p.fillRect(r, vignette);
    if (emblem)
        Emblem(p, r.center(), qMin(r.width(), r.height()) * 0.12, 0.22);
}

// A faint map grid, where the map page appears.
void MapGrid(QPainter& p, const QRectF& r) {
    IdleScreen(p, r, false);
    p.save();
    p.setClipRect(r);
    p.setPen(QPen(QColor(60, 110, 180, 34), 1.0));
    for (qreal x = r.left() + 20; x < r.right(); x += 24)
        p.drawLine(QPointF(x + 0.5, r.top()), QPointF(x + 0.5, r.bottom()));
    for (qreal y = r.top() + 18; y < r.bottom(); y += 24)
        p.drawLine(QPointF(r.left(), y + 0.5), QPointF(r.right(), y + 0.5));
    // A winding road with a location pin.
    QPainterPath road;
    road.moveTo(r.left() - 10, r.bottom() - 60);
    road.cubicTo(r.left() + r.width() * 0.3, r.bottom() - 140, r.left() + r.width() * 0.45,
                 r.top() + 120, r.right() + 10, r.top() + 80);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(80, 140, 220, 60), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(road);
    p.setPen(QPen(QColor(120, 180, 255, 70), 1.2, Qt::DashLine, Qt::RoundCap));
    p.drawPath(road);
    const QPointF pin = road.pointAtPercent(0.55);
    QPainterPath marker;
    marker.addEllipse(pin - QPointF(0, 12), 7, 7);
    QPolygonF tail;
    tail << pin - QPointF(6, 9) << pin << pin - QPointF(-6, 9);
    marker.addPolygon(tail);
    marker = marker.simplified().subtracted(Circle(pin - QPointF(0, 12), 2.8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 90, 80, 90));
    p.drawPath(marker);
    p.restore();
}

// The panels' common body: their colour, the metal rim along the top, the rounded corner
// and the right edge. `size` is the picture's size; beyond the corner lies metal, so that a
// window a pixel wider or narrower than the picture still shows a clean edge.
QPainterPath PanelBody(QPainter& p, const QSize& size) {
    const QRectF all(0, 0, size.width(), size.height());
    p.fillRect(all, QColor(84, 92, 104));
    const QPainterPath body = TopRightRounded(QRectF(0, 0, size.width(), size.height() + 40),
                                              SkinLayout::kPanelCornerRadius, 0);
    QLinearGradient base(0, 0, 0, size.height());
    base.setColorAt(0, QColor(58, 73, 99));
    base.setColorAt(0.12, Colour::PanelBase);
    base.setColorAt(1, QColor(46, 59, 81));
    p.fillPath(body, base);
    // The rim runs along the top, round the corner and down the right edge only: the
    // panel's other edges meet the window's background square.
    const qreal r = SkinLayout::kPanelCornerRadius;
    QPainterPath rim;
    rim.moveTo(-2, 0);
    rim.lineTo(size.width() - r, 0);
    rim.arcTo(QRectF(size.width() - 2 * r, 0, 2 * r, 2 * r), 90, -90);
    rim.lineTo(size.width(), size.height() + 2);
    QLinearGradient light(0, 0, 0, size.height());
    light.setColorAt(0, QColor(200, 214, 234, 190));
    light.setColorAt(0.3, QColor(140, 160, 190, 120));
    light.setColorAt(1, QColor(100, 120, 150, 80));
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipPath(body, Qt::IntersectClip);
    p.strokePath(rim, QPen(QBrush(light), 3.2));
    p.restore();
    return body;
}

// The dial around the speed display, in km/h or mph, with the display's black box.
void Speedometer(QPainter& p, bool milesPerHour) {
    const QRectF speed = SkinLayout::SpeedDisplay();
    const QPointF centre(speed.center().x(), speed.center().y() - 3);
    if (milesPerHour)
        Gauge(p, centre, 48, 160, 20, 10, 110, QStringLiteral("mph"), false);
    else
        Gauge(p, centre, 48, 240, 40, 10, 180, QStringLiteral("km/h"));
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(64, 156, 255, 160), 1.0));
    p.setBrush(Qt::black);
    p.drawRoundedRect(speed.adjusted(-2.5, -2.5, 2.5, 2.5), 3, 3);
    p.restore();
}

} // namespace

namespace SkinArt {

void PlayerBackground(QPainter& p) {
    using namespace SkinLayout;
    const QRectF window(QPointF(0, 0), QSizeF(kPlayerSize));
    p.fillRect(window, Qt::black);

    // The frame: dark brushed metal with a bright rolled edge.
    const QPainterPath frame = Rounded(window, 20);
    BrushedMetal(p, frame, QColor(78, 84, 95), QColor(30, 33, 39), 202, 0.45);
    // A soft light falling on the top band.
    QLinearGradient sheen(0, 0, 0, 120);
    sheen.setColorAt(0, QColor(255, 255, 255, 26));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillPath(frame, sheen);
    Bevel(p, frame, 1.2, QColor(210, 218, 230, 190), QColor(0, 0, 0, 220));
    Bevel(p, Rounded(window.adjusted(1.5, 1.5, -1.5, -1.5), 18.5), 1.0, QColor(0, 0, 0, 110),
          QColor(255, 255, 255, 30));

    // The display bay holding video, chart, seek bar, panels and tabs; its top-right corner
    // follows the panels' rounded corner.
    const QRectF panels = Panels();
    const qreal bayMargin = 6;
    const QRectF bay(39, panels.top() - bayMargin, panels.right() + bayMargin - 39,
                     615 - (panels.top() - bayMargin));
    const QPainterPath bayShape = TopRightRounded(bay, kPanelCornerRadius + bayMargin, 10);
    QLinearGradient bayFill(bay.topLeft(), bay.bottomLeft());
    bayFill.setColorAt(0, QColor(13, 30, 62));
    bayFill.setColorAt(1, QColor(5, 13, 31));
    Recess(p, bayShape, bayFill, 4.5);
    p.save();
    p.setClipPath(bayShape);
    QRadialGradient glass(QPointF(bay.left() + 260, bay.top() - 40), 620);
    glass.setColorAt(0, QColor(120, 170, 255, 26));
    glass.setColorAt(1, QColor(120, 170, 255, 0));
    p.fillRect(bay, glass);
    p.restore();

    // Video screen.
    const QRectF video = Video();
    IdleScreen(p, video, true);
    p.setPen(QPen(QColor(40, 80, 140, 160), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(video.adjusted(-0.5, -0.5, 0.5, 0.5));

    // G-sensor legend between the video and the chart.
    const QRectF chart = Chart();
    SensorLegend(p, QRectF(chart.left(), video.bottom() + 2, video.right() - chart.left() - 4,
                           chart.top() - video.bottom() - 4));

    // Chart well with its grid.
    p.fillRect(chart, QColor(2, 6, 14));
    p.setPen(QPen(QColor(30, 60, 105, 120), 1.0, Qt::DotLine));
    for (int i = 1; i < 4; ++i) {
        const qreal y = qRound(chart.top() + chart.height() * i / 4.0) + 0.5;
        p.drawLine(QPointF(chart.left(), y), QPointF(chart.right(), y));
    }
    p.setPen(QPen(QColor(40, 80, 140, 160), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(chart.adjusted(-0.5, -0.5, 0.5, 0.5));

    // The seek strip as it looks with no recording open.
    p.save();
    p.translate(Seek().topLeft());
    SeekChannel(p, false);
    // Dimmed: with nothing playing, the road line should not call for attention.
    p.fillRect(QRectF(0, 24, 597, 13), QColor(6, 16, 36, 150));
    p.restore();

    // A fine rim around the panels.
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 140, 210, 110), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(TopRightRounded(panels.adjusted(-1.5, -1.5, 1.5, 1.5), kPanelCornerRadius + 1.5, 2));
    p.restore();

    // The tab strip under the panels.
    const QRectF tabs = QRectF(RecordTab()).united(QRectF(InfoTab())).adjusted(-4, -3, 4, 3);
    Recess(p, Rounded(tabs, 8), QColor(6, 11, 22), 2.5);

    // Title bar: emblem and the product's name.
    Emblem(p, QPointF(54, 25), 11);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(196, 206, 222));
    QPainterPath name = TextPath(CjkFont(14, QFont::Medium),
                                 QStringLiteral("车载录像及GPS轨迹跟踪仪"), QPointF(0, 0));
    name.translate(72 - name.boundingRect().left(), 25 - name.boundingRect().center().y());
    p.drawPath(name);

    // The curved groove of the three title buttons, concentric with the panels' corner.
    const QPointF corner(panels.right() - kPanelCornerRadius, panels.top() + kPanelCornerRadius);
    const QPointF about = QRectF(SkinLayout::TitleButton(0)).center();
    const QPointF close = QRectF(SkinLayout::TitleButton(2)).center();
    const qreal grooveRadius =
        (QLineF(corner, about).length() + QLineF(corner, close).length()) / 2;
    const qreal from = QLineF(corner, close).angle() - 7.5;
    const qreal to = QLineF(corner, about).angle() + 7.5;
    QPainterPath arc;
    const QRectF arcBox(corner.x() - grooveRadius, corner.y() - grooveRadius, 2 * grooveRadius,
                        2 * grooveRadius);
    arc.arcMoveTo(arcBox, from);
    arc.arcTo(arcBox, from, to - from);
    QPainterPathStroker stroker;
    stroker.setWidth(34);
    stroker.setCapStyle(Qt::RoundCap);
    QLinearGradient grooveFill(0, 0, 0, 100);
    grooveFill.setColorAt(0, QColor(16, 18, 22));
    grooveFill.setColorAt(1, QColor(26, 29, 35));
    Recess(p, stroker.createStroke(arc).simplified(), grooveFill, 3.0);
    for (int i = 0; i < 3; ++i) {
        const QPointF c = QRectF(SkinLayout::TitleButton(i)).center();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(4, 5, 7));
        p.drawEllipse(c, 14.6, 14.6);
        p.setPen(QPen(QColor(255, 255, 255, 40), 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c + QPointF(0, 0.6), 15.2, 15.2);
    }

    // Transport pod: the nine keys over the time display.
    const QRectF first = SkinLayout::TransportKey(0), last = SkinLayout::TransportKey(8);
    const QRectF time = TimeDisplay();
    const QRectF pod(first.left() - 8, first.top() - 8, last.right() - first.left() + 16,
                     time.bottom() + 7 - (first.top() - 8));
    Recess(p, Rounded(pod, 10), QColor(11, 13, 17), 3.5);
    Recess(p, Rounded(time.adjusted(-4, -3, 4, 3), 5), QColor(0, 0, 0), 2.0);
    ClockMark(p, QPointF(time.left() - 16, time.center().y()), 6);

    // Speedometer around the speed display.
    Speedometer(p, false);

    // Sockets of the circular command buttons.
    for (int i = 0; i < 4; ++i)
        Socket(p, QRectF(SkinLayout::CommandButton(i)).center(), 30.0);

    // The volume slot below the middle buttons.
    Recess(p, Rounded(QRectF(Volume()).adjusted(-3, -2.5, 3, 2.5), 6), QColor(0, 0, 0), 2.0);
}

void SecondSkinConsole(QPainter& p) {
    // Drawn over the first skin: the mph dial covers the km/h one, and a fifth socket
    // follows the four at the same pitch.
    Speedometer(p, true);
    const QPointF last = QRectF(SkinLayout::CommandButton(3)).center();
    const qreal pitch = last.x() - QRectF(SkinLayout::CommandButton(2)).center().x();
    Socket(p, last + QPointF(pitch, 0), 30.0);
}

void AboutFace(QPainter& p) {
    const QRectF all(0, 0, 397, 190);
    p.fillRect(all, Qt::black);
    // The light metal frame, rounded like the box's own shape.
    const QPainterPath frame = Rounded(all, 14);
    BrushedMetal(p, frame, QColor(196, 202, 212), QColor(112, 118, 130), 203, 0.7);
    Bevel(p, frame, 1.2, QColor(255, 255, 255, 200), QColor(40, 44, 52, 220));

    // The dark blue face inside it.
    const QRectF inner = all.adjusted(7, 7, -7, -7);
    QLinearGradient face(inner.topLeft(), inner.bottomLeft());
    face.setColorAt(0, QColor(16, 40, 84));
    face.setColorAt(1, QColor(5, 14, 34));
    Recess(p, Rounded(inner, 8), face, 3.5);
    p.save();
    p.setClipPath(Rounded(inner, 8));
    QRadialGradient glow(QPointF(inner.center().x(), inner.top() + 20), 260);
    glow.setColorAt(0, QColor(90, 160, 255, 60));
    glow.setColorAt(1, QColor(90, 160, 255, 0));
    p.fillRect(inner, glow);
    // A GPS track winding across the lower part.
    QPainterPath track;
    track.moveTo(inner.left() - 5, inner.bottom() - 22);
    track.cubicTo(inner.left() + 90, inner.bottom() - 60, inner.left() + 170, inner.bottom() + 10,
                  inner.left() + 260, inner.bottom() - 34);
    track.cubicTo(inner.left() + 300, inner.bottom() - 52, inner.left() + 340, inner.bottom() - 40,
                  inner.right() + 5, inner.bottom() - 58);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(80, 150, 255, 55), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(track);
    p.setPen(QPen(QColor(150, 200, 255, 90), 1.2, Qt::DashLine, Qt::RoundCap));
    p.drawPath(track);
    p.setPen(Qt::NoPen);
    for (qreal t : {0.18, 0.52, 0.86}) {
        p.setBrush(QColor(150, 210, 255, 120));
        p.drawEllipse(track.pointAtPercent(t), 2.5, 2.5);
    }
    p.restore();

    // Socket of the close button.
    const QPointF closeCentre = QRectF(SkinLayout::AboutClose()).center();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(3, 8, 20));
    p.drawEllipse(closeCentre, 15, 14.5);
    p.setPen(QPen(QColor(120, 170, 240, 70), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(closeCentre, 15.5, 15);

    // Emblem and the program's title in blue.
    Emblem(p, QPointF(44, 42), 17);
    const QPainterPath title =
        TextPathCentred(CjkFont(25, QFont::Bold), QStringLiteral("车载录像及GPS轨迹跟踪仪"),
                        QRectF(inner.left(), 72, inner.width(), 40));
    Glow(p, title, 7, QColor(40, 120, 255, 170));
    QLinearGradient letters(0, title.boundingRect().top(), 0, title.boundingRect().bottom());
    letters.setColorAt(0, QColor(190, 228, 255));
    letters.setColorAt(0.5, QColor(96, 176, 255));
    letters.setColorAt(1, QColor(40, 120, 240));
    p.setPen(Qt::NoPen);
    p.setBrush(letters);
    p.drawPath(title);
    // A fine rule under the title, fading at both ends, and the version.
    QLinearGradient rule(inner.left() + 60, 0, inner.right() - 60, 0);
    rule.setColorAt(0, QColor(100, 170, 255, 0));
    rule.setColorAt(0.5, QColor(100, 170, 255, 170));
    rule.setColorAt(1, QColor(100, 170, 255, 0));
    p.fillRect(QRectF(inner.left() + 60, 118, inner.width() - 120, 1), rule);
    p.setBrush(QColor(150, 176, 210));
    p.drawPath(TextPathCentred(CjkFont(12, QFont::Medium), QStringLiteral("1.6 版"),
                               QRectF(inner.left(), 124, inner.width(), 18)));
}

void RecordListBackground(QPainter& p) {
    using namespace SkinLayout;
    const QSize size(316, 521);
    const QPainterPath body = PanelBody(p, size);
    p.save();
    p.setClipPath(body);

    // The tool row with LOAD and OPEN: a slightly lighter band.
    const QRectF list = RecordList();
    const qreal stripTop = list.top() - 21;
    QLinearGradient tool(0, 0, 0, stripTop);
    tool.setColorAt(0, QColor(74, 90, 118));
    tool.setColorAt(1, QColor(56, 71, 97));
    p.fillRect(QRectF(0, 0, size.width(), stripTop), tool);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(170, 186, 208));
    // A list mark at the start of the row.
    for (int i = 0; i < 3; ++i) {
        const qreal y = 8.5 + i * 4.5;
        p.drawEllipse(QPointF(14, y + 1), 1.4, 1.4);
        p.drawRoundedRect(QRectF(18, y, 14, 2), 1, 1);
    }
    p.drawPath(TextPath(Font(9, QFont::Bold, 0.8), QStringLiteral("LIST"), QPointF(38, 16.5)));

    // The header strip with the list's column headings.
    const QRectF strip(list.left(), stripTop, list.width(), list.top() - stripTop);
    QLinearGradient header(strip.topLeft(), strip.bottomLeft());
    header.setColorAt(0, QColor(36, 47, 67));
    header.setColorAt(1, QColor(26, 35, 51));
    p.fillRect(strip, header);
    p.fillRect(QRectF(strip.left(), strip.top(), strip.width(), 1), QColor(0, 0, 0, 120));
    p.fillRect(QRectF(strip.left(), strip.bottom() - 1, strip.width(), 1),
               QColor(90, 140, 210, 120));
    const QFont headings = Font(9.5, QFont::Bold, 0.5);
    const struct {
        const char* text;
        qreal left, width;
    } columns[] = {{"NO.", 0, 60}, {"FileName", 60, 150}, {"Event", 210, 70}};
    for (const auto& column : columns) {
        const qreal x = strip.left() + column.left;
        if (column.left > 0)
            p.fillRect(QRectF(x, strip.top() + 5, 1, strip.height() - 10), QColor(90, 110, 140));
        QPainterPath text = TextPath(headings, QString::fromLatin1(column.text), QPointF(0, 0));
        text.translate(x + 7 - text.boundingRect().left(),
                       strip.center().y() - text.boundingRect().center().y());
        p.setBrush(QColor(178, 194, 216));
        p.drawPath(text);
    }

    // The list's own colour under it, and the preview screen below.
    p.fillRect(list, Colour::PanelBase);
    const QRectF preview = Preview();
    p.fillRect(QRectF(0, list.bottom() + 6, size.width(), 1), QColor(90, 110, 140, 120));
    IdleScreen(p,
               QRectF(preview.left(), preview.top(), size.width() - preview.left(),
                      size.height() - preview.top()),
               true);
    p.restore();
}

void InfoPanelBackground(QPainter& p) {
    using namespace SkinLayout;
    const QSize size(316, 521);
    const QPainterPath body = PanelBody(p, size);
    p.save();
    p.setClipPath(body);
    // The labels paint their own cells in the panel colour: keep it flat where they are.
    const QRectF map = MapArea();
    p.fillRect(QRectF(0, 14, size.width(), map.top() - 14), Colour::PanelBase);

    // Fields: a dark edge above and a light one below each edit.
    for (const QRectF& field :
         {QRectF(RecordLine()), QRectF(EventEdit()), QRectF(ResolutionEdit())}) {
        p.fillRect(field.adjusted(-1, -1, 1, 1), QColor(24, 32, 46));
        p.fillRect(QRectF(field.left() - 1, field.bottom() + 1, field.width() + 2, 1),
                   QColor(110, 130, 160, 150));
        p.fillRect(field, QColor(61, 89, 123));
    }

    // The map's title strip.
    const QRectF strip(0, map.top() - 22, size.width(), 22);
    QLinearGradient header(strip.topLeft(), strip.bottomLeft());
    header.setColorAt(0, QColor(36, 47, 67));
    header.setColorAt(1, QColor(26, 35, 51));
    p.fillRect(strip, header);
    p.fillRect(QRectF(0, strip.bottom() - 1, size.width(), 1), QColor(90, 140, 210, 120));
    const QPointF pin(16, strip.center().y() + 1);
    QPainterPath marker;
    marker.addEllipse(pin - QPointF(0, 3.5), 4.2, 4.2);
    QPolygonF tail;
    tail << pin - QPointF(3.6, 1.6) << pin + QPointF(0, 5) << pin - QPointF(-3.6, 1.6);
    marker.addPolygon(tail);
    marker = marker.simplified().subtracted(Circle(pin - QPointF(0, 3.5), 1.6));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 110, 96));
    p.drawPath(marker);
    QPainterPath text =
        TextPath(Font(9.5, QFont::Bold, 1.2), QStringLiteral("GPS TRACK"), QPointF(0, 0));
    text.translate(28 - text.boundingRect().left(),
                   strip.center().y() - text.boundingRect().center().y());
    p.setBrush(QColor(178, 194, 216));
    p.drawPath(text);

    MapGrid(p, QRectF(map.left(), map.top(), size.width(), size.height() - map.top()));
    p.restore();
}

} // namespace SkinArt
