// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QImage>
#include <QMap>
#include <QTimer>
#include <functional>
#include <memory>

class CBitmapButton;
class CGraphPlayer;
class CPlayerSession;
class CRecordInfoDlg;
class CRecordListDlg;
class CSkinButton;
class CSkinSlider;
class CWebBrowser2;
class QLineEdit;
class QLabel;
class QMenu;

// The record panels' request to open the recording `CurrentRecord` names (their
// openRecordRequested signal, connected directly, as a sent message is).
constexpr int WM_OPENRECORD = 0x0400 + 100;
constexpr int PLAY_TIMER_ID = 1;
constexpr int IDM_ABOUTBOX = 0x0010;

// The chart box: keeps the picture the timer drew off screen and shows it inside its
// one-pixel black frame.
class CChartBox : public QWidget {
    Q_OBJECT
public:
    explicit CChartBox(QWidget* parent = nullptr);
    // The picture as last drawn (same size as the box), shown shifted by one pixel.
    void SetPicture(QImage picture);
    const QImage& Picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
};

// The player window: video, chart, transport, sliders, displays and the two side panels.
class CPlayerDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPlayerDlg(QWidget* parent = nullptr);
    ~CPlayerDlg() override;

    // Engines are made through this, so tests can hand in one that fails to build a graph.
    using EngineFactory = std::function<std::unique_ptr<CGraphPlayer>()>;
    void SetEngineFactory(EngineFactory factory) { m_engineFactory = std::move(factory); }

    // A control of the window by its id (for the tests and the panels' routing).
    QWidget* GetDlgItem(int id) const { return m_controls.value(id); }

    // Commands and messages.
    void OnRecordTab();
    void OnInformationTab();
    void OnOpenFile();
    // What the open-file command does with the files chosen (also used for a file given on
    // the command line that the record list would not list).
    void ListOpenedFiles(const QStringList& files);
    bool OnOpenRecord();
    bool OpenAndPlay();
    void ClosePlayer();
    void OnHead();
    void OnFrameBack();
    void OnBack();
    void OnStop();
    void OnPause();
    void OnPlay();
    void OnForward();
    void OnFrameForward();
    void OnEnd();
    void OnTimer();
    // The seek bar's ticks: what the session's features mark on the open recording.
    void ShowMarks();
    void OnSnapshot();
    void OnPrint();
    void OnConfiguration();
    void OnAboutButton();
    void OnMinimizeButton();
    void OnCloseButton();
    void OnSysCommand(int id);
    // The window's system menu (it has no caption to carry one): minimise, close, about.
    QMenu* CreateSystemMenu(QWidget* parent);

    // The chart of the trip log under the video, drawn off screen on every tick.
    void DrawTripChart(QImage& memory);
    // Moves the map page's vehicle to a position (only while the video runs).
    void UpdateMap(double latitude, double longitude);

    // What happens to the open recording, and the hooks features attach to.
    CPlayerSession* Session() const { return m_session; }
    // Run on every window once its controls are made (start-up wires the features there).
    static void SetSetUp(std::function<void(CPlayerDlg&)> setUp);

    // State the tests look at.
    CGraphPlayer* Player() const { return m_pPlayer.get(); }
    bool TimerRunning() const { return m_timer.isActive(); }
    QTimer* PlayTimer() { return &m_timer; }
    // "hh:mm:ss/hh:mm:ss" of a position and a duration, hours not wrapped.
    static QString FormatTime(double position, double duration);
    static int LastSeekPos();
    static void ResetLastSeekPos(int value = 0);

    CSkinButton* m_btnTitleAbout = nullptr;
    CSkinButton* m_btnTitleClose = nullptr;
    CSkinButton* m_btnTitleMinimize = nullptr;
    CChartBox* m_stcChart = nullptr;
    CSkinSlider* m_sliderSeek = nullptr;
    QWidget* m_stcVideo = nullptr;
    CSkinSlider* m_sliderVolume = nullptr;
    CSkinButton* m_btnConfig = nullptr;
    CSkinButton* m_btnOpenFile = nullptr;
    CSkinButton* m_btnSnap = nullptr;
    CSkinButton* m_btnPrint = nullptr;
    CBitmapButton* m_btnInfoTab = nullptr;
    CBitmapButton* m_btnRecordTab = nullptr;
    CRecordListDlg* m_dlgRecordList = nullptr;
    CRecordInfoDlg* m_dlgRecordInfo = nullptr;
    CBitmapButton* m_btnHead = nullptr;
    CBitmapButton* m_btnFrameBack = nullptr;
    CBitmapButton* m_btnBack = nullptr;
    CBitmapButton* m_btnStop = nullptr;
    CBitmapButton* m_btnPause = nullptr;
    CBitmapButton* m_btnPlay = nullptr;
    CBitmapButton* m_btnFrameForward = nullptr;
    CBitmapButton* m_btnForward = nullptr;
    CBitmapButton* m_btnEnd = nullptr;
    QLineEdit* m_editTime = nullptr;   // 1035
    QLineEdit* m_editSpeed = nullptr;  // 1069
    QWidget* m_stcPanels = nullptr;    // 1021
    CWebBrowser2* m_browser = nullptr; // the map page, in the information panel

    QString m_strTime;
    double m_dSpeed = 0;
    QRect m_rcChart;
    QFont m_fontArial;
    std::unique_ptr<CGraphPlayer> m_pPlayer;
    QString m_strOpenPath;

    // Closing waits for an engine's wait to end (OpenWait::WhenIdle).
    void done(int result) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnInitDialog();
    void RunSetUp();
    template <typename T> T* AddControl(int id, T* control);
    void SetPlayLooks(bool playPressed, bool pausePressed);
    double PositionOr(double fallback);
    double DurationOr(double fallback);

    QMap<int, QWidget*> m_controls;
    CPlayerSession* m_session = nullptr; // a child of the window
    QTimer m_timer;
    EngineFactory m_engineFactory;
    QPoint m_dragOffset;
    bool m_dragging = false;
};
