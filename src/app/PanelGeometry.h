#pragma once
// The placement rules of the deck panel as pure functions over rectangles in
// Qt's screen coordinates (y grows downwards, so "top" is the smaller y).

#include <QRectF>
#include <QSizeF>

namespace vexlor::panel {

inline constexpr double sliver = 66;     // visible width of a tucked panel
// How far the panel may reach beyond the work area when kept on screen or
// brought back: nowhere, so the gear, the footer and every key stay reachable
// (a window manager's panels and trays are outside the work area).
inline constexpr double overhang = 0;
inline constexpr double cornerMargin = 8; // first placement's distance from the edges
inline constexpr int fitDelayMs = 500;
inline constexpr int animationMs = 380;

// Raises to `low`, then lowers to `high` (so `low` loses when they cross).
[[nodiscard]] double clampLowFirst(double value, double low, double high);

// Top-right corner of `area`, `cornerMargin` in from the right and top edges.
[[nodiscard]] QRectF topRightPlacement(const QRectF& area, const QSizeF& size);

// Slides `frame` to the nearer side edge of `area` leaving `sliver` visible;
// a frame centred exactly on the area goes right.
[[nodiscard]] QRectF tuckTarget(const QRectF& frame, const QRectF& area);

// Horizontal clamp used when bringing a tucked panel back.
[[nodiscard]] QRectF untuckTarget(const QRectF& target, const QRectF& area);

// Both axes clamped to the area widened by `overhang` on every side; a frame
// larger than the area keeps its top-left corner inside it.
[[nodiscard]] QRectF keptOnScreen(const QRectF& frame, const QRectF& area);

// `frame` resized to `size` with its top edge and left edge fixed.
[[nodiscard]] QRectF fittedKeepingTop(const QRectF& frame, const QSizeF& size);

// True when `frame` lies entirely inside `area`.
[[nodiscard]] bool liesWithin(const QRectF& frame, const QRectF& area);

} // namespace vexlor::panel
