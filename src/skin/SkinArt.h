// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QPainter;

// The drawing code of the skin's pictures. Each function paints one picture, in the
// picture's own pixel coordinates, into a painter over an image of the catalogue's size
// (scaled for high-DPI screens); the catalogue (SkinCatalogue.cpp) says which id is which.
namespace SkinArt {

// Window backgrounds.
void PlayerBackground(QPainter& p); // 202
// What the second skin (131) changes over the first: a dial in mph and a fifth socket.
void SecondSkinConsole(QPainter& p);
void AboutFace(QPainter& p);            // 203
void RecordListBackground(QPainter& p); // 154
void InfoPanelBackground(QPainter& p);  // 160

// Keys and buttons.
enum class TabKind { Information, Record };
void TabButton(QPainter& p, TabKind kind, bool lit); // 136-139

enum class TransportKind { Head, FrameBack, Back, Stop, Pause, Play, FrameForward, Forward, End };
void TransportKey(QPainter& p, TransportKind kind, bool pressed); // 165-182

enum class CommandKind { Open, Snap, Print, Tools, Disc };
void CommandButton(QPainter& p, CommandKind kind, bool bright); // 140-150

enum class TitleKind { About, Minimise, Close };
void TitleButton(QPainter& p, TitleKind kind, bool bright); // 191-196
void TitleMask(QPainter& p);                                // 197

enum class PanelKeyKind { Load, Open };
enum class KeyLook { Dark, Rest, Bright };
void PanelKey(QPainter& p, PanelKeyKind kind, KeyLook look);   // 155-159
void ArrowKey(QPainter& p, int width, bool next, bool bright); // 183-186

void AboutClose(QPainter& p, bool bright); // 204, 205

// Sliders.
void VolumeChannel(QPainter& p, bool played); // 163, 164
void ShortChannel(QPainter& p);               // 162
void SeekChannel(QPainter& p, bool played);   // 187, 188
void SeekThumb(QPainter& p);                  // 189
void SmallTriangle(QPainter& p);              // 161

} // namespace SkinArt
