#pragma once
// What drawing the deck costs: the choice of Qt Quick's renderer and a frame
// counter for a window.
//
// With VEXLOR_FRAME_STATS=1 in the environment the counter also prints to
// standard error, once, when the first frame was shown, and then every second
// how many frames the second before drew:
//   vexlor-frames: first frame 412 ms
//   vexlor-frames: 0 fps, 37 in all

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>

class QQuickWindow;

namespace vexlor {

// Qt Quick's software scene graph repaints only the region that changed and
// needs no GL context: on machines without a GPU it costs a fraction of
// OpenGL through a software rasterizer, and the deck draws no shader effects.
// Chosen unless QT_QUICK_BACKEND (or QMLSCENE_DEVICE) or QSG_RHI_BACKEND names
// a renderer. Call before the first window is created.
void chooseRenderingPath();

class FrameStats : public QObject {
    Q_OBJECT

public:
    // `startedAt` is when the program started; the first frame is timed from
    // there.
    explicit FrameStats(QQuickWindow* window, QElapsedTimer startedAt = {}, QObject* parent = nullptr);

    [[nodiscard]] qint64 frames() const { return m_frames; }
    // Starts the per-second lines on standard error.
    void startPrinting();
    [[nodiscard]] static bool requestedByEnvironment();

signals:
    void frameDrawn();

private:
    void frameSwapped();

    QPointer<QQuickWindow> m_window;
    QElapsedTimer m_startedAt;
    QTimer m_printTimer;
    // Counted on the render thread when the render loop has one.
    std::atomic<qint64> m_frames = 0;
    qint64 m_printedFrames = 0;
    bool m_printing = false;
    std::atomic<bool> m_firstShown = false;
};

} // namespace vexlor
