// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/SkinKit.h"

#include <QPainterPathStroker>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <vector>

namespace SkinKit {

qreal DeviceScale(const QPainter& p) {
    const QTransform t = p.deviceTransform();
    return std::sqrt(std::abs(t.determinant()));
}

QImage Layer(const QPainter& p, const QRectF& area) {
    const qreal scale = DeviceScale(p);
    const QSize size(qMax(1, qCeil(area.width() * scale)), qMax(1, qCeil(area.height() * scale)));
    QImage layer(size, QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(scale);
    layer.fill(Qt::transparent);
    return layer;
}

void DrawLayer(QPainter& p, const QRectF& area, const QImage& layer, qreal opacity) {
    p.save();
    p.setOpacity(p.opacity() * opacity);
    p.drawImage(area.topLeft(), layer);
    p.restore();
}

namespace {

// One box pass along the rows or the columns of a premultiplied ARGB image. Past the
// ends the edge pixel repeats, so that edges keep their level.
void BoxPass(QImage& image, int radius, bool horizontal) {
    const int w = image.width(), h = image.height();
    const int window = 2 * radius + 1;
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    auto pixel = [&](int x, int y) -> quint32* {
        return reinterpret_cast<quint32*>(bits + y * stride) + x;
    };
    auto pack = [window](const int* sum) {
        return (quint32(sum[0] / window) << 24) | (quint32(sum[1] / window) << 16) |
               (quint32(sum[2] / window) << 8) | quint32(sum[3] / window);
    };
    auto add = [](int* sum, quint32 v, int sign) {
        sum[0] += sign * int((v >> 24) & 0xFF);
        sum[1] += sign * int((v >> 16) & 0xFF);
        sum[2] += sign * int((v >> 8) & 0xFF);
        sum[3] += sign * int(v & 0xFF);
    };
    if (horizontal) {
        std::vector<quint32> line(w);
        for (int y = 0; y < h; ++y) {
            quint32* row = pixel(0, y);
            std::copy(row, row + w, line.begin());
            int sum[4] = {0, 0, 0, 0};
            for (int i = -radius; i <= radius; ++i)
                add(sum, line[qBound(0, i, w - 1)], +1);
            for (int x = 0; x < w; ++x) {
                row[x] = pack(sum);
                add(sum, line[qMax(0, x - radius)], -1);
                add(sum, line[qMin(w - 1, x + radius + 1)], +1);
            }
        }
        return;
    }
    // Columns: running sums per column, walking down the rows of a copy.
    const QImage source = image.copy();
    auto sourceRow = [&](int y) {
        return reinterpret_cast<const quint32*>(source.constScanLine(qBound(0, y, h - 1)));
    };
    std::vector<int> sums(size_t(w) * 4, 0);
    for (int i = -radius; i <= radius; ++i) {
        const quint32* row = sourceRow(i);
        for (int x = 0; x < w; ++x)
            add(&sums[size_t(x) * 4], row[x], +1);
    }
    for (int y = 0; y < h; ++y) {
        quint32* out = pixel(0, y);
        const quint32* leaving = sourceRow(y - radius);
        const quint32* entering = sourceRow(y + radius + 1);
        for (int x = 0; x < w; ++x) {
            int* sum = &sums[size_t(x) * 4];
            out[x] = pack(sum);
            add(sum, leaving[x], -1);
            add(sum, entering[x], +1);
        }
    }
}

} // namespace

void Blur(QImage& image, int radius) {
    if (radius < 1)
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Three box passes of half the radius each come close to a Gaussian of the radius.
    const int r = qMax(1, radius / 2);
    for (int pass = 0; pass < 3; ++pass) {
        BoxPass(image, r, true);
        BoxPass(image, r, false);
    }
}

void DropShadow(QPainter& p, const QPainterPath& shape, const QPointF& offset, qreal blur,
                const QColor& colour) {
    const QRectF area =
        shape.boundingRect().translated(offset).adjusted(-2 * blur, -2 * blur, 2 * blur, 2 * blur);
    QImage layer = Layer(p, area);
    {
        QPainter lp(&layer);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.translate(-area.topLeft());
        lp.fillPath(shape.translated(offset), colour);
    }
    Blur(layer, qRound(blur * layer.devicePixelRatio()));
    DrawLayer(p, area, layer);
}

void Glow(QPainter& p, const QPainterPath& shape, qreal blur, const QColor& colour) {
    DropShadow(p, shape, QPointF(0, 0), blur, colour);
}

void BrushedMetal(QPainter& p, const QPainterPath& shape, const QColor& top, const QColor& bottom,
                  quint32 seed, qreal streaks) {
    const QRectF box = shape.boundingRect();
    p.save();
    p.setClipPath(shape, Qt::IntersectClip);
    QLinearGradient base(box.topLeft(), box.bottomLeft());
    base.setColorAt(0, top);
    base.setColorAt(1, bottom);
    p.fillRect(box, base);

    // Streaks: white noise smeared along the rows, blended in as a soft overlay. Streaks
    // change slowly along a row, so the grain is made at a quarter of the width and
    // stretched smoothly.
    const qreal scale = DeviceScale(p);
    const int across = 4;
    QImage grain(qMax(1, qCeil(box.width() * scale / across)), qMax(1, qCeil(box.height() * scale)),
                 QImage::Format_ARGB32_Premultiplied);
    Random random(seed);
    for (int y = 0; y < grain.height(); ++y) {
        auto* row = reinterpret_cast<quint32*>(grain.scanLine(y));
        const int rowBias = int(random.unit() * 50) - 25;
        for (int x = 0; x < grain.width(); ++x) {
            const int v = qBound(0, 128 + rowBias + int(random.unit() * 120) - 60, 255);
            row[x] = 0xFF000000u | (quint32(v) << 16) | (quint32(v) << 8) | quint32(v);
        }
    }
    const int smear = qMax(1, qRound(28 * scale / across));
    BoxPass(grain, smear, true);
    BoxPass(grain, smear, true);
    // Stretch the contrast back after smearing, as much as the smear took away, so the
    // metal looks the same at every pixel ratio; then turn each value into white or black
    // of matching strength, lightening or darkening the metal under it.
    const double stretch = 0.55 * std::sqrt(2.0 * smear + 1);
    for (int y = 0; y < grain.height(); ++y) {
        auto* row = reinterpret_cast<quint32*>(grain.scanLine(y));
        for (int x = 0; x < grain.width(); ++x) {
            const int d = qBound(-127, int((int(row[x] & 0xFF) - 128) * stretch), 127);
            const quint32 a = quint32(qAbs(d));
            row[x] = d > 0 ? (a << 24) | (a << 16) | (a << 8) | a : a << 24;
        }
    }
    p.setOpacity(p.opacity() * streaks);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(box.topLeft(), QSizeF(grain.width() * across, grain.height()) / scale),
                grain);
    p.restore();
}

void Recess(QPainter& p, const QPainterPath& shape, const QBrush& fill, qreal depth) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    // The lip: a light line just below the opening, where the surface catches the light.
    const QPainterPath lip = shape.translated(0, 1.0).subtracted(shape);
    p.fillPath(lip, QColor(255, 255, 255, 38));
    // A dark rim just above it.
    const QPainterPath rim = shape.translated(0, -1.0).subtracted(shape);
    p.fillPath(rim, QColor(0, 0, 0, 90));
    p.fillPath(shape, fill);

    // Inner shadow: the edge of the opening, shifted down, casts a shade that fades
    // inwards; layered strokes give the fall-off without blurring large images.
    p.setClipPath(shape, Qt::IntersectClip);
    const QPainterPath edge = shape.translated(0, depth * 0.7);
    p.fillPath(shape.subtracted(edge), QColor(0, 0, 0, 150));
    constexpr int steps = 6;
    for (int i = steps; i >= 1; --i)
        p.strokePath(edge, QPen(QColor(0, 0, 0, 34), 3.2 * depth * i / steps));
    p.restore();
}

void Bevel(QPainter& p, const QPainterPath& shape, qreal width, const QColor& light,
           const QColor& dark) {
    const QRectF box = shape.boundingRect();
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipPath(shape, Qt::IntersectClip);
    QLinearGradient g(box.topLeft(), box.bottomLeft());
    g.setColorAt(0, light);
    g.setColorAt(0.5, QColor((light.red() + dark.red()) / 2, (light.green() + dark.green()) / 2,
                             (light.blue() + dark.blue()) / 2, (light.alpha() + dark.alpha()) / 2));
    g.setColorAt(1, dark);
    p.strokePath(shape, QPen(QBrush(g), 2 * width));
    p.restore();
}

QPainterPath Rounded(const QRectF& r, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

QPainterPath Circle(const QPointF& centre, qreal radius) {
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QFont Font(qreal pixelSize, int weight, qreal spacing, bool condensed) {
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pixelSize * 0.75); // 96 dots per inch: one point is 4/3 pixels
    font.setWeight(QFont::Weight(weight));
    if (condensed)
        font.setStretch(QFont::Condensed);
    if (spacing != 0.0)
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(true);
    return font;
}

QFont CjkFont(qreal pixelSize, int weight) {
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
    font.setPointSizeF(pixelSize * 0.75);
    font.setWeight(QFont::Weight(weight));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QPainterPath TextPath(const QFont& font, const QString& text, const QPointF& origin) {
    QPainterPath path;
    path.addText(origin, font, text);
    return path;
}

QPainterPath TextPathCentred(const QFont& font, const QString& text, const QRectF& box) {
    QPainterPath path;
    path.addText(QPointF(0, 0), font, text);
    const QRectF b = path.boundingRect();
    return path.translated(box.center() - b.center());
}

namespace {

// Maps unit coordinates of an icon to its box.
struct Unit {
    QRectF box;
    QPointF operator()(qreal x, qreal y) const {
        return {box.left() + x * box.width(), box.top() + y * box.height()};
    }
    qreal len(qreal v) const { return v * box.width(); }
    QRectF rect(qreal x0, qreal y0, qreal x1, qreal y1) const {
        return QRectF((*this)(x0, y0), (*this)(x1, y1));
    }
};

QPainterPath Polygon(const Unit& u, std::initializer_list<QPointF> points) {
    QPolygonF polygon;
    for (const QPointF& pt : points)
        polygon << u(pt.x(), pt.y());
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();
    return path;
}

QPainterPath Stroke(const QPainterPath& centre, qreal width, Qt::PenCapStyle cap = Qt::RoundCap) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(cap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(centre).simplified();
}

QPainterPath RoundedUnit(const Unit& u, qreal x0, qreal y0, qreal x1, qreal y1, qreal r) {
    QPainterPath path;
    path.addRoundedRect(u.rect(x0, y0, x1, y1), u.len(r), u.len(r));
    return path;
}

} // namespace

QPainterPath FolderIcon(const QRectF& box) {
    const Unit u{box};
    QPainterPath back = Polygon(
        u, {{0.06, 0.20}, {0.38, 0.20}, {0.46, 0.30}, {0.90, 0.30}, {0.90, 0.82}, {0.06, 0.82}});
    const QPainterPath front =
        Polygon(u, {{0.20, 0.42}, {0.98, 0.42}, {0.88, 0.82}, {0.06, 0.82}, {0.06, 0.72}});
    back = back.subtracted(Stroke(front, u.len(0.07), Qt::FlatCap));
    return back.united(front).simplified();
}

QPainterPath CameraIcon(const QRectF& box) {
    const Unit u{box};
    QPainterPath body = RoundedUnit(u, 0.06, 0.30, 0.94, 0.84, 0.10);
    body = body.united(Polygon(u, {{0.32, 0.30}, {0.38, 0.17}, {0.62, 0.17}, {0.68, 0.30}}));
    const QPointF centre = u(0.5, 0.57);
    body = body.subtracted(Circle(centre, u.len(0.22)));
    body = body.united(Circle(centre, u.len(0.14)));
    body = body.subtracted(Circle(u(0.81, 0.41), u.len(0.045)));
    return body.simplified();
}

QPainterPath PrinterIcon(const QRectF& box) {
    const Unit u{box};
    QPainterPath paperIn = RoundedUnit(u, 0.26, 0.10, 0.74, 0.40, 0.03);
    QPainterPath body = RoundedUnit(u, 0.06, 0.34, 0.94, 0.74, 0.10);
    const QPainterPath paperOut = RoundedUnit(u, 0.24, 0.56, 0.76, 0.92, 0.03);
    body = body.subtracted(Stroke(paperOut, u.len(0.08), Qt::SquareCap));
    body = body.subtracted(Circle(u(0.80, 0.45), u.len(0.045)));
    QPainterPath paper = paperOut;
    for (qreal y : {0.68, 0.78})
        paper = paper.subtracted(RoundedUnit(u, 0.32, y, 0.68, y + 0.035, 0.01));
    paperIn = paperIn.subtracted(Stroke(RoundedUnit(u, 0.06, 0.34, 0.94, 0.74, 0.10), u.len(0.08)));
    return body.united(paper).united(paperIn).simplified();
}

QPainterPath ToolsIcon(const QRectF& box) {
    const Unit u{box};
    const QPointF c = u(0.5, 0.5);
    // The wrench along one diagonal: an open ring head and a rounded handle.
    QTransform t;
    t.translate(c.x(), c.y());
    t.rotate(45);
    const qreal s = box.width();
    QPainterPath handle;
    handle.addRoundedRect(QRectF(-0.06 * s, -0.10 * s, 0.12 * s, 0.52 * s), 0.06 * s, 0.06 * s);
    QPainterPath head;
    head.addEllipse(QPointF(0, -0.24 * s), 0.19 * s, 0.19 * s);
    QPainterPath jaw;
    jaw.addRect(QRectF(-0.075 * s, -0.50 * s, 0.15 * s, 0.24 * s));
    QPainterPath wrench = head.subtracted(jaw).united(handle);
    wrench = t.map(wrench);
    // The screwdriver along the other diagonal: handle, shaft and tip.
    QTransform t2;
    t2.translate(c.x(), c.y());
    t2.rotate(-45);
    QPainterPath driver;
    driver.addRoundedRect(QRectF(-0.085 * s, -0.46 * s, 0.17 * s, 0.30 * s), 0.06 * s, 0.06 * s);
    driver.addRect(QRectF(-0.03 * s, -0.17 * s, 0.06 * s, 0.48 * s));
    QPolygonF tip;
    tip << QPointF(-0.03 * s, 0.31 * s) << QPointF(0.03 * s, 0.31 * s) << QPointF(0.0, 0.40 * s);
    driver.addPolygon(tip);
    driver = t2.map(driver.simplified());
    wrench = wrench.subtracted(Stroke(driver, 0.07 * s));
    return wrench.united(driver).simplified();
}

QPainterPath DiscIcon(const QRectF& box) {
    const Unit u{box};
    QPainterPath body =
        Polygon(u, {{0.10, 0.10}, {0.76, 0.10}, {0.90, 0.24}, {0.90, 0.90}, {0.10, 0.90}});
    body = body.subtracted(RoundedUnit(u, 0.28, 0.10, 0.68, 0.36, 0.02));
    body = body.united(RoundedUnit(u, 0.54, 0.14, 0.62, 0.32, 0.01));
    body = body.subtracted(RoundedUnit(u, 0.22, 0.52, 0.78, 0.90, 0.04));
    for (qreal y : {0.62, 0.72})
        body = body.united(RoundedUnit(u, 0.30, y, 0.70, y + 0.04, 0.01));
    return body.simplified();
}

QPainterPath PageIcon(const QRectF& box) {
    const Unit u{box};
    QPainterPath page =
        Polygon(u, {{0.18, 0.06}, {0.62, 0.06}, {0.84, 0.28}, {0.84, 0.94}, {0.18, 0.94}});
    page = page.subtracted(Polygon(u, {{0.56, 0.06}, {0.84, 0.06}, {0.84, 0.34}}));
    page = page.united(Polygon(u, {{0.60, 0.08}, {0.60, 0.30}, {0.82, 0.30}}));
    page = page.subtracted(
        Stroke(Polygon(u, {{0.60, 0.08}, {0.60, 0.30}, {0.82, 0.30}}), u.len(0.03)));
    for (qreal y : {0.46, 0.60, 0.74})
        page = page.subtracted(RoundedUnit(u, 0.30, y, 0.72, y + 0.06, 0.02));
    return page.simplified();
}

QPainterPath BookIcon(const QRectF& box) {
    const Unit u{box};
    auto leaf = [&](int side) {
        QPainterPath path;
        const qreal x0 = 0.5, x1 = side < 0 ? 0.04 : 0.96;
        path.moveTo(u(x0, 0.26));
        path.cubicTo(u((x0 + x1) / 2, 0.14), u(x1, 0.18), u(x1, 0.18));
        path.lineTo(u(x1, 0.82));
        path.cubicTo(u(x1, 0.82), u((x0 + x1) / 2, 0.78), u(x0, 0.90));
        path.closeSubpath();
        return path;
    };
    QPainterPath book = leaf(-1).united(leaf(+1));
    QPainterPath spine;
    spine.moveTo(u(0.5, 0.24));
    spine.lineTo(u(0.5, 0.92));
    book = book.subtracted(Stroke(spine, u.len(0.06), Qt::FlatCap));
    for (qreal y : {0.40, 0.54}) {
        QPainterPath l, r;
        l.moveTo(u(0.14, y));
        l.quadTo(u(0.28, y - 0.05), u(0.42, y + 0.01));
        r.moveTo(u(0.58, y + 0.01));
        r.quadTo(u(0.72, y - 0.05), u(0.86, y));
        book = book.subtracted(Stroke(l, u.len(0.045))).subtracted(Stroke(r, u.len(0.045)));
    }
    return book.simplified();
}

QPainterPath InfoIcon(const QRectF& box) {
    const Unit u{box};
    QPainterPath disc = Circle(u(0.5, 0.5), u.len(0.46));
    disc = disc.subtracted(Circle(u(0.5, 0.27), u.len(0.075)));
    disc = disc.subtracted(RoundedUnit(u, 0.43, 0.40, 0.57, 0.78, 0.03));
    return disc.simplified();
}

QPainterPath SpeakerIcon(const QRectF& box) {
    const Unit u{box};
    QPainterPath body = RoundedUnit(u, 0.06, 0.34, 0.34, 0.66, 0.04);
    return body.united(Polygon(u, {{0.26, 0.34}, {0.62, 0.10}, {0.62, 0.90}, {0.26, 0.66}}))
        .simplified();
}

QPainterPath PowerIcon(const QRectF& box) {
    const Unit u{box};
    QPainterPath arc;
    const QRectF ring = u.rect(0.20, 0.22, 0.80, 0.82);
    arc.arcMoveTo(ring, 60);
    arc.arcTo(ring, 60, -300);
    QPainterPath bar;
    bar.moveTo(u(0.5, 0.14));
    bar.lineTo(u(0.5, 0.50));
    return Stroke(arc, u.len(0.12)).united(Stroke(bar, u.len(0.12))).simplified();
}

QPainterPath MinimiseIcon(const QRectF& box) {
    const Unit u{box};
    QPainterPath arrow = Polygon(u, {{0.22, 0.40}, {0.78, 0.40}, {0.50, 0.66}});
    arrow = arrow.united(RoundedUnit(u, 0.41, 0.14, 0.59, 0.44, 0.02));
    arrow = arrow.united(RoundedUnit(u, 0.20, 0.74, 0.80, 0.86, 0.05));
    return arrow.simplified();
}

QPainterPath CrossIcon(const QRectF& box, qreal thickness) {
    const Unit u{box};
    QPainterPath a, b;
    a.moveTo(u(0.2, 0.2));
    a.lineTo(u(0.8, 0.8));
    b.moveTo(u(0.8, 0.2));
    b.lineTo(u(0.2, 0.8));
    return Stroke(a, thickness).united(Stroke(b, thickness)).simplified();
}

QPainterPath Triangle(const QRectF& box, int dir) {
    QPolygonF polygon;
    if (dir > 0)
        polygon << box.topLeft() << QPointF(box.right(), box.center().y()) << box.bottomLeft();
    else
        polygon << box.topRight() << QPointF(box.left(), box.center().y()) << box.bottomRight();
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();
    return path;
}

} // namespace SkinKit
