#include "OpenCodeResultCache.h"

#include "DatabaseFiles.h"
#include "OpenCodeQueries.h"
#include "ReadOnlyDatabase.h"
#include "collection/CollectorError.h"
#include "collection/Timestamp.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace vexlor {

namespace {

constexpr qint64 daySeconds = 86400;
constexpr qint64 weekSeconds = 604800;

// The database clock's second, as SQLite's strftime('%s', 'now') reads it.
qint64 databaseSecond()
{
    return qint64(std::floor(Timestamp::now().seconds()));
}

} // namespace

struct OpenCodeResultCache::Entry {
    QString path;
    FileState database;
    FileState log;
    QByteArray indexHeader; // of "-shm": its change counter moves on every commit
    QList<SqlRow> sessions;
    QList<SqlRow> usage;
    qint64 usageSecond = 0; // a second at or before the one the usage rows were computed at
    // Creation times (ms) of the assistant messages in the 7-day window at
    // usageSecond, sorted; absent until read, or when some are not numbers.
    std::optional<std::vector<double>> assistantTimes;
    bool timesUnusable = false;
};

QList<SqlRow> OpenCodeResultCache::run(const QString& path, const char* sql, int busyTimeoutMs)
{
    {
        std::lock_guard lock(m_mutex);
        ++m_statementsRun;
    }
    SqlQueryResult result = queryReadOnly(path, sql, busyTimeoutMs);
    switch (result.status) {
    case SqlQueryResult::Status::ok:
        return std::move(result.rows);
    case SqlQueryResult::Status::openFailed:
        throw CollectorError(QCoreApplication::translate("OpenCodeCollector", "OpenCode database could not be opened"));
    case SqlQueryResult::Status::prepareFailed:
        break;
    }
    throw CollectorError(QCoreApplication::translate("OpenCodeCollector", "OpenCode query failed: ") + result.errorMessage);
}

bool OpenCodeResultCache::windowsCrossAny(const std::vector<double>& sortedTimesMs, qint64 fromSecond, qint64 toSecond)
{
    for (const qint64 window : {daySeconds, weekSeconds}) {
        const double from = double(fromSecond - window) * 1000;
        const double to = double(toSecond - window) * 1000;
        const auto it = std::lower_bound(sortedTimesMs.begin(), sortedTimesMs.end(), from);
        if (it != sortedTimesMs.end() && *it < to)
            return true;
    }
    return false;
}

OpenCodeRows OpenCodeResultCache::rows(const QString& databasePath, int busyTimeoutMs)
{
    const QString resolved = QFileInfo(databasePath).canonicalFilePath();
    if (resolved.isEmpty()) {
        // Gone or dangling: let the statements report it.
        OpenCodeRows out;
        out.sessions = run(databasePath, opencode::sessionsQuery, busyTimeoutMs);
        out.usage = run(databasePath, opencode::usageQuery, busyTimeoutMs);
        return out;
    }
    // Taken before reading: if the files change during the read, the next
    // pass sees a different identity and reads again.
    const QByteArray encoded = QFile::encodeName(resolved);
    const DatabaseFiles files = DatabaseFiles::of(encoded);
    // The write-ahead-log index header (48 bytes, kept twice) counts commits,
    // which catches a log rewritten at the same size within one tick of the
    // file clock. Reading it changes nothing.
    const QByteArray indexHeader = files.shared.exists ? leadingBytes(encoded + "-shm", 96) : QByteArray();

    std::shared_ptr<const Entry> cached;
    {
        std::lock_guard lock(m_mutex);
        cached = m_entry;
    }
    const bool sameContent = cached && cached->path == resolved && cached->database.sameContentAs(files.database)
        && cached->log.sameContentAs(files.log) && cached->indexHeader == indexHeader;

    auto entry = std::make_shared<Entry>();
    entry->path = resolved;
    entry->database = files.database;
    entry->log = files.log;
    entry->indexHeader = indexHeader;
    try {
        if (sameContent) {
            const qint64 second = databaseSecond();
            if (cached->assistantTimes && second >= cached->usageSecond
                && !windowsCrossAny(*cached->assistantTimes, cached->usageSecond, second))
                return {cached->sessions, cached->usage};
            entry->sessions = cached->sessions;
            entry->usageSecond = databaseSecond();
            entry->usage = run(resolved, opencode::usageQuery, busyTimeoutMs);
            entry->timesUnusable = cached->timesUnusable;
            // Times read at an earlier second still cover the later window.
            entry->assistantTimes = cached->assistantTimes;
            if (!entry->assistantTimes && !entry->timesUnusable) {
                const QByteArray sql = "SELECT time_created FROM message\n"
                                       "WHERE json_extract(data, '$.role') = 'assistant'\n"
                                       "  AND time_created >= "
                    + QByteArray::number((entry->usageSecond - weekSeconds) * 1000) + ";";
                std::vector<double> times;
                for (const SqlRow& row : run(resolved, sql.constData(), busyTimeoutMs)) {
                    const auto t = row.number(QStringLiteral("time_created"));
                    if (!t) {
                        // Not a number (text, say): ordering by value would
                        // not match SQLite's, so the rows are not reused.
                        entry->timesUnusable = true;
                        break;
                    }
                    times.push_back(*t);
                }
                if (!entry->timesUnusable) {
                    std::sort(times.begin(), times.end());
                    entry->assistantTimes = std::move(times);
                }
            }
        } else {
            entry->sessions = run(resolved, opencode::sessionsQuery, busyTimeoutMs);
            entry->usageSecond = databaseSecond();
            entry->usage = run(resolved, opencode::usageQuery, busyTimeoutMs);
        }
    } catch (const CollectorError&) {
        std::lock_guard lock(m_mutex);
        m_entry.reset();
        throw;
    }
    OpenCodeRows out{entry->sessions, entry->usage};
    std::lock_guard lock(m_mutex);
    m_entry = std::move(entry);
    return out;
}

int OpenCodeResultCache::statementsRun() const
{
    std::lock_guard lock(m_mutex);
    return m_statementsRun;
}

} // namespace vexlor
