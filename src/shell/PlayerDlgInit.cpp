// SPDX-License-Identifier: GPL-3.0-or-later
// The window's controls, as its template lays them out, their skin, and the routing of their
// commands, made once when the window is.
#include "shell/PlayerDlg.h"

#include "capture/FrameCapture.h"
#include "config/ConfigDlg.h"
#include "playback/GraphPlayer.h"
#include "playback/OpenWait.h"
#include "records/CurrentRecord.h"
#include "records/RecordInfoDlg.h"
#include "records/RecordListDlg.h"
#include "session/PlayerSession.h"
#include "shell/AboutDlg.h"
#include "skin/BitmapButton.h"
#include "skin/SkinButton.h"
#include "skin/SkinCatalogue.h"
#include "skin/SkinSlider.h"
#include "skin/SkinnedWindow.h"
#include "trip/MapBridge.h"
#include "trip/TripChart.h"
#include "trip/TripLog.h"
#include "trip/WebBrowser2.h"
#include "ui/CellFont.h"
#include "ui/DialogUnits.h"
#include "ui/Prompts.h"
#include "ui/Resources.h"
#include "ui/Truncate.h"
#include <QApplication>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTreeWidget>
#include <QWindow>
#include <cmath>
#include <limits>
#include <optional>

namespace {

constexpr QSize kWindowSize(1024, 724);

std::function<void(CPlayerDlg&)>& SetUpHook() {
    static std::function<void(CPlayerDlg&)> hook;
    return hook;
}

} // namespace

void CPlayerDlg::RunSetUp() {
    if (SetUpHook())
        SetUpHook()(*this);
}

template <typename T> T* CPlayerDlg::AddControl(int id, T* control) {
    m_controls.insert(id, control);
    control->setObjectName(QStringLiteral("ctl%1").arg(id));
    return control;
}

void CPlayerDlg::OnInitDialog() {
    using DialogUnits::rect;
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(kWindowSize);
    setWindowTitle(QStringLiteral("Player"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/player.svg")));
    QFont dialogFont(QStringLiteral("Noto Sans CJK SC"));
    dialogFont.setPointSize(9);
    setFont(dialogFont);

    // Title buttons, chart, seek slider, video, volume and the circular command buttons.
    m_btnTitleAbout = AddControl(1036, new CSkinButton(this));
    m_btnTitleAbout->setGeometry(rect(618, 15, 17, 17));
    m_btnTitleMinimize = AddControl(1037, new CSkinButton(this));
    m_btnTitleMinimize->setGeometry(rect(634, 26, 17, 17));
    m_btnTitleClose = AddControl(1038, new CSkinButton(this));
    m_btnTitleClose->setGeometry(rect(650, 37, 17, 17));
    m_btnTitleAbout->setText(QStringLiteral("?"));
    m_btnTitleMinimize->setText(QStringLiteral("_"));
    m_btnTitleClose->setText(QStringLiteral("x"));
    m_btnTitleAbout->setAccessibleName(QStringLiteral("About"));
    m_btnTitleMinimize->setAccessibleName(QStringLiteral("Minimize"));
    m_btnTitleClose->setAccessibleName(QStringLiteral("Close"));

    m_stcChart = AddControl(1034, new CChartBox(this));
    m_stcChart->setGeometry(rect(38, 315, 396, 58));
    m_sliderSeek = AddControl(1033, new CSkinSlider(this));
    m_sliderSeek->setGeometry(rect(38, 379, 396, 20));
    m_sliderSeek->SetControlId(1033);
    m_stcVideo = AddControl(1020, new QWidget(this));
    m_stcVideo->setGeometry(rect(30, 38, 412, 263));
    m_stcVideo->setAttribute(Qt::WA_StyledBackground);
    m_stcVideo->setStyleSheet(QStringLiteral("background: rgb(8, 20, 44);"));
    // The video surface paints the picture's bands in the area's palette colour.
    QPalette videoPalette = m_stcVideo->palette();
    videoPalette.setColor(QPalette::Window, QColor(8, 20, 44));
    m_stcVideo->setPalette(videoPalette);
    m_sliderVolume = AddControl(1028, new CSkinSlider(this));
    m_sliderVolume->setGeometry(rect(438, 460, 105, 12));
    m_sliderVolume->SetControlId(1028);

    auto makeCircle = [this](int id, const char* caption, int x) {
        auto* button = AddControl(id, new CSkinButton(this));
        button->setText(QString::fromLatin1(caption));
        button->setGeometry(DialogUnits::rect(x, 423, 36, 35));
        return button;
    };
    m_btnOpenFile = makeCircle(1011, "openfile", 380);
    m_btnSnap = makeCircle(1013, "snap", 441);
    m_btnPrint = makeCircle(1014, "print", 504);
    m_btnConfig = makeCircle(1015, "configuration", 568);

    m_btnInfoTab = AddControl(1001, new CBitmapButton(this));
    m_btnInfoTab->setText(QStringLiteral("information"));
    m_btnInfoTab->setGeometry(rect(555, 390, 95, 17));
    m_btnRecordTab = AddControl(1000, new CBitmapButton(this));
    m_btnRecordTab->setText(QStringLiteral("record"));
    m_btnRecordTab->setGeometry(rect(449, 390, 97, 17));

    m_stcPanels = AddControl(1021, new QWidget(this));
    m_stcPanels->setGeometry(rect(446, 36, 211, 345));

    m_editTime = AddControl(1035, new QLineEdit(this));
    m_editTime->setGeometry(rect(134, 459, 110, 12));
    m_editSpeed = AddControl(1069, new QLineEdit(this));
    m_editSpeed->setGeometry(rect(328, 440, 22, 13));
    for (QLineEdit* display : {m_editTime, m_editSpeed}) {
        display->setReadOnly(true);
        display->setAlignment(Qt::AlignCenter);
        display->setFrame(false);
        display->setFocusPolicy(Qt::NoFocus);
        display->setStyleSheet(
            QStringLiteral("QLineEdit { background: black; color: white; border: none; }"));
    }
    m_editTime->setText(m_strTime);
    m_editSpeed->setText(QStringLiteral("0"));

    // Transport row, 23 units apart from x = 86.
    struct Transport {
        int id;
        CBitmapButton** member;
        const char* caption;
        int normal, pressed;
        const char* tip;
    };
    const Transport transport[] = {
        {1002, &m_btnHead, "起始", 174, 175, "Head of the file"},
        {1003, &m_btnFrameBack, "帧退", 170, 171, "Backward one frame"},
        {1004, &m_btnBack, "退3s", 178, 179, "Backward 3s"},
        {1005, &m_btnStop, "停止", 182, 181, "Stop"},
        {1006, &m_btnPause, "pause", 166, 167, "Pause"},
        {1007, &m_btnPlay, "play", 168, 169, "Play"},
        {1009, &m_btnFrameForward, "帧进", 172, 165, "Forward one frame"},
        {1008, &m_btnForward, "进3s", 180, 177, "Forward 3s"},
        {1010, &m_btnEnd, "末尾", 176, 173, "End of the file"},
    };
    // Tab buttons first, then the transport keys with their two images each.
    m_btnInfoTab->LoadBitmaps(136, 137, 137, 136);
    m_btnInfoTab->SizeToContent();
    m_btnRecordTab->LoadBitmaps(138, 139, 139, 138);
    m_btnRecordTab->SizeToContent();
    for (const Transport& t : transport) {
        auto* button = AddControl(t.id, new CBitmapButton(this));
        button->setText(QString::fromUtf8(t.caption));
        button->setGeometry(rect(86 + (t.id - 1002) * 23, 433, 23, 20));
        button->LoadBitmaps(t.normal, t.pressed);
        button->SizeToContent();
        button->setToolTip(QString::fromLatin1(t.tip));
        button->setAccessibleName(QString::fromLatin1(t.tip));
        *t.member = button;
    }

    m_btnOpenFile->SetEllipticRegion(150, true);
    m_btnOpenFile->LoadStateBitmaps(148, 150, 148, 150);
    m_btnSnap->SetEllipticRegion(145, true);
    m_btnSnap->LoadStateBitmaps(146, 145, 145, 145);
    m_btnPrint->SetEllipticRegion(141, true);
    m_btnPrint->LoadStateBitmaps(142, 141, 141, 141);
    m_btnConfig->SetEllipticRegion(149, true);
    m_btnConfig->LoadStateBitmaps(140, 149, 149, 142);

    // Side panels inside 1021: the record list shows, the information panel waits.
    m_dlgRecordList = new CRecordListDlg(m_stcPanels);
    m_dlgRecordInfo = new CRecordInfoDlg(m_stcPanels);
    m_dlgRecordList->show();
    m_dlgRecordInfo->hide();
    m_btnRecordTab->SetState(true);
    m_btnInfoTab->SetState(false);
    m_dlgRecordList->m_btnOpen->setEnabled(false);
    m_btnInfoTab->setEnabled(false);

    // The record list's columns and colours.
    QTreeWidget* list = m_dlgRecordList->m_listRecords;
    list->setColumnCount(3);
    list->setHeaderLabels(
        {QStringLiteral("NO."), QStringLiteral("FileName"), QStringLiteral("Event")});
    list->setColumnWidth(0, 60);
    list->setColumnWidth(1, 150);
    list->setColumnWidth(2, 70);
    QPalette listPalette = list->palette();
    listPalette.setColor(QPalette::Base, QColor(51, 65, 89));
    listPalette.setColor(QPalette::Window, QColor(51, 65, 89));
    listPalette.setColor(QPalette::Text, QColor(211, 211, 211));
    list->setPalette(listPalette);

    m_dlgRecordList->m_btnLoad->LoadStateBitmaps(157, 156, 156, 156);
    m_dlgRecordList->m_btnOpen->LoadStateBitmaps(159, 158, 158, 155);

    // Title buttons: each paints over the piece of skin 131 that lies under it.
    const struct {
        CSkinButton* button;
        uint shape, hover, normal, pressed, spare;
    } titleButtons[] = {
        {m_btnTitleMinimize, 192, 193, 192, 193, 192},
        {m_btnTitleClose, 194, 195, 194, 195, 194},
        {m_btnTitleAbout, 196, 191, 196, 191, 196},
    };
    for (const auto& t : titleButtons) {
        const QRect place = t.button->geometry();
        t.button->SetBackgroundPiece(131, place.left(), place.top(), place.left() + place.width(),
                                     place.top() + place.height());
        t.button->SetEllipticRegion(t.shape, true);
        t.button->SetMaskBitmap(197, true);
        t.button->LoadStateBitmaps(t.hover, t.normal, t.pressed, t.spare);
    }

    // Arial with a 16-pixel cell and a 6-pixel average width; without Arial itself, a face
    // with its metrics (scripts/install-deps brings Liberation Sans).
    QFont arial(QStringLiteral("Arial"));
    arial.setItalic(true);
    arial.setWeight(QFont::ExtraLight);
    arial.setStyleHint(QFont::SansSerif);
    m_fontArial = CellFont::Sized(arial, 16, 6);
    for (QLineEdit* edit : {m_dlgRecordInfo->m_editRecord, m_dlgRecordInfo->m_editEvent,
                            m_dlgRecordInfo->m_editResolution, m_editSpeed})
        edit->setFont(m_fontArial);

    m_sliderSeek->LoadChannelBitmaps(187, 188, false, COLOR_KEY_FROM_PIXEL, 0, 0);
    m_sliderSeek->SetRange(0, 1000, false);
    m_sliderSeek->SetFixedSplit(0.99, true);
    m_sliderSeek->LoadThumbBitmaps(189, 0, true, COLOR_KEY_FROM_PIXEL, 0, 0);
    m_sliderSeek->ShowFocusRect(false, false);
    m_sliderSeek->m_nInsetTop = 10;
    m_sliderSeek->setAccessibleName(QStringLiteral("Seek"));
    m_sliderSeek->hide();
    m_sliderVolume->LoadChannelBitmaps(163, 164, false, COLOR_KEY_FROM_PIXEL, 0, 0);
    m_sliderVolume->SetRange(0, 1000, false);
    m_sliderVolume->SetPos(500);
    m_sliderVolume->m_nInsetLeft = 28;
    m_sliderVolume->m_nInsetRight = 23;
    m_sliderVolume->setAccessibleName(QStringLiteral("Volume"));

    // The map page in the information panel, loaded after the window's first paint.
    m_browser = new CWebBrowser2(m_dlgRecordInfo->m_mapArea);
    m_browser->setGeometry(m_dlgRecordInfo->m_mapArea->rect());
    NavigateToMapPage(*m_browser);

    m_btnOpenFile->setToolTip(QStringLiteral("Open"));
    m_btnSnap->setToolTip(QStringLiteral("Snap"));
    m_btnPrint->setToolTip(QStringLiteral("Print"));
    m_btnConfig->setToolTip(QStringLiteral("Config"));
    for (CSkinButton* b : {m_btnOpenFile, m_btnSnap, m_btnPrint, m_btnConfig})
        b->setAccessibleName(b->toolTip());

    // Command routing, in one place.
    connect(m_btnRecordTab, &QAbstractButton::clicked, this, &CPlayerDlg::OnRecordTab);
    connect(m_btnInfoTab, &QAbstractButton::clicked, this, &CPlayerDlg::OnInformationTab);
    connect(m_btnHead, &QAbstractButton::clicked, this, &CPlayerDlg::OnHead);
    connect(m_btnFrameBack, &QAbstractButton::clicked, this, &CPlayerDlg::OnFrameBack);
    connect(m_btnBack, &QAbstractButton::clicked, this, &CPlayerDlg::OnBack);
    connect(m_btnStop, &QAbstractButton::clicked, this, &CPlayerDlg::OnStop);
    connect(m_btnPause, &QAbstractButton::clicked, this, &CPlayerDlg::OnPause);
    connect(m_btnPlay, &QAbstractButton::clicked, this, &CPlayerDlg::OnPlay);
    connect(m_btnForward, &QAbstractButton::clicked, this, &CPlayerDlg::OnForward);
    connect(m_btnFrameForward, &QAbstractButton::clicked, this, &CPlayerDlg::OnFrameForward);
    connect(m_btnEnd, &QAbstractButton::clicked, this, &CPlayerDlg::OnEnd);
    connect(m_btnOpenFile, &QAbstractButton::clicked, this, &CPlayerDlg::OnOpenFile);
    connect(m_btnSnap, &QAbstractButton::clicked, this, &CPlayerDlg::OnSnapshot);
    connect(m_btnPrint, &QAbstractButton::clicked, this, &CPlayerDlg::OnPrint);
    connect(m_btnConfig, &QAbstractButton::clicked, this, &CPlayerDlg::OnConfiguration);
    connect(m_btnTitleAbout, &QAbstractButton::clicked, this, &CPlayerDlg::OnAboutButton);
    connect(m_btnTitleMinimize, &QAbstractButton::clicked, this, &CPlayerDlg::OnMinimizeButton);
    connect(m_btnTitleClose, &QAbstractButton::clicked, this, &CPlayerDlg::OnCloseButton);
    connect(m_dlgRecordList, &CRecordListDlg::openRecordRequested, this, &CPlayerDlg::OnOpenRecord,
            Qt::DirectConnection);
    connect(m_dlgRecordInfo, &CRecordInfoDlg::openRecordRequested, this, &CPlayerDlg::OnOpenRecord,
            Qt::DirectConnection);

    // What happens to the open recording, for what plugs in beside the window; the panels get
    // it and their sibling handed in.
    m_session = new CPlayerSession(this);
    m_dlgRecordList->SetSession(m_session);
    m_dlgRecordInfo->SetSession(m_session);
    m_dlgRecordInfo->SetRecordList(m_dlgRecordList);
    connect(m_session, &CPlayerSession::ticksChanged, this, &CPlayerDlg::ShowMarks);
    connect(m_session, &CPlayerSession::sought, this, [this] {
        if (m_pPlayer)
            SetPlayLooks(m_pPlayer->InRunningState(), !m_pPlayer->InRunningState());
    });
}

void CPlayerDlg::SetSetUp(std::function<void(CPlayerDlg&)> setUp) {
    SetUpHook() = std::move(setUp);
}
