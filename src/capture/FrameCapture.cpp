// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/FrameCapture.h"

#include "card/OutputGuard.h"
#include "playback/FrameBitmap.h"
#include "playback/GraphPlayer.h"
#include "playback/OpenWait.h"
#include "ui/Prompts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <cstdio>

namespace FrameCapture {

namespace {

enum class FrameFile { Written, NoPicture, CannotWrite };

// A private temporary file for the engine to write the frame to; removed when it goes.
// A fixed name in a shared folder could be raced or point somewhere else.
// No picture to take is no news to the user; a frame file that cannot be created or written
// (the temporary folder full or closed to us) is told in a message box, and the command
// ends there.
FrameFile SaveFrameToTemporary(QWidget* owner, CGraphPlayer* player, QTemporaryFile& file) {
    file.setFileTemplate(
        QDir(QDir::tempPath()).filePath(QStringLiteral("player-frame-XXXXXX.bmp")));
    QString reason;
    if (file.open()) {
        file.close();
        if (player->SaveFrameBitmap(file.fileName()))
            return FrameFile::Written;
        reason = QStringLiteral("the picture could not be written");
    } else {
        reason = file.errorString();
    }
    if (player->GetCurrentImage().isEmpty())
        return FrameFile::NoPicture;
    Prompts::current().message(owner,
                               QStringLiteral("Cannot create the file %1: %2")
                                   .arg(QDir::toNativeSeparators(file.fileTemplate()), reason));
    return FrameFile::CannotWrite;
}

// Copies the snapshot over `target` so that a failed copy leaves any old file whole.
bool CopyReplacing(const QString& source, const QString& target) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(target);
    // Unbuffered, so a full disk shows up at the write and not only after the commit.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray bytes = in.readAll();
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

// Why a file the user chose must not be written (said on standard error); empty when it may.
QString Refused(const QString& target, const QString& source) {
    const QString refused =
        OutputGuard::Refused(target, source.isEmpty() ? QStringList{} : QStringList{source},
                             OutputGuard::Existing::Replace);
    if (!refused.isEmpty())
        std::fprintf(stderr, "not written: %s\n", qPrintable(refused));
    return refused;
}

// Beside a snapshot of several cameras, each camera's own frame at its size:
// "snap.bmp" gives "snap_Front.bmp", "snap_Rear.bmp". Replaced only where the snapshot itself
// replaced a file the user chose; never a card's file.
bool SaveEachCamera(CGraphPlayer* player, const QString& target, const QString& source,
                    bool replacing) {
    const QFileInfo info(target);
    bool all = true;
    for (int i = 0; i < player->CameraCount(); ++i) {
        QString label = player->CameraLabel(i);
        if (label.isEmpty())
            label = QStringLiteral("Camera%1").arg(i + 1);
        const QString path = info.dir().filePath(info.completeBaseName() + QLatin1Char('_') +
                                                 label + QStringLiteral(".bmp"));
        const QString refused = OutputGuard::Refused(
            path, source.isEmpty() ? QStringList{} : QStringList{source},
            replacing ? OutputGuard::Existing::Replace : OutputGuard::Existing::Refuse);
        if (!refused.isEmpty()) {
            std::fprintf(stderr, "not written: %s\n", qPrintable(refused));
            all = false;
            continue;
        }
        const QByteArray block = FrameBitmap::BlockFromImage(player->CameraImage(i));
        bool written = false;
        OpenWait::Run(
            [&] { written = !block.isEmpty() && FrameBitmap::WriteBitmapFile(path, block); });
        all = all && written;
    }
    return all;
}

} // namespace

void Snapshot(QWidget* owner, CGraphPlayer* player, const QString& source) {
    // Not while an engine waits; and while this runs (the frame, the dialog, the copy), what
    // would release the engine waits for it to finish.
    if (!player || OpenWait::Busy())
        return;
    const OpenWait::Operation busy;
    const bool resume = player->InRunningState();
    if (resume)
        player->PausePlayback();

    QTemporaryFile frame;
    const FrameFile saved = SaveFrameToTemporary(owner, player, frame);
    if (saved == FrameFile::CannotWrite)
        return; // told; the command ends with the video paused
    if (saved == FrameFile::Written) {
        const QString target = Prompts::current().chooseSaveFile(
            owner, QStringLiteral("BMP File (*.bmp)"), QStringLiteral("bmp"));
        // Written off the UI thread: a full-HD frame is 6 MB, seconds on a slow card. Never
        // over the card's own files (the chooser asked about any other file there).
        bool copied = true;
        const QString refused = target.isEmpty() ? QString() : Refused(target, source);
        const bool replacing = !target.isEmpty() && QFileInfo::exists(target);
        if (!refused.isEmpty())
            copied = false;
        else if (!target.isEmpty())
            OpenWait::Run([&] { copied = CopyReplacing(frame.fileName(), target); });
        if (copied && !target.isEmpty() && player->CameraCount() > 1)
            copied = SaveEachCamera(player, target, source, replacing);
        if (!copied)
            Prompts::current().message(owner, QStringLiteral("Save Failed!"));
    }

    if (resume)
        player->StartPlayback();
}

QRect PrintRect(const QSize& picture, const QRect& page) {
    if (picture.isEmpty() || page.isEmpty())
        return {};
    const QSize fitted = picture.scaled(page.size(), Qt::KeepAspectRatio);
    return QRect(page.topLeft(), fitted);
}

QString DefaultPdfPath(const QString& videoPath) {
    if (videoPath.isEmpty())
        return {};
    const QFileInfo video(videoPath);
    return video.absoluteDir().filePath(video.completeBaseName() + QStringLiteral(".pdf"));
}

void Print(QWidget* owner, CGraphPlayer* player, const std::function<void()>& showPaused,
           const QString& pdfPath, const QString& source) {
    if (!player || OpenWait::Busy())
        return;
    const OpenWait::Operation busy;
    if (player->InRunningState()) {
        player->PausePlayback();
        if (showPaused)
            showPaused();
    }

    QImage picture;
    {
        QTemporaryFile frame;
        const FrameFile saved = SaveFrameToTemporary(owner, player, frame);
        if (saved == FrameFile::CannotWrite)
            return;
        if (saved == FrameFile::Written)
            picture.load(frame.fileName(), "BMP");
    }
    if (picture.isNull())
        return;

    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Print Window"));
    if (!pdfPath.isEmpty()) {
        // The dialog's "Print to File (PDF)" entry offers this name; it is the entry chosen
        // when the machine has no printer. Where there is one, it stays the first choice.
        printer.setOutputFileName(pdfPath);
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            printer.setOutputFormat(QPrinter::NativeFormat);
    }
    if (!Prompts::current().choosePrinter(owner, printer))
        return;
    printer.setDocName(QStringLiteral("Print Window"));

    // A PDF is made in a private temporary file and then put in its place off the UI thread:
    // a write that fails (a full or pulled card) is told and leaves an older file of that
    // name whole, and a slow card does not freeze the window.
    const QString pdfTarget =
        printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
    if (!pdfTarget.isEmpty() && !Refused(pdfTarget, source).isEmpty()) {
        Prompts::current().message(owner, QStringLiteral("Print Failed!"));
        return;
    }
    QTemporaryFile pdf(QDir(QDir::tempPath()).filePath(QStringLiteral("player-print-XXXXXX.pdf")));
    if (!pdfTarget.isEmpty()) {
        if (!pdf.open()) {
            Prompts::current().message(owner, QStringLiteral("Print Failed!"));
            return;
        }
        pdf.close();
        printer.setOutputFileName(pdf.fileName());
    }

    QPainter painter;
    if (!painter.begin(&printer)) {
        Prompts::current().message(owner, QStringLiteral("Print Failed!"));
        return;
    }
    // The whole frame, as large as the page allows.
    const QRect page(QPoint(0, 0),
                     printer.pageLayout().paintRectPixels(printer.resolution()).size());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(PrintRect(picture.size(), page), picture);
    bool printed = painter.end();
    if (printed && !pdfTarget.isEmpty())
        OpenWait::Run([&] { printed = CopyReplacing(pdf.fileName(), pdfTarget); });
    if (!printed)
        Prompts::current().message(owner, QStringLiteral("Print Failed!"));
}

} // namespace FrameCapture
