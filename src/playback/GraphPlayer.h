// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/CameraLayout.h"
#include "playback/GstHandles.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>

class QObject;
class QWidget;
class CFrameSlot;
class CVideoSurface;
class CFrameTimes;
class COverlayVideo;

// Another camera of the same moment (a recorder's rear or interior camera), played with the
// recording on its time line.
struct CameraSource {
    QString path;
    QString label;            // "Rear"
    double offsetSeconds = 0; // where its file starts on the recording's time line
};

// Posted by a graph to the window registered with SetEventWindow.
constexpr int WM_USER = 0x0400;
constexpr int WM_GRAPHNOTIFY = WM_USER + 20;

// Plays one video file: a playbin pipeline whose video goes to our own surface inside a
// host widget. Every operation is called from the UI thread and answers true when it was
// done; none shows anything to the user. Opening, seeking and finding the frame before read
// the card, seconds on a slow one: they run that part on a worker thread while the UI thread is
// served (OpenWait), and nothing else may act on the engine or release it meanwhile
// (OpenWait::Busy; the destructor checks it).
//
// Threads: every member below is read and written on the UI thread only, but for what a
// wait's worker reads (the pipeline and its elements, which GStreamer guards itself; the frame
// slot and frame times, which guard themselves), while the UI thread does not touch them.
// GStreamer's streaming threads reach the engine only through m_frameSlot (the video sink's
// callbacks) and m_frameTimes (the decoders' probes).
class CGraphPlayer {
public:
    CGraphPlayer();
    virtual ~CGraphPlayer();
    CGraphPlayer(const CGraphPlayer&) = delete;
    CGraphPlayer& operator=(const CGraphPlayer&) = delete;

    virtual bool CreateGraph();
    virtual void ReleaseGraph();
    // Adopts a pipeline made elsewhere (takes its own reference); null empties the engine.
    virtual bool AttachGraph(GstElement* graph);

    bool OpenMediaFile(const QString& path);
    bool AttachVideoWindow(QWidget* host);
    bool SetEventWindow(QObject* window);

    bool StartPlayback();
    bool PausePlayback();
    bool StopPlayback();
    bool InRunningState();
    bool InPausedState();
    bool InStoppedState();

    bool GetPositionSeconds(double& seconds);
    bool GetDurationSeconds(double& seconds);
    bool SeekToSeconds(double seconds);
    bool SetVolumeLevel(int32_t level);
    bool StepOneFrame();
    // Where to seek to show the frame before the one on screen (or the one a seek in flight
    // will show); `position` - 0.05 when that frame is not known.
    double FrameBackTarget(double position);
    bool GetNativeVideoSize(int32_t& width, int32_t& height);
    bool SaveFrameBitmap(const QString& path);

    // The picture now on screen as a bitmap block (info header + bottom-up pixels);
    // empty when no frame has been shown.
    QByteArray GetCurrentImage() const;

    // Media time is counted in 100 ns units; these are the conversions the engine uses.
    static int64_t MediaTimeFromSeconds(double seconds);
    static double SecondsFromMediaTime(int64_t units);
    // Hundredths of a decibel (0 full, -10000 silence) to a linear factor.
    static double LinearVolumeFromLevel(int32_t level);

    // Cookie of this graph's entry in the table of running graphs; 0 when none.
    uint32_t RotCookie() const { return m_dwRotRegister; }
    // Graphs now registered in this process, and the name of one entry.
    static int LiveGraphCount();
    static QString RotEntryName(uint32_t cookie);

    // For tests and benchmarks: the surface showing this engine's video, and the frames
    // it has been given so far.
    CVideoSurface* VideoSurface() const;
    quint64 FramesDelivered() const;
    quint64 FramesDecoded() const; // frames handed to the video decoder
    // Frames delivered but never on screen: replaced before our surface painted them, or
    // dropped by the X sink; and why.
    quint64 FramesNotShown() const;
    QString FramesNotShownReason() const;
    // How the video reaches the screen, chosen when the first file is opened: "X11 overlay
    // (ximagesink) into window 0x…" or "own surface (appsink): why"; empty before.
    QString VideoPath() const { return m_videoPath; }
    // The stream time of the frame on screen in nanoseconds, -1 before the first one.
    qint64 ShownFrameTime() const;
    // Where the frame on screen ends in the stream (nanoseconds), -1 when unknown.
    qint64 ShownFrameEnd();
    // The last position asked of SeekToSeconds, as asked, and the volume now applied.
    double LastSeekRequest() const { return m_lastSeekRequest; }
    double CurrentLinearVolume() const;

    // Other cameras of the moment, added before OpenMediaFile: each is decoded in the same
    // pipeline, on its clock, and every seek, step and frame back moves them all. Camera 0 is
    // the recording's own; without others, nothing here changes how the engine works.
    bool AddCamera(const CameraSource& camera);
    int CameraCount() const;
    QString CameraLabel(int camera) const;
    void SetOwnCameraLabel(const QString& label) { m_ownCameraLabel = label; }
    double CameraOffset(int camera) const; // seconds; 0 for camera 0
    CFrameSlot* CameraSlot(int camera) const;
    CVideoSurface* CameraSurface(int camera) const;
    // How the cameras share the video area; laid out again at once.
    void SetArrangement(const CameraLayout::Arrangement& arrangement);
    CameraLayout::Arrangement Arrangement() const;
    // Each camera's area in the host, in camera order.
    QList<QRect> CameraAreas() const;
    // A camera's frame on screen at its native size (null when none), and the pictures as shown,
    // composed at the main camera's native size (side by side: each at that height).
    QImage CameraImage(int camera) const;
    QImage ComposedImage() const;

private:
    struct Cameras;
    void ReleaseCameras();
    void AttachCameras(QWidget* host);
    bool AlignCameras(); // after opening: cameras that start elsewhere take their place
    bool StepAllCameras();
    void SeekCameras(gint64 target, guint32 seqnum);
    // The recording's length (its longest stream); the other cameras' files do not lengthen it.
    bool QueryDuration(gint64& ns) const;
    void LayOutCameras();
    // After a seek past the picture's end (the sound running on), its last frame.
    void ShowLastPicture();

    // Counts this engine's own waits (OpenWait) while they last: the engine must outlive them.
    struct OwnWait {
        explicit OwnWait(CGraphPlayer& e) : engine(e) { ++engine.m_waits; }
        ~OwnWait() { --engine.m_waits; }
        OwnWait(const OwnWait&) = delete;
        OwnWait& operator=(const OwnWait&) = delete;
        CGraphPlayer& engine;
    };

    void ReleaseOwnGraph();
    // Before the first open: the video goes to an X11 sink's own window where it can (no other
    // cameras, X11, a sink that opens the display), else stays with our appsink and surface.
    void ChooseVideoPath();
    bool AcquireControlInterfaces();
    void RegisterInRot();
    void RevokeFromRot();
    bool QueryState(GstState wanted);
    void DrainBus();
    bool WaitForPreroll(int timeoutMs);
    bool SinkHolds(GstEventType type) const; // a sticky event on the video sink's input
    static bool SinkHolds(GstElement* sink, GstEventType type);
    GstElementPtr Source() const;    // the element reading the file, if any
    GstElementPtr AudioSink() const; // the sound's sink, if any

    // The roles a media graph plays, each held as its own reference so that an operation
    // whose piece is missing answers false, as with a graph that lacks an interface. Set and
    // dropped on the UI thread; the elements themselves are GStreamer's, thread-safe.
    GstElementPtr m_pipeline;        // the graph itself (playbin)
    GstElementPtr m_mediaControl;    // run, pause, stop, state
    GstBusPtr m_mediaEvent;          // the graph's messages
    GstElementPtr m_basicVideo;      // video sink: native size, current image
    GstElementPtr m_basicAudio;      // stream volume
    QPointer<QWidget> m_videoWindow; // our CVideoSurface
    GstElementPtr m_mediaSeeking;    // position, duration, seeking
    GstElementPtr m_mediaPosition;   // held for the graph's lifetime, no other use
    GstElementPtr m_frameStep;       // video sink receiving step events
    uint32_t m_dwRotRegister = 0;

    std::unique_ptr<CFrameSlot> m_frameSlot;   // guards itself; the video sink writes it
    std::shared_ptr<CFrameTimes> m_frameTimes; // guards itself; the decoders' probes write it
    // UI thread only, from here on. A seek's target stands for the position until the video
    // shows a frame of the seek.
    bool m_seekPending = false;
    gint64 m_seekTargetNs = 0;
    quint64 m_framesAtSeek = 0;
    QPointer<QObject> m_eventWindow;
    bool m_endOfStream = false;
    bool m_failed = false;
    double m_lastSeekRequest = 0;
    guint32 m_seekSeqnum = GST_SEQNUM_INVALID;
    guint32 m_lastPictureSeek = GST_SEQNUM_INVALID; // the seek ShowLastPicture served
    int m_waits = 0;                                // this engine's own waits under way (OwnWait)
    std::shared_ptr<Cameras> m_cameras;             // the other cameras; null with one
    QString m_ownCameraLabel;
    std::shared_ptr<COverlayVideo> m_overlay; // null on the appsink path
    QString m_videoPath;
};
