#include "CodexUsageFetcher.h"

#include "CodexAuth.h"
#include "collection/Json.h"

#include <cmath>

namespace vexlor {

namespace {

// The short name of a window of `minutes`: weeks, days, hours or minutes when
// the count divides evenly, "limit" when unknown.
QString windowLabelOf(std::optional<double> minutes)
{
    if (!minutes || !std::isfinite(*minutes) || std::abs(*minutes) >= 9.0e18)
        return QStringLiteral("limit");
    const qint64 m = static_cast<qint64>(std::trunc(*minutes));
    if (m % 10080 == 0)
        return QString::number(m / 10080) + u'w';
    if (m % 1440 == 0)
        return QString::number(m / 1440) + u'd';
    if (m % 60 == 0)
        return QString::number(m / 60) + u'h';
    return QString::number(m) + u'm';
}

UsageWindowSnapshot windowFrom(json::object o, Timestamp now)
{
    UsageWindowSnapshot w;
    const auto seconds = json::number(o, "limit_window_seconds");
    w.label = windowLabelOf(seconds ? std::optional<double>(*seconds / 60.0) : std::nullopt);
    if (const auto used = json::number(o, "used_percent")) {
        const double fraction = *used / 100.0;
        w.percent = !(fraction > 0) ? 0.0 : (fraction > 1 ? 1.0 : fraction);
    }
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
        {"User-Agent", "Vexlor/0.1"},
    };
    if (!credentials->accountId.isEmpty())
        headers.append({"ChatGPT-Account-Id", credentials->accountId.toUtf8()});

    const HttpResult result = co_await HttpClient::shared().get(endpoint.url, headers, options.limits);
    if (!result.isResponse() || result.status != 200)
        co_return std::nullopt;
    co_return parseCodexUsage(result.body, options.clock());
}

} // namespace vexlor
