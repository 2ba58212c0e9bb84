#pragma once
// The collector for Claude Code: live sessions from the status files in the
// configuration directory's "sessions" folder, each enriched from the end of
// its transcript; plan usage behind the online-access gate; and the token
// spend of the last 24 hours and 7 days from the spend scanner. It only ever
// reads the Claude Code directory.

#include "ClaudeSpendScanner.h"
#include "ClaudeStatusFile.h"
#include "ClaudeTail.h"
#include "ClaudeUsageFetcher.h"
#include "ProcessProbe.h"
#include "collection/AgentCollector.h"
#include "collection/FileIdentity.h"

#include <QHash>
#include <QMutex>
#include <QSet>

namespace vexlor {

struct ClaudeCollectorOptions {
    QString configDirectory;
    Clock clock = systemClock();
    ProcessProbe processAlive = processIsAlive;
    // Token sources, endpoint and limits of the online usage fetch; the real
    // ones for the configuration directory when absent. Its clock is the
    // collector's.
    std::optional<ClaudeUsageFetcher::Options> online;
};

class ClaudeCollector final : public AgentCollector {
public:
    using Tail = ClaudeTail;

    // Reads the configuration directory from the environment once.
    ClaudeCollector();
    explicit ClaudeCollector(ClaudeCollectorOptions options);
    ~ClaudeCollector() override;
    ClaudeCollector(const ClaudeCollector&) = delete;
    ClaudeCollector& operator=(const ClaudeCollector&) = delete;

    [[nodiscard]] QString providerID() const override;
    [[nodiscard]] QString displayName() const override;
    [[nodiscard]] const QString& configDirectory() const { return m_configDirectory; }

    // "CLAUDE_CONFIG_DIR" when set (even empty), else "~/.claude"; a leading
    // "~" is expanded.
    [[nodiscard]] static QString configDirectoryFromEnvironment();

    // File work runs on the thread pool; the caller's thread stays free.
    QCoro::Task<ProviderReport> collect(CollectorContext context) override;
    // The "sessions" folder, its status files and the live sessions'
    // transcripts.
    [[nodiscard]] QStringList watchPaths() const override;

    // How many transcript tails were actually read and parsed, as opposed to
    // served from the cache (for tests and benchmarks).
    [[nodiscard]] qint64 tailsRead() const;
    [[nodiscard]] const ClaudeSpendScanner& spendScanner() const { return m_spendScanner; }

private:
    struct Listing {
        QList<FileStamp> files;
        QHash<QString, FileStamp> index; // session id -> newest transcript
    };
    struct Prepared {
        bool installed = false;
        bool fetchDue = false;
        Listing listing;
    };
    // A parsed tail is a function of the transcript's bytes and the fallback
    // time, so it is kept while the file's identity, size and time stay put.
    struct CachedTail {
        FileIdentity file;
        Timestamp fallback;
        ClaudeTail tail;
    };

    Prepared prepare(Timestamp now, bool allowNetwork);
    void noteWatchPaths(const ProviderReport& report);
    ProviderReport finish(Timestamp now, const CollectorContext& context, const Listing& listing);
    QList<SessionSnapshot> buildSessions(const QHash<QString, FileStamp>& index, const CollectorContext& context,
                                         Timestamp now);
    ClaudeTail tailOf(const FileStamp& transcript, QSet<QString>& used);
    // The transcript of a session the listing does not hold yet: first where
    // the tool puts it for the session's working directory, else through a
    // fresh listing (when the last one is more than five seconds old).
    std::optional<FileStamp> findTranscript(const ClaudeStatusFile& status, Timestamp now);
    // With the lock held: keeps `listing` unless a later pass stored one.
    void storeListing(Listing listing, Timestamp now);
    // Online plan usage, due at most every 300 seconds while online access is
    // on (the gate runs in prepare()).
    QCoro::Task<void> refreshOnlineUsage();

    const QString m_configDirectory;
    const Clock m_clock;
    const ProcessProbe m_processAlive;
    // The usage last obtained, the time of the last fetch and the cached
    // token; it has its own lock, never taken while m_lock is held.
    ClaudeUsageFetcher m_online;

    mutable QMutex m_lock; // guards every field below except m_spendScanner
    Listing m_projectFiles;
    Timestamp m_projectsScannedAt = Timestamp::distantPast();
    SpendSnapshot m_spend;
    Timestamp m_spendScannedAt = Timestamp::distantPast();
    QHash<QString, CachedTail> m_tailCache; // transcript path -> parsed tail
    qint64 m_tailsRead = 0;
    QStringList m_watchPaths;

    ClaudeSpendScanner m_spendScanner; // has its own lock; never used under m_lock
};

} // namespace vexlor
