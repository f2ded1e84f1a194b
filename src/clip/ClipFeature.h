// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clip/ClipCommand.h"

#include <QObject>

class CPlayerSession;

// Clips of the open recording, plugged into the session: I marks the start at the frame on
// screen, O the end where that frame ends, Backspace clears both (ticks show them on the seek
// bar; they go when another recording opens), Ctrl+E exports the marked span (else the whole
// recording); and "Export clip…" in a row's menu exports a whole recording.
class CClipFeature : public QObject {
    Q_OBJECT
public:
    explicit CClipFeature(CPlayerSession& session);

    void OnMarkStart();
    void OnMarkEnd();
    void OnClearMarks();
    void OnExportClip();
    const ClipMarks& Marks() const { return m_marks; }

    // The feature attached to the session of `window`, if any.
    static CClipFeature* Of(const QObject* window);

private:
    CPlayerSession& m_session;
    ClipMarks m_marks;
};
