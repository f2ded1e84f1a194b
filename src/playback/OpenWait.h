#pragma once

#include <functional>
#include <gst/gst.h>

// The waits on the memory card, made without freezing the window: opening a recording up to
// its first frame, finding where a seek lands, writing a snapshot onto the card. On a slow
// card each takes seconds; meanwhile the UI thread serves its timers, paint events and posted
// events, but no user input, so no click or key can start another open or act on an engine
// that is only half open or half sought. Off the UI thread (or without an application object) the
// same waits simply block.
namespace OpenWait {

// Serves the UI thread until `done` answers true (asked every few milliseconds) or, with a
// non-negative `timeoutMs`, until that many milliseconds have passed; whether `done` did.
bool ServeUntil(const std::function<bool()>& done, int timeoutMs);

// gst_element_set_state, run on a worker thread while the UI thread is served: starting a
// source reads the file there, and on a slow card that alone takes seconds.
GstStateChangeReturn SetState(GstElement* element, GstState state);

// Runs `work` on a worker thread and returns when it has: the UI thread first waits a moment
// without serving anything (what a card answers at once costs no event loop), then is served
// until `work` is done. No bound of its own: `work` touches the pipeline until it returns.
void Run(const std::function<void()>& work);

} // namespace OpenWait
