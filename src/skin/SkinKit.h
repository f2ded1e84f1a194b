// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

// Shared materials of the skin's drawing code: the palette, brushed metal, recesses,
// glows, soft shadows and the icon shapes. Everything draws in the picture's own pixel
// coordinates; the painter may be scaled for high-DPI output, so nothing here assumes one
// device pixel per unit.
namespace SkinKit {

// The palette: graphite metal, deep display blue, and the light blue of lit symbols.
namespace Colour {
inline const QColor MetalLight(112, 120, 132);
inline const QColor Metal(58, 64, 74);
inline const QColor MetalDark(26, 29, 35);
inline const QColor Edge(8, 10, 14);
inline const QColor Display(9, 22, 46);
inline const QColor DisplayDeep(4, 11, 26);
inline const QColor DisplayLine(34, 66, 112);
inline const QColor Accent(64, 156, 255);
inline const QColor AccentLight(150, 210, 255);
inline const QColor Label(150, 168, 192);
inline const QColor Symbol(182, 190, 202);
inline const QColor SymbolLit(255, 255, 255);
inline const QColor PanelBase(51, 65, 89); // the record panels' list and label colour
} // namespace Colour

// A small deterministic random source, so that every rendering of a picture is the same.
class Random {
public:
    explicit Random(quint32 seed) : m_state(seed ? seed : 0x9E3779B9u) {}
    quint32 next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    double unit() { return (next() & 0xFFFFFF) / double(0x1000000); }

private:
    quint32 m_state;
};

// Pixels of the painter's device per picture pixel (2 on a doubled screen).
qreal DeviceScale(const QPainter& p);

// A transparent layer over `area` at the painter's device resolution, for effects that
// are drawn apart and then blended in (shadows, glows).
QImage Layer(const QPainter& p, const QRectF& area);
// Draws a layer made by Layer() back at its place.
void DrawLayer(QPainter& p, const QRectF& area, const QImage& layer, qreal opacity = 1.0);
// Blurs an image in place (three box passes, close to a Gaussian of the given radius in
// the image's own pixels).
void Blur(QImage& image, int radius);

// Soft drop shadow of a shape, offset and blurred.
void DropShadow(QPainter& p, const QPainterPath& shape, const QPointF& offset, qreal blur,
                const QColor& colour);
// Glow around a shape (drawn under it).
void Glow(QPainter& p, const QPainterPath& shape, qreal blur, const QColor& colour);

// Brushed metal: a vertical gradient with fine horizontal streaks, clipped to `shape`.
void BrushedMetal(QPainter& p, const QPainterPath& shape, const QColor& top, const QColor& bottom,
                  quint32 seed, qreal streaks = 0.55);

// A recess cut into the surface: the fill, a shadow along the inner top edge and a light
// lip along the outer bottom edge.
void Recess(QPainter& p, const QPainterPath& shape, const QBrush& fill, qreal depth = 3.0);
// A raised edge: light along the top, dark along the bottom, as a thin ring.
void Bevel(QPainter& p, const QPainterPath& shape, qreal width, const QColor& light,
           const QColor& dark);

// A rounded rectangle path.
QPainterPath Rounded(const QRectF& r, qreal radius);
// A circle path.
QPainterPath Circle(const QPointF& centre, qreal radius);

// Fonts of the skin's lettering.
QFont Font(qreal pixelSize, int weight = QFont::DemiBold, qreal spacing = 0.0,
           bool condensed = false);
QFont CjkFont(qreal pixelSize, int weight = QFont::Bold);
// The outline of a text, with its left baseline at `origin`.
QPainterPath TextPath(const QFont& font, const QString& text, const QPointF& origin);
// The outline of a text centred in `box`.
QPainterPath TextPathCentred(const QFont& font, const QString& text, const QRectF& box);

// Icon shapes, each filling the square `box` (stroked parts are given as outlines).
QPainterPath FolderIcon(const QRectF& box);
QPainterPath CameraIcon(const QRectF& box);
QPainterPath PrinterIcon(const QRectF& box);
QPainterPath ToolsIcon(const QRectF& box);
QPainterPath DiscIcon(const QRectF& box);
QPainterPath PageIcon(const QRectF& box);
QPainterPath BookIcon(const QRectF& box);
QPainterPath InfoIcon(const QRectF& box);
QPainterPath SpeakerIcon(const QRectF& box);
QPainterPath PowerIcon(const QRectF& box);
QPainterPath MinimiseIcon(const QRectF& box);
QPainterPath CrossIcon(const QRectF& box, qreal thickness);
// A triangle pointing right (dir = +1) or left (dir = -1) inside `box`.
QPainterPath Triangle(const QRectF& box, int dir);

} // namespace SkinKit
