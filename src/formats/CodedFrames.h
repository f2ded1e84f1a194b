// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// What a coded picture is, read from its first bytes: whether it is a B-frame (shown before a
// frame it is decoded after). Containers that keep one time per frame in decoding order (AVI)
// cannot be cut without re-timing such frames.
namespace CodedFrames {

enum class Codec {
    Other,
    Mpeg4Part2, // video object planes after 00 00 01 B6
    H264Annexb, // NAL units after start codes
    H264Avc     // NAL units after 4-byte lengths
};

bool IsBFrame(Codec codec, const uint8_t* data, size_t size);

} // namespace CodedFrames
