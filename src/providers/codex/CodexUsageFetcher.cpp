#include "CodexUsageFetcher.h"

#include "CodexAuth.h"
#include "CodexRateLimits.h"
#include "collection/AppVersion.h"
#include "collection/Json.h"

namespace vexlor {

namespace {

UsageWindowSnapshot windowFrom(json::object o, Timestamp now)
{
    UsageWindowSnapshot w;
    const auto seconds = json::number(o, "limit_window_seconds");
    w.label = windowLabel(seconds ? std::optional<double>(*seconds / 60.0) : std::nullopt);
    if (const auto used = json::number(o, "used_percent"))
        w.percent = usedFraction(*used);
    if (const auto after = json::number(o, "reset_after_seconds"))
        w.resetsAt = now + *after;
    w.periodSeconds = seconds;
    return w;
}

} // namespace

QUrl codexUsageProductionUrl()
{
    return QUrl(QStringLiteral("https://chatgpt.com/backend-api/wham/usage"));
}

bool codexRefreshDue(Timestamp now, const CollectorContext& context, std::optional<UsageSnapshot>& liveUsage,
                     Timestamp& liveFetchedAt)
{
    if (!context.allowNetwork) {
        liveUsage.reset();
        return false;
    }
    if (now - liveFetchedAt > codexRefreshIntervalSeconds) {
        liveFetchedAt = now;
        return true;
    }
    return false;
}

UsageSnapshot codexReportedUsage(const std::optional<UsageSnapshot>& liveUsage, const UsageSnapshot& sessionUsage)
{
    return liveUsage ? *liveUsage : sessionUsage;
}

std::optional<UsageSnapshot> parseCodexUsage(QByteArrayView body, Timestamp now)
{
    const auto document = json::Document::parseObject(body);
    if (!document)
        return std::nullopt;
    const auto rateLimit = json::childObject(document->root(), "rate_limit");
    if (!rateLimit)
        return std::nullopt;
    UsageSnapshot usage;
    for (const char* key : {"primary_window", "secondary_window"}) {
        if (const auto window = json::childObject(*rateLimit, key))
            usage.windows.append(windowFrom(*window, now));
    }
    if (usage.windows.isEmpty())
        return std::nullopt;
    usage.updatedAt = now;
    return usage;
}

QCoro::Task<std::optional<UsageSnapshot>> fetchCodexUsage(QString authFilePath, CodexFetchOptions options)
{
    const auto credentials = readCodexCredentials(authFilePath);
    if (!credentials)
        co_return std::nullopt;
    if (const auto expiry = jwtExpiry(credentials->accessToken); expiry && *expiry < options.clock())
        co_return std::nullopt;
    const EndpointChoice endpoint = chooseEndpoint(codexUsageProductionUrl(), codexUsageUrlVariable,
                                                   options.environment);
    if (!endpoint.ok())
        co_return std::nullopt;

    HeaderFields headers = {
        {"Authorization", "Bearer " + credentials->accessToken.toUtf8()},
        {"Accept", "application/json"},
        {"User-Agent", userAgent()},
    };
    if (!credentials->accountId.isEmpty())
        headers.append({"ChatGPT-Account-Id", credentials->accountId.toUtf8()});

    // Named before it is awaited (see AgentCollector.h).
    QCoro::Task<HttpResult> request = HttpClient::shared().get(endpoint.url, headers, options.limits);
    const HttpResult result = co_await std::move(request);
    if (!result.isResponse() || result.status != 200)
        co_return std::nullopt;
    co_return parseCodexUsage(result.body, options.clock());
}

} // namespace vexlor
