#pragma once

#include <QWidget>

class CSkinButton;
class QTreeWidget;
class QFrame;
class CGraphPlayer;

// The record list panel: the recordings of one folder, a still preview of the selected one,
// and the choice handed to the main window for playback.
class CRecordListDlg : public QWidget {
    Q_OBJECT
public:
    explicit CRecordListDlg(QWidget* parent = nullptr);
    ~CRecordListDlg() override;

    CSkinButton* m_btnLoad = nullptr;     // 1017
    CSkinButton* m_btnOpen = nullptr;     // 1018
    QTreeWidget* m_listRecords = nullptr; // 1016
    QFrame* m_stPreview = nullptr;        // 1019

    // Empties the list (the list view's "delete all items").
    void DeleteAllItems();
    // Appends a row: number text, file name, empty event.
    void InsertRow(int index, const QString& number, const QString& name);

Q_SIGNALS:
    // Sent, synchronously, once `CurrentRecord` names the recording to open.
    void openRecordRequested();
};
