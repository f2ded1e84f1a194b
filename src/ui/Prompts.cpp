// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Prompts.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace {
Prompts* g_installed = nullptr;

// The program's filters name their patterns with ";" between them ("(*.asf;*.avi)"), which
// Qt's file dialog would read as one pattern. The dialog is given the same label with a
// space-separated copy of the patterns that it uses but does not show. It matches them
// without regard to letter case, as file choosers on the card's home platform did.
QString DialogFilter(const QString& filter, bool* rewritten) {
    *rewritten = false;
    const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
    const qsizetype close = filter.lastIndexOf(QLatin1Char(')'));
    if (open < 0 || close < open)
        return filter;
    QString patterns = filter.mid(open + 1, close - open - 1);
    if (!patterns.contains(QLatin1Char(';')))
        return filter;
    *rewritten = true;
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    return filter + QStringLiteral(" (") + patterns + QLatin1Char(')');
}
// A save dialog at `where` (a folder, or a path naming the folder and the file to offer);
// the chosen path, empty when cancelled.
QString RunSaveDialog(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                      const QString& where, bool confirmOverwrite, const QString& option = {},
                      bool* checked = nullptr) {
    bool rewritten = false;
    QFileDialog dialog(parent, QString(), where, DialogFilter(filter, &rewritten));
    QCheckBox* box = nullptr;
    // A check box goes into Qt's own chooser; the desktop's cannot take one.
    if (checked && !option.isEmpty()) {
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            box = new QCheckBox(option, &dialog);
            box->setChecked(*checked);
            grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
        }
    }
    dialog.setOption(QFileDialog::HideNameFilterDetails, rewritten);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !confirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    if (box)
        *checked = box->isChecked();
    return dialog.selectedFiles().constFirst();
}

} // namespace

Prompts& Prompts::current() {
    static DesktopPrompts desktop;
    return g_installed ? *g_installed : desktop;
}

void Prompts::install(Prompts* prompts) {
    g_installed = prompts;
}

void DesktopPrompts::message(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("player"), text, QMessageBox::Ok, parent);
    box.exec();
}

QStringList DesktopPrompts::chooseOpenFiles(QWidget* parent, const QString& filter, bool multiple,
                                            const QString& directory) {
    bool rewritten = false;
    QFileDialog dialog(parent, QString(), directory, DialogFilter(filter, &rewritten));
    dialog.setOption(QFileDialog::HideNameFilterDetails, rewritten);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString DesktopPrompts::chooseOpenOrNewFile(QWidget* parent, const QString& filter,
                                            const QString& directory) {
    bool rewritten = false;
    QFileDialog dialog(parent, QString(), directory, DialogFilter(filter, &rewritten));
    dialog.setOption(QFileDialog::HideNameFilterDetails, rewritten);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Any name is taken (chooseNameInFolder then checks its folder).
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString DesktopPrompts::chooseSaveFile(QWidget* parent, const QString& filter,
                                       const QString& defaultSuffix, const QString& directory) {
    return RunSaveDialog(parent, filter, defaultSuffix, directory, true);
}

QString Prompts::chooseNameInFolder(QWidget* parent, const QString& filter,
                                    const QString& directory) {
    QString where = directory;
    for (;;) {
        const QString chosen = chooseOpenOrNewFile(parent, filter, where);
        if (chosen.isEmpty())
            return {};
        const QFileInfo info(chosen);
        if (info.absoluteDir().exists())
            return info.absoluteFilePath();
        // Not taken, as a chooser that wants an existing path does not take one: offered again
        // from the nearest folder that is there.
        QDir nearest = info.absoluteDir();
        while (!nearest.exists() && nearest.cdUp()) {
        }
        where = nearest.absolutePath();
    }
}

QString Prompts::chooseNewFile(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                               const QString& proposed) {
    return chooseSaveFile(parent, filter, defaultSuffix, proposed);
}

QString Prompts::chooseNewFileWithOption(QWidget* parent, const QString& filter,
                                         const QString& defaultSuffix, const QString& proposed,
                                         const QString&, bool&) {
    return chooseNewFile(parent, filter, defaultSuffix, proposed);
}

QString DesktopPrompts::chooseNewFileWithOption(QWidget* parent, const QString& filter,
                                                const QString& defaultSuffix,
                                                const QString& proposed, const QString& option,
                                                bool& checked) {
    return RunSaveDialog(parent, filter, defaultSuffix, proposed, false, option, &checked);
}

bool Prompts::question(QWidget*, const QString&) {
    return false;
}

QString DesktopPrompts::chooseNewFile(QWidget* parent, const QString& filter,
                                      const QString& defaultSuffix, const QString& proposed) {
    // The caller asks before replacing a file, in its own words.
    return RunSaveDialog(parent, filter, defaultSuffix, proposed, false);
}

bool DesktopPrompts::question(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("player"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<double> Prompts::askNumber(QWidget*, const QString&, double value, double, double,
                                         int) {
    return value;
}

std::optional<double> DesktopPrompts::askNumber(QWidget* parent, const QString& text, double value,
                                                double min, double max, int decimals) {
    bool ok = false;
    const double chosen = QInputDialog::getDouble(parent, QStringLiteral("player"), text, value,
                                                  min, max, decimals, &ok);
    return ok ? std::optional<double>(chosen) : std::nullopt;
}

bool DesktopPrompts::choosePrinter(QWidget* parent, QPrinter& printer) {
    QPrintDialog dialog(&printer, parent);
    // A PDF file stands in for paper on a machine without a printer.
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setPrintRange(QAbstractPrintDialog::AllPages);
    return dialog.exec() == QDialog::Accepted;
}

int DesktopPrompts::runModal(QDialog& dialog) {
    return dialog.exec();
}
