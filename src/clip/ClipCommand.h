// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QList>
#include <QPair>
#include <QString>
#include <utility>

class QWidget;

// The span of the open recording the user marked for a clip: a start and an end mark, each at
// the frame on screen when it was set. They belong to the open recording and go when another
// opens. While one is set, a thin tick shows it on the seek bar.
class ClipMarks {
public:
    void SetStart(double seconds) { m_start = seconds; }
    void SetEnd(double seconds) { m_end = seconds; }
    void Clear() { m_start = m_end = -1; }
    bool Any() const { return m_start >= 0 || m_end >= 0; }
    // The span to export of a recording of `duration` seconds: the marks in order, the
    // recording's start and end where one is missing.
    std::pair<double, double> Span(double duration) const;
    // The ticks for the seek bar (positions 0 … 1000 over `duration`); none without marks.
    QList<QPair<int, QColor>> Ticks(double duration) const;

private:
    double m_start = -1, m_end = -1;
};

namespace ClipExport {

// The window's "Export clip…" of [from, to] of `source` (to < 0: its end): the user picks the
// clip's file (offered beside the recording, named after it and the span); replacing files is
// asked first; the export runs with a progress dialog whose Cancel removes what was written,
// the window painting meanwhile. "Save Failed!" when it cannot be written (why, on standard
// error); where it wrote, when it did.
void ExportFromWindow(QWidget* owner, const QString& source, double from, double to);

} // namespace ClipExport
