#pragma once
// A strict, allocation-free reader of ISO 8601 internet date-times:
// "YYYY-MM-DDTHH:MM:SS" with an optional decimal fraction of the second and a
// zone of "Z" or a numeric offset ("+HH:MM", "+HHMM", "+HH"). Pure and
// therefore safe on any number of threads at once.

#include "Timestamp.h"

#include <optional>
#include <string_view>

namespace vexlor {

[[nodiscard]] std::optional<Timestamp> parseInternetDateTime(std::string_view text);
[[nodiscard]] std::optional<Timestamp> parseInternetDateTime(QStringView text);

} // namespace vexlor
