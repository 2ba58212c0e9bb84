// Claude online usage against a loopback fake endpoint: both answer shapes,
// the failure table, the 300-second cadence, the cached token and its
// clearing, the online-access gate and the endpoint policy.

#include "FakeHttpServer.h"
#include "TestSupport.h"
#include "collection/IsoDate.h"
#include "providers/claude/ClaudeUsageFetcher.h"

#include <QHostAddress>
#include <QTest>

using namespace vexlor;
using vexlor::test::FakeHttpServer;
using vexlor::test::runTask;

namespace {

constexpr double t0 = 1'800'000'000;

bool finish(QCoro::Task<void> task)
{
    auto wrapped = [](QCoro::Task<void> t) -> QCoro::Task<bool> {
        co_await std::move(t);
        co_return true;
    };
    return runTask(wrapped(std::move(task))).has_value();
}

// A fetcher wired to the fake server, a movable clock and counted sources.
struct Rig {
    FakeHttpServer server;
    Timestamp now = Timestamp::fromSeconds(t0);
    QString environmentToken;
    QString urlOverride;
    int lookups = 0;
    std::unique_ptr<ClaudeUsageFetcher> fetcher;

    explicit Rig(int timeoutMs = 5000)
    {
        if (!server.listen())
            qFatal("fake server did not start");
        urlOverride = server.url(QStringLiteral("/api/oauth/usage"));
        ClaudeUsageFetcher::Options options;
        options.clock = [this] { return now; };
        options.environment = [this](const char* name) -> std::optional<QString> {
            if (QByteArray(name) == "VEXLOR_CLAUDE_USAGE_URL" && !urlOverride.isEmpty())
                return urlOverride;
            return std::nullopt;
        };
        options.tokenSources.environment = [this](const char* name) -> std::optional<QString> {
            if (QByteArray(name) != "CLAUDE_CODE_OAUTH_TOKEN")
                return std::nullopt;
            ++lookups;
            if (environmentToken.isEmpty())
                return std::nullopt;
            return environmentToken;
        };
        options.tokenSources.keychain = [](const QString&) { return std::optional<QByteArray>(); };
        options.limits = {timeoutMs, 64 * 1024};
        fetcher = std::make_unique<ClaudeUsageFetcher>(std::move(options));
        environmentToken = QStringLiteral("tok-1");
    }

    // One pass `seconds` after t0 with online access as given.
    void pass(double seconds, bool online = true)
    {
        now = Timestamp::fromSeconds(t0 + seconds);
        CollectorContext context;
        context.allowNetwork = online;
        QVERIFY(finish(fetcher->refresh(now, context)));
    }
    [[nodiscard]] UsageSnapshot usage() const { return fetcher->usage(); }
};

const QByteArray limitsBody = R"({"limits":[
    {"kind":"weekly_all","percent":12,"resets_at":"2027-01-08T10:00:00Z"},
    {"kind":"opus","percent":99},
    {"kind":"session","percent":42.5,"resets_at":"2027-01-01T05:00:00.123+02:00"}]})";

UsageWindowSnapshot window(const QString& label, std::optional<double> percent, std::optional<Timestamp> resets)
{
    UsageWindowSnapshot w;
    w.label = label;
    w.percent = percent;
    w.resetsAt = resets;
    return w;
}

Timestamp at(const char* iso)
{
    return *parseInternetDateTime(std::string_view(iso));
}

} // namespace

class ClaudeUsageFetcherTest : public QObject {
    Q_OBJECT

private slots:
    void parsesWindows_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QList<UsageWindowSnapshot>>("expected");
        const Timestamp now = Timestamp::fromSeconds(t0);
        QTest::newRow("limits list") << limitsBody
                                     << QList{window(QStringLiteral("5h"), 0.425, at("2027-01-01T03:00:00.123Z")),
                                              window(QStringLiteral("7d"), 0.12, at("2027-01-08T10:00:00Z"))};
        QTest::newRow("first of a kind wins")
            << QByteArray(R"({"limits":[{"kind":"session","percent":10},{"kind":"session","percent":90}]})")
            << QList{window(QStringLiteral("5h"), 0.1, std::nullopt)};
        QTest::newRow("clamped and missing percent")
            << QByteArray(R"({"limits":[{"kind":"session","percent":150},{"kind":"weekly_all","percent":-3}]})")
            << QList{window(QStringLiteral("5h"), 1.0, std::nullopt), window(QStringLiteral("7d"), 0.0, std::nullopt)};
        QTest::newRow("percent not a number")
            << QByteArray(R"({"limits":[{"kind":"session","percent":"42","resets_at":"soon"}]})")
            << QList{window(QStringLiteral("5h"), std::nullopt, now)};
        QTest::newRow("numeric reset time")
            << QByteArray(R"({"limits":[{"kind":"weekly_all","percent":50,"resets_at":1700000000}]})")
            << QList{window(QStringLiteral("7d"), 0.5, std::nullopt)};
        QTest::newRow("non-objects skipped")
            << QByteArray(R"({"limits":[3,"session",null,{"kind":"session","percent":1}]})")
            << QList{window(QStringLiteral("5h"), 0.01, std::nullopt)};
        QTest::newRow("other kinds only") << QByteArray(R"({"limits":[{"kind":"opus","percent":5}]})")
                                          << QList<UsageWindowSnapshot>{};
        QTest::newRow("empty limits list is not the other shape")
            << QByteArray(R"({"limits":[],"five_hour":{"utilization":5}})") << QList<UsageWindowSnapshot>{};
        QTest::newRow("window objects")
            << QByteArray(R"({"five_hour":{"utilization":37.0,"resets_at":"2027-01-01T05:00:00.5+01:00"},
                              "seven_day":{"utilization":3,"resets_at":null},
                              "seven_day_opus":{"utilization":80},"extra_usage":{"is_enabled":false}})")
            << QList{window(QStringLiteral("5h"), 0.37, at("2027-01-01T04:00:00.5Z")),
                     window(QStringLiteral("7d"), 0.03, std::nullopt)};
        QTest::newRow("window objects clamped, bad date")
            << QByteArray(R"({"five_hour":{"utilization":250,"resets_at":"tomorrow"},"seven_day":null})")
            << QList{window(QStringLiteral("5h"), 1.0, now)};
        QTest::newRow("limits not an array, no windows")
            << QByteArray(R"({"limits":{"kind":"session"}})") << QList<UsageWindowSnapshot>{};
        QTest::newRow("not an object") << QByteArray("[1,2]") << QList<UsageWindowSnapshot>{};
        QTest::newRow("not json") << QByteArray("<html>") << QList<UsageWindowSnapshot>{};
    }
    void parsesWindows()
    {
        QFETCH(QByteArray, body);
        QFETCH(QList<UsageWindowSnapshot>, expected);
        const auto windows = parseClaudeUsage(body, Timestamp::fromSeconds(t0));
        QCOMPARE(windows.size(), expected.size());
        for (qsizetype i = 0; i < windows.size(); ++i) {
            QCOMPARE(windows[i].label, expected[i].label);
            QCOMPARE(windows[i].percent.has_value(), expected[i].percent.has_value());
            if (expected[i].percent)
                QVERIFY(qFuzzyCompare(*windows[i].percent + 1, *expected[i].percent + 1));
            QCOMPARE(windows[i].resetsAt.has_value(), expected[i].resetsAt.has_value());
            if (expected[i].resetsAt)
                QVERIFY(std::abs(*windows[i].resetsAt - *expected[i].resetsAt) < 1e-3);
            QVERIFY(!windows[i].tokens && !windows[i].periodSeconds);
        }
    }

    void successSendsExactHeaders()
    {
        Rig rig;
        rig.server.setDefaultReply(FakeHttpServer::json(200, limitsBody));
        rig.pass(0);
        QCOMPARE(rig.server.requests().size(), 1);
        const auto& request = rig.server.requests().first();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.target, QByteArray("/api/oauth/usage"));
        QCOMPARE(request.header("Authorization"), std::optional<QByteArray>("Bearer tok-1"));
        QCOMPARE(request.header("anthropic-beta"), std::optional<QByteArray>("oauth-2025-04-20"));
        QCOMPARE(request.header("User-Agent"), std::optional<QByteArray>("Vexlor/0.1"));
        QVERIFY(!request.header("Cookie"));
        QVERIFY(!request.header("Content-Length") || request.header("Content-Length") == "0");

        const UsageSnapshot usage = rig.usage();
        QCOMPARE(usage.error, std::nullopt);
        QCOMPARE(usage.updatedAt, Timestamp::fromSeconds(t0));
        QCOMPARE(usage.costUSD, std::nullopt);
        QCOMPARE(usage.windows.size(), 2);
        QCOMPARE(usage.windows[0].label, QStringLiteral("5h"));
        QCOMPARE(usage.windows[1].label, QStringLiteral("7d"));
    }

    // Every failure keeps the last windows, stamps the fetch time and says why.
    void failuresKeepPreviousWindows_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("tokenCleared");
        QTest::newRow("401") << 401 << QStringLiteral("Claude usage HTTP 401") << true;
        QTest::newRow("403") << 403 << QStringLiteral("Claude usage HTTP 403") << true;
        QTest::newRow("500") << 500 << QStringLiteral("Claude usage HTTP 500") << false;
        QTest::newRow("429") << 429 << QStringLiteral("Claude usage HTTP 429") << false;
        QTest::newRow("redirect") << 307 << QStringLiteral("Claude usage HTTP 307") << false;
    }
    void failuresKeepPreviousWindows()
    {
        QFETCH(int, status);
        QFETCH(QString, error);
        QFETCH(bool, tokenCleared);
        Rig rig;
        rig.server.enqueue(FakeHttpServer::json(200, limitsBody));
        rig.server.enqueue(FakeHttpServer::json(status, R"({"error":"x"})"));
        rig.pass(0);
        const auto before = rig.usage().windows;
        QCOMPARE(before.size(), 2);
        QVERIFY(rig.fetcher->hasCachedToken());

        rig.pass(301);
        const UsageSnapshot usage = rig.usage();
        QCOMPARE(usage.windows, before);
        QCOMPARE(usage.error, std::optional<QString>(error));
        QCOMPARE(usage.updatedAt, Timestamp::fromSeconds(t0 + 301));
        QCOMPARE(rig.fetcher->hasCachedToken(), !tokenCleared);
    }

    // 401 clears the token: the next fetch, not before 300 s, looks it up again
    // and may find a new one.
    void unauthorizedLooksTokenUpAgain()
    {
        Rig rig;
        rig.server.enqueue(FakeHttpServer::json(200, limitsBody));
        rig.server.enqueue(FakeHttpServer::json(401, "{}"));
        rig.server.setDefaultReply(FakeHttpServer::json(200, limitsBody));
        rig.pass(0);
        QCOMPARE(rig.lookups, 1);
        rig.pass(301); // 401 with the cached token, no new lookup
        QCOMPARE(rig.lookups, 1);
        QVERIFY(!rig.fetcher->hasCachedToken());
        rig.environmentToken = QStringLiteral("tok-2");
        rig.pass(400); // within 300 s of the failed fetch: nothing
        QCOMPARE(rig.server.requests().size(), 2);
        rig.pass(602);
        QCOMPARE(rig.lookups, 2);
        QCOMPARE(rig.server.requests().size(), 3);
        QCOMPARE(rig.server.requests().at(1).header("Authorization"), std::optional<QByteArray>("Bearer tok-1"));
        QCOMPARE(rig.server.requests().at(2).header("Authorization"), std::optional<QByteArray>("Bearer tok-2"));
        QCOMPARE(rig.usage().error, std::nullopt);
    }

    void cachedTokenSkipsLookup()
    {
        Rig rig;
        rig.server.setDefaultReply(FakeHttpServer::json(500, "{}"));
        rig.pass(0);
        rig.pass(301);
        rig.pass(602);
        QCOMPARE(rig.server.requests().size(), 3);
        QCOMPARE(rig.lookups, 1);
    }

    void noTokenAnywhere()
    {
        Rig rig;
        rig.server.enqueue(FakeHttpServer::json(200, limitsBody));
        rig.pass(0);
        rig.server.enqueue(FakeHttpServer::json(403, "{}"));
        rig.pass(301);
        rig.environmentToken.clear();
        rig.pass(602);
        QCOMPARE(rig.server.requests().size(), 2);
        QCOMPARE(rig.usage().error, std::optional<QString>(QStringLiteral("Claude Code OAuth token not found")));
        QCOMPARE(rig.usage().windows.size(), 2);
        QVERIFY(!rig.fetcher->hasCachedToken());
        rig.pass(903); // looked up on every fetch while none is found
        QCOMPARE(rig.lookups, 3);
    }

    // One request per 300 s, measured from the start of the previous fetch,
    // whatever its outcome; strictly more than 300 s are needed.
    void cadence_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("success") << 200;
        QTest::newRow("server error") << 500;
        QTest::newRow("unauthorized") << 401;
    }
    void cadence()
    {
        QFETCH(int, status);
        Rig rig;
        rig.server.setDefaultReply(FakeHttpServer::json(status, limitsBody));
        rig.pass(0);
        rig.pass(3);
        rig.pass(300);
        QCOMPARE(rig.server.requests().size(), 1);
        rig.pass(300.5);
        QCOMPARE(rig.server.requests().size(), 2);
        rig.pass(303);
        rig.pass(600.5);
        QCOMPARE(rig.server.requests().size(), 2);
        rig.pass(601);
        QCOMPARE(rig.server.requests().size(), 3);
    }

    void onlineOffSendsNothing()
    {
        Rig rig;
        rig.server.setDefaultReply(FakeHttpServer::json(200, limitsBody));
        rig.pass(0);
        QCOMPARE(rig.server.requests().size(), 1);
        rig.pass(10, false);
        UsageSnapshot usage = rig.usage();
        QVERIFY(usage.windows.isEmpty());
        QCOMPARE(usage.error, std::optional<QString>(QStringLiteral("online access disabled")));
        QCOMPARE(usage.updatedAt, Timestamp::fromSeconds(t0 + 10));
        rig.pass(1000, false);
        QCOMPARE(rig.usage().updatedAt, Timestamp::fromSeconds(t0 + 1000));
        QCOMPARE(rig.server.connections(), 1);
        QCOMPARE(rig.lookups, 1);
        // Switched on again: the very next pass fetches.
        rig.pass(1001);
        QCOMPARE(rig.server.requests().size(), 2);
        QCOMPARE(rig.usage().windows.size(), 2);
    }

    void neverOnlineNeverConnects()
    {
        Rig rig;
        for (int i = 0; i < 5; ++i)
            rig.pass(i * 400, false);
        QCOMPARE(rig.server.connections(), 0);
        QCOMPARE(rig.lookups, 0);
    }

    void plainHttpToRemoteHostRefused()
    {
        const QHostAddress outside = FakeHttpServer::nonLoopbackAddress();
        if (outside.isNull())
            QSKIP("this machine has no non-loopback address");
        Rig rig;
        FakeHttpServer open;
        QVERIFY(open.listen(QHostAddress::AnyIPv4));
        rig.urlOverride = open.url(QStringLiteral("/api/oauth/usage"), outside.toString());
        rig.pass(0);
        const UsageSnapshot usage = rig.usage();
        QVERIFY(usage.error.has_value());
        QVERIFY(usage.error->contains(u"VEXLOR_CLAUDE_USAGE_URL"));
        QVERIFY(!usage.error->contains(u"tok-1"));
        QCOMPARE(open.connections(), 0);
        QCOMPARE(rig.lookups, 0);
    }

    void transportFailuresKeepWindows_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("bodySize");
        QTest::newRow("body over cap") << int(FakeHttpServer::Reply::Mode::normal) << 70 * 1024;
        QTest::newRow("endless body") << int(FakeHttpServer::Reply::Mode::endless) << 0;
        QTest::newRow("no answer") << int(FakeHttpServer::Reply::Mode::never) << 0;
    }
    void transportFailuresKeepWindows()
    {
        QFETCH(int, mode);
        QFETCH(int, bodySize);
        // The cap ends the first rows; a 2 s limit ends the silent one.
        Rig rig(2000);
        rig.server.enqueue(FakeHttpServer::json(200, limitsBody));
        FakeHttpServer::Reply bad = FakeHttpServer::json(200, QByteArray(bodySize, ' '));
        bad.mode = FakeHttpServer::Reply::Mode(mode);
        rig.server.enqueue(bad);
        rig.pass(0);
        const auto before = rig.usage().windows;
        rig.pass(301);
        const UsageSnapshot usage = rig.usage();
        QCOMPARE(usage.windows, before);
        QVERIFY(usage.error.has_value());
        QVERIFY(!usage.error->contains(u"tok-1"));
        QVERIFY(!usage.error->startsWith(u"Claude usage HTTP"));
        QVERIFY(rig.fetcher->hasCachedToken());
    }
};

QTEST_GUILESS_MAIN(ClaudeUsageFetcherTest)
#include "claude_usage_fetcher_test.moc"
