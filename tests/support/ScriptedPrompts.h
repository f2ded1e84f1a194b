// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/Prompts.h"

#include <QDialog>
#include <QPrinter>
#include <QStringList>
#include <algorithm>
#include <deque>
#include <functional>
#include <optional>

// A Prompts double for headless tests: records what was asked and answers from queues
// that the test fills. Installs itself for its lifetime.
class ScriptedPrompts final : public Prompts {
public:
    ScriptedPrompts() { Prompts::install(this); }
    ~ScriptedPrompts() override { Prompts::install(nullptr); }

    // What the program showed or asked, in order.
    QStringList messages;
    QStringList openFilters;
    QStringList saveFilters;
    QStringList saveSuffixes;
    QStringList saveDirectories; // the folder, or the file offered, of each save dialog
    QStringList questions;
    QStringList numberQuestions;
    QStringList options; // the check boxes shown in file choosers
    int printerRequests = 0;
    int modalRuns = 0;

    // Answers, taken from the front; an empty queue answers "cancelled".
    std::deque<QStringList> openAnswers;
    std::deque<QString> saveAnswers;
    std::deque<bool> questionAnswers; // an empty queue answers No
    // Numbers typed (nothing: cancelled); an empty queue accepts the number offered.
    std::deque<std::optional<double>> numberAnswers;
    std::deque<bool> optionAnswers; // how the user leaves a chooser's check box; empty: as shown
    // Sets the printer up (e.g. PDF output) and returns whether the user pressed Print.
    std::deque<std::function<bool(QPrinter&)>> printerAnswers;
    // Plays the user's part in a modal dialog and returns its result code.
    std::deque<std::function<int(QDialog&)>> modalAnswers;

    void message(QWidget*, const QString& text) override { messages << text; }

    QStringList chooseOpenFiles(QWidget*, const QString& filter, bool, const QString&) override {
        openFilters << filter;
        return pop(openAnswers, QStringList());
    }

    // Answered from the same queue as chooseOpenFiles: the first name of the answer.
    QString chooseOpenOrNewFile(QWidget*, const QString& filter, const QString&) override {
        openFilters << filter;
        const QStringList answer = pop(openAnswers, QStringList());
        return answer.isEmpty() ? QString() : answer.constFirst();
    }

    QString chooseSaveFile(QWidget*, const QString& filter, const QString& suffix,
                           const QString& directory) override {
        saveFilters << filter;
        saveDirectories << directory;
        saveSuffixes << suffix;
        return pop(saveAnswers, QString());
    }

    QString chooseNewFileWithOption(QWidget* parent, const QString& filter, const QString& suffix,
                                    const QString& proposed, const QString& option,
                                    bool& checked) override {
        options << option;
        checked = pop(optionAnswers, checked);
        return chooseNewFile(parent, filter, suffix, proposed);
    }

    bool question(QWidget*, const QString& text) override {
        questions << text;
        return pop(questionAnswers, false);
    }

    bool choosePrinter(QWidget*, QPrinter& printer) override {
        ++printerRequests;
        if (printerAnswers.empty())
            return false;
        auto answer = printerAnswers.front();
        printerAnswers.pop_front();
        return answer(printer);
    }

    std::optional<double> askNumber(QWidget*, const QString& text, double value, double min,
                                    double max, int) override {
        numberQuestions << text;
        const std::optional<double> answer = pop(numberAnswers, std::optional<double>(value));
        return answer ? std::optional<double>(std::clamp(*answer, min, max)) : std::nullopt;
    }

    int runModal(QDialog& dialog) override {
        ++modalRuns;
        if (modalAnswers.empty())
            return QDialog::Rejected;
        auto answer = modalAnswers.front();
        modalAnswers.pop_front();
        return answer(dialog);
    }

private:
    template <typename T> static T pop(std::deque<T>& queue, T fallback) {
        if (queue.empty())
            return fallback;
        T front = queue.front();
        queue.pop_front();
        return front;
    }
};
