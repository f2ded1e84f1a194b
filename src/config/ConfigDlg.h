// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QHash>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QRadioButton;
class QTimeEdit;

// The whole configuration command of the main window: choose the recorder's settings file,
// read it into DeviceConfig and let the user edit it in CConfigDlg. The window's handler
// calls this and nothing else.
void RunConfiguration(QWidget* mainWindow);

// The modal dialog in which the recorder's settings are edited. Apply validates the fields,
// stores them into DeviceConfig and rewrites the chosen file; Close leaves without saving.
class CConfigDlg : public QDialog {
    Q_OBJECT

public:
    enum { IDD = 198 };

    explicit CConfigDlg(QWidget* parent = nullptr);
    ~CConfigDlg() override;

    // The control with the given id, or nullptr.
    QWidget* control(int id) const;

protected:
    // Moves values between the controls and the members: into the controls when
    // `saveAndValidate` is false, out of them with range checks when it is true. A failing
    // field is reported, gets the focus, and the exchange stops with false.
    bool DoDataExchange(bool saveAndValidate);
    bool UpdateData(bool saveAndValidate) { return DoDataExchange(saveAndValidate); }
    bool OnInitDialog();
    // Enter validates and ends the dialog without storing anything; Escape cancels.
    void keyPressEvent(QKeyEvent* event) override;

private Q_SLOTS:
    void OnApply();
    void OnCloseButton();
    void OnSetSystemTime();

private:
    void createControls();
    void OnOK();

    QCheckBox* m_chkSetSystemTime = nullptr;
    QComboBox* m_cmbTimeZone = nullptr;
    int32_t m_nPostEvent = 0;
    int32_t m_nPreEvent = 0;
    int32_t m_nSubsection = 0;
    double m_dLimitX = 0.0;
    double m_dLimitY = 0.0;
    double m_dLimitZ = 0.0;
    QDateTime m_timeDate;
    QDateTime m_timeClock;

    QLineEdit* m_editPreEvent = nullptr;
    QLineEdit* m_editPostEvent = nullptr;
    QLineEdit* m_editLimitX = nullptr;
    QLineEdit* m_editLimitY = nullptr;
    QLineEdit* m_editLimitZ = nullptr;
    QLineEdit* m_editSubsection = nullptr;
    QDateEdit* m_dtpDate = nullptr;
    QTimeEdit* m_dtpClock = nullptr;
    QRadioButton* m_radMirrorOn = nullptr;
    QRadioButton* m_radMirrorOff = nullptr;
    QRadioButton* m_radShowTimeOn = nullptr;
    QRadioButton* m_radShowTimeOff = nullptr;
    QHash<int, QWidget*> m_controls;
};
