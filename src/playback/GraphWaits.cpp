// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting for the graph: the first frame of a file being opened, and its messages.
#include "playback/GraphPlayer.h"

#include "playback/FrameSlot.h"
#include "playback/OpenWait.h"

#include <QCoreApplication>
#include <QEvent>
#include <optional>

namespace {

// How long opening waits for the first frame before it serves the window meanwhile.
constexpr gint64 kQuietPrerollUs = 16 * 1000;
// While waiting for the first frame, how often to look whether anything still works on it,
// and how many looks in a row finding nothing at work mean it never will.
constexpr gint64 kStallCheckUs = 250 * 1000;
constexpr int kStallChecks = 2;

// Whether any streaming thread of the graph is still running. A demuxer that gives up on a
// damaged file while decodebin is still plugging it in has its error swallowed (decodebin
// drops errors from elements it is setting up); its thread stops and nothing else is left
// to finish the preroll or report a failure.
bool AnyStreamingTaskRunning(GstElement* graph) {
    // A graph that changes while we look (decodebin adding elements) is at work too.
    bool running = false;
    GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(graph));
    GValue element = G_VALUE_INIT;
    GstIteratorResult next = GST_ITERATOR_OK;
    while (!running && (next = gst_iterator_next(elements, &element)) == GST_ITERATOR_OK) {
        GstIterator* pads = gst_element_iterate_pads(GST_ELEMENT(g_value_get_object(&element)));
        GValue pad = G_VALUE_INIT;
        GstIteratorResult nextPad = GST_ITERATOR_OK;
        while (!running && (nextPad = gst_iterator_next(pads, &pad)) == GST_ITERATOR_OK) {
            running = gst_pad_get_task_state(GST_PAD(g_value_get_object(&pad))) == GST_TASK_STARTED;
            g_value_reset(&pad);
        }
        running = running || (nextPad != GST_ITERATOR_OK && nextPad != GST_ITERATOR_DONE);
        g_value_unset(&pad);
        gst_iterator_free(pads);
        g_value_reset(&element);
    }
    running = running || (next != GST_ITERATOR_OK && next != GST_ITERATOR_DONE);
    g_value_unset(&element);
    gst_iterator_free(elements);
    return running;
}

} // namespace

bool CGraphPlayer::WaitForPreroll(int timeoutMs) {
    if (!m_mediaEvent)
        return false;
    std::optional<bool> outcome;
    int idleLooks = 0;
    gint64 nextLook = g_get_monotonic_time() + kStallCheckUs;
    // Whether the wait is over; the first look may wait `wait` for the bus.
    const auto look = [&](GstClockTime wait) {
        while (GstMessagePtr message{gst_bus_timed_pop_filtered(
            m_mediaEvent.get(), wait,
            GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_EOS))}) {
            wait = 0;
            switch (GST_MESSAGE_TYPE(message.get())) {
            case GST_MESSAGE_ERROR:
                outcome = false;
                return true;
            case GST_MESSAGE_EOS:
                m_endOfStream = true;
                outcome = true;
                return true;
            case GST_MESSAGE_ASYNC_DONE:
                if (GST_MESSAGE_SRC(message.get()) == GST_OBJECT(m_pipeline.get())) {
                    outcome = true;
                    return true;
                }
                break;
            default:
                break;
            }
        }
        if (g_get_monotonic_time() < nextLook)
            return false;
        // A slow card keeps a reading thread busy; a file given up on silently does not.
        idleLooks = AnyStreamingTaskRunning(m_pipeline.get()) ? 0 : idleLooks + 1;
        nextLook = g_get_monotonic_time() + kStallCheckUs;
        if (idleLooks < kStallChecks)
            return false;
        outcome = false;
        return true;
    };
    // A recording on a good card prerolls within a frame or two of the window's painting:
    // waited for on the bus itself, it is seen the moment it does. Only then is the window
    // served, asking every few milliseconds.
    const gint64 quietEnd = g_get_monotonic_time() + kQuietPrerollUs;
    bool over = false;
    for (gint64 now = g_get_monotonic_time(); !over && now < quietEnd; now = g_get_monotonic_time())
        over = look(GstClockTime(quietEnd - now) * GST_USECOND);
    if (!over)
        OpenWait::ServeUntil([&] { return look(0); },
                             std::max(0, timeoutMs - int(kQuietPrerollUs / 1000)));
    return outcome.value_or(false);
}

void CGraphPlayer::DrainBus() {
    if (!m_mediaEvent)
        return;
    while (GstMessagePtr message{gst_bus_pop(m_mediaEvent.get())}) {
        const GstMessageType type = GST_MESSAGE_TYPE(message.get());
        if (type == GST_MESSAGE_EOS && (m_seekSeqnum == GST_SEQNUM_INVALID ||
                                        gst_message_get_seqnum(message.get()) == m_seekSeqnum))
            m_endOfStream = true;
        if ((type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR) && m_eventWindow) {
            QCoreApplication::postEvent(m_eventWindow.data(),
                                        new QEvent(QEvent::Type(QEvent::User + WM_GRAPHNOTIFY)));
        }
    }
}
