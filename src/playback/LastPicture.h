// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <gst/gst.h>
#include <vector>

// A seek into the stretch where only the sound runs on (the picture ended earlier) gives the
// video sink no frame: some demuxers end a stream that has nothing at the target. The picture
// shown there is the last one, decoded here in a pipeline of its own.
namespace LastPicture {

// The last video frame of the file behind `uri` presented at or before `ns` (stream time, ns),
// as a sample whose segment gives it its own start as its time, in the formats of `caps`; null
// when there is none. `starts` receives the start of every frame decoded on the way. Blocks
// while it decodes (from the key frame before): call it off the UI thread.
GstSample* Before(const QByteArray& uri, const char* caps, gint64 ns, std::vector<gint64>* starts);

} // namespace LastPicture
