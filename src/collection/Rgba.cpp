#include "Rgba.h"

#include <algorithm>
#include <cmath>

namespace vexlor {

namespace {

int byte(double component)
{
    return static_cast<int>(std::lround(std::clamp(component, 0.0, 1.0) * 255.0));
}

} // namespace

QString Rgba::name() const
{
    return QString::asprintf("#%02x%02x%02x%02x", byte(a), byte(r), byte(g), byte(b));
}

TilePalette neutralPalette()
{
    return {Rgba::white(0.62), Rgba::rgb(0.15, 0.16, 0.19)};
}

} // namespace vexlor
