#pragma once
// Claude plan usage from the OAuth usage endpoint: the "5h" and "7d" windows,
// fetched at most every 300 seconds while online access is on, with the
// access token Claude Code stored. Owns the usage last obtained, the time of
// the last fetch and the cached token, under its own mutex; the mutex is never
// held across the token lookup or the network wait.

#include "ClaudeCredentials.h"
#include "collection/HttpClient.h"
#include "collection/Records.h"

#include <QByteArrayView>
#include <QCoroTask>
#include <QMutex>
#include <QUrl>

namespace vexlor {

inline constexpr double claudeUsageIntervalSeconds = 300;
inline constexpr const char* claudeUsageUrlVariable = "VEXLOR_CLAUDE_USAGE_URL";
[[nodiscard]] QUrl claudeUsageProductionUrl();

// The windows of a 200 answer, "5h" then "7d", each only when present. Reads
// the "limits" list when the body has one, otherwise the "five_hour" and
// "seven_day" objects. Percentages become fractions limited to 0..1; a reset
// time that is a string but no date becomes `now`. Anything unreadable gives
// fewer windows, never an error.
[[nodiscard]] QList<UsageWindowSnapshot> parseClaudeUsage(QByteArrayView body, Timestamp now);

class ClaudeUsageFetcher {
public:
    struct Options {
        Clock clock = systemClock();
        EnvironmentReader environment = processEnvironment(); // for the endpoint replacement
        ClaudeTokenSources tokenSources;
        HttpLimits limits;
    };

    // The real sources for a Claude configuration directory.
    explicit ClaudeUsageFetcher(const QString& configDirectory);
    explicit ClaudeUsageFetcher(Options options);

    // Decides, for the pass at `now`, whether a fetch is due. With online
    // access off the usage becomes "online access disabled" and the next pass
    // with access on fetches at once. A due fetch moves the fetch time to
    // `now` before it starts, so neither a failure nor an overlapping pass
    // causes another request within 300 seconds.
    [[nodiscard]] bool gate(Timestamp now, const CollectorContext& context);

    // One request; always ends by storing a new usage snapshot.
    QCoro::Task<void> fetch();

    // gate() and, when due, fetch().
    QCoro::Task<void> refresh(Timestamp now, CollectorContext context);

    [[nodiscard]] UsageSnapshot usage() const;
    [[nodiscard]] bool hasCachedToken() const;

private:
    void fail(Timestamp at, const QString& message);

    Options m_options;
    mutable QMutex m_lock; // guards the three fields below
    UsageSnapshot m_usage;
    Timestamp m_fetchedAt = Timestamp::distantPast();
    std::optional<QString> m_cachedToken;
};

} // namespace vexlor
