// SPDX-License-Identifier: GPL-3.0-or-later
// The real window driven offscreen through thousands of random user actions from a fixed
// seed: every transport button, slider drags and keys, tab switches, LOAD, row selection,
// OPEN and double clicks, Previous/Next, the open-file command, configuration with Apply and
// Close, snapshot (saved or cancelled), print cancelled, the about box, and pauses in which
// the timer runs. After every action the playback state table's invariants must hold and no
// message box may have appeared but the ones that action can show.
//
// PLAYER_SOAK_ACTIONS sets the number of actions (2000 by default; e.g. 20000 for a long
// run), PLAYER_SOAK_SEED the seed.
//
// The same soak runs a second time on a flaky card (a FUSE file system, see faultycard.py):
// between actions, at moments drawn from the same seed, the card turns slow, is pulled out
// (now or a little later, in the middle of what the next action does) and comes back. The
// same invariants hold, the failures may show only their own messages, the settings file on
// the card is always whole and a snapshot said to be saved is there. PLAYER_SOAK_FLAKY_ACTIONS
// sets its length (500 by default).
#include "FaultyCard.h"
#include "ReliabilitySupport.h"
#include "config/ConfigDlg.h"
#include "records/CurrentRecord.h"
#include "skin/SkinButton.h"

#include <QPushButton>
#include <QRandomGenerator>
#include <QTreeWidget>
#include <functional>

using namespace reliability;

namespace {

int envInt(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

const QStringList kCardFiles = {"0001.asf", "0001.LOG",     "0004.asf",
                                "0004.LOG", "extras/A.ASF", "setup.ini"};

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A settings file as the card holds it between two actions: as the demo card wrote it, or as
// a save writes it, whole (its last line ends it).
bool wholeSettingsFile(const QByteArray& bytes, const QByteArray& original) {
    return bytes == original ||
           (bytes.startsWith('[') && bytes.endsWith("Valid value is -12.0 ~ 12.\r\n") &&
            bytes.count("\r\n") == 9);
}

class Soak {
public:
    // `flaky`, when given, is the card at `card`, mirroring `source`.
    Soak(CPlayerDlg& window, ScriptedPrompts& prompts, const QString& card, quint32 seed,
         FaultyCard* flaky = nullptr, const QString& source = {})
        : w(window), p(prompts), m_card(card + QLatin1Char('/')), m_random(seed), m_flaky(flaky),
          m_source(source + QLatin1Char('/')) {}

    CPlayerDlg& w;
    ScriptedPrompts& p;
    bool everOpened = false;
    bool everStopped = false;
    QMap<QString, int> done;     // actions taken, by name
    QMap<QString, int> noEffect; // actions whose control was hidden or disabled
    QMap<QString, int> faults;   // what the flaky card did

    // On a flaky card, what it does before the next action: come back, turn slow (as slow
    // as 1 MB/s with 50 ms a read), or be pulled out now or during the action. False when the
    // card stopped answering its commands.
    bool upset() {
        if (!m_flaky)
            return true;
        const int r = pick(100);
        bool answered = true;
        const char* error = pick(2) ? "EIO" : "ENODEV";
        if (m_pulled) {
            if (r < 30) {
                answered = m_flaky->back();
                m_pulled = false;
                faults["back"] += 1;
            }
        } else if (r < 4) {
            answered = m_flaky->pull(error);
            m_pulled = true;
            faults["pulled"] += 1;
        } else if (r < 8) {
            answered = m_flaky->pullIn(pick(800), error);
            m_pulled = true;
            faults["pulled during an action"] += 1;
        } else if (r < 16) {
            static const qint64 rates[] = {1000 * 1000, 2000 * 1000, 4000 * 1000};
            answered = m_flaky->throttle(rates[pick(3)], pick(51));
            faults["slow"] += 1;
        } else if (r < 24) {
            answered = m_flaky->throttle(0, 0);
            faults["full speed"] += 1;
        }
        return answered;
    }

    // The messages a flaky card may add to an action's own: a preview that cannot open, a
    // settings save or a snapshot onto the card that fails.
    QStringList flakyMessages() const {
        return m_flaky ? QStringList{"Open fail", "Open file fail", "Save Failed!"} : QStringList{};
    }

    // One random action; returns its name and the messages it may show.
    QString act(QStringList* allowedMessages) {
        struct Action {
            const char* name;
            int weight;
            std::function<void(QStringList*)> run;
        };
        const std::vector<Action> actions = {
            {"transport", 30, [this](QStringList*) { clickTransport(); }},
            {"stop", 3, [this](QStringList*) { clickStop(); }},
            {"tab", 6, [this](QStringList*) { click(w.GetDlgItem(pick(2) ? 1000 : 1001)); }},
            {"load", 4, [this](QStringList*) { load(); }},
            {"select row", 8, [this](QStringList*) { selectRow(); }},
            {"open", 5,
             [this](QStringList* allowed) {
                 *allowed << "pls select file to be downloaded!";
                 click(w.m_dlgRecordList->m_btnOpen);
             }},
            {"double click", 3,
             [this](QStringList* allowed) {
                 *allowed << "Invalid Select File";
                 doubleClickRow();
             }},
            {"previous/next", 5,
             [this](QStringList* allowed) {
                 *allowed << "pls select file to be downloaded!";
                 click(pick(2) ? w.m_dlgRecordInfo->m_btnPrevious : w.m_dlgRecordInfo->m_btnNext);
             }},
            {"open file", 2, [this](QStringList*) { openFiles(); }},
            {"seek drag", 10, [this](QStringList*) { drag(w.m_sliderSeek); }},
            {"volume drag", 4, [this](QStringList*) { drag(w.m_sliderVolume); }},
            {"keys", 8, [this](QStringList*) { keys(); }},
            {"configuration", 2,
             [this](QStringList* allowed) {
                 *allowed << "ok!";
                 configuration();
             }},
            {"snapshot", 3, [this](QStringList*) { snapshot(); }},
            {"print", 1, [this](QStringList*) { click(w.GetDlgItem(1014)); }},
            {"about", 1,
             [this](QStringList*) {
                 p.modalAnswers.push_back([](QDialog&) { return int(QDialog::Rejected); });
                 click(w.GetDlgItem(1036));
             }},
            {"wait", 5, [this](QStringList*) { QTest::qWait(50 + pick(600)); }},
        };
        int total = 0;
        for (const Action& a : actions)
            total += a.weight;
        int r = pick(total);
        for (const Action& a : actions) {
            if (r < a.weight) {
                a.run(allowedMessages);
                done[a.name] += 1;
                return a.name;
            }
            r -= a.weight;
        }
        return {};
    }

private:
    int pick(int n) { return int(m_random.bounded(n)); }

    // A click as the user makes it: only on a control that is there to be clicked.
    void click(QWidget* control) {
        if (!control || !control->isVisible() || !control->isEnabled()) {
            noEffect[control ? control->metaObject()->className() : "none"] += 1;
            return;
        }
        QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
    }

    void clickTransport() {
        static const int ids[] = {1002, 1003, 1004, 1006, 1007, 1008, 1009, 1010};
        click(w.GetDlgItem(ids[pick(8)]));
    }

    void clickStop() {
        const bool open = w.Player() != nullptr;
        click(w.GetDlgItem(1005));
        if (open && !w.Player())
            everStopped = true;
    }

    QString anyCardFile() {
        static const QStringList names = {"0001.asf", "0001.LOG", "0004.asf", "A.ASF", "setup.ini"};
        return m_card + names[pick(int(names.size()))];
    }

    void load() {
        if (pick(5) > 0)
            p.openAnswers.push_back({anyCardFile()});
        click(w.m_dlgRecordList->m_btnLoad);
    }

    void openFiles() {
        if (pick(4) > 0) {
            static const QStringList videos = {"0001.asf", "0004.asf", "A.ASF"};
            QStringList chosen;
            for (int i = 0, n = 1 + pick(3); i < n; ++i)
                chosen << m_card + videos[pick(3)];
            p.openAnswers.push_back(chosen);
        }
        click(w.GetDlgItem(1011));
    }

    QTreeWidget* list() { return w.m_dlgRecordList->m_listRecords; }

    void selectRow() {
        QTreeWidget* tree = list();
        if (!tree->isVisible() || tree->topLevelItemCount() == 0) {
            noEffect["row"] += 1;
            return;
        }
        const QRect rect =
            tree->visualItemRect(tree->topLevelItem(pick(tree->topLevelItemCount())));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    }

    void doubleClickRow() {
        QTreeWidget* tree = list();
        if (!tree->isVisible()) {
            noEffect["row"] += 1;
            return;
        }
        QPoint at(tree->viewport()->width() / 2, tree->viewport()->height() - 3); // below rows
        if (tree->topLevelItemCount() > 0 && pick(4) > 0)
            at = tree->visualItemRect(tree->topLevelItem(pick(tree->topLevelItemCount()))).center();
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    }

    void drag(CSkinSlider* slider) {
        if (!slider->isVisible()) {
            noEffect["slider"] += 1;
            return;
        }
        const int y = slider->height() / 2;
        const int width = slider->width();
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(pick(width), y));
        for (int i = 0, n = pick(4); i < n; ++i)
            QTest::mouseMove(slider, QPoint(pick(width + 40) - 20, y));
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(pick(width), y));
    }

    void keys() {
        static const Qt::Key listKeys[] = {Qt::Key_Up,  Qt::Key_Down,     Qt::Key_Home,
                                           Qt::Key_End, Qt::Key_PageDown, Qt::Key_PageUp};
        static const Qt::Key sliderKeys[] = {Qt::Key_Left, Qt::Key_Right,  Qt::Key_Home,
                                             Qt::Key_End,  Qt::Key_PageUp, Qt::Key_PageDown};
        switch (pick(4)) {
        case 0:
            if (list()->isVisible())
                QTest::keyClick(list(), listKeys[pick(6)]);
            break;
        case 1:
            if (w.m_sliderSeek->isVisible())
                QTest::keyClick(w.m_sliderSeek, sliderKeys[pick(6)]);
            break;
        case 2:
            QTest::keyClick(w.m_sliderVolume, sliderKeys[pick(6)]);
            break;
        default: // Enter must not fire a default button
            QTest::keyClick(&w, pick(2) ? Qt::Key_Return : Qt::Key_Enter);
            break;
        }
    }

    void configuration() {
        if (pick(6) > 0)
            p.openAnswers.push_back({m_card + "setup.ini"});
        const int choice = pick(3);
        p.modalAnswers.push_back([choice](QDialog& dialog) {
            auto* config = static_cast<CConfigDlg*>(&dialog);
            if (choice != 2) // 0: Apply, then Close; 1: Apply and stay; 2: Close at once
                static_cast<QPushButton*>(config->control(1051))->click();
            if (choice != 1)
                static_cast<QPushButton*>(config->control(1052))->click();
            return int(QDialog::Rejected);
        });
        click(w.GetDlgItem(1012));
    }

    void snapshot() {
        const bool save = pick(3) == 0;
        const QString target = m_card + "shots/shot.bmp";
        // On a flaky card the file is looked at where the card keeps it, whatever the card
        // does meanwhile.
        const QString stored = m_flaky ? m_source + "shots/shot.bmp" : target;
        QFile::remove(stored);
        if (save)
            p.saveAnswers.push_back(target);
        const qsizetype asked = p.saveFilters.size();
        const qsizetype told = p.messages.size();
        click(w.GetDlgItem(1013));
        const bool failed = p.messages.mid(told).contains(QStringLiteral("Save Failed!"));
        if (save && p.saveFilters.size() > asked && !failed) {
            QImage image;
            if (!image.load(stored, "BMP"))
                m_failure = QStringLiteral("snapshot saved no readable picture");
        }
        if (failed && QFile::exists(stored))
            m_failure = QStringLiteral("a failed snapshot left a file");
    }

public:
    QString m_failure;

private:
    QString m_card;
    QRandomGenerator m_random;
    FaultyCard* m_flaky;
    QString m_source;
    bool m_pulled = false;
};

// Restores the current folder when it goes (before the card it pointed into is unmounted).
struct CurrentFolder {
    explicit CurrentFolder(const QString& folder) : m_old(QDir::currentPath()) {
        QDir::setCurrent(folder);
    }
    ~CurrentFolder() { QDir::setCurrent(m_old); }
    QString m_old;
};

} // namespace

class TestSoak : public QObject {
    Q_OBJECT

    // `count` actions from `seed` on the card at `card`; with `flaky`, that card misbehaves
    // and mirrors `source`.
    void soak(const QString& card, int count, quint32 seed, FaultyCard* flaky = nullptr,
              const QString& source = {}) {
        const QByteArray settings = fileBytes((flaky ? source : card) + "/setup.ini");
        // Bare names listed by the open-file command resolve here, as after a file dialog.
        const CurrentFolder current(card);

        CurrentRecord = CurrentRecordData();
        ScriptedPrompts prompts;
        long startRss = 0;
        long peakGraphs = 0;
        QElapsedTimer clock;
        clock.start();
        {
            CPlayerDlg w;
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            Soak soak(w, prompts, card, seed, flaky, source);
            Watchdog watchdog(60);
            startRss = procStatus("VmRSS");

            for (int i = 0; i < count; ++i) {
                watchdog.step(QStringLiteral("card before action %1").arg(i));
                QVERIFY2(soak.upset(), "the flaky card stopped answering");
                QStringList allowed = soak.flakyMessages();
                const qsizetype messagesBefore = prompts.messages.size();
                const int modalBefore = prompts.modalRuns;
                watchdog.step(QStringLiteral("action %1").arg(i));
                const QString name = soak.act(&allowed);
                // Let the timer and the engine's messages run between actions.
                QTest::qWait(i % 3 == 0 ? 40 : 5);
                watchdog.step(QStringLiteral("checks after action %1 (%2)").arg(i).arg(name));

                const QByteArray where =
                    QStringLiteral("action %1 (%2), seed %3").arg(i).arg(name).arg(seed).toUtf8();
                if (w.Player())
                    soak.everOpened = true;
                const QString broken = checkWindowInvariants(w, soak.everOpened, soak.everStopped);
                QVERIFY2(broken.isEmpty(), qPrintable(broken + QStringLiteral(" after ") + where));
                for (qsizetype m = messagesBefore; m < prompts.messages.size(); ++m)
                    QVERIFY2(allowed.contains(prompts.messages[m]),
                             qPrintable(
                                 QStringLiteral("message \"%1\" after ").arg(prompts.messages[m]) +
                                 where));
                // Dialogs run only when asked for, and every answer prepared was used or dropped.
                QVERIFY2(prompts.modalRuns - modalBefore <= 1, where);
                QVERIFY2(soak.m_failure.isEmpty(), qPrintable(soak.m_failure + " after " + where));
                if (flaky)
                    QVERIFY2(wholeSettingsFile(fileBytes(source + "/setup.ini"), settings),
                             "settings file not whole after " + where);
                prompts.openAnswers.clear();
                prompts.saveAnswers.clear();
                prompts.modalAnswers.clear();
                peakGraphs = std::max<long>(peakGraphs, CGraphPlayer::LiveGraphCount());
            }
            watchdog.step(QStringLiteral("closing the window"));

            std::printf("soak%s: %d actions, seed %u, %.1f s, peak %ld live graphs, RSS %ld -> "
                        "%ld KiB, %lld messages\n",
                        flaky ? " on a flaky card" : "", count, seed,
                        double(clock.elapsed()) / 1000.0, peakGraphs, startRss, procStatus("VmRSS"),
                        qlonglong(prompts.messages.size()));
            QStringList taken;
            for (auto it = soak.done.cbegin(); it != soak.done.cend(); ++it)
                taken << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
            std::printf("soak: actions taken: %s\n", qPrintable(taken.join(", ")));
            if (flaky) {
                QStringList faults;
                for (auto it = soak.faults.cbegin(); it != soak.faults.cend(); ++it)
                    faults << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
                std::printf("soak: the card: %s\n", qPrintable(faults.join(", ")));
            }
            QVERIFY(soak.everOpened);
        }
        // The window's end closes its engine and the preview's.
        QCOMPARE(CGraphPlayer::LiveGraphCount(), 0);
    }

private Q_SLOTS:
    void randomUserActions() {
        QTemporaryDir card;
        QVERIFY(card.isValid());
        QVERIFY(copyFromCard(card.path(), kCardFiles));
        QVERIFY(QDir(card.path()).mkdir("shots"));
        soak(card.path(), envInt("PLAYER_SOAK_ACTIONS", 2000),
             quint32(envInt("PLAYER_SOAK_SEED", 20260520)));
    }

    void flakyCard() {
        REQUIRE_FAULTY_CARD();
        QTemporaryDir source;
        QVERIFY(source.isValid());
        QVERIFY(copyFromCard(source.path(), kCardFiles));
        QVERIFY(QDir(source.path()).mkdir("shots"));
        FaultyCard card(source.path());
        QVERIFY2(card.isMounted(), qPrintable(card.error()));
        QString folder = card.folder();
        folder.chop(1);
        soak(folder, envInt("PLAYER_SOAK_FLAKY_ACTIONS", 500),
             quint32(envInt("PLAYER_SOAK_SEED", 20260520)), &card, source.path());
        QCOMPARE(card.openFilesOnCard(), 0);
    }
};

RELIABILITY_TEST_MAIN(TestSoak)
#include "test_soak.moc"
