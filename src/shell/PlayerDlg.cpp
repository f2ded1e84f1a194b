// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/PlayerDlg.h"
#include "ui/Truncate.h"

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

// The seek slider position the window itself last set or acted on; lives for the program.
int s_nLastSeekPos = 0;

constexpr int kTimerPeriodMs = 150;

QString ClockText(double seconds, const char* format) {
    const int s = TruncToInt(seconds);
    return QString::asprintf(format, s / 60 / 60, (s / 60) % 60, s % 60);
}

} // namespace

CChartBox::CChartBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CChartBox::SetPicture(QImage picture) {
    m_picture = std::move(picture);
    update();
}

void CChartBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(8, 20, 44));
    if (!m_picture.isNull())
        painter.drawImage(QPoint(1, 1), m_picture, QRect(0, 0, width() - 2, height() - 2));
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

QString CPlayerDlg::FormatTime(double position, double duration) {
    return ClockText(position, "%02d:%02d:%02d/") + ClockText(duration, "%02d:%02d:%02d");
}

int CPlayerDlg::LastSeekPos() {
    return s_nLastSeekPos;
}
void CPlayerDlg::ResetLastSeekPos(int value) {
    s_nLastSeekPos = value;
}

CPlayerDlg::CPlayerDlg(QWidget* parent) : QDialog(parent) {
    EnsureResources();
    m_engineFactory = [] { return std::make_unique<CGraphPlayer>(); };
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kTimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &CPlayerDlg::OnTimer);
    OnInitDialog();
    RunSetUp();
}

CPlayerDlg::~CPlayerDlg() {
    ClosePlayer();
}

void CPlayerDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Skin::PaintBackground(painter, this, 202);
}

void CPlayerDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    setMask(Skin::RoundedWindowRegion(size(), 40, 40));
}

void CPlayerDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QDialog::mousePressEvent(event);
    // Pressing on the window's own background drags the window. Presses that a control,
    // a panel or the video area left unhandled arrive here too: they are not drag handles.
    // A click on the video (or the background) takes the keys back from a focused control,
    // such as the record list, to the window.
    if (QWidget* child = childAt(event->position().toPoint())) {
        if (child == m_stcVideo || m_stcVideo->isAncestorOf(child))
            setFocus(Qt::MouseFocusReason);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CPlayerDlg::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging)
        move(event->globalPosition().toPoint() - m_dragOffset);
}

void CPlayerDlg::mouseReleaseEvent(QMouseEvent*) {
    m_dragging = false;
}

QMenu* CPlayerDlg::CreateSystemMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->addAction(QStringLiteral("最小化(&N)"), this, &CPlayerDlg::OnMinimizeButton);
    menu->addAction(QStringLiteral("关闭(&C)"), this, &CPlayerDlg::OnCloseButton);
    menu->addSeparator();
    menu->addAction(QStringLiteral("关于 player(&A)..."), this,
                    [this] { OnSysCommand(IDM_ABOUTBOX); });
    return menu;
}

void CPlayerDlg::contextMenuEvent(QContextMenuEvent* event) {
    // The window has no caption: its system menu opens on the background.
    std::unique_ptr<QMenu> menu(CreateSystemMenu(nullptr));
    menu->exec(event->globalPos());
}

void CPlayerDlg::keyPressEvent(QKeyEvent* event) {
    // Enter must not fire whichever button happens to be the default.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}

void CPlayerDlg::OnSysCommand(int id) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX)
        OnAboutButton();
}

void CPlayerDlg::OnSnapshot() {
    FrameCapture::Snapshot(this, m_pPlayer.get(), m_pPlayer ? CurrentRecord.fileName : QString());
}

void CPlayerDlg::OnPrint() {
    FrameCapture::Print(
        this, m_pPlayer.get(), [this] { SetPlayLooks(false, true); },
        FrameCapture::DefaultPdfPath(m_pPlayer ? CurrentRecord.fileName : QString()),
        m_pPlayer ? CurrentRecord.fileName : QString());
}

void CPlayerDlg::OnConfiguration() {
    RunConfiguration(this);
}

void CPlayerDlg::OnAboutButton() {
    CAboutDlg about(this);
    Prompts::current().runModal(about);
}

void CPlayerDlg::OnMinimizeButton() {
    showMinimized();
}

void CPlayerDlg::OnCloseButton() {
    reject();
}

void CPlayerDlg::done(int result) {
    // The window closes (and the program ends) once an engine's wait is over.
    if (OpenWait::Busy()) {
        OpenWait::WhenIdle([this, result] { done(result); });
        return;
    }
    QDialog::done(result);
}

void CPlayerDlg::OnRecordTab() {
    m_dlgRecordList->show();
    m_dlgRecordInfo->hide();
    m_btnRecordTab->SetState(true);
    m_btnInfoTab->SetState(false);
}

void CPlayerDlg::OnInformationTab() {
    m_dlgRecordList->hide();
    m_dlgRecordInfo->show();
    m_btnRecordTab->SetState(false);
    m_btnInfoTab->SetState(true);
}

void CPlayerDlg::SetPlayLooks(bool playPressed, bool pausePressed) {
    m_btnPlay->SetState(playPressed);
    m_btnPause->SetState(pausePressed);
}

double CPlayerDlg::PositionOr(double fallback) {
    double t = fallback;
    m_pPlayer->GetPositionSeconds(t);
    return t;
}

double CPlayerDlg::DurationOr(double fallback) {
    double d = fallback;
    m_pPlayer->GetDurationSeconds(d);
    return d;
}

void CPlayerDlg::OnOpenFile() {
    const QStringList files =
        Prompts::current().chooseOpenFiles(this, QStringLiteral("asf File (*.asf)"), true);
    if (files.isEmpty())
        return;
    ListOpenedFiles(files);
}

void CPlayerDlg::ListOpenedFiles(const QStringList& files) {
    m_dlgRecordList->DeleteAllItems();
    CurrentRecord.listCount = 0;
    for (const QString& path : files) {
        m_dlgRecordList->InsertRow(CurrentRecord.listCount,
                                   QString::asprintf("  %.4d", CurrentRecord.listCount + 1),
                                   QFileInfo(path).fileName());
        ++CurrentRecord.listCount;
    }
    // The listed names are found in the folder they were chosen from.
    QString folder = QFileInfo(files.first()).absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    CurrentRecord.folder = folder;
    update();
    OnRecordTab();
}

bool CPlayerDlg::OnOpenRecord() {
    m_strOpenPath = CurrentRecord.folder + CurrentRecord.fileName;
    return OpenAndPlay();
}

bool CPlayerDlg::OpenAndPlay() {
    // Asked for while an engine waits (from a timer or a posted event): done once it is over.
    if (OpenWait::Busy()) {
        OpenWait::WhenIdle([this, path = m_strOpenPath] {
            m_strOpenPath = path;
            OpenAndPlay();
        });
        return true;
    }
    ClosePlayer();
    m_sliderSeek->SetMarks({});
    m_pPlayer = m_engineFactory();
    if (!m_pPlayer->CreateGraph())
        return false;
    // The open serves timers while it waits for the first frame; the play timer must not
    // act on an engine that is only half open (it is started again below).
    m_timer.stop();
    m_session->Opening(m_pPlayer.get(), m_strOpenPath);
    m_pPlayer->OpenMediaFile(m_strOpenPath);
    m_pPlayer->AttachVideoWindow(m_stcVideo);
    m_pPlayer->SetEventWindow(this);
    m_pPlayer->StartPlayback();

    // Hiding the panels would hand the focus to the window's first button, where Space then
    // presses it: it goes back where it was (Next, say), else to the window itself.
    const QPointer<QWidget> focused = QApplication::focusWidget();
    m_dlgRecordList->hide();
    m_dlgRecordInfo->hide();
    m_dlgRecordInfo->show();
    m_btnInfoTab->setEnabled(true);
    m_sliderSeek->show();
    m_stcVideo->show();
    m_stcChart->show();
    m_btnRecordTab->SetState(false);
    m_btnInfoTab->SetState(true);
    SetPlayLooks(true, false);

    CurrentRecord.fileName = m_strOpenPath;
    int32_t width = 0, height = 0;
    m_pPlayer->GetNativeVideoSize(width, height);
    CurrentRecord.videoWidth = uint32_t(width);
    CurrentRecord.videoHeight = uint32_t(height);
    TripLog.reloadPending = true;
    m_session->Opened(m_pPlayer.get(), m_strOpenPath);
    m_dlgRecordInfo->UpdateFromCurrentRecord();
    if (focused && focused->window() == this && focused->isVisible() && focused->isEnabled())
        focused->setFocus();
    else if (isActiveWindow())
        setFocus();
    m_timer.start();
    return true;
}

void CPlayerDlg::ClosePlayer() {
    if (!m_pPlayer)
        return;
    if (OpenWait::Busy()) {
        OpenWait::WhenIdle([this] { ClosePlayer(); });
        return;
    }
    m_session->Closed();
    m_pPlayer->StopPlayback();
    m_pPlayer->SetEventWindow(nullptr);
    m_pPlayer.reset();
}

void CPlayerDlg::OnHead() {
    if (!m_pPlayer)
        return;
    m_pPlayer->SeekToSeconds(0.0);
    m_pPlayer->PausePlayback();
    SetPlayLooks(false, true);
}

void CPlayerDlg::OnFrameBack() {
    if (!m_pPlayer)
        return;
    m_pPlayer->SeekToSeconds(m_pPlayer->FrameBackTarget(PositionOr(1.0)));
    m_pPlayer->PausePlayback();
    SetPlayLooks(false, true);
}

void CPlayerDlg::OnBack() {
    if (!m_pPlayer)
        return;
    m_pPlayer->SeekToSeconds(PositionOr(1.0) - 1.0);
    m_pPlayer->PausePlayback();
    SetPlayLooks(false, true);
}

void CPlayerDlg::OnStop() {
    if (!m_pPlayer)
        return;
    if (OpenWait::Busy()) {
        OpenWait::WhenIdle([this] { OnStop(); });
        return;
    }
    ClosePlayer();
    m_timer.stop();
    m_sliderSeek->hide();
    m_stcVideo->hide();
    m_stcChart->hide();
    OnRecordTab();
    SetPlayLooks(false, false);
}

void CPlayerDlg::OnPause() {
    if (!m_pPlayer)
        return;
    m_pPlayer->PausePlayback();
    SetPlayLooks(false, true);
}

void CPlayerDlg::OnPlay() {
    if (!m_pPlayer)
        return;
    m_pPlayer->StartPlayback();
    SetPlayLooks(true, false);
}

void CPlayerDlg::OnForward() {
    if (!m_pPlayer)
        return;
    m_pPlayer->SeekToSeconds(PositionOr(1.0) + 1.0);
    m_pPlayer->PausePlayback();
    SetPlayLooks(false, true);
}

void CPlayerDlg::OnFrameForward() {
    if (!m_pPlayer)
        return;
    if (m_pPlayer->InRunningState())
        m_pPlayer->PausePlayback();
    m_pPlayer->StepOneFrame();
    SetPlayLooks(false, true);
}

void CPlayerDlg::OnEnd() {
    if (!m_pPlayer)
        return;
    m_pPlayer->SeekToSeconds(DurationOr(1.0));
    m_pPlayer->PausePlayback();
    SetPlayLooks(false, true);
}

void CPlayerDlg::ShowMarks() {
    m_sliderSeek->SetMarks(m_session->SeekBarTicks());
}

void CPlayerDlg::OnTimer() {
    // An engine that waits is in the middle of an operation; the next tick catches up.
    if (!m_pPlayer || OpenWait::Busy())
        return;

    // The trip is read on the first tick after an open (and tried again while it fails).
    m_session->Ticked();

    // 1. The chart, drawn off screen over what the box showed and shown in one copy.
    m_rcChart = QRect(0, 0, m_stcChart->width(), m_stcChart->height());
    QImage memory = m_stcChart->Picture();
    if (memory.size() != m_rcChart.size()) {
        memory = QImage(m_rcChart.size(), QImage::Format_RGB32);
        memory.fill(Qt::black);
    }
    DrawTripChart(memory);
    m_stcChart->SetPicture(std::move(memory));

    // 2. Volume, on every tick.
    m_pPlayer->SetVolumeLevel(m_sliderVolume->GetPos() - 1000);

    // 3. The user moved the seek slider since the last tick: seek there.
    const int p = m_sliderSeek->GetPos();
    if (p != s_nLastSeekPos) {
        s_nLastSeekPos = p;
        const double d = DurationOr(1.0);
        m_pPlayer->SeekToSeconds(double(p) * d * 0.001);
        if (m_pPlayer->InRunningState())
            SetPlayLooks(true, false);
        return;
    }

    // 4. Otherwise the display and the slider follow the video.
    const double t = PositionOr(0.0);
    const double d = DurationOr(1.0);
    m_strTime = FormatTime(t, d);
    if (m_editTime->text() != m_strTime)
        m_editTime->setText(m_strTime);
    if (t == d) {
        // The end reached while playing: a feature may go on from here (play through).
        const bool wasPlaying = m_btnPlay->GetState();
        SetPlayLooks(false, true);
        if (wasPlaying && m_session->EndReached())
            return;
    }
    const int f = TruncToInt(t * 1000.0 / d);
    if (f != m_sliderSeek->GetPos()) {
        m_sliderSeek->SetPos(f);
        s_nLastSeekPos = f;
    }
}

void CPlayerDlg::DrawTripChart(QImage& memory) {
    QPainter dc(&memory);
    // The log was read when the recording opened (the session's trip), never while painting.
    ::DrawLoadedTripChart(
        dc, m_rcChart, m_sliderSeek->GetPos(), m_pPlayer && m_pPlayer->InRunningState(),
        [this](const QString& speed) {
            if (m_editSpeed->text() != speed)
                m_editSpeed->setText(speed);
        },
        [this](double latitude, double longitude) { UpdateMap(latitude, longitude); });
}

void CPlayerDlg::UpdateMap(double latitude, double longitude) {
    // The chart's values keep the recorder's conversion; the map places the vehicle where the
    // same record says it really was.
    const int k = TripChartSample(m_sliderSeek->GetPos(), TripLog.sampleCount);
    const TripSample* sample = m_session->Trip().SampleOfSlot(k);
    std::optional<std::pair<double, double>> fix;
    if (sample && sample->HasFix())
        fix = std::make_pair(sample->latitude, sample->longitude);
    UpdateMapFix(latitude, longitude, fix);
}
