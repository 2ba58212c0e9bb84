#pragma once
// The collector for OpenCode. Every pass opens OpenCode's SQLite database
// read-only, runs two fixed queries (recent sessions with their newest
// message, and token and cost totals of the last 24 hours and 7 days) and
// closes it again. Between passes it keeps only the statements' rows, reused
// while they cannot differ (see OpenCodeResultCache).

#include "collection/AgentCollector.h"

#include <memory>

namespace vexlor {

class OpenCodeResultCache;

class OpenCodeCollector final : public AgentCollector {
public:
    struct Options {
        QString dataDirectory; // the database is "opencode.db" inside it
        Clock clock = systemClock();
        int busyTimeoutMs = 5000;
    };

    // Reads OPENCODE_DATA_DIR, else XDG_DATA_HOME + "/opencode", else
    // ~/.local/share/opencode ("~" expanded in each).
    OpenCodeCollector();
    explicit OpenCodeCollector(Options options);

    [[nodiscard]] QString providerID() const override;
    [[nodiscard]] QString displayName() const override;
    [[nodiscard]] const QString& databasePath() const { return m_databasePath; }

    // The pass runs on a worker thread; the caller's thread stays free.
    QCoro::Task<ProviderReport> collect(CollectorContext context) override;
    // The data folder (the write-ahead log comes and goes in it), the
    // database and its write-ahead log.
    [[nodiscard]] QStringList watchPaths() const override;
    // The same pass, on the calling thread.
    [[nodiscard]] ProviderReport collectBlocking(const CollectorContext& context) const;

    [[nodiscard]] static QString defaultDataDirectory();
    [[nodiscard]] const OpenCodeResultCache& resultCache() const { return *m_cache; }

private:
    QString m_databasePath;
    Clock m_clock;
    int m_busyTimeoutMs;
    std::shared_ptr<OpenCodeResultCache> m_cache;
};

} // namespace vexlor
