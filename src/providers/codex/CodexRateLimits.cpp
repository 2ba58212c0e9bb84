#include "CodexRateLimits.h"

#include <cmath>

namespace vexlor {

namespace {

// Exact for any integral count below 2^63 minutes; beyond that the count is
// handled as a double, which is still an integer there.
QString labelForWholeMinutes(double minutes)
{
    struct Unit {
        double minutes;
        char suffix;
    };
    static constexpr Unit units[] = {{10080, 'w'}, {1440, 'd'}, {60, 'h'}, {1, 'm'}};
    const bool fitsInteger = std::fabs(minutes) < 9.2e18;
    for (const Unit& unit : units) {
        if (fitsInteger) {
            const auto m = static_cast<qint64>(minutes);
            const auto per = static_cast<qint64>(unit.minutes);
            if (m % per == 0)
                return QString::number(m / per) + QLatin1Char(unit.suffix);
        } else if (std::fmod(minutes, unit.minutes) == 0) {
            return QString::number(minutes / unit.minutes, 'f', 0) + QLatin1Char(unit.suffix);
        }
    }
    return QString::number(minutes, 'f', 0) + QLatin1Char('m');
}

UsageWindowSnapshot windowFrom(json::object window, Timestamp eventAt)
{
    UsageWindowSnapshot w;
    const std::optional<double> minutes = json::number(window, "window_minutes");
    w.label = windowLabel(minutes);
    if (auto percent = json::number(window, "used_percent"))
        w.percent = usedFraction(*percent);
    if (auto resetsAt = json::number(window, "resets_at"))
        w.resetsAt = Timestamp::fromSeconds(*resetsAt);
    else if (auto resetsIn = json::number(window, "resets_in_seconds"))
        w.resetsAt = eventAt + *resetsIn;
    if (minutes)
        w.periodSeconds = *minutes * 60;
    return w;
}

} // namespace

QString windowLabel(std::optional<double> minutes)
{
    if (!minutes || !std::isfinite(*minutes))
        return QStringLiteral("limit");
    return labelForWholeMinutes(std::trunc(*minutes) + 0.0); // + 0.0 turns -0 into 0
}

double usedFraction(double percent)
{
    const double fraction = percent / 100.0;
    if (!(fraction > 0))
        return 0;
    if (fraction > 1)
        return 1;
    return fraction;
}

QList<UsageWindowSnapshot> rateLimitWindows(json::object rateLimits, Timestamp eventAt)
{
    QList<UsageWindowSnapshot> windows;
    for (const char* key : {"primary", "secondary"}) {
        if (auto window = json::childObject(rateLimits, key))
            windows.append(windowFrom(*window, eventAt));
    }
    return windows;
}

} // namespace vexlor
