// SPDX-License-Identifier: GPL-3.0-or-later
#include "records/RecordInfoDlg.h"

#include "records/CurrentRecord.h"
#include "records/RecordListDlg.h"
#include "session/PlayerSession.h"
#include "skin/SkinButton.h"
#include "skin/SkinnedWindow.h"

#include "ui/DialogUnits.h"
#include "ui/Prompts.h"
#include <QPainter>
#include <QResizeEvent>

#include <QChildEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

namespace {

const QColor kEditTextBackground(61, 89, 123);
const QColor kStaticTextBackground(51, 65, 89);

// The events that make the panel show `CurrentRecord` afresh: whatever reaches the panel
// or a window inside it from the user or the screen.
bool RefreshesTexts(QEvent::Type type) {
    switch (type) {
    case QEvent::Show:
    case QEvent::Paint:
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return true;
    default:
        return false;
    }
}

} // namespace

CRecordInfoDlg::CRecordInfoDlg(QWidget* parent) : QWidget(parent) {
    using DialogUnits::rect;
    setObjectName(QStringLiteral("recordInfo"));
    resize(rect(0, 0, 211, 345).size());
    setMouseTracking(true);

    m_btnPrevious = new CSkinButton(this);
    m_btnPrevious->setText(QStringLiteral("Previous"));
    m_btnPrevious->setGeometry(rect(28, 16, 19, 11));
    m_btnPrevious->setToolTip(QStringLiteral("previous record"));
    m_btnPrevious->setAccessibleName(QStringLiteral("previous record"));

    m_btnNext = new CSkinButton(this);
    m_btnNext->setText(QStringLiteral("Next"));
    m_btnNext->setGeometry(rect(156, 16, 19, 11));
    m_btnNext->setToolTip(QStringLiteral("next record"));
    m_btnNext->setAccessibleName(QStringLiteral("next record"));
    m_btnNext->LoadStateBitmaps(183, 186, 183, 186);
    m_btnPrevious->LoadStateBitmaps(185, 184, 185, 184);

    auto* heading = new QLabel(QStringLiteral("-----Current Record-----"), this);
    // The panel's statics and edits draw their line at the top of their box.
    heading->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    heading->setGeometry(rect(49, 16, 106, 14));
    SetColours(heading);

    auto makeEdit = [this](const QRect& r, Qt::Alignment align) {
        auto* edit = new QLineEdit(this);
        edit->setReadOnly(true);
        edit->setAlignment(align | Qt::AlignTop);
        edit->setFrame(false);
        edit->setGeometry(r);
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, kEditTextBackground);
        palette.setColor(QPalette::Text, Qt::white);
        edit->setPalette(palette);
        return edit;
    };
    m_editRecord = makeEdit(rect(11, 38, 185, 15), Qt::AlignHCenter);
    auto* eventLabel = new QLabel(QStringLiteral("Event:"), this);
    eventLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    eventLabel->setGeometry(rect(14, 58, 30, 14));
    SetColours(eventLabel);
    m_editEvent = makeEdit(rect(47, 61, 38, 13), Qt::AlignHCenter);
    auto* resolutionLabel = new QLabel(QStringLiteral("Resolution:"), this);
    resolutionLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    resolutionLabel->setGeometry(rect(96, 59, 43, 12));
    SetColours(resolutionLabel);
    m_editResolution = makeEdit(rect(142, 61, 50, 14), Qt::AlignLeft);

    m_mapArea = new QWidget(this);
    m_mapArea->setGeometry(rect(0, 99, 211, 246));

    connect(m_btnPrevious, &QAbstractButton::clicked, this, &CRecordInfoDlg::OnPrevious);
    connect(m_btnNext, &QAbstractButton::clicked, this, &CRecordInfoDlg::OnNext);

    // Every window inside the panel, the map page's included (it arrives later), passes
    // its events by the panel first.
    WatchTree(this);
    UpdateFromCurrentRecord();
}

void CRecordInfoDlg::SetColours(QLabel* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Window, kStaticTextBackground);
    label->setPalette(palette);
    label->setAutoFillBackground(true);
}

void CRecordInfoDlg::WatchTree(QObject* object) {
    if (!object->isWidgetType())
        return;
    object->installEventFilter(this);
    for (QObject* child : object->children())
        WatchTree(child);
}

bool CRecordInfoDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ChildAdded)
        WatchTree(static_cast<QChildEvent*>(event)->child());
    else if (RefreshesTexts(event->type()))
        UpdateFromCurrentRecord();
    return QWidget::eventFilter(watched, event);
}

void CRecordInfoDlg::UpdateFromCurrentRecord() {
    const CurrentRecordData& record = CurrentRecord;
    if (record.listIndex < 0)
        m_strRecord = QStringLiteral("Record: ") + record.fileName;
    else
        m_strRecord = QStringLiteral("No.") + record.numberText + QStringLiteral("   Record: ") +
                      record.fileName;
    // Empty until the user asks for the events (the record list's "Find events").
    m_strEvent = m_session ? m_session->EventText(record.fileName) : QString();
    const QString details = m_session ? m_session->EventDetails(record.fileName) : QString();
    if (m_editEvent->toolTip() != details)
        m_editEvent->setToolTip(details);
    m_strResolution =
        QString::asprintf("%u*%u", unsigned(record.videoWidth), unsigned(record.videoHeight));

    const bool next = !(record.listIndex == record.listCount - 1 || record.listIndex < 0);
    const bool previous = !(record.listIndex == 0 || record.listIndex < 0);
    m_btnNext->setEnabled(next);
    m_btnPrevious->setEnabled(previous);

    // Only real changes touch the edits: a repaint they caused must not set them again.
    const std::pair<QLineEdit*, const QString*> texts[] = {
        {m_editRecord, &m_strRecord},
        {m_editEvent, &m_strEvent},
        {m_editResolution, &m_strResolution},
    };
    for (const auto& [edit, text] : texts) {
        if (edit->text() != *text) {
            edit->setText(*text);
            // A line longer than the box shows its beginning, the list number first.
            edit->setCursorPosition(0);
        }
    }
}

void CRecordInfoDlg::OnPrevious() {
    GoToAdjacentRecord(-1);
}

void CRecordInfoDlg::OnNext() {
    GoToAdjacentRecord(+1);
}

void CRecordInfoDlg::GoToAdjacentRecord(int direction) {
    CRecordListDlg* list = m_list;
    if (!list || list->FirstSelectedRow() < 0) {
        Prompts::current().message(this, QStringLiteral("pls select file to be downloaded!"));
        return;
    }
    // The list's selection stays where it was; only the current record moves.
    CurrentRecord.listIndex += direction;
    const QTreeWidgetItem* row = list->m_listRecords->topLevelItem(CurrentRecord.listIndex);
    CurrentRecord.fileName = row ? row->text(1) : QString();
    CurrentRecord.numberText = row ? row->text(0) : QString();
    Q_EMIT openRecordRequested();
}

void CRecordInfoDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Skin::PaintBackground(painter, this, 160);
}

void CRecordInfoDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    setMask(Skin::PanelRegion(size()));
}
