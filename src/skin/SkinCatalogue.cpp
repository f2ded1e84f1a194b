// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/SkinCatalogue.h"

#include "skin/SkinArt.h"
#include "skin/SkinKit.h"

#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QtMath>
#include <algorithm>
#include <functional>
#include <vector>

namespace {

using namespace SkinArt;

struct Entry {
    int id;
    QSize size;
    bool alpha;
    std::function<void(QPainter&)> draw;
};

// The one table of the skin: id, size in pixels, and the drawing that makes the picture.
const std::vector<Entry>& Catalogue() {
    static const std::vector<Entry> table = [] {
        std::vector<Entry> t;
        auto add = [&t](int id, int w, int h, std::function<void(QPainter&)> draw,
                        bool alpha = false) {
            t.push_back({id, QSize(w, h), alpha, std::move(draw)});
        };

        // Window backgrounds.
        add(202, 1024, 724, [](QPainter& p) { PlayerBackground(p); });
        // The second skin is the first with its own dial and sockets: start from the first
        // rather than draw the whole frame again.
        add(131, 1024, 724, [](QPainter& p) {
            p.drawPixmap(0, 0, Skin::Bitmap(202, SkinKit::DeviceScale(p)));
            SecondSkinConsole(p);
        });
        add(203, 397, 190, [](QPainter& p) { AboutFace(p); });
        add(154, 316, 521, [](QPainter& p) { RecordListBackground(p); });
        add(160, 316, 521, [](QPainter& p) { InfoPanelBackground(p); });

        // Tabs: dark when their panel is hidden, lit when it shows.
        add(136, 147, 26, [](QPainter& p) { TabButton(p, TabKind::Information, false); });
        add(137, 147, 26, [](QPainter& p) { TabButton(p, TabKind::Information, true); });
        add(138, 147, 26, [](QPainter& p) { TabButton(p, TabKind::Record, false); });
        add(139, 147, 26, [](QPainter& p) { TabButton(p, TabKind::Record, true); });

        // Circular command buttons, bright under the pointer and dim at rest.
        add(140, 55, 55, [](QPainter& p) { CommandButton(p, CommandKind::Tools, true); });
        add(149, 55, 55, [](QPainter& p) { CommandButton(p, CommandKind::Tools, false); });
        add(141, 55, 55, [](QPainter& p) { CommandButton(p, CommandKind::Print, false); });
        add(142, 55, 55, [](QPainter& p) { CommandButton(p, CommandKind::Print, true); });
        add(143, 55, 55, [](QPainter& p) { CommandButton(p, CommandKind::Disc, false); });
        add(144, 55, 55, [](QPainter& p) { CommandButton(p, CommandKind::Disc, true); });
        add(145, 55, 55, [](QPainter& p) { CommandButton(p, CommandKind::Snap, false); });
        add(146, 55, 55, [](QPainter& p) { CommandButton(p, CommandKind::Snap, true); });
        add(148, 55, 55, [](QPainter& p) { CommandButton(p, CommandKind::Open, true); });
        add(150, 55, 55, [](QPainter& p) { CommandButton(p, CommandKind::Open, false); });

        // The record list's LOAD and OPEN keys.
        add(155, 50, 20, [](QPainter& p) { PanelKey(p, PanelKeyKind::Open, KeyLook::Dark); });
        add(156, 50, 20, [](QPainter& p) { PanelKey(p, PanelKeyKind::Load, KeyLook::Rest); });
        add(157, 50, 20, [](QPainter& p) { PanelKey(p, PanelKeyKind::Load, KeyLook::Bright); });
        add(158, 50, 20, [](QPainter& p) { PanelKey(p, PanelKeyKind::Open, KeyLook::Rest); });
        add(159, 50, 20, [](QPainter& p) { PanelKey(p, PanelKeyKind::Open, KeyLook::Bright); });

        // Sliders.
        add(161, 14, 12, [](QPainter& p) { SmallTriangle(p); });
        add(162, 115, 18, [](QPainter& p) { ShortChannel(p); });
        add(163, 157, 18, [](QPainter& p) { VolumeChannel(p, false); });
        add(164, 157, 18, [](QPainter& p) { VolumeChannel(p, true); });
        add(187, 597, 37, [](QPainter& p) { SeekChannel(p, false); });
        add(188, 597, 37, [](QPainter& p) { SeekChannel(p, true); });
        add(
            189, 29, 16, [](QPainter& p) { SeekThumb(p); }, true);

        // Transport keys: normal and pressed pictures of each symbol.
        using T = TransportKind;
        const struct {
            int id;
            T kind;
            bool pressed;
        } transport[] = {
            {165, T::FrameForward, true}, {166, T::Pause, false},        {167, T::Pause, true},
            {168, T::Play, false},        {169, T::Play, true},          {170, T::FrameBack, false},
            {171, T::FrameBack, true},    {172, T::FrameForward, false}, {173, T::End, true},
            {174, T::Head, false},        {175, T::Head, true},          {176, T::End, false},
            {177, T::Forward, true},      {178, T::Back, false},         {179, T::Back, true},
            {180, T::Forward, false},     {181, T::Stop, true},          {182, T::Stop, false},
        };
        for (const auto& key : transport)
            add(key.id, 34, 28, [kind = key.kind, pressed = key.pressed](QPainter& p) {
                TransportKey(p, kind, pressed);
            });

        // The information panel's Next and Previous keys.
        add(183, 30, 18, [](QPainter& p) { ArrowKey(p, 30, true, true); });
        add(186, 30, 18, [](QPainter& p) { ArrowKey(p, 30, true, false); });
        add(184, 31, 18, [](QPainter& p) { ArrowKey(p, 31, false, false); });
        add(185, 31, 18, [](QPainter& p) { ArrowKey(p, 31, false, true); });

        // Title buttons and their shape mask.
        add(191, 26, 26, [](QPainter& p) { TitleButton(p, TitleKind::About, true); });
        add(196, 26, 26, [](QPainter& p) { TitleButton(p, TitleKind::About, false); });
        add(193, 26, 26, [](QPainter& p) { TitleButton(p, TitleKind::Minimise, true); });
        add(192, 26, 26, [](QPainter& p) { TitleButton(p, TitleKind::Minimise, false); });
        add(195, 26, 26, [](QPainter& p) { TitleButton(p, TitleKind::Close, true); });
        add(194, 26, 26, [](QPainter& p) { TitleButton(p, TitleKind::Close, false); });
        add(197, 26, 26, [](QPainter& p) { TitleMask(p); });

        // The about box's close button.
        add(204, 25, 24, [](QPainter& p) { AboutClose(p, true); });
        add(205, 25, 24, [](QPainter& p) { AboutClose(p, false); });

        std::sort(t.begin(), t.end(), [](const Entry& a, const Entry& b) { return a.id < b.id; });
        return t;
    }();
    return table;
}

const Entry* Find(int id) {
    const auto& table = Catalogue();
    const auto it = std::lower_bound(table.begin(), table.end(), id,
                                     [](const Entry& e, int value) { return e.id < value; });
    return it != table.end() && it->id == id ? &*it : nullptr;
}

// Rendered pictures by id and device pixel ratio (in hundredths).
QHash<quint64, QPixmap>& Cache() {
    static QHash<quint64, QPixmap> cache;
    return cache;
}
QList<int>& RatiosInUse() {
    static QList<int> ratios;
    return ratios;
}
constexpr int kMaxRatios = 4;

} // namespace

namespace Skin {

QImage Render(int id, qreal devicePixelRatio) {
    const Entry* entry = Find(id);
    if (!entry || devicePixelRatio <= 0)
        return {};
    const QSize pixels(qCeil(entry->size.width() * devicePixelRatio - 0.01),
                       qCeil(entry->size.height() * devicePixelRatio - 0.01));
    QImage image(pixels, entry->alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(entry->alpha ? Qt::transparent : Qt::black);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);
    painter.setClipRect(QRect(QPoint(0, 0), entry->size));
    entry->draw(painter);
    painter.end();
    return image;
}

QPixmap Bitmap(int id, qreal devicePixelRatio) {
    if (!Find(id) || devicePixelRatio <= 0 || !qGuiApp)
        return {};
    const int ratio = qRound(devicePixelRatio * 100);
    QList<int>& ratios = RatiosInUse();
    if (!ratios.contains(ratio)) {
        // A new screen scale: keep the cache bounded when scales come and go.
        if (ratios.size() >= kMaxRatios) {
            Cache().clear();
            ratios.clear();
        }
        ratios.append(ratio);
    }
    const quint64 key = (quint64(quint32(id)) << 32) | quint32(ratio);
    auto it = Cache().find(key);
    if (it == Cache().end())
        it = Cache().insert(key, QPixmap::fromImage(Render(id, ratio / 100.0)));
    return it.value();
}

QPixmap Bitmap(int id) {
    return Bitmap(id, qGuiApp ? qGuiApp->devicePixelRatio() : 1.0);
}

QList<int> CatalogueIds() {
    QList<int> ids;
    for (const Entry& e : Catalogue())
        ids.append(e.id);
    return ids;
}

QSize BitmapSize(int id) {
    const Entry* entry = Find(id);
    return entry ? entry->size : QSize();
}

bool HasAlpha(int id) {
    const Entry* entry = Find(id);
    return entry && entry->alpha;
}

int CachedBitmapCount() {
    return int(Cache().size());
}

void ClearCache() {
    Cache().clear();
    RatiosInUse().clear();
}

} // namespace Skin
