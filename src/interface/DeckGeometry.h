#pragma once
// The deck's fixed measures in points and the grid arithmetic built on them.

namespace vexlor::deck {

inline constexpr double keySize = 96;
inline constexpr double keySpacing = 16;
inline constexpr double infoBarHeight = 84;
inline constexpr double infoBarGap = 22;
inline constexpr double titleGap = 14;
inline constexpr double sidePadding = 34;
inline constexpr double topPadding = 32;
inline constexpr double bottomPadding = 18;
inline constexpr double frameRadius = 36;
inline constexpr double keyRadius = 18;
inline constexpr double appearStepSeconds = 0.06;

[[nodiscard]] constexpr double gridWidth(int columns)
{
    return columns * keySize + (columns - 1) * keySpacing;
}

[[nodiscard]] constexpr double gridHeight(int rows)
{
    return rows * keySize + (rows - 1) * keySpacing;
}

[[nodiscard]] constexpr int slotAt(int row, int column, int columns)
{
    return row * columns + column;
}

} // namespace vexlor::deck
