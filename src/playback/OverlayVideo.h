// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/GstHandles.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>

class CFrameSlot;
class CVideoSurface;
class QBackingStore;
class QWidget;
class QWindow;

// The video shown by GStreamer's own X11 sink (xvimagesink, else ximagesink) straight into a
// native window laid over the video surface, where the picture goes: decoded frames then never
// pass through our scaler or the widgets' painting. The window sits where the picture fits in the
// surface, which paints the bands around it in the host's colour; it takes no mouse input and no
// focus, so clicks reach the host and keys the window, as on the surface alone.
//
// The frame slot still gets every frame the sink shows, at its native size and at the moment it
// is shown (for positions, steps, snapshots): the sink is a subclass of the X sink that reports
// each frame it puts on screen, in preroll too, with the frame as it entered the bin.
//
// Threads: made, laid out and released on the UI thread; the sink's streaming thread reaches it
// through the bin's probe and the sink's report only, between the pipeline's leaving NULL and
// Release.
class COverlayVideo : public QObject {
public:
    // Why the video cannot go to an X11 sink here, empty when it can: the user asked for our
    // own surface (DASHCARD_VIDEO_PATH=surface), the window system is not X11, the recording's
    // other cameras share the video area, or no X sink can open the display.
    static QString Unavailable(bool otherCameras);
    // The bin playbin plays into, feeding `slot`, its window a child of `surface`; null with
    // `why` set when it cannot be made.
    static std::shared_ptr<COverlayVideo> Make(CFrameSlot* slot, CVideoSurface* surface,
                                               QString* why);
    // Says the path taken on standard error when the program runs with --verbose, or when the
    // overlay was asked for (DASHCARD_VIDEO_PATH=overlay) and not taken.
    static void Report(const QString& path, bool overlayTaken);
    static void SetVerbose(bool verbose);

    ~COverlayVideo() override;
    COverlayVideo(const COverlayVideo&) = delete;
    COverlayVideo& operator=(const COverlayVideo&) = delete;

    GstElement* Bin() const { return m_bin.get(); }
    GstElement* XSink() const { return m_sink.get(); }
    // "X11 overlay (ximagesink) into window 0x…".
    QString Description() const;
    // Distinct frames the sink has put on screen.
    quint64 ShownFrames() const { return m_shown.load(); }
    // Once the pipeline is in NULL: no streaming thread reaches this any more.
    void Release();

    // Streaming thread: the sink has just shown `buffer`.
    void Shown(GstBuffer* buffer);
    // Streaming thread: `sample` is about to go through the scaler to the sink.
    void Entering(GstSample* sample);
    void EnsureWindow();
    // UI thread: the frame slot's newest frame painted in the window by us, for a frame the sink
    // never showed (the last picture, fetched for a seek past the picture's end) or showed at
    // another size.
    void ShowStill();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    COverlayVideo(CFrameSlot* slot, CVideoSurface* surface);
    void Place();   // the window where the picture fits in the surface
    void Refresh(); // the window was exposed or resized

    GstElementPtr m_bin;
    GstElementPtr m_sink;
    QString m_factory;
    bool m_scalesItself = false; // xvimagesink scales to its window; ximagesink does not
    CFrameSlot* m_slot;
    QPointer<QWidget> m_surface; // the video area (our surface); a QWidget while it goes
    QPointer<QWidget> m_container;
    QPointer<QWindow> m_window;
    std::unique_ptr<QBackingStore> m_still;
    std::atomic<quintptr> m_windowId{0};

    std::mutex m_mutex; // guards m_entering
    GstSamplePtr m_entering;
    std::atomic<quint64> m_shown{0};
    std::atomic<qint64> m_lastShownPts{-2};
};
