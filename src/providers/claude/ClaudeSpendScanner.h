#pragma once
// Claude token spend of the last 24 hours and 7 days, computed locally from
// the transcripts. Each transcript is aggregated once into hourly buckets and
// cached by path; it is read again only when its listed size or modification
// time changes. The most recently written large transcripts (the ones running
// sessions append to) also keep what their read found per message, so when
// one has only grown, just its new lines are read.

#include "collection/Records.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

#include <cstddef>
#include <memory>
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
    struct FollowState;
    struct FileAggregate {
        qint64 size = 0;
        Timestamp mtime = Timestamp::distantPast();
        QHash<qint64, HourBucket> buckets; // hour index -> bucket
        // Set for a followed file: where and how to read on after it grew.
        std::shared_ptr<const FollowState> follow;
    };

    // How files are read; the defaults suit real transcripts, tests shrink
    // the chunk to exercise its edges.
    struct Tuning {
        std::size_t chunkBytes = std::size_t(1) << 20;
        std::size_t maxLineBytes = std::size_t(64) << 20; // longer lines holding the key are skipped
        int maxThreads = 4;                               // files read at once during a cold scan
        qint64 parallelMinBytes = qint64(8) << 20;        // less to read than this stays on one thread
        int followFiles = 8;                              // most recently written files read on incrementally
        qint64 followMinBytes = qint64(1) << 20;          // smaller files are cheap enough to read whole
    };

    explicit ClaudeSpendScanner(Clock clock = systemClock());
    ClaudeSpendScanner(Clock clock, Tuning tuning);

    // Never fails; safe to call from any thread, never with the caller's own
    // lock held.
    [[nodiscard]] SpendSnapshot scan(const QList<FileStamp>& files);

    // How many files, and how many of their bytes, the scans so far actually
    // read (for tests and benchmarks).
    [[nodiscard]] qint64 filesRead() const;
    [[nodiscard]] qint64 bytesRead() const;

    // The cached aggregate of a path, if any (for tests).
    [[nodiscard]] std::optional<FileAggregate> cached(const QString& path) const;

private:
    Clock m_clock;
    Tuning m_tuning;
    mutable QMutex m_lock; // guards m_cache and the counters
    QHash<QString, FileAggregate> m_cache;
    qint64 m_filesRead = 0;
    qint64 m_bytesRead = 0;
};

} // namespace vexlor
