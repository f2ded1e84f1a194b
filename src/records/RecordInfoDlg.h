#pragma once

#include <QWidget>

class CSkinButton;
class QLineEdit;
class QLabel;

// The record information panel: what is playing, and Previous / Next through the list.
class CRecordInfoDlg : public QWidget {
    Q_OBJECT
public:
    explicit CRecordInfoDlg(QWidget* parent = nullptr);

    CSkinButton* m_btnPrevious = nullptr;  // 1022
    CSkinButton* m_btnNext = nullptr;      // 1023
    QLineEdit* m_editRecord = nullptr;     // 1024
    QLineEdit* m_editEvent = nullptr;      // 1025
    QLineEdit* m_editResolution = nullptr; // 1026
    QWidget* m_mapArea = nullptr;          // 1027, hosts the map page

Q_SIGNALS:
    void openRecordRequested();
};
