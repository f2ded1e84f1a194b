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
    void Clear();
    // While set, frames that start before the segment's start are decoded but not shown: the
    // seek went to the very start of the frame it is to show, so none before it covers it
    // (a decoder that does not know how long frames last takes 40 ms, and would show one).
    void SetSeekOnFrameStart(bool on) { m_seekOnFrameStart = on; }
    bool SeekOnFrameStart() const { return m_seekOnFrameStart; }
    // The latest recorded start at or before `pts`, or before it (strictly); -1 when none.
    qint64 AtOrBefore(qint64 pts) const;
    qint64 Before(qint64 pts) const;

private:
    mutable std::mutex m_mutex;
    std::set<qint64> m_times;
    std::deque<qint64> m_order; // oldest first, to forget the oldest when full
    unsigned long m_handler = 0;
    std::atomic<bool> m_seekOnFrameStart{false};
};
