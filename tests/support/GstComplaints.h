// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>
#include <glib.h>

// Counts GStreamer's critical and warning messages while it lives: a failed assertion in
// GStreamer (an element used after it was freed, a reference dropped twice) is only a message.
class GstComplaints {
public:
    GstComplaints()
        : m_handler(g_log_set_handler(
              "GStreamer", GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING),
              [](const gchar*, GLogLevelFlags, const gchar* text, gpointer self) {
                  qWarning("GStreamer: %s", text);
                  ++static_cast<GstComplaints*>(self)->m_count;
              },
              this)) {}
    ~GstComplaints() { g_log_remove_handler("GStreamer", m_handler); }
    GstComplaints(const GstComplaints&) = delete;
    GstComplaints& operator=(const GstComplaints&) = delete;
    int count() const { return m_count; }

private:
    guint m_handler;
    int m_count = 0;
};
