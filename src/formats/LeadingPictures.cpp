// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/LeadingPictures.h"

#include "formats/CodedFrames.h"

#include <cctype>

namespace LeadingPictures {
namespace {

uint32_t Upper(uint32_t fourcc) {
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i)
        out |= uint32_t(std::toupper(int((fourcc >> (8 * i)) & 0xFF))) << (8 * i);
    return out;
}

bool IsH264(uint32_t fourcc) {
    switch (Upper(fourcc)) {
    case Fourcc("H264"):
    case Fourcc("X264"):
    case Fourcc("AVC1"):
    case Fourcc("DAVC"):
    case Fourcc("VSSH"):
        return true;
    default:
        return false;
    }
}

bool IsMpeg4Part2(uint32_t fourcc) {
    switch (Upper(fourcc)) {
    case Fourcc("FMP4"):
    case Fourcc("XVID"):
    case Fourcc("DIVX"):
    case Fourcc("DX50"):
    case Fourcc("MP4V"):
    case Fourcc("M4S2"):
    case Fourcc("3IV2"):
        return true;
    default:
        return false;
    }
}

CodedFrames::Codec CodecOf(uint32_t fourcc) {
    return IsH264(fourcc)         ? CodedFrames::Codec::H264Annexb
           : IsMpeg4Part2(fourcc) ? CodedFrames::Codec::Mpeg4Part2
                                  : CodedFrames::Codec::Other;
}

// Whether the frame's first bytes hold what says its type: a picture's header (MPEG-4 Part 2) or
// a slice (H.264), after a start code.
bool Tells(CodedFrames::Codec codec, const Coded& frame) {
    for (size_t i = 0; i + 3 < frame.size; ++i) {
        if (frame.data[i] != 0 || frame.data[i + 1] != 0 || frame.data[i + 2] != 1)
            continue;
        const uint8_t unit = frame.data[i + 3];
        if (codec == CodedFrames::Codec::Mpeg4Part2 ? unit == 0xB6
                                                    : (unit & 0x1F) == 1 || (unit & 0x1F) == 5)
            return true;
    }
    return false;
}

} // namespace

Answer After(uint32_t fourcc, const std::vector<Coded>& following) {
    const CodedFrames::Codec codec = CodecOf(fourcc);
    if (following.empty() || codec == CodedFrames::Codec::Other)
        return Answer::Possible;
    for (const Coded& frame : following) {
        if (!Tells(codec, frame) || CodedFrames::IsBFrame(codec, frame.data, frame.size))
            return Answer::Possible;
    }
    return Answer::None;
}

} // namespace LeadingPictures
