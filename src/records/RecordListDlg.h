// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPixmap>

#include <QString>
#include <QWidget>
#include <memory>

class CSkinButton;
class QTreeWidget;
class QFrame;
class QItemSelection;
class QMenu;
class CGraphPlayer;
class CPlayerSession;

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

    // The paused preview of the selected row (null when none) and the file it shows.
    std::unique_ptr<CGraphPlayer> m_pPreview;
    QString m_strPreviewPath;

    // The filter of the LOAD file chooser.
    static const QString kLoadFilter;

    // Empties the list (the list view's "delete all items").
    void DeleteAllItems();
    // Appends a row: number text, file name, empty event.
    void InsertRow(int index, const QString& number, const QString& name);

    // Lists the files of `folder` whose lower-cased extension is exactly `extension`, in
    // file-name order, and makes `folder` (with a final "/") the current record's folder.
    // Returns the number of rows.
    int FillRecordList(QString folder, QString extension);

    // Lists a card folder: another recorder's (MP4 and MOV recordings, also in the folders such
    // recorders keep them in, oldest first, named by their path in the folder) where it is one,
    // else exactly as FillRecordList(folder, ".asf"). A moment several cameras recorded is one
    // row, its front camera's file, the cameras ("F+R") in the 4th column. Returns the number of
    // rows.
    int FillCardList(QString folder);

    // Row index of the first selected row, -1 when none.
    int FirstSelectedRow() const;

    void OnLoad();
    void OnOpen();
    // A double click on the list at row `row` (-1: not on a row).
    void OnDblClk(int row);
    // A row became selected without having been the focused row: preview it.
    void OnItemChanging(int row);

    void StartPreview();
    void StopPreview();

    // The right-click menu of a row: what the session's features offer for the row's recording
    // and for the whole list (empty without a session); null when `row` is not a row.
    QMenu* CreateRowMenu(int row);
    // The session whose features fill the row menu (not owned; may be null).
    void SetSession(const CPlayerSession* session) { m_session = session; }

Q_SIGNALS:
    // Sent, synchronously, once `CurrentRecord` names the recording to open.
    void openRecordRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Rows numbered on from CurrentRecord.listCount, with the moment's cameras ("F+R") in
    // kCamerasColumn (not shown) and as a badge before the name where `cameras` is given; the
    // count after them.
    int AddRows(const QStringList& names, const QStringList& cameras = {});
    // The column of the cameras a row's moment has, shown only for a card that has pairs.
    static constexpr int kCamerasColumn = 3;
    void ShowCamerasColumn(bool show);
    QPixmap CamerasBadge(const QString& label) const; // empty label: a blank of the same size
    void OnSelectionChanged(const QItemSelection& selected);

    // Where the list's focus is, where it was before its last move, and whether that move
    // belongs to the interaction now being handled.
    int m_nFocusRow = -1;
    int m_nFocusRowBefore = -1;
    bool m_bFocusJustMoved = false;
    const CPlayerSession* m_session = nullptr;

protected:
    // The panel's skin, and its shape with the one rounded top-right corner.
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};
