// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>

class CPlayerSession;
class CRecordListDlg;
class CSkinButton;
class QLineEdit;
class QLabel;

// The record information panel: what is playing, and Previous / Next through the list.
// It keeps no copy of the recording: whenever it is shown, painted or touched by the mouse
// or the keyboard it shows `CurrentRecord` as it is at that moment.
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

    // The texts of 1024, 1025 and 1026 as last computed.
    QString m_strRecord;
    QString m_strEvent;
    QString m_strResolution;

    // The record list whose rows Previous and Next walk, and the session that says what the
    // Event box shows (not owned; either may be null).
    void SetRecordList(CRecordListDlg* list) { m_list = list; }
    void SetSession(const CPlayerSession* session) { m_session = session; }

    // Recomputes the texts and the Previous / Next states from `CurrentRecord`.
    void UpdateFromCurrentRecord();

    void OnPrevious();
    void OnNext();
    // Opens the row `direction` (-1 or +1) away from the current one.
    void GoToAdjacentRecord(int direction);

Q_SIGNALS:
    void openRecordRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void WatchTree(QObject* object);
    CRecordListDlg* m_list = nullptr;
    const CPlayerSession* m_session = nullptr;
    void SetColours(QLabel* label);

protected:
    // The panel's skin, and its shape with the one rounded top-right corner.
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};
