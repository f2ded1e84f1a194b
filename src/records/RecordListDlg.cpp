#include "records/RecordListDlg.h"

#include "playback/GraphPlayer.h"
#include "records/CurrentRecord.h"
#include "skin/SkinButton.h"
#include "ui/DialogUnits.h"

#include <QFrame>
#include <QHeaderView>
#include <QTreeWidget>

CRecordListDlg::CRecordListDlg(QWidget* parent) : QWidget(parent) {
    using DialogUnits::rect;
    CurrentRecord.listCount = 0;
    CurrentRecord.listIndex = -1;
    setObjectName(QStringLiteral("recordList"));
    resize(rect(0, 0, 211, 345).size());

    m_btnLoad = new CSkinButton(this);
    m_btnLoad->setText(QStringLiteral("LOAD"));
    m_btnLoad->setGeometry(rect(57, 3, 33, 12));
    m_btnLoad->setToolTip(QStringLiteral("Load list"));
    m_btnLoad->setAccessibleName(QStringLiteral("Load list"));

    m_btnOpen = new CSkinButton(this);
    m_btnOpen->setText(QStringLiteral("OPEN"));
    m_btnOpen->setGeometry(rect(92, 3, 33, 12));
    m_btnOpen->setToolTip(QStringLiteral("Open"));
    m_btnOpen->setAccessibleName(QStringLiteral("Open"));

    m_listRecords = new QTreeWidget(this);
    m_listRecords->setGeometry(rect(1, 31, 200, 148));
    m_listRecords->setRootIsDecorated(false);
    m_listRecords->setHeaderHidden(true);
    m_listRecords->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listRecords->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listRecords->setUniformRowHeights(true);
    m_listRecords->setFrameShape(QFrame::NoFrame);

    m_stPreview = new QFrame(this);
    m_stPreview->setGeometry(rect(1, 188, 210, 157));
    m_stPreview->setFrameShape(QFrame::Box);
    m_stPreview->setStyleSheet(QStringLiteral("QFrame { border: 1px solid black; }"));
}

CRecordListDlg::~CRecordListDlg() = default;

void CRecordListDlg::DeleteAllItems() {
    m_listRecords->clear();
}

void CRecordListDlg::InsertRow(int index, const QString& number, const QString& name) {
    auto* item = new QTreeWidgetItem({number, name, QString()});
    m_listRecords->insertTopLevelItem(qBound(0, index, m_listRecords->topLevelItemCount()), item);
}
