// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/LeadingPictures.h"

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

// Calls `unit` with the byte after each 00 00 01 start code and the bytes left from there, until
// it answers true; whether one did.
template <typename F> bool EachStartCode(const uint8_t* p, size_t size, F unit) {
    for (size_t i = 0; i + 3 < size; ++i) {
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && unit(p + i + 3, size - i - 3))
            return true;
    }
    return false;
}

// Reads the bits of an H.264 slice header (emulation prevention bytes do not occur this early).
class Bits {
public:
    Bits(const uint8_t* p, size_t size) : m_p(p), m_size(size) {}
    bool Bit(uint32_t& v) {
        if (m_at >= m_size * 8)
            return false;
        v = (m_p[m_at / 8] >> (7 - m_at % 8)) & 1;
        ++m_at;
        return true;
    }
    // An unsigned exponential-Golomb code.
    bool Ue(uint32_t& v) {
        int zeros = 0;
        uint32_t b = 0;
        while (Bit(b) && b == 0)
            if (++zeros > 31)
                return false;
        if (b != 1)
            return false;
        v = 0;
        for (int i = 0; i < zeros; ++i) {
            if (!Bit(b))
                return false;
            v = v << 1 | b;
        }
        v += (1u << zeros) - 1;
        return true;
    }

private:
    const uint8_t* m_p;
    size_t m_size;
    size_t m_at = 0;
};

// Whether a coded frame is bidirectional; nothing when its bytes do not tell.
int Bidirectional(uint32_t fourcc, const Coded& frame) {
    int answer = -1;
    if (IsH264(fourcc)) {
        EachStartCode(frame.data, frame.size, [&](const uint8_t* unit, size_t left) {
            const int type = unit[0] & 0x1F;
            if (type != 1 && type != 5)
                return false;
            Bits bits(unit + 1, left - 1);
            uint32_t firstMb = 0, sliceType = 0;
            if (bits.Ue(firstMb) && bits.Ue(sliceType))
                answer = sliceType % 5 == 1;
            return true;
        });
    } else if (IsMpeg4Part2(fourcc)) {
        EachStartCode(frame.data, frame.size, [&](const uint8_t* unit, size_t left) {
            if (unit[0] != 0xB6 || left < 2)
                return false;
            answer = (unit[1] >> 6) == 2;
            return true;
        });
    }
    return answer;
}

} // namespace

Answer After(uint32_t fourcc, const std::vector<Coded>& following) {
    if (following.empty())
        return Answer::Possible;
    for (const Coded& frame : following) {
        if (Bidirectional(fourcc, frame) != 0)
            return Answer::Possible;
    }
    return Answer::None;
}

} // namespace LeadingPictures
