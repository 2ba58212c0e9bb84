#include "ClaudeUsageFetcher.h"

#include "collection/AppVersion.h"
#include "collection/IsoDate.h"
#include "collection/Json.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

namespace vexlor {

namespace {

struct WindowSource {
    std::optional<double> percent; // 0..100
    std::optional<json::element> resetsAt;
};

UsageWindowSnapshot makeWindow(const QString& label, const WindowSource& source, Timestamp now)
{
    UsageWindowSnapshot window;
    window.label = label;
    if (source.percent)
        window.percent = std::clamp(*source.percent / 100.0, 0.0, 1.0);
    if (source.resetsAt) {
        std::string_view text;
        if (!source.resetsAt->get_string().get(text))
            window.resetsAt = parseInternetDateTime(text).value_or(now);
    }
    return window;
}

WindowSource sourceOf(json::object o, std::string_view percentKey)
{
    return {json::number(o, percentKey), json::member(o, "resets_at")};
}

} // namespace

QUrl claudeUsageProductionUrl()
{
    return QUrl(QStringLiteral("https://api.anthropic.com/api/oauth/usage"));
}

QList<UsageWindowSnapshot> parseClaudeUsage(QByteArrayView body, Timestamp now)
{
    QList<UsageWindowSnapshot> windows;
    const auto document = json::Document::parseObject(body);
    if (!document)
        return windows;
    const json::object root = document->root();

    std::optional<WindowSource> session;
    std::optional<WindowSource> weekly;
    if (const auto limits = json::childArray(root, "limits")) {
        for (json::element item : *limits) {
            json::object limit;
            if (item.get_object().get(limit))
                continue;
            const auto kind = json::string(limit, "kind");
            if (kind == "session" && !session)
                session = sourceOf(limit, "percent");
            else if (kind == "weekly_all" && !weekly)
                weekly = sourceOf(limit, "percent");
        }
    } else {
        // The other generation of the endpoint answers with one object per window.
        if (const auto o = json::childObject(root, "five_hour"))
            session = sourceOf(*o, "utilization");
        if (const auto o = json::childObject(root, "seven_day"))
            weekly = sourceOf(*o, "utilization");
    }
    if (session)
        windows.append(makeWindow(QStringLiteral("5h"), *session, now));
    if (weekly)
        windows.append(makeWindow(QStringLiteral("7d"), *weekly, now));
    return windows;
}

ClaudeUsageFetcher::ClaudeUsageFetcher(const QString& configDirectory)
    : ClaudeUsageFetcher(Options{systemClock(), processEnvironment(), ClaudeTokenSources::system(configDirectory), {}})
{
}

ClaudeUsageFetcher::ClaudeUsageFetcher(Options options)
    : m_options(std::move(options))
{
}

bool ClaudeUsageFetcher::gate(Timestamp now, const CollectorContext& context)
{
    QMutexLocker locker(&m_lock);
    if (!context.allowNetwork) {
        m_usage = UsageSnapshot::failed(QCoreApplication::translate("ClaudeCollector", "online access disabled"), now,
                                        UsageFailure::onlineAccessDisabled);
        m_fetchedAt = Timestamp::distantPast();
        return false;
    }
    if (now - m_fetchedAt > claudeUsageIntervalSeconds) {
        m_fetchedAt = now;
        return true;
    }
    return false;
}

QCoro::Task<void> ClaudeUsageFetcher::refresh(Timestamp now, CollectorContext context)
{
    if (gate(now, context))
        co_await fetch();
}

UsageSnapshot ClaudeUsageFetcher::usage() const
{
    QMutexLocker locker(&m_lock);
    return m_usage;
}

bool ClaudeUsageFetcher::hasCachedToken() const
{
    QMutexLocker locker(&m_lock);
    return m_cachedToken.has_value();
}

void ClaudeUsageFetcher::fail(Timestamp at, const QString& message)
{
    QMutexLocker locker(&m_lock);
    UsageSnapshot next;
    next.windows = m_usage.windows; // the last known values stay visible
    next.updatedAt = at;
    next.error = message;
    m_usage = std::move(next);
}

QCoro::Task<void> ClaudeUsageFetcher::fetch()
{
    const Timestamp t = m_options.clock();

    // A refused endpoint fails before any credential is even looked up.
    const EndpointChoice endpoint = chooseEndpoint(claudeUsageProductionUrl(), claudeUsageUrlVariable,
                                                   m_options.environment);
    if (!endpoint.ok()) {
        fail(t, endpoint.error);
        co_return;
    }

    std::optional<QString> token;
    {
        QMutexLocker locker(&m_lock);
        token = m_cachedToken;
    }
    if (!token) {
        // May run the key chain tool: off the interface thread. Named before
        // it is awaited (see AgentCollector.h).
        QFuture<std::optional<QString>> lookup = QtConcurrent::run(
            [sources = m_options.tokenSources] { return lookUpClaudeToken(sources); });
        token = co_await lookup;
        if (!token) {
            fail(t, QCoreApplication::translate("ClaudeCollector", "Claude Code OAuth token not found"));
            co_return;
        }
        QMutexLocker locker(&m_lock);
        m_cachedToken = token;
    }

    const HeaderFields headers = {
        {"Authorization", "Bearer " + token->toUtf8()},
        {"anthropic-beta", "oauth-2025-04-20"},
        {"User-Agent", userAgent()},
    };
    QCoro::Task<HttpResult> request = HttpClient::shared().get(endpoint.url, headers, m_options.limits);
    const HttpResult result = co_await std::move(request);
    if (!result.isResponse()) {
        fail(t, result.errorText);
        co_return;
    }
    if (result.status != 200) {
        if (result.status == 401 || result.status == 403) {
            QMutexLocker locker(&m_lock);
            m_cachedToken.reset();
        }
        fail(t, QCoreApplication::translate("ClaudeCollector", "Claude usage HTTP %1").arg(result.status));
        co_return;
    }

    UsageSnapshot next;
    next.windows = parseClaudeUsage(result.body, m_options.clock());
    next.updatedAt = t;
    QMutexLocker locker(&m_lock);
    m_usage = std::move(next);
}

} // namespace vexlor
