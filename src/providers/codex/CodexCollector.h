#pragma once
// The Codex collector: sessions from the newest session logs below the Codex
// home, and the plan usage windows Codex records in its token-count events.
// One instance lives for the whole process; file work runs on a worker
// thread and the state kept between passes is guarded by one mutex that is
// held only for short reads and writes, so overlapping passes stay consistent.

#include "CodexTail.h"
#include "CodexUsageFetcher.h"
#include "collection/AgentCollector.h"

#include <QHash>
#include <QMutex>

namespace vexlor {

class CodexCollector final : public AgentCollector {
public:
    using Tail = CodexTail;

    struct Options {
        QString home;                 // the Codex home; "~" is expanded
        Clock clock = systemClock();  // read once per pass, on the caller's thread
        // Endpoint and limits of the online refresh; its clock is the collector's.
        CodexFetchOptions online = {};
    };

    static constexpr int maxFiles = 40;                    // newest logs looked at per pass
    static constexpr double listingSeconds = 30;           // age of a listing that walks again; today's folder changing walks at once
    static constexpr qint64 tailBytes = 1024 * 1024;       // bytes read from the end of a log
    static constexpr qsizetype maxCachedTails = 128;       // the cache is emptied when it grows past this
    static constexpr qint64 indexBytes = 1024 * 1024;      // bytes read from the end of the session index

    // Reads CODEX_HOME (default "~/.codex").
    CodexCollector();
    explicit CodexCollector(Options options);

    [[nodiscard]] QString providerID() const override { return QStringLiteral("codex"); }
    [[nodiscard]] QString displayName() const override { return QStringLiteral("CODEX"); }
    QCoro::Task<ProviderReport> collect(CollectorContext context) override;
    // Today's folder (or its nearest existing parent), and the logs of the
    // open and the newest sessions with their folders.
    [[nodiscard]] QStringList watchPaths() const override;

    [[nodiscard]] const QString& sessionsDirectory() const { return m_sessionsDirectory; }
    [[nodiscard]] const QString& authFilePath() const { return m_authFilePath; }

    // How many tails were read from disk so far (cache misses), for tests and
    // benchmarks.
    [[nodiscard]] qint64 tailReads() const;

    // CODEX_HOME when set and not empty, else "~/.codex", with "~" expanded.
    [[nodiscard]] static QString homeFromEnvironment();

private:
    struct CachedTail {
        qint64 size = 0;
        Timestamp mtime = Timestamp::distantPast();
        Tail tail;
    };
    struct Scan {
        bool installed = false;
        QList<SessionSnapshot> sessions;
        std::optional<QList<UsageWindowSnapshot>> rateLimits; // from the newest log that has any
    };

    // The file work of one pass; runs on a worker thread.
    [[nodiscard]] Scan scan(const CollectorContext& context, Timestamp now);
    // Today's session folder and its modification time, if it exists.
    struct DayFolder {
        QString path;
        std::optional<Timestamp> mtime;
        bool operator==(const DayFolder&) const = default;
    };
    [[nodiscard]] DayFolder dayFolder(Timestamp now) const;
    // The newest logs: a fresh walk when due, else the kept ones stat'ed anew.
    [[nodiscard]] QList<FileStamp> newestFiles(Timestamp now);
    [[nodiscard]] Tail tailOf(const FileStamp& file);
    // Session id -> the thread name from "session_index.jsonl", read again
    // only when the file changed.
    [[nodiscard]] QHash<QString, QString> threadNames();
    void noteWatchPaths(const QList<SessionSnapshot>& sessions, Timestamp now);

    // With the lock held.
    void updateUsage(const std::optional<QList<UsageWindowSnapshot>>& rateLimits, Timestamp now);
    // With the lock held: whether an online usage refresh is due on this pass.
    [[nodiscard]] bool liveRefreshDue(Timestamp now, const CollectorContext& context);
    // The online refresh itself, awaited without the lock; a failure leaves
    // m_liveUsage as it was.
    QCoro::Task<void> refreshLiveUsage();

    const QString m_sessionsDirectory;
    const QString m_authFilePath;
    const QString m_indexPath;
    const Clock m_clock;
    const CodexFetchOptions m_online;

    mutable QMutex m_lock; // guards every member below
    QList<FileStamp> m_files; // the newest logs of the last listing, newest first
    Timestamp m_scannedAt = Timestamp::distantPast();
    DayFolder m_dayFolder; // as it was at the last walk
    QHash<QString, CachedTail> m_tailCache;
    std::optional<FileStamp> m_indexStamp; // the index as it was when m_threadNames was read
    QHash<QString, QString> m_threadNames;
    UsageSnapshot m_usage;
    std::optional<UsageSnapshot> m_liveUsage;
    Timestamp m_liveFetchedAt = Timestamp::distantPast();
    qint64 m_tailReads = 0;
    QStringList m_watchPaths;
};

} // namespace vexlor
