// SPDX-License-Identifier: GPL-3.0-or-later
#include "records/RecordListDlg.h"

#include "card/CameraPairs.h"
#include "card/CardFiles.h"
#include "formats/Mp4Boxes.h"
#include "playback/GraphPlayer.h"
#include "records/CurrentRecord.h"
#include "session/PlayerSession.h"
#include "skin/SkinButton.h"
#include "skin/SkinnedWindow.h"

#include "ui/DialogUnits.h"
#include "ui/Prompts.h"
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeWidget>

const QString CRecordListDlg::kLoadFilter = QStringLiteral("视频文件(*.asf;*.avi;*.mp4)");

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
    m_listRecords->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listRecords->setAllColumnsShowFocus(true);
    // The selected row stays marked when the list loses the focus.
    QPalette palette = m_listRecords->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    m_listRecords->setPalette(palette);

    m_stPreview = new QFrame(this);
    m_stPreview->setGeometry(rect(1, 188, 210, 157));
    m_stPreview->setFrameShape(QFrame::Box);
    // Black around and before the preview's picture, as a video window shows it.
    QPalette previewPalette = m_stPreview->palette();
    previewPalette.setColor(QPalette::Window, Qt::black);
    m_stPreview->setPalette(previewPalette);
    m_stPreview->setStyleSheet(QStringLiteral("QFrame { border: 1px solid black; }"));

    connect(m_btnLoad, &QAbstractButton::clicked, this, &CRecordListDlg::OnLoad);
    connect(m_btnOpen, &QAbstractButton::clicked, this, &CRecordListDlg::OnOpen);
    QItemSelectionModel* selection = m_listRecords->selectionModel();
    connect(selection, &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) {
                OnSelectionChanged(selected);
            });
    // The view moves the focus before or after selecting, depending on how the row was
    // chosen; remembering where the focus was tells a newly chosen row from the focused one.
    connect(selection, &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                m_nFocusRowBefore = previous.row();
                m_nFocusRow = current.row();
                if (!m_bFocusJustMoved) {
                    m_bFocusJustMoved = true;
                    QMetaObject::invokeMethod(
                        this, [this] { m_bFocusJustMoved = false; }, Qt::QueuedConnection);
                }
            });
    m_listRecords->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_listRecords, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = m_listRecords->indexAt(at);
        std::unique_ptr<QMenu> menu(CreateRowMenu(index.isValid() ? index.row() : -1));
        if (menu)
            menu->exec(m_listRecords->viewport()->mapToGlobal(at));
    });
    // Double clicks anywhere on the list count, also below the last row.
    m_listRecords->viewport()->installEventFilter(this);
}

CRecordListDlg::~CRecordListDlg() {
    StopPreview();
}

void CRecordListDlg::DeleteAllItems() {
    m_listRecords->clear();
}

void CRecordListDlg::InsertRow(int index, const QString& number, const QString& name) {
    auto* item = new QTreeWidgetItem({number, name, QString()});
    m_listRecords->insertTopLevelItem(qBound(0, index, m_listRecords->topLevelItemCount()), item);
}

int CRecordListDlg::FillRecordList(QString folder, QString extension) {
    DeleteAllItems();
    ShowCamerasColumn(false);
    CurrentRecord.listCount = 0;

    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    CurrentRecord.folder = folder;

    // One directory read, sorted by name without regard to letter case (the order the card's
    // files were always listed in): a card holds thousands of recordings and the names carry
    // their order.
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                                            QDir::Name | QDir::IgnoreCase);

    QStringList listed;
    listed.reserve(names.size());
    for (const QString& name : names) {
        // The extension runs from the last dot of the whole path; without one, the whole
        // path stands for it.
        const QString path = folder + name;
        const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
        const QString ext = (dot < 0 ? path : path.mid(dot)).toLower();
        if (ext == extension)
            listed.append(name);
    }
    return AddRows(listed);
}

int CRecordListDlg::AddRows(const QStringList& names, const QStringList& cameras) {
    QList<QTreeWidgetItem*> rows;
    rows.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        QStringList texts{QString::asprintf("  %.4d", CurrentRecord.listCount + 1), names[i],
                          QString()};
        if (!cameras.isEmpty())
            texts.append(cameras[i]);
        auto* row = new QTreeWidgetItem(texts);
        // Every row of such a card gets one (a blank for a camera alone): the names line up.
        if (!cameras.isEmpty())
            row->setIcon(1, QIcon(CamerasBadge(cameras[i])));
        if (!cameras.isEmpty() && !cameras[i].isEmpty())
            row->setToolTip(1, QStringLiteral("%1 (cameras: %2)").arg(names[i], cameras[i]));
        rows.append(row);
        ++CurrentRecord.listCount;
    }
    // One repaint for the whole list.
    const bool updates = m_listRecords->updatesEnabled();
    m_listRecords->setUpdatesEnabled(false);
    m_listRecords->addTopLevelItems(rows);
    m_listRecords->setUpdatesEnabled(updates);
    update();
    return CurrentRecord.listCount;
}

int CRecordListDlg::FillCardList(QString folder) {
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const QStringList recordings = CardFiles::OtherRecorderFiles(folder);
    if (recordings.isEmpty())
        return FillRecordList(folder, QStringLiteral(".asf"));
    DeleteAllItems();
    CurrentRecord.listCount = 0;
    CurrentRecord.folder = folder;
    // A recorder with several cameras: one row a moment, its cameras said beside the name.
    QStringList names, cameras;
    bool paired = false;
    for (const CameraPairs::Moment& moment : CameraPairs::Moments(folder, recordings)) {
        names.append(moment.name);
        cameras.append(moment.label);
        paired = paired || !moment.label.isEmpty();
    }
    ShowCamerasColumn(paired);
    return paired ? AddRows(names, cameras) : AddRows(recordings);
}

void CRecordListDlg::ShowCamerasColumn(bool show) {
    // The headings above the list are painted with the window's skin at fixed places: a column
    // of its own would sit under "Event" or past the list's edge. The cameras are kept in a
    // column of their own, not shown, and said by a badge before the name.
    QTreeWidget* list = m_listRecords;
    if (list->columnCount() <= kCamerasColumn)
        list->setColumnCount(kCamerasColumn + 1);
    list->setColumnHidden(kCamerasColumn, true);
    if (show)
        list->setIconSize(CamerasBadge(QStringLiteral("F+R+I")).size());
}

QPixmap CRecordListDlg::CamerasBadge(const QString& label) const {
    QFont font = m_listRecords->font();
    font.setPointSizeF(font.pointSizeF() * 0.8);
    font.setBold(true);
    const QFontMetrics metrics(font);
    const QSize size(metrics.horizontalAdvance(QStringLiteral("F+R+I")) + 6, metrics.height());
    QPixmap badge(size);
    badge.fill(Qt::transparent);
    if (label.isEmpty())
        return badge;
    QPainter painter(&badge);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = m_listRecords->palette().color(QPalette::Text);
    painter.setPen(QPen(ink, 1));
    const int width = metrics.horizontalAdvance(label) + 6;
    painter.drawRoundedRect(QRectF(0.5, 0.5, width - 1, size.height() - 1), 3, 3);
    painter.setFont(font);
    painter.drawText(QRect(0, 0, width, size.height()), Qt::AlignCenter, label);
    return badge;
}

int CRecordListDlg::FirstSelectedRow() const {
    const QModelIndexList rows = m_listRecords->selectionModel()->selectedRows();
    int first = -1;
    for (const QModelIndex& index : rows) {
        if (first < 0 || index.row() < first)
            first = index.row();
    }
    return first;
}

void CRecordListDlg::OnLoad() {
    // The chosen file only designates its folder: a name typed there is enough.
    const QString chosen = Prompts::current().chooseOpenOrNewFile(this, kLoadFilter);
    if (chosen.isEmpty())
        return;
    const QString path = QFileInfo(chosen).absoluteFilePath();
    FillCardList(path.left(path.lastIndexOf(QLatin1Char('/')) + 1));
}

void CRecordListDlg::OnOpen() {
    const int row = FirstSelectedRow();
    if (row < 0) {
        Prompts::current().message(this, QStringLiteral("pls select file to be downloaded!"));
        return;
    }
    const QTreeWidgetItem* item = m_listRecords->topLevelItem(row);
    CurrentRecord.listIndex = row;
    CurrentRecord.fileName = item->text(1);
    CurrentRecord.numberText = item->text(0);
    Q_EMIT openRecordRequested();
}

void CRecordListDlg::OnDblClk(int row) {
    CurrentRecord.listIndex = row;
    if (row < 0) {
        Prompts::current().message(this, QStringLiteral("Invalid Select File"));
        return;
    }
    const QTreeWidgetItem* item = m_listRecords->topLevelItem(row);
    CurrentRecord.fileName = item->text(1);
    CurrentRecord.numberText = item->text(0);
    Q_EMIT openRecordRequested();
}

void CRecordListDlg::OnSelectionChanged(const QItemSelection& selected) {
    const int current = m_listRecords->currentIndex().row();
    // Keyboard and programmatic choices select before the focus signal arrives; a click
    // moves the focus first.
    int focusedBefore = m_nFocusRow;
    if (current == m_nFocusRow && m_bFocusJustMoved)
        focusedBefore = m_nFocusRowBefore;
    m_bFocusJustMoved = false;

    QList<int> rows;
    for (const QModelIndex& index : selected.indexes()) {
        if (!rows.contains(index.row()))
            rows.append(index.row());
    }
    for (int row : rows) {
        if (row != focusedBefore)
            OnItemChanging(row);
    }
}

void CRecordListDlg::OnItemChanging(int row) {
    m_stPreview->show();
    CurrentRecord.listIndex = row;
    if (row < 0)
        return;
    const QTreeWidgetItem* item = m_listRecords->topLevelItem(row);
    m_strPreviewPath = CurrentRecord.folder + (item ? item->text(1) : QString());
    StartPreview();
    m_btnOpen->setEnabled(true);
}

void CRecordListDlg::StartPreview() {
    StopPreview();
    m_pPreview = std::make_unique<CGraphPlayer>();
    if (!m_pPreview->CreateGraph())
        return;
    if (!m_pPreview->OpenMediaFile(m_strPreviewPath)) {
        // Where the file says why, so do we.
        const QString why = Mp4::MissingIndex(m_strPreviewPath);
        Prompts::current().message(this, why.isEmpty() ? QStringLiteral("Open fail")
                                                       : QStringLiteral("Open fail\n") + why);
        return;
    }
    // Paused, the first frame stays in the box as a still picture.
    m_pPreview->AttachVideoWindow(m_stPreview);
    m_pPreview->SetEventWindow(this);
    m_pPreview->PausePlayback();
}

void CRecordListDlg::StopPreview() {
    if (!m_pPreview)
        return;
    m_pPreview->StopPlayback();
    m_pPreview->SetEventWindow(nullptr);
    m_pPreview.reset();
}

QMenu* CRecordListDlg::CreateRowMenu(int row) {
    const QTreeWidgetItem* item = row >= 0 ? m_listRecords->topLevelItem(row) : nullptr;
    if (!item)
        return nullptr;
    auto* menu = new QMenu(this);
    if (m_session) {
        m_session->FillRowMenu(*menu, this, CurrentRecord.folder + item->text(1));
        m_session->FillListMenu(*menu, this);
    }
    return menu;
}

bool CRecordListDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_listRecords->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            const QModelIndex index = m_listRecords->indexAt(mouse->position().toPoint());
            OnDblClk(index.isValid() ? index.row() : -1);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CRecordListDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Skin::PaintBackground(painter, this, 154);
}

void CRecordListDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    setMask(Skin::PanelRegion(size()));
}
