// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <set>

typedef struct _GstElement GstElement;

// The start times of the video frames lately handed to the decoder, and the frame a seek
// shows. A frame shown after an accurate seek carries the seek target as its time, not its own
// start, so "the frame before the one on screen" is found here, among the times the file itself
// gives its frames.
//
// Threads: Watch, Unwatch, SetCover, Clear and the lookups run on the thread that drives the
// engine; Add and the decoders' probes run on streaming threads. The recorded times and the
// seek's cover are guarded by m_mutex; m_fed is counted atomically.
class CFrameTimes {
public:
    // Starts recording the frames that reach any video decoder `graph` plugs in from now on.
    static std::shared_ptr<CFrameTimes> Watch(GstElement* graph);
    // Stops adding to the record (the graph may outlive the record's owner).
    static void Unwatch(GstElement* graph, const std::shared_ptr<CFrameTimes>& times);

    void Add(qint64 pts);
    // Frames handed to the decoder since the watch began (for tests and benchmarks); frames
    // of a stream of pictures coded alone that end before a seek's covering frame are recorded
    // but never decoded.
    void CountFed() { ++m_fed; }
    quint64 FramesFed() const { return m_fed.load(); }
    void Clear();

    // The seek to `target` shows the frame that starts at `coverStart` (from the file; -1 when
    // the file does not say). A decoder clips what it outputs against the segment, taking
    // 40 ms for a frame whose length it does not know, and with B-frames it gives each
    // picture its time only once it has put the frames back in presentation order. So the
    // decoder is told that the segment starts at the stream's start, and what it outputs is
    // cut in presentation order: frames before the covering one are dropped, the covering one
    // is shown from the target on, and downstream sees the segment of the seek unchanged.
    void SetCover(qint64 target, qint64 coverStart);
    struct Cover {
        qint64 target = -1;
        qint64 start = -1;
    };
    Cover CurrentCover() const;

    // The seek `seqnum` to `target` was sent to the demuxer as one to `from`, earlier, so that
    // decoding starts from an earlier key frame: what the demuxer outputs gets the segment of
    // the seek to `target` back. `seqnum` GST_SEQNUM_INVALID (0) when the last seek was not.
    void SetDemuxerStart(quint32 seqnum, qint64 from, qint64 target);
    struct Moved {
        quint32 seqnum = 0;
        qint64 from = -1;
        qint64 target = -1;
    };
    Moved CurrentDemuxerStart() const;

    // The latest recorded start at or before `pts`, or before it (strictly); -1 when none.
    qint64 AtOrBefore(qint64 pts) const;
    qint64 Before(qint64 pts) const;
    // The earliest recorded start after `pts`; -1 when none.
    qint64 After(qint64 pts) const;

private:
    mutable std::mutex m_mutex;
    std::set<qint64> m_times;    // guarded by m_mutex
    std::deque<qint64> m_order;  // oldest first, to forget the oldest when full; m_mutex
    Cover m_cover;               // m_mutex
    Moved m_moved;               // m_mutex
    unsigned long m_handler = 0; // engine thread only
    std::atomic<quint64> m_fed{0};
};
