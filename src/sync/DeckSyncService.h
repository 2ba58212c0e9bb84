#pragma once
// Publishes the latest deck snapshot under one key of a key-value store while
// keeping the write rate low: unchanged content is never written, and writes
// are at least `minimumWriteInterval` apart, with one delayed flush that
// writes the newest snapshot published meanwhile. Also holds the reading
// side: on an outside change of the key it fetches, checks and delivers the
// stored snapshot. Every outcome worth knowing is one "[DeckSync] " line sent
// to a switchable sink (standard error unless told otherwise).
//
// Main thread only. The clock and the way the delayed flush is scheduled are
// injectable so the timing rules can be checked without waiting. A snapshot
// still held back when the application quits is written then.

#include "DeckSyncContracts.h"
#include "KeyValueStore.h"

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>

namespace vexlor {

class DeckSyncService final : public QObject, public DeckSyncPublishing, public DeckSyncSubscribing {
    Q_OBJECT

public:
    // Encoded snapshots longer than this are not written.
    static constexpr qsizetype maximumSnapshotBytes = 900000;
    static constexpr double defaultMinimumWriteInterval = 30.0;

    using LogSink = std::function<void(const QString& line)>;
    // Runs `task` once after `delay` on the main thread, unless `guard` has
    // been destroyed by then.
    using Scheduler = std::function<void(std::chrono::milliseconds delay, QObject* guard, std::function<void()> task)>;

    DeckSyncService(std::unique_ptr<KeyValueStore> store, double minimumWriteInterval, QObject* parent = nullptr);
    ~DeckSyncService() override;

    // The service over the default directory store with a 30-second interval.
    [[nodiscard]] static std::unique_ptr<DeckSyncService> createDefault(QObject* parent = nullptr);

    // The key every deck writes under unless told otherwise.
    [[nodiscard]] static QString storeKey();
    [[nodiscard]] static LogSink standardErrorLog();
    [[nodiscard]] static Scheduler timerScheduler();

    void setLogSink(LogSink sink);
    void setClock(Clock clock);
    void setScheduler(Scheduler scheduler);
    // Writes (and reads) under `key` instead of storeKey().
    void setKey(const QString& key) { m_key = key; }
    [[nodiscard]] const QString& key() const { return m_key; }
    // Unchanged content is written again once this many seconds have passed
    // since the last write, so that readers can tell a quiet deck from a
    // gone one. Unset (the default): unchanged content is never written.
    void setRewriteUnchangedAfter(std::optional<double> seconds) { m_rewriteUnchangedAfter = seconds; }

    [[nodiscard]] KeyValueStore& store() const { return *m_store; }
    [[nodiscard]] double minimumWriteInterval() const { return m_minimumWriteInterval; }
    [[nodiscard]] const std::optional<DeckSnapshotContent>& lastPublishedContent() const { return m_lastPublishedContent; }
    [[nodiscard]] std::optional<Timestamp> lastWriteAt() const { return m_lastWriteAt; }
    [[nodiscard]] const std::optional<DeckSnapshot>& pendingSnapshot() const { return m_pendingSnapshot; }
    [[nodiscard]] bool isFlushScheduled() const { return m_flushScheduled; }

    // DeckSyncPublishing
    void publish(const DeckSnapshot& snapshot) override;
    // Writes a snapshot still held back by the interval at once. Runs by
    // itself when the application's event loop is about to end, so the last
    // deck reaches the store on every orderly exit.
    void flushPending();

    // DeckSyncSubscribing
    [[nodiscard]] std::optional<Timestamp> lastReceivedAt() const override { return m_lastReceivedAt; }
    [[nodiscard]] const ChangeHandler& onChange() const override { return m_onChange; }
    void setOnChange(ChangeHandler handler) override { m_onChange = std::move(handler); }
    void fetch() override;

    // Outside change of the store. With a list of changed keys that lacks
    // ours, nothing happens; otherwise (also with no list) a fetch is queued.
    void handleExternalChange(const std::optional<QStringList>& changedKeys);
    // Connects the store's change notification to handleExternalChange and
    // starts the store observing. The deck itself only writes and never calls
    // this, so its store stays unobserved.
    bool observeStore();

private:
    void flush();
    void scheduleFlush(double delaySeconds);
    void cancelScheduledFlush();
    void log(const QString& line) const;

    std::unique_ptr<KeyValueStore> m_store;
    QString m_key = storeKey();
    double m_minimumWriteInterval;
    std::optional<double> m_rewriteUnchangedAfter;
    std::optional<DeckSnapshotContent> m_lastPublishedContent;
    std::optional<Timestamp> m_lastWriteAt;
    std::optional<DeckSnapshot> m_pendingSnapshot;
    bool m_flushScheduled = false;
    quint64 m_flushGeneration = 0; // a scheduled flush runs only if still current
    std::optional<Timestamp> m_lastReceivedAt;
    bool m_observing = false;
    ChangeHandler m_onChange;
    LogSink m_log;
    Clock m_clock;
    Scheduler m_scheduler;
};

} // namespace vexlor
