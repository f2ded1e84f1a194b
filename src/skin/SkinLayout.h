// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/DialogUnits.h"

#include <QRect>

// Where the windows' controls lie in pixels, taken from their dialog-unit places, so that
// the skin's backgrounds line up with the controls drawn over them. Controls that size
// themselves to their image keep the template's top-left corner and take the image's size.
namespace SkinLayout {

inline QRect Sized(const QRect& place, int w, int h) {
    return QRect(place.topLeft(), QSize(w, h));
}

// The player window.
inline constexpr QSize kPlayerSize(1024, 724);
inline QRect Video() {
    return DialogUnits::rect(30, 38, 412, 263);
}
inline QRect Chart() {
    return DialogUnits::rect(38, 315, 396, 58);
}
inline QRect Seek() {
    return Sized(DialogUnits::rect(38, 379, 396, 20), 597, 37);
}
inline QRect Panels() {
    return DialogUnits::rect(446, 36, 211, 345);
}
inline QRect RecordTab() {
    return Sized(DialogUnits::rect(449, 390, 97, 17), 147, 26);
}
inline QRect InfoTab() {
    return Sized(DialogUnits::rect(555, 390, 95, 17), 147, 26);
}
// The nine transport keys, left to right (head ... end).
inline QRect TransportKey(int index) {
    return Sized(DialogUnits::rect(86 + 23 * index, 433, 23, 20), 34, 28);
}
// The four circular command buttons: open, snap, print, configuration.
inline QRect CommandButton(int index) {
    static constexpr int x[] = {380, 441, 504, 568};
    return Sized(DialogUnits::rect(x[index], 423, 36, 35), 55, 55);
}
inline QRect TimeDisplay() {
    return DialogUnits::rect(134, 459, 110, 12);
}
inline QRect SpeedDisplay() {
    return DialogUnits::rect(328, 440, 22, 13);
}
inline QRect Volume() {
    return Sized(DialogUnits::rect(438, 460, 105, 12), 157, 18);
}
// The three title buttons: about, minimise, close.
inline QRect TitleButton(int index) {
    static constexpr int x[] = {618, 634, 650};
    static constexpr int y[] = {15, 26, 37};
    return Sized(DialogUnits::rect(x[index], y[index], 17, 17), 26, 26);
}

// The side panels, in their own coordinates. The top-right corner is rounded with this
// radius, around a centre this far in from the panel's right edge and top.
inline constexpr int kPanelCornerRadius = 120;
inline QSize PanelSize() {
    return DialogUnits::rect(0, 0, 211, 345).size();
}
inline QRect LoadButton() {
    return DialogUnits::rect(57, 3, 33, 12);
}
inline QRect OpenButton() {
    return DialogUnits::rect(92, 3, 33, 12);
}
inline QRect RecordList() {
    return DialogUnits::rect(1, 31, 200, 148);
}
inline QRect Preview() {
    return DialogUnits::rect(1, 188, 210, 157);
}
inline QRect PreviousButton() {
    return DialogUnits::rect(28, 16, 19, 11);
}
inline QRect NextButton() {
    return DialogUnits::rect(156, 16, 19, 11);
}
inline QRect Heading() {
    return DialogUnits::rect(49, 16, 106, 14);
}
inline QRect RecordLine() {
    return DialogUnits::rect(11, 38, 185, 15);
}
inline QRect EventEdit() {
    return DialogUnits::rect(47, 61, 38, 13);
}
inline QRect ResolutionEdit() {
    return DialogUnits::rect(142, 61, 50, 14);
}
inline QRect MapArea() {
    return DialogUnits::rect(0, 99, 211, 246);
}

// The about box.
inline QRect AboutClose() {
    return Sized(DialogUnits::rect(228, 16, 16, 15), 25, 24);
}

} // namespace SkinLayout
