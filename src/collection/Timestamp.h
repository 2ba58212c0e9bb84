#pragma once
// A point in time as seconds since 1970-01-01 00:00 UTC, with sub-second
// precision. A double keeps microseconds exact for any real date and makes
// comparisons and arithmetic trivial; conversions to Qt types live here too.

#include <QDateTime>
#include <compare>
#include <functional>

namespace vexlor {

struct Timestamp {
    double secondsSinceEpoch = 0;

    [[nodiscard]] static constexpr Timestamp fromSeconds(double s) { return Timestamp{s}; }
    [[nodiscard]] static constexpr Timestamp fromMilliseconds(double ms) { return Timestamp{ms / 1000.0}; }
    // Earlier than any real time; the initial value of "last done at" fields.
    [[nodiscard]] static constexpr Timestamp distantPast() { return Timestamp{-62135596800.0}; }
    [[nodiscard]] static Timestamp now();
    [[nodiscard]] static Timestamp fromDateTime(const QDateTime& dt);

    [[nodiscard]] constexpr double seconds() const { return secondsSinceEpoch; }
    [[nodiscard]] constexpr double milliseconds() const { return secondsSinceEpoch * 1000.0; }
    [[nodiscard]] constexpr bool isDistantPast() const { return secondsSinceEpoch <= distantPast().secondsSinceEpoch; }
    [[nodiscard]] QDateTime toDateTime() const;

    [[nodiscard]] constexpr Timestamp operator+(double s) const { return Timestamp{secondsSinceEpoch + s}; }
    [[nodiscard]] constexpr Timestamp operator-(double s) const { return Timestamp{secondsSinceEpoch - s}; }
    [[nodiscard]] constexpr double operator-(Timestamp other) const { return secondsSinceEpoch - other.secondsSinceEpoch; }
    constexpr auto operator<=>(const Timestamp&) const = default;
};

// Injected wherever "now" matters, so tests can move time.
using Clock = std::function<Timestamp()>;
[[nodiscard]] Clock systemClock();

} // namespace vexlor
