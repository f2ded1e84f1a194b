// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <functional>

class CGraphPlayer;
class QWidget;

// The snapshot and print commands of the player window: they take the picture on screen
// from the engine and save it where the user chooses, or print it.
namespace FrameCapture {

// Saves the frame on screen as a BMP file. A running video is paused for it and resumed,
// unless the frame file could not be created (then a message says so and it stays paused).
// The file chosen is never the recording `source` plays nor another of its card's files.
void Snapshot(QWidget* owner, CGraphPlayer* player, const QString& source = {});

// Prints the frame on screen on one page. A running video is paused (and `showPaused` gives
// the buttons their paused look); it stays paused. The print dialog also offers a PDF file,
// named `pdfPath` unless the user changes it (none when empty), never written over `source`
// or another of its card's files.
void Print(QWidget* owner, CGraphPlayer* player, const std::function<void()>& showPaused,
           const QString& pdfPath = {}, const QString& source = {});

// The PDF a recording's frame prints to by default: beside it, with its name
// ("/card/0003.asf" gives "/card/0003.pdf"); empty for no recording.
QString DefaultPdfPath(const QString& videoPath);

// Where a picture of `picture` size goes on a page: as large as fits, aspect kept, at the
// top left of the printable area.
QRect PrintRect(const QSize& picture, const QRect& page);

} // namespace FrameCapture
