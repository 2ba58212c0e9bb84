#pragma once
// An sRGB colour with components from 0 to 1 and an opacity, without QtGui.
// QML reads `name` ("#AARRGGBB", which a QML color accepts) or the four
// components (Qt.rgba(c.r, c.g, c.b, c.a)).

#include <QObject>
#include <QString>

namespace vexlor {

struct Rgba {
    Q_GADGET
    Q_PROPERTY(double r MEMBER r)
    Q_PROPERTY(double g MEMBER g)
    Q_PROPERTY(double b MEMBER b)
    Q_PROPERTY(double a MEMBER a)
    Q_PROPERTY(QString name READ name)

public:
    double r = 0;
    double g = 0;
    double b = 0;
    double a = 1;

    [[nodiscard]] static constexpr Rgba rgb(double r, double g, double b) { return Rgba{r, g, b, 1}; }
    [[nodiscard]] static constexpr Rgba white(double w) { return Rgba{w, w, w, 1}; }
    // "#AARRGGBB" with each component rounded to 0...255.
    [[nodiscard]] QString name() const;

    bool operator==(const Rgba&) const = default;
};

// The accent and key-background colours of a tile.
struct TilePalette {
    Rgba tint;
    Rgba tileBackground;
    bool operator==(const TilePalette&) const = default;
};

// Tiles without a figure (not installed, no data, placeholder).
[[nodiscard]] TilePalette neutralPalette();

} // namespace vexlor
