#pragma once
// Turning OpenCode's query rows into session snapshots and the usage record.

#include "SqlRow.h"
#include "collection/Records.h"

#include <QList>

namespace vexlor::opencode {

// A session with a newer message than this many seconds may be working.
inline constexpr double workingSeconds = 600;

// One row of the sessions query, classified at `now` against the hub's
// attention start and acknowledgements.
[[nodiscard]] SessionSnapshot sessionSnapshot(const SqlRow& row, Timestamp now, const CollectorContext& context);

// One window per row of the usage query, in row order; the cost is the "7d"
// row's.
[[nodiscard]] UsageSnapshot usageSnapshot(const QList<SqlRow>& rows, Timestamp now);

} // namespace vexlor::opencode
