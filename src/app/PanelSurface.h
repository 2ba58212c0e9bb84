#pragma once
// What the panel controller needs of the deck's window and its screens, so the
// arithmetic can run against a fake in tests. Rectangles are in Qt's global
// screen coordinates: x grows to the right, y grows downwards.

#include <QRectF>
#include <QSizeF>
#include <optional>

namespace vexlor {

class PanelSurface {
public:
    virtual ~PanelSurface() = default;

    [[nodiscard]] virtual QRectF frame() const = 0;
    // Moves and resizes at once, without animation.
    virtual void setFrame(const QRectF& frame) = 0;
    // Moves and resizes over the panel animation (0.38 s, eased).
    virtual void animateFrame(const QRectF& frame) = 0;
    // The size the deck wants; none while there is no content to measure.
    [[nodiscard]] virtual std::optional<QSizeF> contentFittingSize() const = 0;
    // The available area (without panels and docks) of the screen that holds
    // most of `frame`; none when the frame touches no screen.
    [[nodiscard]] virtual std::optional<QRectF> visibleAreaOfScreenHolding(const QRectF& frame) const = 0;
    // The available area of the primary screen; none without any screen.
    [[nodiscard]] virtual std::optional<QRectF> mainScreenVisibleArea() const = 0;
};

} // namespace vexlor
