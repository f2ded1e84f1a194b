// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QDialog;
class QPrinter;
class QWidget;

// Every message box, file chooser, print dialog and modal dialog of the program goes
// through this one interface, so that tests can answer them without a screen.
class Prompts {
public:
    virtual ~Prompts() = default;

    // A plain OK message box with the program's title; returns when it is dismissed.
    virtual void message(QWidget* parent, const QString& text) = 0;

    // Choose existing files to open. An empty list means cancelled.
    // `filter` uses Qt's form: "asf File (*.asf)".
    virtual QStringList chooseOpenFiles(QWidget* parent, const QString& filter, bool multiple,
                                        const QString& directory = {}) = 0;

    // Choose one file to open, which may also be a name typed for a file that is not there
    // yet. Empty means cancelled. `filter` as above.
    virtual QString chooseOpenOrNewFile(QWidget* parent, const QString& filter,
                                        const QString& directory = {}) = 0;

    // chooseOpenOrNewFile, asked again while the name chosen is in a folder that does not
    // exist. Empty means cancelled.
    QString chooseNameInFolder(QWidget* parent, const QString& filter,
                               const QString& directory = {});

    // Choose a file to save to; `defaultSuffix` without the dot. Empty means cancelled.
    virtual QString chooseSaveFile(QWidget* parent, const QString& filter,
                                   const QString& defaultSuffix, const QString& directory = {}) = 0;

    // Choose a new file to save to, `proposed` (a full path) offered first. Unlike
    // chooseSaveFile the chooser does not question an existing file: the caller asks with
    // question(). Empty means cancelled. By default, chooseSaveFile's answer.
    virtual QString chooseNewFile(QWidget* parent, const QString& filter,
                                  const QString& defaultSuffix, const QString& proposed);

    // chooseNewFile with a check box `option` under the chooser's fields, shown as `checked`
    // and left in it as the user set it. By default, chooseNewFile's answer, `checked` as it was.
    virtual QString chooseNewFileWithOption(QWidget* parent, const QString& filter,
                                            const QString& defaultSuffix, const QString& proposed,
                                            const QString& option, bool& checked);

    // A Yes/No question, No the default answer; true for Yes. By default, No.
    virtual bool question(QWidget* parent, const QString& text);

    // A number, `value` offered, within [min, max] with `decimals` places. Nothing means
    // cancelled. By default, `value`.
    virtual std::optional<double> askNumber(QWidget* parent, const QString& text, double value,
                                            double min, double max, int decimals);

    // Let the user set up `printer`. False means cancelled.
    virtual bool choosePrinter(QWidget* parent, QPrinter& printer) = 0;

    // Run a modal dialog; returns its QDialog::DialogCode.
    virtual int runModal(QDialog& dialog) = 0;

    // The prompts in force: the desktop ones unless a test installed its own.
    static Prompts& current();
    // Installs `prompts` (not owned); nullptr restores the desktop ones.
    static void install(Prompts* prompts);
};

// The desktop implementation: QMessageBox, QFileDialog, QPrintDialog, QDialog::exec.
class DesktopPrompts final : public Prompts {
public:
    void message(QWidget* parent, const QString& text) override;
    QStringList chooseOpenFiles(QWidget* parent, const QString& filter, bool multiple,
                                const QString& directory) override;
    QString chooseOpenOrNewFile(QWidget* parent, const QString& filter,
                                const QString& directory) override;
    QString chooseSaveFile(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                           const QString& directory) override;
    QString chooseNewFile(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                          const QString& proposed) override;
    QString chooseNewFileWithOption(QWidget* parent, const QString& filter,
                                    const QString& defaultSuffix, const QString& proposed,
                                    const QString& option, bool& checked) override;
    bool question(QWidget* parent, const QString& text) override;
    std::optional<double> askNumber(QWidget* parent, const QString& text, double value, double min,
                                    double max, int decimals) override;
    bool choosePrinter(QWidget* parent, QPrinter& printer) override;
    int runModal(QDialog& dialog) override;
};
