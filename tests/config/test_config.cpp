// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ConfigDlg.h"
#include "config/DeviceConfig.h"
#include "config/DeviceConfigFile.h"

#include "ScriptedPrompts.h"
#include "democard/DemoCard.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The example settings: pre-event 10, post-event 30, show-string 3, limits 2.5, 2.5, 3, zone +8.
const QByteArray EXAMPLE_LINES =
    "[BEFORE_VIDEO_EVENT= 10]     ; Recording time before event per video, Second unit. Valid "
    "value is 2 ~ 60.\r\n"
    "[VIDEO_EVENT_LENGTH= 30]     ; Recording time after event trigger per video, Second unit. "
    "Valid value is 10 ~ 300.\r\n"
    "[SHOW_STRING=3]              ; 0: Don't show overlay string on video, 1: Show overlay string "
    "on video, 2: Show overlay string with version, 3: Only show time stamp on video.\r\n"
    "[G_LIMITX=2.50]              ; Capture video if X absolute G sensor value greater than "
    "G_LIMITX, valid value is 0 ~ 8.\r\n"
    "[G_LIMITY=2.50]              ; Capture video if Y absolute G sensor value greater than "
    "G_LIMITY, valid value is 0 ~ 8.\r\n"
    "[G_LIMITZ=3.00]              ; Capture video if Z absolute G sensor value greater than "
    "G_LIMITZ, valid value is 0 ~ 8.\r\n"
    "[OVERWRITE=  1]              ; 1: overwrite enable, 0: overwrite disable\r\n"
    "[CIS_MIRROR= 0]              ; 1: Image sensor row column mirrir, 0: Otherwise\r\n"
    "[TIME_ZONE=  8]              ; Time zone, hour unit. Valid value is -12.0 ~ 12.\r\n";

const QByteArray TIME_LINE_2010 = "[TIME=2010/05/01/09/05/07]   ; YYYY/MM/DD/HH/MM/SS\n";

DeviceConfigData exampleConfig() {
    DeviceConfigData config;
    config.nBeforeVideoEvent = 10;
    config.nVideoEventLength = 30;
    config.nShowString = 3;
    config.dLimitX = 2.5;
    config.dLimitY = 2.5;
    config.dLimitZ = 3.0;
    config.nTimeZone = 8;
    return config;
}

// Values no file in these tests holds, to see which fields a read changed.
DeviceConfigData sentinelConfig() {
    DeviceConfigData config;
    config.nBeforeVideoEvent = 11;
    config.nVideoEventLength = 22;
    config.dLimitX = 3.25;
    config.dLimitY = 4.25;
    config.dLimitZ = 5.25;
    config.nShowString = 2;
    config.nTimeZone = 7;
    config.nCisMirror = 9;
    return config;
}

void compareConfig(const DeviceConfigData& actual, const DeviceConfigData& expected) {
    QCOMPARE(actual.nBeforeVideoEvent, expected.nBeforeVideoEvent);
    QCOMPARE(actual.nVideoEventLength, expected.nVideoEventLength);
    QCOMPARE(actual.dLimitX, expected.dLimitX);
    QCOMPARE(actual.dLimitY, expected.dLimitY);
    QCOMPARE(actual.dLimitZ, expected.dLimitZ);
    QCOMPARE(actual.nShowString, expected.nShowString);
    QCOMPARE(actual.nTimeZone, expected.nTimeZone);
    QCOMPARE(actual.nCisMirror, expected.nCisMirror);
    QCOMPARE(actual.nSubsectionDuration, expected.nSubsectionDuration);
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

template <typename T> T* item(QDialog& dialog, int id) {
    return qobject_cast<T*>(static_cast<CConfigDlg&>(dialog).control(id));
}

QString editText(QDialog& dialog, int id) {
    return item<QLineEdit>(dialog, id)->text();
}

void setEdit(QDialog& dialog, int id, const QString& text) {
    item<QLineEdit>(dialog, id)->setText(text);
}

void clickApply(QDialog& dialog) {
    item<QPushButton>(dialog, 1051)->click();
}

// A small file system of our own for the full and write-protected card cases.
struct TmpfsMount {
    QString path;
    bool mounted = false;
    explicit TmpfsMount(const QString& where) : path(where) {
        QDir().mkpath(path);
        mounted =
            ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~TmpfsMount() {
        if (mounted)
            ::umount2(QFile::encodeName(path).constData(), MNT_DETACH);
    }
    bool remountReadOnly() {
        return ::mount(nullptr, QFile::encodeName(path).constData(), nullptr,
                       MS_REMOUNT | MS_RDONLY, "size=64k") == 0;
    }
};

// Runs as an ordinary user while in scope, so that file permissions apply even when the
// tests run as root. Saved ids stay root so the destructor can switch back.
struct AsOrdinaryUser {
    static constexpr uid_t NOBODY = 65534;
    bool switched = false;
    AsOrdinaryUser() {
        if (geteuid() == 0)
            switched = setresgid(NOBODY, NOBODY, 0) == 0 && setresuid(NOBODY, NOBODY, 0) == 0;
    }
    ~AsOrdinaryUser() {
        if (switched && (setresuid(0, 0, 0) != 0 || setresgid(0, 0, 0) != 0))
            qFatal("cannot switch back to root");
    }
    // Hands `path` to the ordinary user before switching.
    static void give(const QString& path) {
        if (geteuid() == 0 && chown(QFile::encodeName(path).constData(), NOBODY, NOBODY) != 0)
            qWarning("cannot hand %s to the ordinary user", qPrintable(path));
    }
};

} // namespace

class TestConfig : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void writerProducesExactLines();
    void writerPadsAndAlwaysWritesMirrorZero();
    void numbersIgnoreTheUserLocale();

    void readerFindsKeys_data();
    void readerFindsKeys();
    void readerSurvivesBinaryAndHugeFiles();
    void readerNeverEmptiesAnExistingFile();

    void saveReplacesTheFileWhole();
    void saveFailsOnFullCard();
    void saveFailsOnWriteProtection();
    void saveInPlaceWhereNoTemporaryFileFits();
    void saveAfterFileOrCardRemoved();

    void chooserFilterAndCancel();
    void desktopChooserTakesANewName();
    void dialogLayoutAndTimeZoneList();
    void applyWritesWhatTheUserSees();
    void applyValidatesInOrder();
    void emptyNewFileStopsAtPostEvent();
    void showStringAndMirrorThroughApply();
    void timeZoneOutsideListIsKept();
    void setSystemTimeResetsPickers();
    void closeEnterAndEscapeStoreNothing();
    void demoCardRoundTrip();

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
};

void TestConfig::init() {
    QVERIFY(m_dir.isValid());
    DeviceConfig = DeviceConfigData{};
    g_strSetupPath.clear();
}

void TestConfig::writerProducesExactLines() {
    const DeviceConfigData config = exampleConfig();
    QCOMPARE(FormatDeviceConfig(config, false, QDate(2010, 5, 1), QTime(9, 5, 7)), EXAMPLE_LINES);
    QCOMPARE(FormatDeviceConfig(config, true, QDate(2010, 5, 1), QTime(9, 5, 7)),
             TIME_LINE_2010 + EXAMPLE_LINES);
    // Two-digit parts above ten, and midnight.
    QVERIFY(FormatDeviceConfig(config, true, QDate(2031, 12, 24), QTime(23, 59, 10))
                .startsWith("[TIME=2031/12/24/23/59/10]   ; YYYY/MM/DD/HH/MM/SS\n["));
    QVERIFY(FormatDeviceConfig(config, true, QDate(2024, 1, 9), QTime(0, 0, 0))
                .startsWith("[TIME=2024/01/09/00/00/00]   ;"));
    // Nine lines with CR LF, plus the TIME line with LF alone.
    const QByteArray ticked = FormatDeviceConfig(config, true, QDate(2010, 5, 1), QTime(9, 5, 7));
    QCOMPARE(ticked.count('\n'), 10);
    QCOMPARE(ticked.count("\r\n"), 9);
}

void TestConfig::writerPadsAndAlwaysWritesMirrorZero() {
    DeviceConfigData config = exampleConfig();
    config.nBeforeVideoEvent = 2;
    config.nVideoEventLength = 300;
    config.nTimeZone = -12;
    config.nCisMirror = 1;
    config.dLimitZ = 8;
    const QByteArray bytes = FormatDeviceConfig(config, false, {}, {});
    QVERIFY(bytes.startsWith("[BEFORE_VIDEO_EVENT=  2]     ;"));
    QVERIFY(bytes.contains("\r\n[VIDEO_EVENT_LENGTH=300]     ;"));
    QVERIFY(bytes.contains("\r\n[TIME_ZONE=-12]              ;"));
    QVERIFY(bytes.contains("\r\n[G_LIMITZ=8.00]              ;"));
    QVERIFY(bytes.contains("\r\n[CIS_MIRROR= 0]              ;"));
    QVERIFY(!bytes.contains("CIS_MIRROR= 1"));
}

void TestConfig::numbersIgnoreTheUserLocale() {
    const QByteArray previous = std::setlocale(LC_NUMERIC, nullptr);
    auto restore = qScopeGuard([&] { std::setlocale(LC_NUMERIC, previous.constData()); });
    const char* chosen = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            chosen = name;
            break;
        }
    }
    if (!chosen) {
        qInfo("No decimal-comma locale is installed; checking under C.UTF-8 instead.");
        QVERIFY(std::setlocale(LC_NUMERIC, "C.UTF-8"));
    } else {
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 2.5);
        QCOMPARE(QByteArray(probe), QByteArray("2,5")); // the locale really uses a comma
    }
    const QByteArray global = std::setlocale(LC_NUMERIC, nullptr);

    QCOMPARE(FormatDeviceConfig(exampleConfig(), false, {}, {}), EXAMPLE_LINES);
    QVERIFY(writeFile(path("locale.ini"), "[G_LIMITY=1.75][TIME_ZONE=-3]"));
    QVERIFY(ReadSetupFile(path("locale.ini")));
    QCOMPARE(DeviceConfig.dLimitY, 1.75);
    QCOMPARE(DeviceConfig.nTimeZone, -3);

    // Neither the process locale nor this thread's was left changed.
    QCOMPARE(QByteArray(std::setlocale(LC_NUMERIC, nullptr)), global);
    QVERIFY(uselocale(locale_t(nullptr)) == LC_GLOBAL_LOCALE);
}

void TestConfig::readerFindsKeys_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("field"); // empty: nothing may change
    QTest::addColumn<double>("value");

    QTest::newRow("zone alone") << QByteArray("[TIME_ZONE=-5]") << QString("nTimeZone") << -5.0;
    QTest::newRow("blank before value")
        << QByteArray("[G_LIMITX= 1.75]") << QString("dLimitX") << 1.75;
    QTest::newRow("lower-case key") << QByteArray("[g_limitx=1]\r\n") << QString("") << 0.0;
    QTest::newRow("longer key, 14 bytes compared")
        << QByteArray("[VIDEO_EVENT_LENGTHS=45]") << QString("nVideoEventLength") << 45.0;
    QTest::newRow("shorter key") << QByteArray("[BEFORE=7]") << QString("") << 0.0;
    QTest::newRow("later key wins")
        << QByteArray("[SHOW_STRING=1]\n[SHOW_STRING=0]\n") << QString("nShowString") << 0.0;
    QTest::newRow("not a number") << QByteArray("[TIME_ZONE=abc]") << QString("") << 0.0;
    QTest::newRow("scan goes on after a bad value")
        << QByteArray("[TIME_ZONE=abc]\n[G_LIMITZ=6.5]") << QString("dLimitZ") << 6.5;
    QTest::newRow("mirror is read") << QByteArray("[CIS_MIRROR=1]") << QString("nCisMirror") << 1.0;
    QTest::newRow("before event") << QByteArray("  [BEFORE_VIDEO_EVENT= 45] ; x.\r\n")
                                  << QString("nBeforeVideoEvent") << 45.0;
    QTest::newRow("dot restarts the token") << QByteArray("comment. G_LIMITY=0.5") << QString("")
                                            << 0.0; // key " G_LIMITY" starts blank
    QTest::newRow("dot then key") << QByteArray("a.G_LIMITY=0.5") << QString("dLimitY") << 0.5;
    QTest::newRow("blank between key and =")
        << QByteArray("[SHOW_STRING =1]") << QString("nShowString") << 1.0;
    QTest::newRow("empty file") << QByteArray() << QString("") << 0.0;
    QTest::newRow("TIME and OVERWRITE are passed over")
        << QByteArray("[TIME=2010/05/01/09/05/07]   ; YYYY/MM/DD/HH/MM/SS\n[OVERWRITE=  1]\r\n")
        << QString("") << 0.0;
    // The token buffer holds 100 bytes and wraps: after exactly 100 bytes a key starts afresh.
    QTest::newRow("wrap lands on the key")
        << QByteArray(100, 'x') + "TIME_ZONE=3" << QString("nTimeZone") << 3.0;
    QTest::newRow("wrap splits the key")
        << QByteArray(99, 'x') + "TIME_ZONE=3" << QString("") << 0.0;
    QTest::newRow("long line then key")
        << QByteArray(250, 'y') + "[G_LIMITX=4]" << QString("dLimitX") << 4.0;
}

void TestConfig::readerFindsKeys() {
    QFETCH(QByteArray, input);
    QFETCH(QString, field);
    QFETCH(double, value);

    DeviceConfigData expected = sentinelConfig();
    if (field == "nTimeZone")
        expected.nTimeZone = int(value);
    else if (field == "nVideoEventLength")
        expected.nVideoEventLength = int(value);
    else if (field == "nBeforeVideoEvent")
        expected.nBeforeVideoEvent = int(value);
    else if (field == "nShowString")
        expected.nShowString = int(value);
    else if (field == "nCisMirror")
        expected.nCisMirror = int(value);
    else if (field == "dLimitX")
        expected.dLimitX = value;
    else if (field == "dLimitY")
        expected.dLimitY = value;
    else if (field == "dLimitZ")
        expected.dLimitZ = value;
    else
        QVERIFY(field.isEmpty());

    DeviceConfig = sentinelConfig();
    QVERIFY(writeFile(path("keys.ini"), input));
    QVERIFY(ReadSetupFile(path("keys.ini")));
    compareConfig(DeviceConfig, expected);
    QCOMPARE(readFile(path("keys.ini")), input); // reading never changes the file
}

void TestConfig::readerSurvivesBinaryAndHugeFiles() {
    // Random bytes, many of them "=", "[" and NUL, must not upset the scanner.
    QByteArray binary(200000, '\0');
    QRandomGenerator random(20100501);
    for (char& c : binary) {
        const quint32 r = random.bounded(8);
        c = r == 0 ? '=' : r == 1 ? '[' : char(random.bounded(256));
    }
    QVERIFY(writeFile(path("binary.ini"), binary + "[TIME_ZONE=4]"));
    DeviceConfig = sentinelConfig();
    QVERIFY(ReadSetupFile(path("binary.ini")));
    QCOMPARE(DeviceConfig.nTimeZone, 4);

    // Ten megabytes of comment lines longer than the token buffer, the settings at the end.
    QByteArray huge;
    huge.reserve(10 * 1024 * 1024 + 1000);
    const QByteArray line = QByteArray(150, 'c') + "\r\n";
    while (huge.size() < 10 * 1024 * 1024)
        huge += line;
    huge += EXAMPLE_LINES;
    QVERIFY(writeFile(path("huge.ini"), huge));
    DeviceConfig = sentinelConfig();
    QVERIFY(ReadSetupFile(path("huge.ini")));
    DeviceConfigData expected = exampleConfig();
    expected.nCisMirror = 0;
    compareConfig(DeviceConfig, expected);

    // Numbers too large for the fields do not crash the reader.
    QVERIFY(writeFile(path("big.ini"), "[TIME_ZONE=99999999999999999999][G_LIMITX=1e999]"));
    QVERIFY(ReadSetupFile(path("big.ini")));
}

void TestConfig::readerNeverEmptiesAnExistingFile() {
    // A missing file is created empty and the dialog may open.
    DeviceConfig = sentinelConfig();
    QVERIFY(ReadSetupFile(path("fresh.ini")));
    QVERIFY(QFile::exists(path("fresh.ini")));
    QCOMPARE(QFileInfo(path("fresh.ini")).size(), 0);
    compareConfig(DeviceConfig, sentinelConfig());

    // A folder where the file should be: neither read nor touched.
    QVERIFY(QDir().mkpath(path("folder.ini")));
    QVERIFY(!ReadSetupFile(path("folder.ini")));
    QVERIFY(QFileInfo(path("folder.ini")).isDir());

    // A write-only file opens neither for reading and writing nor for creating anew: it comes
    // through whole and the command stops silently, without the dialog.
    QTemporaryDir userDir;
    AsOrdinaryUser::give(userDir.path());
    const QString writeOnly = userDir.filePath("setup.ini");
    QVERIFY(writeFile(writeOnly, EXAMPLE_LINES));
    AsOrdinaryUser::give(writeOnly);
    QVERIFY(QFile::setPermissions(writeOnly, QFile::WriteOwner));
    {
        ScriptedPrompts prompts;
        prompts.openAnswers.push_back({writeOnly});
        AsOrdinaryUser user;
        QVERIFY2(user.switched || geteuid() != 0, "could not switch to an ordinary user");
        QVERIFY(!ReadSetupFile(writeOnly));
        RunConfiguration(nullptr);
        QCOMPARE(prompts.modalRuns, 0);
        QVERIFY(prompts.messages.isEmpty());
    }
    QCOMPARE(readFile(writeOnly), EXAMPLE_LINES);
    compareConfig(DeviceConfig, sentinelConfig());

    // A write-protected card: nothing can be opened, so the command stops silently.
    TmpfsMount card(m_dir.filePath("rocard"));
    if (!card.mounted)
        QSKIP("cannot mount a tmpfs here (needs root)");
    QVERIFY(writeFile(card.path + "/setup.ini", EXAMPLE_LINES));
    QVERIFY(card.remountReadOnly());
    QVERIFY(!ReadSetupFile(card.path + "/setup.ini"));
    QCOMPARE(readFile(card.path + "/setup.ini"), EXAMPLE_LINES);
    ScriptedPrompts prompts;
    prompts.openAnswers.push_back({card.path + "/setup.ini"});
    RunConfiguration(nullptr);
    QCOMPARE(prompts.modalRuns, 0);
    QVERIFY(prompts.messages.isEmpty());
}

void TestConfig::saveReplacesTheFileWhole() {
    ScriptedPrompts prompts;
    const QString file = path("replace.ini");
    QVERIFY(writeFile(file, "[BEFORE_VIDEO_EVENT= 5] hand-written extra line\r\n" +
                                QByteArray(5000, '#')));
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    DeviceConfig = exampleConfig();
    g_strSetupPath = file;
    SaveDeviceConfig(nullptr, true, QDate(2010, 5, 1), QTime(9, 5, 7));
    QCOMPARE(prompts.messages, QStringList{"ok!"});
    QCOMPARE(readFile(file), TIME_LINE_2010 + EXAMPLE_LINES);
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0640)); // the old file's permissions carry over
    QCOMPARE(QDir(m_dir.path()).entryList({"replace.ini*"}, QDir::Files | QDir::Hidden).size(), 1);
}

void TestConfig::saveFailsOnFullCard() {
    const TmpfsMount card(m_dir.filePath("fullcard"));
    if (!card.mounted)
        QSKIP("cannot mount a tmpfs here (needs root)");
    const QString file = card.path + "/setup.ini";
    QVERIFY(writeFile(file, EXAMPLE_LINES));

    // Fill the card to the last byte.
    const int fd = ::open(QFile::encodeName(card.path + "/filler").constData(),
                          O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    const QByteArray block(4096, 'f');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    while (::write(fd, "f", 1) > 0) {
    }
    QCOMPARE(errno, ENOSPC);
    ::close(fd);

    ScriptedPrompts prompts;
    DeviceConfig = exampleConfig();
    DeviceConfig.nTimeZone = -3;
    g_strSetupPath = file;
    SaveDeviceConfig(nullptr, true, QDate(2010, 5, 1), QTime(9, 5, 7));
    QCOMPARE(prompts.messages, QStringList{"Open file fail"});
    QCOMPARE(readFile(file), EXAMPLE_LINES);
    QCOMPARE(QDir(card.path).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"filler", "setup.ini"}));

    // With room again the same call succeeds.
    QVERIFY(QFile::remove(card.path + "/filler"));
    SaveDeviceConfig(nullptr, false, {}, {});
    QCOMPARE(prompts.messages, (QStringList{"Open file fail", "ok!"}));
    QVERIFY(readFile(file).contains("[TIME_ZONE= -3]"));
}

void TestConfig::saveFailsOnWriteProtection() {
    ScriptedPrompts prompts;
    DeviceConfig = exampleConfig();

    // A folder in the file's place.
    QVERIFY(QDir().mkpath(path("dir.ini")));
    g_strSetupPath = path("dir.ini");
    SaveDeviceConfig(nullptr, false, {}, {});
    QCOMPARE(prompts.messages, QStringList{"Open file fail"});
    QVERIFY(QFileInfo(path("dir.ini")).isDir());

    // A read-only file in a writable folder is not replaced behind the user's back.
    QTemporaryDir userDir;
    AsOrdinaryUser::give(userDir.path());
    const QString readOnly = userDir.filePath("setup.ini");
    QVERIFY(writeFile(readOnly, "old"));
    AsOrdinaryUser::give(readOnly);
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup));
    g_strSetupPath = readOnly;
    {
        AsOrdinaryUser user;
        QVERIFY2(user.switched || geteuid() != 0, "could not switch to an ordinary user");
        SaveDeviceConfig(nullptr, false, {}, {});
    }
    QCOMPARE(prompts.messages.last(), QStringLiteral("Open file fail"));
    QCOMPARE(readFile(readOnly), QByteArray("old"));

    // A card whose write-protect switch is on.
    TmpfsMount card(m_dir.filePath("lockedcard"));
    if (!card.mounted)
        QSKIP("cannot mount a tmpfs here (needs root)");
    QVERIFY(writeFile(card.path + "/setup.ini", EXAMPLE_LINES));
    QVERIFY(card.remountReadOnly());
    g_strSetupPath = card.path + "/setup.ini";
    DeviceConfig.nTimeZone = 1;
    SaveDeviceConfig(nullptr, false, {}, {});
    QCOMPARE(prompts.messages.size(), 3);
    QCOMPARE(prompts.messages.last(), QStringLiteral("Open file fail"));
    QCOMPARE(readFile(card.path + "/setup.ini"), EXAMPLE_LINES);
}

void TestConfig::saveInPlaceWhereNoTemporaryFileFits() {
    // The folder takes no new file, the file itself may be written: it is rewritten in place.
    QTemporaryDir userDir;
    const QString file = userDir.filePath("setup.ini");
    QVERIFY(writeFile(file, "[BEFORE_VIDEO_EVENT= 5]\r\n" + QByteArray(3000, '#')));
    AsOrdinaryUser::give(file);
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    const QFileDevice::Permissions lockedFolder = QFile::ReadOwner | QFile::ExeOwner |
                                                  QFile::ReadGroup | QFile::ExeGroup |
                                                  QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(userDir.path(), lockedFolder));
    const auto unlock = qScopeGuard(
        [&] { QFile::setPermissions(userDir.path(), lockedFolder | QFile::WriteOwner); });
    ScriptedPrompts prompts;
    DeviceConfig = exampleConfig();
    g_strSetupPath = file;
    {
        AsOrdinaryUser user;
        QVERIFY2(user.switched || geteuid() != 0, "could not switch to an ordinary user");
        SaveDeviceConfig(nullptr, false, {}, {});
    }
    QCOMPARE(prompts.messages, QStringList{"ok!"});
    QCOMPARE(readFile(file), EXAMPLE_LINES);
    QCOMPARE(QDir(userDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"setup.ini"});
}

void TestConfig::saveAfterFileOrCardRemoved() {
    // The file goes while the dialog is open: Apply writes it again.
    QVERIFY(QDir().mkpath(path("card")));
    const QString file = path("card/setup.ini");
    QVERIFY(writeFile(file, EXAMPLE_LINES));
    ScriptedPrompts prompts;
    prompts.openAnswers.push_back({file});
    prompts.modalAnswers.push_back([&](QDialog& dialog) {
        QFile::remove(file);
        clickApply(dialog);
        return int(QDialog::Rejected);
    });
    RunConfiguration(nullptr);
    QCOMPARE(prompts.messages, QStringList{"ok!"});
    QCOMPARE(readFile(file), EXAMPLE_LINES);

    // The whole card goes: nothing is created anywhere.
    prompts.openAnswers.push_back({file});
    prompts.modalAnswers.push_back([&](QDialog& dialog) {
        QDir(path("card")).removeRecursively();
        clickApply(dialog);
        return int(QDialog::Rejected);
    });
    RunConfiguration(nullptr);
    QCOMPARE(prompts.messages, (QStringList{"ok!", "Open file fail"}));
    QVERIFY(!QFileInfo::exists(path("card")));
}

void TestConfig::chooserFilterAndCancel() {
    ScriptedPrompts prompts;
    g_strSetupPath = "left over";
    RunConfiguration(nullptr); // cancelled
    QCOMPARE(prompts.modalRuns, 0);
    QVERIFY(g_strSetupPath.isEmpty());
    QCOMPARE(prompts.openFilters.size(), 1);

    // The filter is the one the recorder's program always offered (the chooser itself shows it,
    // and matches both names in any letter case: see the desktop chooser's test).
    QCOMPARE(prompts.openFilters.constFirst(), QString::fromUtf8("配置文件 (setup.ini;setup.bak)"));

    // A chosen file is read and the dialog runs once with its full path remembered.
    QVERIFY(writeFile(path("setup.bak"), "[TIME_ZONE=2]"));
    prompts.openAnswers.push_back({path("setup.bak")});
    RunConfiguration(nullptr);
    QCOMPARE(prompts.modalRuns, 1);
    QCOMPARE(g_strSetupPath, QFileInfo(path("setup.bak")).absoluteFilePath());
    QCOMPARE(DeviceConfig.nTimeZone, 2);
}

// The real file chooser, answered as a user would: it shows its label as written, lists the
// settings files in any letter case, and takes the name of a file that is not there yet, which
// is then created and edited from zeros.
void TestConfig::desktopChooserTakesANewName() {
    QTemporaryDir card;
    QVERIFY(writeFile(card.filePath("SETUP.BAK"), "[TIME_ZONE=3]"));
    QVERIFY(writeFile(card.filePath("notes.txt"), "x"));
    QStringList label, listed, warnings;
    int configDialogs = 0, openClicks = 0;
    QString shownPostEvent;
    QElapsedTimer clock;
    clock.start();
    QTimer user;
    user.setInterval(50);
    connect(&user, &QTimer::timeout, this, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            warnings << box->text();
            box->reject();
        } else if (auto* chooser = qobject_cast<QFileDialog*>(modal)) {
            if (chooser->directory() != QDir(card.path())) {
                chooser->setDirectory(card.path());
                return;
            }
            auto* view = chooser->findChild<QListView*>("listView");
            QStringList rows;
            for (int i = 0; view && i < view->model()->rowCount(view->rootIndex()); ++i)
                rows << view->model()->index(i, 0, view->rootIndex()).data().toString();
            if (rows.isEmpty() && clock.elapsed() < 5000)
                return; // still reading the folder
            if (!warnings.isEmpty() || clock.elapsed() > 8000) {
                chooser->reject();
                return;
            }
            if (label.isEmpty()) {
                listed = rows;
                auto* types = chooser->findChild<QComboBox*>("fileTypeCombo");
                for (int i = 0; types && i < types->count(); ++i)
                    label << types->itemText(i);
                chooser->findChild<QLineEdit*>("fileNameEdit")->setText("setup.ini");
            }
            // A chooser that wants an existing file does not take the name at all.
            QPushButton* open =
                chooser->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Open);
            if (!open->isEnabled() || ++openClicks > 3)
                chooser->reject();
            else
                open->click();
        } else if (auto* dialog = qobject_cast<CConfigDlg*>(modal)) {
            ++configDialogs;
            shownPostEvent = editText(*dialog, 1041);
            dialog->reject();
        }
    });
    user.start();
    RunConfiguration(nullptr);
    user.stop();

    QCOMPARE(label, QStringList{QString::fromUtf8("配置文件 (setup.ini;setup.bak)")});
    QCOMPARE(listed, QStringList{"SETUP.BAK"});
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('|')));
    QCOMPARE(configDialogs, 1);
    QCOMPARE(shownPostEvent, QStringLiteral("0"));
    QCOMPARE(g_strSetupPath, card.filePath("setup.ini"));
    QVERIFY(QFileInfo::exists(card.filePath("setup.ini")));
    QCOMPARE(QFileInfo(card.filePath("setup.ini")).size(), 0);
}

void TestConfig::dialogLayoutAndTimeZoneList() {
    CConfigDlg dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Configuration"));
    QCOMPARE(dialog.size(), QSize(327, 419)); // 218 x 279 dialog units
    QCOMPARE(item<QLineEdit>(dialog, 1040)->geometry(), QRect(162, 45, 68, 18));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (int id : {1068, 1055, 1056})
        QVERIFY2(!dialog.control(id)->isVisible(), qPrintable(QString::number(id)));
    for (int id : {1040, 1041, 1043, 1044, 1045, 1053, 1054, 1066, 1071, 1073, 1074, 1051, 1052})
        QVERIFY2(dialog.control(id)->isVisible(), qPrintable(QString::number(id)));

    QComboBox* zones = item<QComboBox>(dialog, 1066);
    QCOMPARE(zones->count(), 25);
    QCOMPARE(zones->itemText(0), QStringLiteral("GTM -12:00"));
    QCOMPARE(zones->itemText(3), QStringLiteral("GTM -09:00"));
    QCOMPARE(zones->itemText(11), QStringLiteral("GTM -01:00"));
    QCOMPARE(zones->itemText(12), QStringLiteral("GTM"));
    QCOMPARE(zones->itemText(13), QStringLiteral("GTM +01:00"));
    QCOMPARE(zones->itemText(24), QStringLiteral("GTM +12:00"));
    QCOMPARE(zones->currentIndex(), 12); // zone 0 at first

    DeviceConfig.nTimeZone = -12;
    QCOMPARE(item<QComboBox>(*std::make_unique<CConfigDlg>(), 1066)->currentIndex(), 0);
    DeviceConfig.nTimeZone = 12;
    QCOMPARE(item<QComboBox>(*std::make_unique<CConfigDlg>(), 1066)->currentIndex(), 24);
}

void TestConfig::applyWritesWhatTheUserSees() {
    QVERIFY(writeFile(path("setup.ini"), EXAMPLE_LINES));
    ScriptedPrompts prompts;
    prompts.openAnswers.push_back({path("setup.ini")});
    prompts.modalAnswers.push_back([&](QDialog& dialog) {
        setEdit(dialog, 1040, "5");
        setEdit(dialog, 1041, " 120 ");
        setEdit(dialog, 1043, "2.50");
        setEdit(dialog, 1044, "0");
        setEdit(dialog, 1045, "7.999");
        item<QRadioButton>(dialog, 1054)->click();
        item<QComboBox>(dialog, 1066)->setCurrentIndex(7); // GTM -05:00
        item<QCheckBox>(dialog, 1074)->click();
        item<QDateEdit>(dialog, 1071)->setDate(QDate(2010, 5, 1));
        item<QTimeEdit>(dialog, 1073)->setTime(QTime(9, 5, 7));
        clickApply(dialog);
        [&] {
            QCOMPARE(editText(dialog, 1043), QStringLiteral("2.5")); // shown as stored
            QCOMPARE(editText(dialog, 1041), QStringLiteral("120"));
        }();
        return int(QDialog::Rejected);
    });
    RunConfiguration(nullptr);

    QCOMPARE(prompts.messages, QStringList{"ok!"});
    DeviceConfigData expected;
    expected.nBeforeVideoEvent = 5;
    expected.nVideoEventLength = 120;
    expected.dLimitX = 2.5;
    expected.dLimitZ = 7.999;
    expected.nTimeZone = -5;
    compareConfig(DeviceConfig, expected);

    QByteArray lines = EXAMPLE_LINES;
    lines.replace("[BEFORE_VIDEO_EVENT= 10]", "[BEFORE_VIDEO_EVENT=  5]")
        .replace("[VIDEO_EVENT_LENGTH= 30]", "[VIDEO_EVENT_LENGTH=120]")
        .replace("[SHOW_STRING=3]", "[SHOW_STRING=0]")
        .replace("[G_LIMITY=2.50]", "[G_LIMITY=0.00]")
        .replace("[G_LIMITZ=3.00]", "[G_LIMITZ=8.00]")
        .replace("[TIME_ZONE=  8]", "[TIME_ZONE= -5]");
    QCOMPARE(readFile(path("setup.ini")), TIME_LINE_2010 + lines);
}

void TestConfig::applyValidatesInOrder() {
    DeviceConfig = exampleConfig();
    g_strSetupPath = path("order.ini");
    QVERIFY(writeFile(g_strSetupPath, "untouched"));
    ScriptedPrompts prompts;
    CConfigDlg dialog;

    struct Case {
        int id;
        const char* text;
        int failingId;
        const char* bounds[2];
    };
    // Each step fixes the field that failed before, so the next one in order is reached.
    const Case cases[] = {
        {1041, "9", 1041, {"10", "300"}},     {1041, "301", 1041, {"10", "300"}},
        {1041, "abc", 1041, {"10", "300"}},   {1041, "300", 1040, {"2", "60"}},
        {1040, "1", 1040, {"2", "60"}},       {1040, "60", 1043, {"0.0", "8.0"}},
        {1043, "8.01", 1043, {"0.0", "8.0"}}, {1043, "-0.5", 1043, {"0.0", "8.0"}},
        {1043, "8", 1044, {"0.0", "8.0"}},    {1044, "2,5", 1044, {"0.0", "8.0"}},
        {1044, "nan", 1044, {"0.0", "8.0"}},  {1044, "", 1044, {"0.0", "8.0"}},
        {1044, "0", 1045, {"0.0", "8.0"}},    {1045, "inf", 1045, {"0.0", "8.0"}},
    };
    // The first case's field gets broken first; later fields start out valid and are broken
    // where the table says.
    setEdit(dialog, 1040, "61");
    setEdit(dialog, 1043, "9");
    setEdit(dialog, 1044, "x");
    setEdit(dialog, 1045, "-1");
    for (const Case& c : cases) {
        setEdit(dialog, c.id, c.text);
        const qsizetype before = prompts.messages.size();
        clickApply(dialog);
        QCOMPARE(prompts.messages.size(), before + 1);
        const QString message = prompts.messages.last();
        QVERIFY2(message.contains(c.bounds[0]) && message.contains(c.bounds[1]),
                 qPrintable(message));
        QCOMPARE(dialog.focusWidget(), dialog.control(c.failingId));
        compareConfig(DeviceConfig, exampleConfig());
        QCOMPARE(readFile(g_strSetupPath), QByteArray("untouched"));
    }
    setEdit(dialog, 1045, "0.5");
    clickApply(dialog);
    QCOMPARE(prompts.messages.last(), QStringLiteral("ok!"));
    QCOMPARE(DeviceConfig.dLimitZ, 0.5);
}

void TestConfig::emptyNewFileStopsAtPostEvent() {
    ScriptedPrompts prompts;
    prompts.openAnswers.push_back({path("brandnew.ini")});
    prompts.modalAnswers.push_back([&](QDialog& dialog) {
        [&] {
            for (int id : {1040, 1041, 1043, 1044, 1045})
                QCOMPARE(editText(dialog, id), QStringLiteral("0"));
            QVERIFY(item<QRadioButton>(dialog, 1054)->isChecked());
            QCOMPARE(item<QComboBox>(dialog, 1066)->currentText(), QStringLiteral("GTM"));
        }();
        clickApply(dialog);
        [&] { QCOMPARE(dialog.focusWidget(), static_cast<CConfigDlg&>(dialog).control(1041)); }();
        return int(QDialog::Rejected);
    });
    RunConfiguration(nullptr);
    QCOMPARE(prompts.modalRuns, 1);
    QCOMPARE(prompts.messages.size(), 1);
    QVERIFY(prompts.messages[0].contains("10") && prompts.messages[0].contains("300"));
    QCOMPARE(QFileInfo(path("brandnew.ini")).size(), 0);
    compareConfig(DeviceConfig, DeviceConfigData{});
}

void TestConfig::showStringAndMirrorThroughApply() {
    QVERIFY(writeFile(path("setup.ini"), EXAMPLE_LINES + "[SHOW_STRING=1]\r\n[CIS_MIRROR=1]\r\n"));
    ScriptedPrompts prompts;
    prompts.openAnswers.push_back({path("setup.ini")});
    prompts.modalAnswers.push_back([&](QDialog& dialog) {
        [&] {
            QVERIFY(item<QRadioButton>(dialog, 1053)->isChecked());
            QVERIFY(item<QRadioButton>(dialog, 1055)->isChecked());
        }();
        clickApply(dialog);
        return int(QDialog::Rejected);
    });
    RunConfiguration(nullptr);
    QCOMPARE(prompts.messages, QStringList{"ok!"});
    QCOMPARE(DeviceConfig.nShowString, 3);
    QCOMPARE(DeviceConfig.nCisMirror, 1);                 // kept in memory ...
    QCOMPARE(readFile(path("setup.ini")), EXAMPLE_LINES); // ... the file gets 3 and 0
}

void TestConfig::timeZoneOutsideListIsKept() {
    QVERIFY(writeFile(path("setup.ini"), "[TIME_ZONE=13][BEFORE_VIDEO_EVENT=10]"
                                         "[VIDEO_EVENT_LENGTH=30]"));
    ScriptedPrompts prompts;
    prompts.openAnswers.push_back({path("setup.ini")});
    prompts.modalAnswers.push_back([&](QDialog& dialog) {
        [&] { QCOMPARE(item<QComboBox>(dialog, 1066)->currentIndex(), -1); }();
        clickApply(dialog);
        return int(QDialog::Rejected);
    });
    RunConfiguration(nullptr);
    QCOMPARE(prompts.messages, QStringList{"ok!"});
    QCOMPARE(DeviceConfig.nTimeZone, 13);
    QVERIFY(readFile(path("setup.ini"))
                .endsWith("[TIME_ZONE= 13]              ; Time zone, hour "
                          "unit. Valid value is -12.0 ~ 12.\r\n"));
}

void TestConfig::setSystemTimeResetsPickers() {
    CConfigDlg dialog;
    auto* box = item<QCheckBox>(dialog, 1074);
    auto* date = item<QDateEdit>(dialog, 1071);
    auto* clock = item<QTimeEdit>(dialog, 1073);
    const QDate old(2001, 2, 3);
    const QTime oldTime(4, 5, 6);
    auto nearNow = [&] {
        const QDateTime shown(date->date(), clock->time());
        return qAbs(shown.secsTo(QDateTime::currentDateTime())) <= 2;
    };
    QVERIFY(nearNow()); // the dialog starts at the present moment
    date->setDate(old);
    clock->setTime(oldTime);
    box->click();
    QVERIFY(box->isChecked() && date->isEnabled() && clock->isEnabled());
    QVERIFY(nearNow());
    date->setDate(old);
    clock->setTime(oldTime);
    box->click();
    QVERIFY(!box->isChecked() && !date->isEnabled() && !clock->isEnabled());
    QVERIFY(nearNow());
}

void TestConfig::closeEnterAndEscapeStoreNothing() {
    QVERIFY(writeFile(path("setup.ini"), EXAMPLE_LINES));
    ScriptedPrompts prompts;
    // Edits everything, then leaves in one of three ways.
    auto editThenLeave = [&](std::function<void(QDialog&)> leave, int expected) {
        return [=, &prompts](QDialog& dialog) {
            setEdit(dialog, 1040, "33");
            item<QComboBox>(dialog, 1066)->setCurrentIndex(0);
            item<QCheckBox>(dialog, 1074)->click();
            QTimer::singleShot(0, &dialog, [&dialog, leave] { leave(dialog); });
            const int result = dialog.exec();
            [&] {
                QCOMPARE(result, expected);
                QVERIFY(prompts.messages.isEmpty());
            }();
            return result;
        };
    };
    prompts.modalAnswers.push_back(editThenLeave(
        [](QDialog& dialog) { item<QPushButton>(dialog, 1052)->click(); }, QDialog::Rejected));
    prompts.modalAnswers.push_back(editThenLeave(
        [](QDialog& dialog) { QTest::keyClick(item<QLineEdit>(dialog, 1040), Qt::Key_Return); },
        QDialog::Accepted));
    prompts.modalAnswers.push_back(editThenLeave(
        [](QDialog& dialog) { QTest::keyClick(item<QLineEdit>(dialog, 1041), Qt::Key_Escape); },
        QDialog::Rejected));
    for (int run = 0; run < 3; ++run) {
        prompts.openAnswers.push_back({path("setup.ini")});
        RunConfiguration(nullptr);
        DeviceConfigData expected = exampleConfig();
        compareConfig(DeviceConfig, expected);
        QCOMPARE(readFile(path("setup.ini")), EXAMPLE_LINES);
    }
    QCOMPARE(prompts.modalRuns, 3);

    // Enter with a bad field reports it and keeps the dialog open; Enter on Apply applies.
    DeviceConfig = exampleConfig();
    g_strSetupPath = path("setup.ini");
    CConfigDlg dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    setEdit(dialog, 1045, "9");
    QTest::keyClick(item<QLineEdit>(dialog, 1045), Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(dialog.isVisible());
    QCOMPARE(prompts.messages.size(), 1);
    QCOMPARE(readFile(path("setup.ini")), EXAMPLE_LINES);
    setEdit(dialog, 1045, "4");
    item<QPushButton>(dialog, 1051)->setFocus();
    QTest::keyClick(item<QPushButton>(dialog, 1051), Qt::Key_Return);
    QVERIFY(dialog.isVisible()); // Apply leaves the dialog open
    QCOMPARE(prompts.messages.last(), QStringLiteral("ok!"));
    QCOMPARE(DeviceConfig.dLimitZ, 4.0);
}

// A newcomer's first use: the demo card's settings, edited, the clock set, applied.
void TestConfig::demoCardRoundTrip() {
    const QByteArray card = democard::setupIni();
    QVERIFY(writeFile(path("setup.ini"), card));
    ScriptedPrompts prompts;
    prompts.openAnswers.push_back({path("setup.ini")});
    prompts.modalAnswers.push_back([&](QDialog& dialog) {
        [&] {
            QCOMPARE(editText(dialog, 1040), QStringLiteral("10"));
            QCOMPARE(editText(dialog, 1041), QStringLiteral("30"));
            QCOMPARE(editText(dialog, 1043), QStringLiteral("2.5"));
            QCOMPARE(editText(dialog, 1044), QStringLiteral("2.5"));
            QCOMPARE(editText(dialog, 1045), QStringLiteral("3"));
            QCOMPARE(editText(dialog, 1068), QStringLiteral("0"));
            QVERIFY(item<QRadioButton>(dialog, 1053)->isChecked()); // SHOW_STRING 1
            QVERIFY(item<QRadioButton>(dialog, 1056)->isChecked()); // mirror off
            QCOMPARE(item<QComboBox>(dialog, 1066)->currentText(), QStringLiteral("GTM +08:00"));
            QVERIFY(!item<QDateEdit>(dialog, 1071)->isEnabled());
            QVERIFY(!item<QTimeEdit>(dialog, 1073)->isEnabled());
        }();
        setEdit(dialog, 1041, "45");
        item<QCheckBox>(dialog, 1074)->click();
        item<QDateEdit>(dialog, 1071)->setDate(QDate(2010, 5, 1));
        item<QTimeEdit>(dialog, 1073)->setTime(QTime(9, 5, 7));
        clickApply(dialog);
        return int(QDialog::Rejected);
    });
    RunConfiguration(nullptr);
    QCOMPARE(prompts.messages, QStringList{"ok!"});
    QByteArray expected = card;
    expected.replace("[VIDEO_EVENT_LENGTH= 30]", "[VIDEO_EVENT_LENGTH= 45]")
        .replace("[SHOW_STRING=1]", "[SHOW_STRING=3]");
    QCOMPARE(readFile(path("setup.ini")), TIME_LINE_2010 + expected);
}

QTEST_MAIN(TestConfig)
#include "test_config.moc"
