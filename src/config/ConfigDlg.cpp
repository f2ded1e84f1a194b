// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ConfigDlg.h"

#include "config/DeviceConfig.h"
#include "config/DeviceConfigFile.h"
#include "ui/DialogUnits.h"
#include "ui/Prompts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>

namespace {

// Control ids of the dialog.
enum : int {
    IDC_PRE_EVENT = 1040,
    IDC_POST_EVENT = 1041,
    IDC_LIMIT_X = 1043,
    IDC_LIMIT_Y = 1044,
    IDC_LIMIT_Z = 1045,
    IDC_APPLY = 1051,
    IDC_CLOSE = 1052,
    IDC_SHOW_TIME_ON = 1053,
    IDC_SHOW_TIME_OFF = 1054,
    IDC_MIRROR_ON = 1055,
    IDC_MIRROR_OFF = 1056,
    IDC_TIME_ZONE = 1066,
    IDC_SUBSECTION = 1068,
    IDC_DATE = 1071,
    IDC_CLOCK = 1073,
    IDC_SET_SYSTEM_TIME = 1074,
};

constexpr int TIME_ZONE_MIN = -12;
constexpr int TIME_ZONE_MAX = 12;

// The chooser shows this label and lists both names in any letter case: the card may hold
// them in upper case (FAT short names).
const char SETUP_FILE_FILTER[] = "配置文件 (setup.ini;setup.bak)";

void reportBadField(QWidget* dialog, QLineEdit* edit, const QString& text) {
    Prompts::current().message(dialog, text);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

// Whole numbers are shown as plain digits; the range, when given, is checked after parsing.
bool exchangeInt(QWidget* dialog, QLineEdit* edit, int32_t& value, bool save, bool checkRange,
                 int minimum = 0, int maximum = 0) {
    if (!save) {
        edit->setText(QString::number(value));
        return true;
    }
    const QString expected =
        checkRange
            ? QStringLiteral("Please enter a whole number from %1 to %2.").arg(minimum).arg(maximum)
            : QStringLiteral("Please enter a whole number.");
    bool ok = false;
    const int parsed = edit->text().trimmed().toInt(&ok);
    if (!ok) {
        reportBadField(dialog, edit, expected);
        return false;
    }
    value = parsed;
    if (checkRange && (value < minimum || value > maximum)) {
        reportBadField(dialog, edit, expected);
        return false;
    }
    return true;
}

// Doubles are shown in their shortest general form (2.5, 3) and parsed with "." always.
bool exchangeDouble(QWidget* dialog, QLineEdit* edit, double& value, bool save, double minimum,
                    double maximum) {
    if (!save) {
        edit->setText(QString::number(value, 'g', 15));
        return true;
    }
    const QString expected =
        QStringLiteral("Please enter a number from %1 to %2.")
            .arg(QString::number(minimum, 'f', 1), QString::number(maximum, 'f', 1));
    bool ok = false;
    const double parsed = edit->text().trimmed().toDouble(&ok);
    if (!ok) {
        reportBadField(dialog, edit, expected);
        return false;
    }
    value = parsed;
    // Written so that a NaN fails too.
    if (!(value >= minimum && value <= maximum)) {
        reportBadField(dialog, edit, expected);
        return false;
    }
    return true;
}

QString timeZoneEntry(int zone) {
    if (zone == 0)
        return QStringLiteral("GTM");
    return QString::asprintf("GTM %+03d:00", zone);
}

} // namespace

void RunConfiguration(QWidget* mainWindow) {
    g_strSetupPath.clear();
    // The file need not exist: a name typed in a folder without one creates it below.
    const QString chosen =
        Prompts::current().chooseNameInFolder(mainWindow, QString::fromUtf8(SETUP_FILE_FILTER));
    if (!chosen.isEmpty())
        g_strSetupPath = QFileInfo(chosen).absoluteFilePath();
    if (g_strSetupPath.isEmpty())
        return;

    if (!ReadSetupFile(g_strSetupPath))
        return;

    // The main window owns the dialog so that it stays above it and centred on it.
    CConfigDlg dialog(mainWindow);
    Prompts::current().runModal(dialog);
}

CConfigDlg::CConfigDlg(QWidget* parent)
    : QDialog(parent), m_nPostEvent(DeviceConfig.nVideoEventLength),
      m_nPreEvent(DeviceConfig.nBeforeVideoEvent), m_nSubsection(DeviceConfig.nSubsectionDuration),
      m_dLimitX(DeviceConfig.dLimitX), m_dLimitY(DeviceConfig.dLimitY),
      m_dLimitZ(DeviceConfig.dLimitZ), m_timeDate(QDateTime::fromSecsSinceEpoch(0)),
      m_timeClock(QDateTime::fromSecsSinceEpoch(0)) {
    setWindowTitle(QStringLiteral("Configuration"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    QFont font(QStringLiteral("SimSun"));
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC")});
    font.setPointSize(9);
    setFont(font);
    setFixedSize(DialogUnits::toPixels(218), DialogUnits::toPixels(279));

    createControls();

    connect(static_cast<QPushButton*>(m_controls.value(IDC_APPLY)), &QPushButton::clicked, this,
            &CConfigDlg::OnApply);
    connect(static_cast<QPushButton*>(m_controls.value(IDC_CLOSE)), &QPushButton::clicked, this,
            &CConfigDlg::OnCloseButton);
    connect(m_chkSetSystemTime, &QCheckBox::clicked, this, &CConfigDlg::OnSetSystemTime);

    OnInitDialog();
}

CConfigDlg::~CConfigDlg() = default;

QWidget* CConfigDlg::control(int id) const {
    return m_controls.value(id);
}

void CConfigDlg::createControls() {
    using DialogUnits::rect;
    QList<QGroupBox*> groups;

    auto group = [&](const QString& text, QRect where) {
        auto* box = new QGroupBox(text, this);
        box->setGeometry(where);
        // A frame only: clicks reach the controls drawn inside or across it.
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        groups << box;
    };
    auto label = [&](const QString& text, QRect where, bool centred, bool shown = true) {
        auto* stc = new QLabel(text, this);
        stc->setGeometry(where);
        stc->setWordWrap(true);
        stc->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
        stc->setVisible(shown);
    };
    auto edit = [&](int id, QRect where, bool rightAligned, bool shown = true) {
        auto* line = new QLineEdit(this);
        line->setGeometry(where);
        if (rightAligned)
            line->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        line->setVisible(shown);
        m_controls.insert(id, line);
        return line;
    };
    auto radio = [&](int id, const QString& text, QRect where, QButtonGroup* buttons,
                     bool shown = true) {
        auto* button = new QRadioButton(text, this);
        button->setGeometry(where);
        button->setVisible(shown);
        buttons->addButton(button, id);
        m_controls.insert(id, button);
        return button;
    };
    auto pushButton = [&](int id, const QString& text, QRect where) {
        auto* button = new QPushButton(text, this);
        button->setGeometry(where);
        // Enter is handled by the dialog itself (see keyPressEvent).
        button->setAutoDefault(false);
        button->setDefault(false);
        m_controls.insert(id, button);
    };
    const QString tilde = QStringLiteral(u"\uFF5E");

    group(QStringLiteral("Recording Duration (sec.) "), rect(17, 10, 184, 60));
    label(QStringLiteral("Pre-Event Duration"), rect(25, 28, 75, 18), true);
    m_editPreEvent = edit(IDC_PRE_EVENT, rect(108, 30, 45, 12), true);
    label(QStringLiteral("(2 %1 60)").arg(tilde), rect(159, 32, 39, 12), false);
    label(QStringLiteral("Post-Event Duration"), rect(26, 48, 75, 18), true);
    m_editPostEvent = edit(IDC_POST_EVENT, rect(108, 49, 46, 12), true);
    label(QStringLiteral("(10 %1 300)").arg(tilde), rect(155, 51, 47, 12), false);

    group(QStringLiteral("G-Sensor Sensitivity (0.0 %1 8.0)").arg(tilde), rect(17, 80, 184, 59));
    label(QStringLiteral("X - axis"), rect(22, 109, 32, 14), true);
    m_editLimitX = edit(IDC_LIMIT_X, rect(56, 110, 20, 12), true);
    label(QStringLiteral("Y - axis"), rect(81, 109, 35, 14), true);
    m_editLimitY = edit(IDC_LIMIT_Y, rect(116, 110, 20, 12), true);
    label(QStringLiteral("Z - axis"), rect(141, 109, 35, 14), true);
    m_editLimitZ = edit(IDC_LIMIT_Z, rect(176, 110, 20, 12), true);

    m_chkSetSystemTime = new QCheckBox(QStringLiteral("Set System Time"), this);
    m_chkSetSystemTime->setGeometry(rect(27, 143, 74, 14));
    m_controls.insert(IDC_SET_SYSTEM_TIME, m_chkSetSystemTime);
    group(QString(), rect(18, 146, 184, 59));

    m_dtpDate = new QDateEdit(this);
    m_dtpDate->setGeometry(rect(35, 174, 59, 16));
    m_dtpDate->setCalendarPopup(true);
    QString shortDate = QLocale().dateFormat(QLocale::ShortFormat);
    if (!shortDate.contains(QStringLiteral("yyyy")))
        shortDate.replace(QStringLiteral("yy"), QStringLiteral("yyyy")); // no century guessing
    m_dtpDate->setDisplayFormat(shortDate);
    m_controls.insert(IDC_DATE, m_dtpDate);

    m_dtpClock = new QTimeEdit(this);
    m_dtpClock->setGeometry(rect(116, 174, 59, 16));
    m_dtpClock->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_dtpClock->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_controls.insert(IDC_CLOCK, m_dtpClock);

    // Kept hidden: the recorder has no subsection or mirror setting the user may change here.
    label(QStringLiteral("Subsection Duration (Sec.)(10 %1 300)").arg(tilde),
          rect(28, 199, 149, 14), true, false);
    m_editSubsection = edit(IDC_SUBSECTION, rect(177, 198, 24, 13), false, false);
    label(QStringLiteral("Mirror"), rect(39, 202, 50, 15), false, false);
    auto* mirror = new QButtonGroup(this);
    m_radMirrorOn =
        radio(IDC_MIRROR_ON, QStringLiteral("ON"), rect(101, 203, 30, 12), mirror, false);
    m_radMirrorOff =
        radio(IDC_MIRROR_OFF, QStringLiteral("OFF"), rect(145, 203, 30, 12), mirror, false);

    label(QStringLiteral("ShowTime"), rect(34, 214, 46, 11), false);
    auto* showTime = new QButtonGroup(this);
    m_radShowTimeOn =
        radio(IDC_SHOW_TIME_ON, QStringLiteral("ON"), rect(96, 214, 30, 12), showTime);
    m_radShowTimeOff =
        radio(IDC_SHOW_TIME_OFF, QStringLiteral("OFF"), rect(139, 214, 30, 12), showTime);

    label(QStringLiteral("Time Zone"), rect(34, 232, 56, 15), false);
    m_cmbTimeZone = new QComboBox(this);
    for (int zone = TIME_ZONE_MIN; zone <= TIME_ZONE_MAX; ++zone)
        m_cmbTimeZone->addItem(timeZoneEntry(zone));
    // The template gives the dropped-down height; the closed box keeps its natural height.
    const QRect zoneRect = rect(95, 234, 67, 98);
    m_cmbTimeZone->setGeometry(zoneRect.x(), zoneRect.y(), zoneRect.width(),
                               m_cmbTimeZone->sizeHint().height());
    m_cmbTimeZone->setMaxVisibleItems(10);
    m_controls.insert(IDC_TIME_ZONE, m_cmbTimeZone);

    pushButton(IDC_APPLY, QStringLiteral("Apply"), rect(28, 255, 50, 17));
    pushButton(IDC_CLOSE, QStringLiteral("Close"), rect(139, 255, 50, 17));

    // Frames lie beneath everything they surround or cross (the check box sits on one).
    for (QGroupBox* box : groups)
        box->lower();
}

bool CConfigDlg::DoDataExchange(bool save) {
    if (!exchangeInt(this, m_editPostEvent, m_nPostEvent, save, true, 10, 300))
        return false;
    if (!exchangeInt(this, m_editPreEvent, m_nPreEvent, save, true, 2, 60))
        return false;
    if (!exchangeInt(this, m_editSubsection, m_nSubsection, save, false))
        return false;
    if (!exchangeDouble(this, m_editLimitX, m_dLimitX, save, 0.0, 8.0))
        return false;
    if (!exchangeDouble(this, m_editLimitY, m_dLimitY, save, 0.0, 8.0))
        return false;
    if (!exchangeDouble(this, m_editLimitZ, m_dLimitZ, save, 0.0, 8.0))
        return false;
    if (save) {
        m_timeDate = QDateTime(m_dtpDate->date(), m_timeDate.time());
        m_timeClock = QDateTime(m_timeClock.date(), m_dtpClock->time());
    } else {
        m_dtpDate->setDate(m_timeDate.date());
        m_dtpClock->setTime(m_timeClock.time());
    }
    return true;
}

bool CConfigDlg::OnInitDialog() {
    UpdateData(false);

    const bool mirror = DeviceConfig.nCisMirror != 0;
    m_radMirrorOn->setChecked(mirror);
    m_radMirrorOff->setChecked(!mirror);

    const bool showTime = DeviceConfig.nShowString != 0;
    m_radShowTimeOn->setChecked(showTime);
    m_radShowTimeOff->setChecked(!showTime);

    // A zone the list does not hold leaves it without a selection.
    const int zone = DeviceConfig.nTimeZone;
    m_cmbTimeZone->setCurrentIndex(
        zone >= TIME_ZONE_MIN && zone <= TIME_ZONE_MAX ? zone - TIME_ZONE_MIN : -1);

    OnSetSystemTime();
    return true;
}

void CConfigDlg::OnSetSystemTime() {
    const bool ticked = m_chkSetSystemTime->isChecked();
    // Every click starts the pickers at the present moment.
    const QDateTime now = QDateTime::currentDateTime();
    m_dtpDate->setDate(now.date());
    m_dtpClock->setTime(now.time());
    m_dtpDate->setEnabled(ticked);
    m_dtpClock->setEnabled(ticked);
}

void CConfigDlg::OnApply() {
    if (!UpdateData(true))
        return;

    DeviceConfig.nCisMirror = m_radMirrorOn->isChecked() ? 1 : 0;
    DeviceConfig.nShowString = m_radShowTimeOn->isChecked() ? 3 : 0;
    // With no selection (a loaded zone the list does not hold) the loaded zone is kept.
    const int index = m_cmbTimeZone->currentIndex();
    if (index >= 0)
        DeviceConfig.nTimeZone = index + TIME_ZONE_MIN;
    DeviceConfig.nBeforeVideoEvent = m_nPreEvent;
    DeviceConfig.nVideoEventLength = m_nPostEvent;
    DeviceConfig.dLimitX = m_dLimitX;
    DeviceConfig.dLimitY = m_dLimitY;
    DeviceConfig.dLimitZ = m_dLimitZ;

    // Show the values as stored (2.50 typed reads 2.5 now).
    UpdateData(false);

    SaveDeviceConfig(this, m_chkSetSystemTime->isChecked(), m_dtpDate->date(), m_dtpClock->time());
}

void CConfigDlg::OnCloseButton() {
    // Ends the dialog as a cancellation once the click has been handled.
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}

void CConfigDlg::OnOK() {
    if (!UpdateData(true))
        return;
    accept();
}

void CConfigDlg::keyPressEvent(QKeyEvent* event) {
    const bool plain = event->modifiers() == Qt::NoModifier ||
                       (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        // A focused push button takes Enter as a click; anywhere else Enter means OK.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget());
            button && button->isEnabled() && button->isVisible()) {
            button->click();
            return;
        }
        OnOK();
        return;
    }
    QDialog::keyPressEvent(event);
}
