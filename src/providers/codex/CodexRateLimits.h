#pragma once
// Turning the "rate_limits" object of a Codex token-count event into usage
// windows, and the short label of a window from its length in minutes. Pure
// functions, safe on any thread.

#include "collection/Json.h"
#include "collection/Records.h"

#include <optional>

namespace vexlor {

// "5h", "1w", "3d", "90m" for a window length in minutes; "limit" when the
// length is absent, infinite or not a number.
[[nodiscard]] QString windowLabel(std::optional<double> minutes);

// A percentage from 0 to 100 as a fraction clamped to 0..1.
[[nodiscard]] double usedFraction(double percent);

// One window for "primary" and then "secondary", each when it is an object.
// `eventAt` is the time of the record that carried the object; a window that
// gives its reset only as "resets_in_seconds" resets that long after it.
[[nodiscard]] QList<UsageWindowSnapshot> rateLimitWindows(json::object rateLimits, Timestamp eventAt);

} // namespace vexlor
