// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/SeekPlan.h"

#include <algorithm>
#include <limits>

namespace SeekPlan {

Target ForSeek(int64_t units, std::optional<int64_t> duration) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    // GStreamer has no position before the start; a step back past it lands on the start.
    const int64_t ns = units <= 0 ? 0 : (units > kMax / 100 ? kMax : units * 100);
    // At or past the end the position is the duration, as it is once playback ran out, and
    // the picture is the last frame: the seek goes to just before the end.
    if (duration && *duration > 0 && ns >= *duration)
        return {std::max<int64_t>(0, *duration - kEndLead), true};
    return {ns, false};
}

std::optional<int64_t> DemuxerStart(int64_t target, std::optional<int64_t> frameStart,
                                    std::optional<int64_t> decodeFrom) {
    if (decodeFrom)
        return decodeFrom;
    if (frameStart && *frameStart < target)
        return frameStart;
    return std::nullopt;
}

int64_t FrameBack(int64_t shownStart, std::optional<int64_t> previousStart) {
    const int64_t target = previousStart ? *previousStart + (shownStart - *previousStart) / 2
                                         : shownStart - kFrameBackLead;
    return std::max<int64_t>(0, target);
}

} // namespace SeekPlan
