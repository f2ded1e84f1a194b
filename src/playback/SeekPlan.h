// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

// Where a seek goes, worked out from the numbers alone (times in nanoseconds of the stream):
// no pipeline, so it is tested on its own. The file's frame table (the start of the frame
// covering a time, the key frame to decode from) comes in as optional values.
namespace SeekPlan {

// A seek to the end shows the last frame: it goes this far before the end, less than any frame
// lasts.
constexpr int64_t kEndLead = 1000000;
// Without the start of the frame before the one on screen, how far before the latter's start
// a frame back seeks: less than any frame lasts, more than the millisecond the file's times
// are kept in.
constexpr int64_t kFrameBackLead = 2000000;

struct Target {
    int64_t ns = 0;     // where the seek goes
    bool atEnd = false; // at or past the end: the position is the duration
};
// For a seek to `units` of 100 ns in a recording `duration` long (none or 0: not known):
// nothing before the start, and at or past the end just before it.
Target ForSeek(int64_t units, std::optional<int64_t> duration);

// Where the demuxer is sent for a seek to `target`: the key frame to decode from where frames
// shown before a key frame are stored after it (`decodeFrom`), else the start of the frame
// covering the target where it lies before it; none to seek to the target itself.
std::optional<int64_t> DemuxerStart(int64_t target, std::optional<int64_t> frameStart,
                                    std::optional<int64_t> decodeFrom);

// Where a frame back seeks, from the start of the frame on screen: halfway into the frame
// before it where the file tells where that one starts (so the seek's rounding cannot reach
// another), else just before the start of the one on screen; never before the start.
int64_t FrameBack(int64_t shownStart, std::optional<int64_t> previousStart);

} // namespace SeekPlan
