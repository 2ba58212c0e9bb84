#pragma once
// Codex plan usage from the vendor's usage endpoint, with the token of
// "auth.json". A refresh runs at most every 300 seconds while online access
// is on and never reports an error: any failure leaves the previous live
// usage in place. While a live answer is held it takes precedence over the
// usage derived from session events.

#include "collection/HttpClient.h"
#include "collection/Records.h"

#include <QByteArrayView>
#include <QCoroTask>
#include <QUrl>

namespace vexlor {

inline constexpr double codexRefreshIntervalSeconds = 300;
inline constexpr const char* codexUsageUrlVariable = "VEXLOR_CODEX_USAGE_URL";
[[nodiscard]] QUrl codexUsageProductionUrl();

// The refresh decision for the pass at `now`, on the caller's guarded state.
// Online access off clears `liveUsage` and leaves `liveFetchedAt` alone; a due
// refresh moves `liveFetchedAt` to `now` before it starts.
[[nodiscard]] bool codexRefreshDue(Timestamp now, const CollectorContext& context,
                                   std::optional<UsageSnapshot>& liveUsage, Timestamp& liveFetchedAt);

// The report's usage: the live answer when there is one.
[[nodiscard]] UsageSnapshot codexReportedUsage(const std::optional<UsageSnapshot>& liveUsage,
                                               const UsageSnapshot& sessionUsage);

// The windows of a 200 answer ("rate_limit"."primary_window", then
// "secondary_window"); no value when the body is malformed or holds neither.
[[nodiscard]] std::optional<UsageSnapshot> parseCodexUsage(QByteArrayView body, Timestamp now);

struct CodexFetchOptions {
    Clock clock = systemClock();
    EnvironmentReader environment = processEnvironment(); // for the endpoint replacement
    HttpLimits limits;
};

// One refresh: reads the credentials, skips an expired token, sends the
// request and reads the answer. No value on any failure.
QCoro::Task<std::optional<UsageSnapshot>> fetchCodexUsage(QString authFilePath, CodexFetchOptions options = {});

} // namespace vexlor
