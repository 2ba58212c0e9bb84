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

TilePalette providerPalette(QStringView providerID)
{
    if (providerID == u"claude")
        return {Rgba::rgb(1.00, 0.62, 0.26), Rgba::rgb(0.25, 0.13, 0.06)};
    if (providerID == u"codex")
        return {Rgba::rgb(0.35, 0.78, 0.98), Rgba::rgb(0.06, 0.15, 0.25)};
    if (providerID == u"kimi")
        return {Rgba::rgb(0.95, 0.35, 0.65), Rgba::rgb(0.28, 0.08, 0.16)};
    return {Rgba::rgb(0.72, 0.60, 0.99), Rgba::rgb(0.15, 0.11, 0.27)};
}

TilePalette neutralPalette()
{
    return {Rgba::white(0.62), Rgba::rgb(0.15, 0.16, 0.19)};
}

} // namespace vexlor
