#pragma once
// The rows of OpenCode's two statements, kept between passes only where that
// cannot change a report.
//
// The sessions statement depends on nothing but the database's content, so
// its rows are reused while the database and its log look the same on disk
// (identity, size, modification and change times). The usage statement also
// depends on the database clock's current second: its rows are reused only
// while no assistant message can have left its 24-hour or 7-day window since
// they were computed. For that, the creation times of the assistant messages
// in the 7-day window are read once per database change, and a pass whose
// windows would have moved past any of them runs the statement again.
//
// Safe to use from overlapping passes; the lock is held only to copy or store.

#include "SqlRow.h"

#include <QList>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vexlor {

struct OpenCodeRows {
    QList<SqlRow> sessions;
    QList<SqlRow> usage;
};

class OpenCodeResultCache {
public:
    // The rows of both statements, read now or reused. Throws CollectorError
    // with the collector's texts when a statement fails (nothing is kept).
    [[nodiscard]] OpenCodeRows rows(const QString& databasePath, int busyTimeoutMs);

    // How many statements have been run against the database, for tests.
    [[nodiscard]] int statementsRun() const;

    // Whether some assistant creation time t satisfies
    // (from - w) * 1000 <= t < (to - w) * 1000 for w of 24 hours or 7 days.
    [[nodiscard]] static bool windowsCrossAny(const std::vector<double>& sortedTimesMs, qint64 fromSecond, qint64 toSecond);

private:
    struct Entry;
    mutable std::mutex m_mutex;
    std::shared_ptr<const Entry> m_entry;
    int m_statementsRun = 0;

    QList<SqlRow> run(const QString& path, const char* sql, int busyTimeoutMs);
};

} // namespace vexlor
