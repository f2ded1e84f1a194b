// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/CodedFrames.h"

namespace CodedFrames {

namespace {

// Reads Exp-Golomb codes from a NAL unit's payload (emulation prevention bytes are rare this
// early in a slice header and do not change the first two codes' reading in practice).
class Bits {
public:
    Bits(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Ue(uint32_t& value) {
        int zeros = 0;
        while (true) {
            int bit = 0;
            if (!Bit(bit))
                return false;
            if (bit)
                break;
            if (++zeros > 31)
                return false;
        }
        uint32_t rest = 0;
        for (int i = 0; i < zeros; ++i) {
            int bit = 0;
            if (!Bit(bit))
                return false;
            rest = (rest << 1) | uint32_t(bit);
        }
        value = (1u << zeros) - 1 + rest;
        return true;
    }

private:
    bool Bit(int& bit) {
        if (m_at >= m_size * 8)
            return false;
        bit = (m_data[m_at / 8] >> (7 - m_at % 8)) & 1;
        ++m_at;
        return true;
    }
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// A coded slice (NAL types 1 and 5) whose slice_type is B (1 or 6).
bool BSlice(const uint8_t* nal, size_t size) {
    if (size < 2)
        return false;
    const int type = nal[0] & 0x1F;
    if (type != 1 && type != 5)
        return false;
    Bits bits(nal + 1, size - 1);
    uint32_t firstMb = 0, sliceType = 0;
    return bits.Ue(firstMb) && bits.Ue(sliceType) && sliceType % 5 == 1;
}

} // namespace

bool IsBFrame(Codec codec, const uint8_t* data, size_t size) {
    switch (codec) {
    case Codec::Mpeg4Part2:
        for (size_t i = 0; i + 4 < size; ++i)
            if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xB6)
                return (data[i + 4] >> 6) == 2;
        return false;
    case Codec::H264Annexb:
        for (size_t i = 0; i + 3 < size; ++i)
            if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
                size_t end = i + 3;
                while (end + 2 < size && !(data[end] == 0 && data[end + 1] == 0 &&
                                           (data[end + 2] == 1 || data[end + 2] == 0)))
                    ++end;
                if (BSlice(data + i + 3, (end + 2 < size ? end : size) - (i + 3)))
                    return true;
                i = end - 1;
            }
        return false;
    case Codec::H264Avc:
        for (size_t i = 0; i + 4 < size;) {
            const size_t length = size_t(data[i]) << 24 | size_t(data[i + 1]) << 16 |
                                  size_t(data[i + 2]) << 8 | data[i + 3];
            if (length == 0 || i + 4 + length > size)
                return false;
            if (BSlice(data + i + 4, length))
                return true;
            i += 4 + length;
        }
        return false;
    case Codec::Other:
        return false;
    }
    return false;
}

} // namespace CodedFrames
