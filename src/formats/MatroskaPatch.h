// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Mends, in place, what GStreamer's Matroska muxer leaves out of a file's sound so that every
// player decodes it: the bit depth of IMA ADPCM and MS ADPCM in the track's wave format (written
// as 0, which decoders refuse) with the byte rate that goes with it, and the key-frame flag of
// sound blocks (never set, while every sound block stands alone). Nothing else is touched and
// no byte moves. False when the file cannot be read or written (`error` says why); a file with
// nothing to mend is left as it was.
namespace MatroskaPatch {

bool MendAudio(const QString& path, QString* error = nullptr);

} // namespace MatroskaPatch
