// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>
#include <optional>

namespace ClipExport {

// A buffer time as time in the recording (an edit list or a seek shifts buffer times), also
// before the segment's start and past its stop.
inline std::optional<gint64> StreamTime(const GstSegment& segment, GstClockTime time) {
    guint64 value = 0;
    const int sign = gst_segment_to_stream_time_full(&segment, GST_FORMAT_TIME, time, &value);
    if (sign == 0)
        return std::nullopt;
    return sign > 0 ? gint64(value) : -gint64(value);
}

} // namespace ClipExport
