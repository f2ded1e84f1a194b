#pragma once

#include <QtGlobal>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <set>

typedef struct _GstElement GstElement;

// The start times of the video frames lately handed to the decoder. A frame shown after an
// accurate seek carries the seek target as its time, not its own start, so "the frame before
// the one on screen" is found here, among the times the file itself gives its frames.
class CFrameTimes {
public:
    // Starts recording the frames that reach any video decoder `graph` plugs in from now on.
    static std::shared_ptr<CFrameTimes> Watch(GstElement* graph);
    // Stops adding to the record (the graph may outlive the record's owner).
    static void Unwatch(GstElement* graph, const std::shared_ptr<CFrameTimes>& times);

    void Add(qint64 pts);
    // Frames handed to the decoder since the watch began (for tests and benchmarks).
    quint64 FramesFed() const { return m_fed.load(); }
    void Clear();
    // After a seek to `target` whose picture is the frame starting at `coverStart` (from the
    // file), frames before that one are decoded but not shown, and that one is shown from the
    // target on. Decoders that do not know how long a frame lasts take 40 ms: they would
    // drop the covering frame when it began longer ago, or show an earlier one when frames
    // are closer. -1 when the file does not say.
    void SetCover(qint64 target, qint64 coverStart);
    // The duration that does so for a decoder input frame at `pts` in a segment starting at
    // `segmentStart`; false when the frame needs none.
    bool CoverDuration(qint64 pts, qint64 segmentStart, qint64& duration) const;

    // The latest recorded start at or before `pts`, or before it (strictly); -1 when none.
    qint64 AtOrBefore(qint64 pts) const;
    qint64 Before(qint64 pts) const;

private:
    mutable std::mutex m_mutex;
    std::set<qint64> m_times;
    std::deque<qint64> m_order; // oldest first, to forget the oldest when full
    unsigned long m_handler = 0;
    std::atomic<qint64> m_coverTarget{-1};
    std::atomic<qint64> m_coverStart{-1};
    std::atomic<quint64> m_fed{0};
};
