#include "PanelGeometry.h"

#include <algorithm>

namespace vexlor::panel {

double clampLowFirst(double value, double low, double high)
{
    return std::min(std::max(value, low), high);
}

QRectF topRightPlacement(const QRectF& area, const QSizeF& size)
{
    return {area.right() - size.width() - cornerMargin, area.top() + cornerMargin, size.width(), size.height()};
}

QRectF tuckTarget(const QRectF& frame, const QRectF& area)
{
    const double x = frame.center().x() >= area.center().x() ? area.right() - sliver
                                                              : area.left() - frame.width() + sliver;
    return {x, frame.y(), frame.width(), frame.height()};
}

QRectF untuckTarget(const QRectF& target, const QRectF& area)
{
    const double x = clampLowFirst(target.x(), area.left() - overhang, area.right() - target.width() + overhang);
    return {x, target.y(), target.width(), target.height()};
}

QRectF keptOnScreen(const QRectF& frame, const QRectF& area)
{
    const double x = std::max(std::min(frame.x(), area.right() - frame.width() + overhang), area.left() - overhang);
    // The top edge may rise at most `overhang` above the area and the bottom
    // edge sink at most `overhang` below it. With y growing downwards the
    // bottom limit is applied first, so that a panel too tall for both keeps
    // its top edge reachable.
    const double y = std::max(std::min(frame.y(), area.bottom() - frame.height() + overhang), area.top() - overhang);
    return {x, y, frame.width(), frame.height()};
}

QRectF fittedKeepingTop(const QRectF& frame, const QSizeF& size)
{
    return {frame.x(), frame.y(), size.width(), size.height()};
}

bool liesWithin(const QRectF& frame, const QRectF& area)
{
    return frame.left() >= area.left() && frame.top() >= area.top() && frame.right() <= area.right()
        && frame.bottom() <= area.bottom();
}

} // namespace vexlor::panel
