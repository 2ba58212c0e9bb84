#include "FrameStats.h"

#include <QQuickWindow>
#include <QSGRendererInterface>
#include <cstdio>

namespace vexlor {

void chooseRenderingPath()
{
    for (const char* variable : {"QT_QUICK_BACKEND", "QMLSCENE_DEVICE", "QSG_RHI_BACKEND"}) {
        if (!qEnvironmentVariableIsEmpty(variable))
            return;
    }
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

FrameStats::FrameStats(QQuickWindow* window, QElapsedTimer startedAt, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_startedAt(startedAt)
{
    if (!m_startedAt.isValid())
        m_startedAt.start();
    // Every frame the window renders, on any render loop, ends in a swap (a
    // flush of the backing store on the software renderer).
    connect(window, &QQuickWindow::frameSwapped, this, &FrameStats::frameSwapped, Qt::DirectConnection);
    m_printTimer.setInterval(1000);
    connect(&m_printTimer, &QTimer::timeout, this, [this] {
        const qint64 frames = m_frames;
        std::fprintf(stderr, "vexlor-frames: %lld fps, %lld in all\n", static_cast<long long>(frames - m_printedFrames),
                     static_cast<long long>(frames));
        m_printedFrames = frames;
    });
}

bool FrameStats::requestedByEnvironment()
{
    return qEnvironmentVariable("VEXLOR_FRAME_STATS") == QLatin1String("1");
}

void FrameStats::startPrinting()
{
    m_printing = true;
    if (m_firstShown && !m_printTimer.isActive())
        m_printTimer.start();
}

void FrameStats::frameSwapped()
{
    ++m_frames;
    if (!m_firstShown.exchange(true)) {
        if (m_printing) {
            std::fprintf(stderr, "vexlor-frames: first frame %lld ms\n", static_cast<long long>(m_startedAt.elapsed()));
            m_printedFrames = m_frames;
            QMetaObject::invokeMethod(&m_printTimer, qOverload<>(&QTimer::start), Qt::QueuedConnection);
        }
    }
    emit frameDrawn();
}

} // namespace vexlor
