// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// GStreamer hands our objects to its streaming threads through GLib's own locks and thread
// pools, which the thread checker cannot see: where such an object is made ready on one thread
// and used on another, these say so (nothing in a build without the checker).
#if defined(__SANITIZE_THREAD__)
extern "C" void AnnotateHappensBefore(const char* file, int line, const volatile void* object);
extern "C" void AnnotateHappensAfter(const char* file, int line, const volatile void* object);
// After `object` is ready for other threads.
#define PLAYER_HANDED_OVER(object) AnnotateHappensBefore(__FILE__, __LINE__, object)
// Before another thread, reached through GStreamer, uses `object`.
#define PLAYER_TAKEN_OVER(object) AnnotateHappensAfter(__FILE__, __LINE__, object)
#else
#define PLAYER_HANDED_OVER(object) ((void)(object))
#define PLAYER_TAKEN_OVER(object) ((void)(object))
#endif
