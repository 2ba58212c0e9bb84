#pragma once
// Token counts from Kimi Code's per-session event ("wire") logs. A log's usage
// records depend only on its bytes, so they are kept per file and read again
// only when the file's size, modification time or identity changes; the
// 24-hour and 7-day totals are summed from them on every pass.

#include "collection/FileIdentity.h"
#include "collection/Timestamp.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <mutex>

namespace vexlor {

struct KimiUsageRecord {
    double timeMs = 0; // milliseconds since 1970-01-01 00:00 UTC
    double tokens = 0; // input, output, cache read and cache creation
    bool operator==(const KimiUsageRecord&) const = default;
};

// How much of a log's end is read on a pass.
inline constexpr qint64 kimiWireTailBytes = 4 * 1024 * 1024;

// The usage records among JSON lines, in line order. Fragments, other record
// types and records without a numeric "time" or an object "usage" are skipped.
[[nodiscard]] QList<KimiUsageRecord> kimiUsageRecords(QByteArrayView jsonLines);

struct KimiUsageTotals {
    double last24h = 0;
    double last7d = 0;
    KimiUsageTotals& operator+=(const KimiUsageTotals& other)
    {
        last24h += other.last24h;
        last7d += other.last7d;
        return *this;
    }
};

// Records at or after now - 24 h count in both totals, those at or after
// now - 7 d in the 7-day total.
[[nodiscard]] KimiUsageTotals kimiUsageTotals(const QList<KimiUsageRecord>& records, Timestamp now);

// Usage records of wire logs, cached by path and file identity. Safe to use
// from several passes at once; its lock is held only to look up or store.
class KimiWireCache {
public:
    // The usage records in the last kimiWireTailBytes of the file; none when
    // it is missing or unreadable.
    [[nodiscard]] QList<KimiUsageRecord> records(const QString& path);
    // Forgets every file not named in `paths`.
    void retainOnly(const QSet<QString>& paths);
    [[nodiscard]] qsizetype size() const;

private:
    struct Entry {
        FileIdentity identity;
        QList<KimiUsageRecord> records;
    };

    mutable std::mutex m_mutex;
    QHash<QString, Entry> m_entries;
};

} // namespace vexlor
