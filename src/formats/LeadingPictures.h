// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Whether pictures near a key frame are shown in another order than they are stored (B-frames),
// read from the coded frames themselves. A file that keeps one time per frame in storage order
// (ASF) leaves the decoder to put the times back in order, which it learns only from frames
// decoded before: a seek just past such a key frame has to decode from the key frame before it.
// Without reordering, the key frame itself is enough.
namespace LeadingPictures {

enum class Answer { None, Possible };

// The first bytes of one coded frame (its headers).
struct Coded {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// For the frames stored after a key frame of the codec `fourcc` (as an AVI or ASF stream names
// it): None where every one of them is read and none is bidirectional (H.264, MPEG-4 Part 2);
// Possible for any other codec, any frame the bytes do not tell, or no frames.
Answer After(uint32_t fourcc, const std::vector<Coded>& following);

// A fourcc from its four characters.
constexpr uint32_t Fourcc(const char (&c)[5]) {
    return uint32_t(uint8_t(c[0])) | uint32_t(uint8_t(c[1])) << 8 | uint32_t(uint8_t(c[2])) << 16 |
           uint32_t(uint8_t(c[3])) << 24;
}

} // namespace LeadingPictures
