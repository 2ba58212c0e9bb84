#pragma once
// Claude token spend of the last 24 hours and 7 days, computed locally from
// the transcripts. Each transcript is aggregated once into hourly buckets and
// cached by path; it is read again only when its listed size or modification
// time changes.

#include "collection/Records.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

#include <cstddef>
#include <optional>

namespace vexlor {

struct ModelPrices {
    double inputPerMillion = 0;
    double outputPerMillion = 0;
    bool operator==(const ModelPrices&) const = default;
};

// Prices per million tokens for a model name, by the built-in table.
[[nodiscard]] ModelPrices prices(QStringView model);

class ClaudeSpendScanner {
public:
    struct HourBucket {
        double tokens = 0;
        double cost = 0;
    };
    struct FileAggregate {
        qint64 size = 0;
        Timestamp mtime = Timestamp::distantPast();
        QHash<qint64, HourBucket> buckets; // hour index -> bucket
    };

    // How files are read; the defaults suit real transcripts, tests shrink
    // the chunk to exercise its edges.
    struct Tuning {
        std::size_t chunkBytes = std::size_t(1) << 20;
        std::size_t maxLineBytes = std::size_t(64) << 20; // longer lines holding the key are skipped
        int maxThreads = 4;                               // files read at once during a cold scan
        qint64 parallelMinBytes = qint64(8) << 20;        // less to read than this stays on one thread
    };

    explicit ClaudeSpendScanner(Clock clock = systemClock());
    ClaudeSpendScanner(Clock clock, Tuning tuning);

    // Never fails; safe to call from any thread, never with the caller's own
    // lock held.
    [[nodiscard]] SpendSnapshot scan(const QList<FileStamp>& files);

    // How many files the last scans actually read (for tests and benchmarks).
    [[nodiscard]] qint64 filesRead() const;

    // The cached aggregate of a path, if any (for tests).
    [[nodiscard]] std::optional<FileAggregate> cached(const QString& path) const;

private:
    Clock m_clock;
    Tuning m_tuning;
    mutable QMutex m_lock; // guards m_cache and m_filesRead
    QHash<QString, FileAggregate> m_cache;
    qint64 m_filesRead = 0;
};

} // namespace vexlor
