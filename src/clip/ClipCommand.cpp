// SPDX-License-Identifier: GPL-3.0-or-later
#include "clip/ClipCommand.h"

#include "card/CameraPairs.h"
#include "card/OutputGuard.h"
#include "clip/ClipExport.h"
#include "session/ProgressWork.h"
#include "trip/TripReader.h"
#include "ui/Prompts.h"
#include "ui/Version.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

std::pair<double, double> ClipMarks::Span(double duration) const {
    double from = m_start >= 0 ? m_start : 0;
    double to = m_end >= 0 ? m_end : duration;
    if (m_start >= 0 && m_end >= 0 && to < from)
        std::swap(from, to);
    return {from, to};
}

QList<QPair<int, QColor>> ClipMarks::Ticks(double duration) const {
    QList<QPair<int, QColor>> ticks;
    if (duration > 0) {
        const QColor mark(255, 196, 0);
        for (const double at : {m_start, m_end})
            if (at >= 0)
                ticks.append({int(std::lround(std::min(at, duration) * 1000 / duration)), mark});
    }
    return ticks;
}

namespace ClipExport {

void ExportFromWindow(QWidget* owner, const QString& source, double from, double to) {
    Prompts& prompts = Prompts::current();
    const QFileInfo info(source);
    // Named after the span really written: from the key frame, to the recording's end at most.
    const Span span = PlanSpan(source, from, to);
    if (!span.error.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(source), qPrintable(span.error));
        prompts.message(owner, QStringLiteral("Nothing to export: %1").arg(span.error));
        return;
    }
    // Offered as the user last left it in this session.
    static bool overlay = false;
    const QString target = prompts.chooseNewFileWithOption(
        owner, QStringLiteral("Matroska video (*.mkv)"), QStringLiteral("mkv"),
        info.absoluteDir().filePath(DefaultName(source, span)),
        QStringLiteral("Also with the date, speed and G values in the picture (H.264 .mp4)"),
        overlay);
    if (target.isEmpty())
        return;
    QStringList inputs = QStringList{info.absoluteFilePath()} + TripReaders::Files(source);
    for (const CameraPairs::Camera& camera : CameraPairs::CamerasOf(info.absoluteFilePath()))
        if (!inputs.contains(camera.path))
            inputs.append(camera.path);
    for (const QString& out : OutputsFor(target, overlay)) {
        // Never over the recording, its log or another of the card's files.
        const QString refused = OutputGuard::Refused(out, inputs, OutputGuard::Existing::Replace);
        if (!refused.isEmpty()) {
            std::fprintf(stderr, "not written: %s\n", qPrintable(refused));
            prompts.message(owner, QStringLiteral("Save Failed!\n") + refused);
            return;
        }
        if (QFileInfo::exists(out) &&
            !prompts.question(owner,
                              QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                  .arg(QFileInfo(out).fileName())))
            return;
    }

    Request request;
    request.source = source;
    request.from = from;
    request.to = to;
    request.out = target;
    request.overlay = overlay;
    request.replace = true; // asked above
    request.version = PlayerVersion();
    Result result;
    RunWithProgress(
        owner, QStringLiteral("Export clip"), QStringLiteral("Exporting the clip…"),
        [&](const std::function<bool(double)>& progress) { result = Export(request, progress); });
    if (result.cancelled)
        return;
    if (!result.error.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(target), qPrintable(result.error));
        prompts.message(owner, QStringLiteral("Save Failed!"));
        return;
    }
    QString said = QStringLiteral("Clip written to %1").arg(target);
    if (overlay)
        said += QStringLiteral("\nwith the data in the picture in %1")
                    .arg(QFileInfo(OutputsFor(target, true).last()).fileName());
    if (std::abs(result.start - from) > 0.0005)
        said += QStringLiteral("\nIt starts at %1, at the key frame before %2.")
                    .arg(TimeText(result.start), TimeText(from));
    for (const QString& note : result.notes) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(target), qPrintable(note));
        said += QLatin1Char('\n') + note.left(1).toUpper() + note.mid(1) + QLatin1Char('.');
    }
    prompts.message(owner, said);
}

} // namespace ClipExport
