#include "PanelController.h"

#include "PanelGeometry.h"

namespace vexlor {

PanelController::PanelController(QObject* parent)
    : QObject(parent)
{
    m_pendingResize.setSingleShot(true);
    m_pendingResize.setInterval(panel::fitDelayMs);
    connect(&m_pendingResize, &QTimer::timeout, this, &PanelController::fitToContent);
}

void PanelController::attach(PanelSurface* panel)
{
    if (panel == m_panel)
        return;
    m_panel = panel;
    emit panelChanged();
}

double PanelController::sliver() const
{
    return panel::sliver;
}

std::optional<QRectF> PanelController::referenceArea() const
{
    if (!m_panel)
        return std::nullopt;
    if (auto area = m_panel->visibleAreaOfScreenHolding(m_panel->frame()))
        return area;
    return m_panel->mainScreenVisibleArea();
}

void PanelController::setTucked(bool tucked)
{
    if (tucked == m_tucked)
        return;
    m_tucked = tucked;
    emit isTuckedChanged();
}

void PanelController::toggleTuck()
{
    if (m_tucked)
        untuck();
    else
        tuck();
}

void PanelController::tuck()
{
    const auto area = referenceArea();
    if (!m_panel || !area)
        return;
    const QRectF frame = m_panel->frame();
    if (m_restoreFrame != frame) {
        m_restoreFrame = frame;
        emit restoreFrameChanged();
    }
    setTucked(true);
    m_panel->animateFrame(panel::tuckTarget(frame, *area));
}

void PanelController::untuck()
{
    if (!m_panel)
        return;
    setTucked(false);
    QRectF target = m_restoreFrame.value_or(m_panel->frame());
    if (const auto area = referenceArea())
        target = panel::untuckTarget(target, *area);
    m_panel->animateFrame(target);
}

void PanelController::contentSizeChanged()
{
    if (m_panel) {
        if (const auto fitting = m_panel->contentFittingSize()) {
            const QRectF frame = m_panel->frame();
            if (fitting->width() > frame.width() || fitting->height() > frame.height())
                fitToContent();
        }
    }
    m_pendingResize.start(); // restarting cancels the fit scheduled before
}

void PanelController::fitToContent()
{
    if (m_tucked || !m_panel)
        return;
    const auto fitting = m_panel->contentFittingSize();
    if (!fitting || !(fitting->width() > 0) || !(fitting->height() > 0))
        return;
    const QRectF frame = m_panel->frame();
    if (frame.size() != *fitting)
        m_panel->setFrame(panel::fittedKeepingTop(frame, *fitting));
    keepOnScreen();
}

void PanelController::keepOnScreen()
{
    const auto area = referenceArea();
    if (m_tucked || !m_panel || !area)
        return;
    const QRectF frame = m_panel->frame();
    const QRectF clamped = panel::keptOnScreen(frame, *area);
    if (clamped.topLeft() != frame.topLeft())
        m_panel->animateFrame(clamped);
}

QRectF firstPanelFrame(const PanelSurface& panel, const QSizeF& size, std::optional<QRectF> saved)
{
    if (saved)
        return *saved;
    const QRectF area = panel.mainScreenVisibleArea().value_or(QRectF(QPointF(0, 0), size));
    return panel::topRightPlacement(area, size);
}

std::optional<QRectF> startupOnScreenFrame(const PanelSurface& panel)
{
    const QRectF frame = panel.frame();
    auto area = panel.visibleAreaOfScreenHolding(frame);
    if (!area)
        area = panel.mainScreenVisibleArea();
    if (!area || panel::liesWithin(frame, *area))
        return std::nullopt;
    const auto main = panel.mainScreenVisibleArea();
    if (!main)
        return std::nullopt;
    return panel::topRightPlacement(*main, frame.size());
}

} // namespace vexlor
