// SPDX-License-Identifier: GPL-3.0-or-later
// The skin's keys, buttons and slider pictures.
#include "skin/SkinArt.h"
#include "skin/SkinKit.h"

#include <QtMath>

using namespace SkinKit;

namespace {

// The dark of the recess that the transport keys and the tabs sit in (see the player
// window's background), painted where a key's rounded corners leave the picture open.
const QColor kPodColour(11, 13, 17);
const QColor kTabStripColour(6, 11, 22);
const QColor kSocketColour(9, 10, 13);

// A key cap: rounded, with a light top edge; `lit` gives it the blue of an active key.
void KeyCap(QPainter& p, const QRectF& r, qreal radius, bool lit, bool sunk) {
    const QPainterPath cap = Rounded(r, radius);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    if (lit) {
        g.setColorAt(0, QColor(70, 150, 245));
        g.setColorAt(0.5, QColor(34, 96, 196));
        g.setColorAt(1, QColor(22, 64, 150));
    } else if (sunk) {
        g.setColorAt(0, QColor(18, 21, 27));
        g.setColorAt(1, QColor(34, 39, 48));
    } else {
        g.setColorAt(0, QColor(66, 73, 85));
        g.setColorAt(0.5, QColor(44, 49, 58));
        g.setColorAt(1, QColor(30, 34, 41));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 200));
    p.drawPath(Rounded(r.adjusted(-0.5, -0.5, 0.5, 0.5), radius + 0.5));
    p.setBrush(g);
    p.drawPath(cap);
    if (sunk && !lit) {
        Bevel(p, cap, 1.0, QColor(0, 0, 0, 160), QColor(255, 255, 255, 30));
    } else {
        Bevel(p, cap, 1.0, lit ? QColor(190, 225, 255, 210) : QColor(160, 170, 186, 150),
              QColor(0, 0, 0, 90));
    }
}

// A symbol: plain, or white with a blue glow behind it.
void Symbol(QPainter& p, const QPainterPath& shape, const QColor& colour, bool glow) {
    if (glow)
        Glow(p, shape, 2.5, QColor(90, 170, 255, 230));
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(shape);
}

QPainterPath TransportSymbol(SkinArt::TransportKind kind, const QPointF& c) {
    using K = SkinArt::TransportKind;
    QPainterPath path;
    const qreal h = 11; // height of the full-size symbols
    const QRectF tri(0, 0, 9.5, h);
    auto at = [&](qreal x, const QRectF& r) {
        return r.translated(c.x() + x, c.y() - r.height() / 2);
    };
    switch (kind) {
    case K::Head:
        path.addRoundedRect(at(-6.5, QRectF(0, 0, 2.4, h)), 0.6, 0.6);
        path.addPath(Triangle(at(-3.5, tri), -1));
        break;
    case K::End:
        path.addPath(Triangle(at(-6, tri), +1));
        path.addRoundedRect(at(4, QRectF(0, 0, 2.4, h)), 0.6, 0.6);
        break;
    case K::FrameBack:
        path.addPath(Triangle(at(-3.5, QRectF(0, 0, 6.5, 7.5)), -1));
        break;
    case K::FrameForward:
        path.addPath(Triangle(at(-3, QRectF(0, 0, 6.5, 7.5)), +1));
        break;
    case K::Back:
        path.addPath(Triangle(at(-8, QRectF(0, 0, 8, 9.5)), -1));
        path.addPath(Triangle(at(0, QRectF(0, 0, 8, 9.5)), -1));
        break;
    case K::Forward:
        path.addPath(Triangle(at(-8, QRectF(0, 0, 8, 9.5)), +1));
        path.addPath(Triangle(at(0, QRectF(0, 0, 8, 9.5)), +1));
        break;
    case K::Stop:
        path.addRoundedRect(at(-4.5, QRectF(0, 0, 9, 9)), 1.2, 1.2);
        break;
    case K::Pause:
        path.addRoundedRect(at(-4.5, QRectF(0, 0, 3.2, h)), 0.8, 0.8);
        path.addRoundedRect(at(1.3, QRectF(0, 0, 3.2, h)), 0.8, 0.8);
        break;
    case K::Play:
        path.addPath(Triangle(at(-4, QRectF(0, 0, 10, 12)), +1));
        break;
    }
    return path.simplified();
}

QPainterPath CommandSymbol(SkinArt::CommandKind kind, const QRectF& box) {
    using K = SkinArt::CommandKind;
    switch (kind) {
    case K::Open:
        return FolderIcon(box);
    case K::Snap:
        return CameraIcon(box);
    case K::Print:
        return PrinterIcon(box);
    case K::Tools:
        return ToolsIcon(box);
    case K::Disc:
        return DiscIcon(box);
    }
    return {};
}

// A glossy coloured disc filling `r`, for the title and close buttons.
void GlossDisc(QPainter& p, const QRectF& r, const QColor& base, bool bright) {
    const QColor colour = bright ? base.lighter(135) : base.darker(125);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 150));
    p.drawEllipse(r);
    const QRectF face = r.adjusted(1, 1, -1, -1);
    QRadialGradient g(face.center() + QPointF(0, face.height() * 0.25), face.width() * 0.62);
    g.setColorAt(0, colour.lighter(bright ? 130 : 115));
    g.setColorAt(0.7, colour);
    g.setColorAt(1, colour.darker(170));
    p.setBrush(g);
    p.drawEllipse(face);
    // The gloss: a soft white lens over the upper half.
    QLinearGradient gloss(face.topLeft(), QPointF(face.left(), face.center().y()));
    gloss.setColorAt(0, QColor(255, 255, 255, bright ? 170 : 120));
    gloss.setColorAt(1, QColor(255, 255, 255, 8));
    p.setBrush(gloss);
    p.drawEllipse(QRectF(face.left() + face.width() * 0.16, face.top() + face.height() * 0.05,
                         face.width() * 0.68, face.height() * 0.48));
    p.setPen(QPen(QColor(255, 255, 255, bright ? 110 : 60), 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(face.adjusted(0.4, 0.4, -0.4, -0.4));
}

// The channel of a volume-like slider: a black bar with a wedge that grows to the right.
void WedgeChannel(QPainter& p, const QRectF& all, qreal trackLeft, qreal trackRight, bool speaker,
                  bool played) {
    p.fillRect(all, Qt::black);
    const QPainterPath bar = Rounded(all.adjusted(0.5, 0.5, -0.5, -0.5), 4);
    QLinearGradient g(all.topLeft(), all.bottomLeft());
    g.setColorAt(0, QColor(18, 20, 24));
    g.setColorAt(1, QColor(4, 5, 7));
    p.setPen(QPen(QColor(70, 78, 90), 1.0));
    p.setBrush(g);
    p.drawPath(bar);
    if (speaker) {
        const QRectF icon(5, all.center().y() - 6.5, 13, 13);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(170, 180, 196));
        p.drawPath(SpeakerIcon(icon));
        p.setPen(QPen(QColor(170, 180, 196), 1.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const QPointF c(icon.left() + 8.5, icon.center().y());
        p.drawArc(QRectF(c.x() - 5, c.y() - 5, 10, 10), -45 * 16, 90 * 16);
        // Loud end: small bars rising at the right.
        for (int i = 0; i < 3; ++i) {
            const qreal h = 3 + i * 2.5;
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(120, 130, 146));
            p.drawRoundedRect(QRectF(trackRight + 6 + i * 4, all.center().y() + 5 - h, 2.2, h), 0.8,
                              0.8);
        }
    }
    // The wedge: thin at the quiet end, full at the loud end.
    const qreal base = all.center().y() + 4.5;
    QPolygonF wedge;
    wedge << QPointF(trackLeft, base) << QPointF(trackRight, base - 9) << QPointF(trackRight, base)
          << QPointF(trackLeft, base + 0.01);
    QPainterPath shape;
    shape.addPolygon(wedge);
    shape.closeSubpath();
    QPainterPath rounded = shape;
    if (played) {
        Glow(p, rounded, 2.5, QColor(40, 140, 255, 200));
        QLinearGradient blue(trackLeft, 0, trackRight, 0);
        blue.setColorAt(0, QColor(40, 110, 230));
        blue.setColorAt(1, QColor(110, 200, 255));
        p.setPen(Qt::NoPen);
        p.setBrush(blue);
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(150, 158, 172));
    }
    p.drawPath(rounded);
}

} // namespace

namespace SkinArt {

void TabButton(QPainter& p, TabKind kind, bool lit) {
    const QRectF all(0, 0, 147, 26);
    p.fillRect(all, kTabStripColour);
    const QRectF cap = all.adjusted(1, 1, -1, -1);
    KeyCap(p, cap, 6, lit, false);
    if (lit) {
        // An underline of light, as on a selected tab.
        QLinearGradient line(cap.left() + 14, 0, cap.right() - 14, 0);
        line.setColorAt(0, QColor(170, 225, 255, 0));
        line.setColorAt(0.5, QColor(210, 240, 255, 230));
        line.setColorAt(1, QColor(170, 225, 255, 0));
        p.fillRect(QRectF(cap.left() + 14, cap.bottom() - 2.2, cap.width() - 28, 1.2), line);
    }
    const QColor ink = lit ? Colour::SymbolLit : QColor(146, 156, 172);
    const bool info = kind == TabKind::Information;
    const QRectF iconBox(14, all.center().y() - 7, 14, 14);
    const QPainterPath icon = info ? InfoIcon(iconBox) : CameraIcon(iconBox.adjusted(-1, -1, 1, 1));
    const QFont font = Font(10.5, QFont::Bold, 1.4);
    QPainterPath text = TextPath(
        font, info ? QStringLiteral("INFORMATION") : QStringLiteral("RECORD"), QPointF(0, 0));
    // Icon and word centred together.
    const qreal gap = 8;
    const qreal total = iconBox.width() + gap + text.boundingRect().width();
    const qreal left = all.center().x() - total / 2;
    const QPainterPath placedIcon = icon.translated(left - iconBox.left(), 0);
    text.translate(left + iconBox.width() + gap - text.boundingRect().left(),
                   all.center().y() - text.boundingRect().center().y());
    if (lit) {
        Symbol(p, placedIcon.united(text), ink, true);
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 140));
        p.drawPath(placedIcon.translated(0, 1).united(text.translated(0, 1)));
        Symbol(p, placedIcon.united(text), ink, false);
    }
}

void TransportKey(QPainter& p, TransportKind kind, bool pressed) {
    const QRectF all(0, 0, 34, 28);
    p.fillRect(all, kPodColour);
    const QRectF cap = all.adjusted(1, 1.5, -1, -1.5);
    KeyCap(p, cap, 4, false, pressed);
    if (pressed) {
        // A blue light under the pressed key's symbol.
        QRadialGradient light(cap.center(), 14);
        light.setColorAt(0, QColor(50, 130, 255, 90));
        light.setColorAt(1, QColor(50, 130, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(light);
        p.drawPath(Rounded(cap.adjusted(1, 1, -1, -1), 3));
        p.fillRect(QRectF(cap.left() + 8, cap.bottom() - 2.5, cap.width() - 16, 1.2),
                   QColor(90, 180, 255, 200));
    }
    const QPainterPath symbol = TransportSymbol(kind, cap.center() + QPointF(0, pressed ? 0.5 : 0));
    if (!pressed) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 150));
        p.drawPath(symbol.translated(0, 1));
    }
    Symbol(p, symbol, pressed ? Colour::SymbolLit : QColor(168, 176, 190), pressed);
}

void CommandButton(QPainter& p, CommandKind kind, bool bright) {
    const QRectF all(0, 0, 55, 55);
    p.fillRect(all, kSocketColour);
    const QPointF c = all.center();
    // Chrome ring.
    QLinearGradient chrome(all.topLeft(), all.bottomRight());
    chrome.setColorAt(0, QColor(222, 228, 236));
    chrome.setColorAt(0.5, QColor(104, 112, 124));
    chrome.setColorAt(1, QColor(40, 44, 52));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 22, 26));
    p.drawEllipse(c, 27.5, 27.5);
    p.setBrush(chrome);
    p.drawEllipse(c, 26.6, 26.6);
    p.setBrush(QColor(12, 14, 18));
    p.drawEllipse(c, 23.4, 23.4);
    // Face: dark glass, lit blue under the pointer.
    QRadialGradient face(c + QPointF(0, 8), 28);
    if (bright) {
        face.setColorAt(0, QColor(40, 110, 210));
        face.setColorAt(0.6, QColor(18, 52, 112));
        face.setColorAt(1, QColor(8, 20, 46));
    } else {
        face.setColorAt(0, QColor(46, 54, 68));
        face.setColorAt(0.6, QColor(28, 33, 42));
        face.setColorAt(1, QColor(14, 17, 22));
    }
    p.setBrush(face);
    p.drawEllipse(c, 22.6, 22.6);
    QLinearGradient gloss(c - QPointF(0, 22), c);
    gloss.setColorAt(0, QColor(255, 255, 255, bright ? 80 : 52));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawEllipse(QRectF(c.x() - 16, c.y() - 21.5, 32, 20));
    if (bright) {
        p.setPen(QPen(QColor(110, 190, 255, 200), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, 22.4, 22.4);
    }

    const QRectF box(c.x() - 13, c.y() - 13, 26, 26);
    const QPainterPath symbol = CommandSymbol(kind, box);
    if (!bright) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 160));
        p.drawPath(symbol.translated(0, 1));
    }
    Symbol(p, symbol, bright ? Colour::SymbolLit : QColor(160, 172, 190), bright);
}

void TitleButton(QPainter& p, TitleKind kind, bool bright) {
    const QRectF all(0, 0, 26, 26);
    p.fillRect(all, Qt::white); // outside the disc: the mask's white
    QColor base;
    QPainterPath glyph;
    const QRectF box(6, 6, 14, 14);
    switch (kind) {
    case TitleKind::About:
        base = QColor(40, 170, 70);
        glyph =
            TextPathCentred(Font(13, QFont::Black), QStringLiteral("?"), box.translated(0, 0.3));
        break;
    case TitleKind::Minimise:
        base = QColor(40, 110, 220);
        glyph = MinimiseIcon(box);
        break;
    case TitleKind::Close:
        base = QColor(214, 44, 40);
        glyph = PowerIcon(box);
        break;
    }
    GlossDisc(p, all, base, bright);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawPath(glyph.translated(0, 0.8));
    p.setBrush(Qt::white);
    p.drawPath(glyph);
}

void TitleMask(QPainter& p) {
    const QRectF all(0, 0, 26, 26);
    p.fillRect(all, Qt::white);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(all);
}

void PanelKey(QPainter& p, PanelKeyKind kind, KeyLook look) {
    const QRectF all(0, 0, 50, 20);
    p.fillRect(all, QColor(62, 78, 105)); // the tool row of the record list
    // The key keeps inside the 49 x 18 pixels its button is given in the panel.
    const QRectF cap(1, 1, 47, 16);
    const bool bright = look == KeyLook::Bright;
    KeyCap(p, cap, 4, bright, look == KeyLook::Dark);
    const QColor ink = bright                  ? Colour::SymbolLit
                       : look == KeyLook::Dark ? QColor(104, 112, 126)
                                               : QColor(200, 208, 220);
    const bool load = kind == PanelKeyKind::Load;
    const QRectF iconBox(5, 3, 12, 12);
    const QPainterPath icon =
        load ? PageIcon(iconBox) : BookIcon(iconBox.adjusted(-0.5, 0, 0.5, 0));
    QPainterPath text =
        TextPath(Font(8.5, QFont::Bold, 0.3),
                 load ? QStringLiteral("LOAD") : QStringLiteral("OPEN"), QPointF(0, 0));
    text.translate(20 - text.boundingRect().left(),
                   cap.center().y() - text.boundingRect().center().y());
    Symbol(p, icon.united(text), ink, bright);
}

void ArrowKey(QPainter& p, int width, bool next, bool bright) {
    const QRectF all(0, 0, width, 18);
    p.fillRect(all, Colour::PanelBase);
    // The key keeps inside the 29 x 17 pixels its button is given in the panel.
    const QRectF cap(1, 1, 27, 15);
    KeyCap(p, cap, 4, bright, false);
    // A double chevron pointing the way through the list.
    const int dir = next ? +1 : -1;
    QPainterPath arrow;
    const QPointF c = cap.center();
    for (int i = 0; i < 2; ++i) {
        const qreal x = c.x() + dir * (i * 5.0 - 2.5);
        QPainterPath chevron;
        chevron.moveTo(x - dir * 2.5, c.y() - 4.5);
        chevron.lineTo(x + dir * 2.0, c.y());
        chevron.lineTo(x - dir * 2.5, c.y() + 4.5);
        QPainterPathStroker stroker;
        stroker.setWidth(2.0);
        stroker.setCapStyle(Qt::RoundCap);
        stroker.setJoinStyle(Qt::RoundJoin);
        arrow = arrow.united(stroker.createStroke(chevron));
    }
    Symbol(p, arrow.simplified(), bright ? Colour::SymbolLit : QColor(150, 164, 186), bright);
}

void AboutClose(QPainter& p, bool bright) {
    const QRectF all(0, 0, 25, 24);
    p.fillRect(all, QColor(3, 8, 20)); // the close button's socket in the about box
    GlossDisc(p, all, QColor(214, 44, 40), bright);
    const QPainterPath cross = CrossIcon(QRectF(6.5, 6, 12, 12), 2.2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawPath(cross.translated(0, 0.8));
    p.setBrush(Qt::white);
    p.drawPath(cross);
}

void VolumeChannel(QPainter& p, bool played) {
    // The slider leaves 28 pixels at the left and 23 at the right out of its track.
    WedgeChannel(p, QRectF(0, 0, 157, 18), 28, 134, true, played);
}

void ShortChannel(QPainter& p) {
    WedgeChannel(p, QRectF(0, 0, 115, 18), 8, 107, false, false);
}

void SeekChannel(QPainter& p, bool played) {
    const QRectF all(0, 0, 597, 37);
    QLinearGradient g(all.topLeft(), all.bottomLeft());
    g.setColorAt(0, QColor(12, 28, 58));
    g.setColorAt(1, QColor(6, 16, 36));
    p.fillRect(all, g);
    p.fillRect(QRectF(0, 0, all.width(), 1), QColor(40, 80, 140, 160));
    p.fillRect(QRectF(0, all.height() - 1, all.width(), 1), QColor(0, 0, 0, 160));
    // The dotted scale: a dot per hundredth of the way, a tick every tenth. The thumb's
    // centre runs from 14 to 582.
    const qreal from = 14, to = 582;
    p.setPen(Qt::NoPen);
    for (int i = 0; i <= 100; ++i) {
        const qreal x = from + (to - from) * i / 100.0;
        if (i % 10 == 0) {
            p.setBrush(QColor(150, 180, 220));
            p.drawRoundedRect(QRectF(x - 0.6, 2.5, 1.2, 5), 0.5, 0.5);
        } else {
            p.setBrush(QColor(90, 120, 170, i % 5 == 0 ? 230 : 150));
            p.drawEllipse(QPointF(x, 5), i % 5 == 0 ? 1.1 : 0.8, i % 5 == 0 ? 1.1 : 0.8);
        }
    }
    // The road line under the thumb: red ahead, blue where the video has been.
    const QRectF line(from - 4, 29, to - from + 8, 3);
    const QPainterPath road = Rounded(line, 1.5);
    p.fillRect(QRectF(line.left(), line.top() - 1, line.width(), line.height() + 2),
               QColor(0, 0, 0, 90));
    if (played) {
        Glow(p, road, 2.5, QColor(40, 140, 255, 210));
        QLinearGradient blue(line.topLeft(), line.topRight());
        blue.setColorAt(0, QColor(40, 110, 230));
        blue.setColorAt(1, QColor(110, 200, 255));
        p.setBrush(blue);
    } else {
        p.setBrush(QColor(200, 48, 48));
    }
    p.drawPath(road);
}

void SeekThumb(QPainter& p) {
    // A small yellow bus driving right; transparent around it.
    const QRectF body(1, 1.5, 26.5, 11);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 110));
    p.drawRoundedRect(body.translated(0, 1), 3, 3);
    QPainterPath shell;
    shell.moveTo(body.left() + 2, body.top());
    shell.lineTo(body.right() - 4, body.top());
    shell.quadTo(body.right(), body.top(), body.right(), body.top() + 5);
    shell.lineTo(body.right(), body.bottom() - 1.5);
    shell.quadTo(body.right(), body.bottom(), body.right() - 1.5, body.bottom());
    shell.lineTo(body.left() + 1.5, body.bottom());
    shell.quadTo(body.left(), body.bottom(), body.left(), body.bottom() - 1.5);
    shell.lineTo(body.left(), body.top() + 2);
    shell.quadTo(body.left(), body.top(), body.left() + 2, body.top());
    QLinearGradient paint(body.topLeft(), body.bottomLeft());
    paint.setColorAt(0, QColor(255, 226, 90));
    paint.setColorAt(0.6, QColor(246, 190, 20));
    paint.setColorAt(1, QColor(196, 136, 8));
    p.setPen(QPen(QColor(90, 60, 0), 0.8));
    p.setBrush(paint);
    p.drawPath(shell);
    // Windows, the windscreen at the front, a stripe and the headlight.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 60, 110));
    for (int i = 0; i < 4; ++i)
        p.drawRoundedRect(QRectF(body.left() + 2 + i * 5, body.top() + 1.8, 4, 3.6), 0.8, 0.8);
    QPainterPath screen;
    screen.moveTo(body.right() - 5, body.top() + 1.8);
    screen.lineTo(body.right() - 2.6, body.top() + 1.8);
    screen.quadTo(body.right() - 0.8, body.top() + 2.4, body.right() - 0.8, body.top() + 5.4);
    screen.lineTo(body.right() - 5, body.top() + 5.4);
    screen.closeSubpath();
    p.setBrush(QColor(110, 180, 240));
    p.drawPath(screen);
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawRect(QRectF(body.left() + 2, body.top() + 2.0, 19, 0.8));
    p.setBrush(QColor(150, 90, 0));
    p.drawRect(QRectF(body.left() + 0.5, body.top() + 7.2, body.width() - 1, 0.9));
    p.setBrush(QColor(255, 250, 210));
    p.drawEllipse(QPointF(body.right() - 1.2, body.bottom() - 2.4), 0.9, 0.9);
    // Wheels.
    for (qreal x : {body.left() + 5.5, body.right() - 6.5}) {
        const QPointF c(x, body.bottom() + 0.8);
        p.setBrush(QColor(20, 20, 22));
        p.drawEllipse(c, 2.8, 2.8);
        p.setBrush(QColor(170, 174, 180));
        p.drawEllipse(c, 1.1, 1.1);
    }
}

void SmallTriangle(QPainter& p) {
    const QRectF all(0, 0, 14, 12);
    p.fillRect(all, QColor(9, 22, 46));
    QPolygonF t;
    t << QPointF(1.5, 2) << QPointF(12.5, 2) << QPointF(7, 10.5);
    p.setPen(QPen(QColor(120, 10, 10), 0.8));
    QLinearGradient g(0, 2, 0, 10.5);
    g.setColorAt(0, QColor(255, 90, 80));
    g.setColorAt(1, QColor(200, 20, 20));
    p.setBrush(g);
    p.drawPolygon(t);
}

} // namespace SkinArt
