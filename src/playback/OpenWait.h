// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>
#include <functional>
#include <gst/gst.h>

// Stops a debug, sanitizer or thread-checking build where a rule of the waits is broken; a
// release build goes on.
#if !defined(NDEBUG) || defined(PLAYER_CHECKED)
#define PLAYER_WAIT_CHECK(condition, what) ((condition) ? void() : qFatal("%s", what))
#else
#define PLAYER_WAIT_CHECK(condition, what) void()
#endif

// The waits on the memory card, made without freezing the window: opening a recording up to
// its first frame, finding where a seek lands, writing a snapshot onto the card. On a slow
// card each takes seconds; meanwhile the UI thread serves its timers, paint events and posted
// events, but no user input, so no click or key can start another open or act on an engine
// that is only half open or half sought; what timers and posted events would do to the engine
// waits too (Busy, WhenIdle). Off the UI thread (or without an application object) the same
// waits simply block.
//
// Threads: the functions run on the thread that calls them; Run's work runs on a worker thread
// of its own, joined before Run returns. The wait depth and the deferred actions belong to the
// UI thread.
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

// Whether the UI thread is inside one of these waits now. Timers and posted events run
// meanwhile, and the engine that waits is in the middle of an operation: while this holds,
// nothing may start another engine operation (the play timer's tick does nothing) or release
// an engine. UI thread only.
bool Busy();

// Marks the UI thread busy for a command that waits more than once with an engine in hand (a
// snapshot: the frame, the file dialog, the copy), so that nothing releases that engine
// between its waits either. UI thread only.
class Operation {
public:
    Operation();
    ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;
};

// Runs `action` now when no wait is under way, else once the outermost wait has ended and the
// code that waited has returned to the event loop (posted; several in the order asked). For a
// close, an open or a quit asked for from inside a wait. UI thread only.
void WhenIdle(std::function<void()> action);

} // namespace OpenWait
