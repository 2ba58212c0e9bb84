// Claude online usage against a loopback fake endpoint: both answer shapes,
// the failure table, the 300-second cadence, the cached token and its
// clearing, the online-access gate and the endpoint policy.
// Finding the Claude Code OAuth token: the credentials JSON shapes, the order
// of the sources, and the key chain tool run as a child process.

#include "collection/AppVersion.h"
#include "FakeHttpServer.h"
#include "TestSupport.h"
#include "collection/IsoDate.h"
#include "providers/claude/ClaudeUsageFetcher.h"

#include <QHostAddress>
#include <QTest>
#include "providers/claude/ClaudeCredentials.h"
#include <QFile>
#include <QTemporaryDir>

using namespace vexlor;
using vexlor::test::FakeHttpServer;
using vexlor::test::runTask;
using vexlor::test::writeFile;

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

// The windows of `limitsBody`.
QList<UsageWindowSnapshot> limitsWindows()
{
    return {window(QStringLiteral("5h"), 0.425, at("2027-01-01T03:00:00.123Z")),
            window(QStringLiteral("7d"), 0.12, at("2027-01-08T10:00:00Z"))};
}

QString writeScript(const QString& dir, const QString& name, const QByteArray& body)
{
    const QString path = writeFile(dir, name, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

class ClaudeUsageFetcherTest : public QObject {
    Q_OBJECT

private slots:
    void cleanupTestCase() { FakeHttpServer::settleClientTeardown(); }

    void parsesWindows_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QList<UsageWindowSnapshot>>("expected");
        const Timestamp now = Timestamp::fromSeconds(t0);
        const QString h5 = QStringLiteral("5h"), d7 = QStringLiteral("7d");
        const auto none = std::nullopt;
        const QList<UsageWindowSnapshot> nothing;
        auto row = [](const char* name, const QByteArray& body, const QList<UsageWindowSnapshot>& expected) {
            QTest::newRow(name) << body << expected;
        };
        row("limits list", limitsBody, limitsWindows());
        row("first of a kind wins", R"({"limits":[{"kind":"session","percent":10},{"kind":"session","percent":90}]})",
            {window(h5, 0.1, none)});
        row("clamped and missing percent", R"({"limits":[{"kind":"session","percent":150},{"kind":"weekly_all","percent":-3}]})",
            {window(h5, 1.0, none), window(d7, 0.0, none)});
        row("percent not a number", R"({"limits":[{"kind":"session","percent":"42","resets_at":"soon"}]})", {window(h5, none, now)});
        row("other kinds only", R"({"limits":[{"kind":"opus","percent":5}]})", nothing);
        row("empty limits list is not the other shape", R"({"limits":[],"five_hour":{"utilization":5}})", nothing);
        row("window objects",
            R"({"five_hour":{"utilization":37.0,"resets_at":"2027-01-01T05:00:00.5+01:00"},"seven_day":{"utilization":3,"resets_at":null},
                "seven_day_opus":{"utilization":80},"extra_usage":{"is_enabled":false}})",
            {window(h5, 0.37, at("2027-01-01T04:00:00.5Z")), window(d7, 0.03, none)});
        row("window objects clamped, bad date", R"({"five_hour":{"utilization":250,"resets_at":"tomorrow"},"seven_day":null})",
            {window(h5, 1.0, now)});
        row("not json", "<html>", nothing);
    }
    void parsesWindows()
    {
        QFETCH(QByteArray, body);
        QFETCH(QList<UsageWindowSnapshot>, expected);
        QCOMPARE(parseClaudeUsage(body, Timestamp::fromSeconds(t0)), expected);
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
        QCOMPARE(request.header("User-Agent"), std::optional<QByteArray>(userAgent()));
        QVERIFY(!request.header("Cookie"));
        QVERIFY(!request.header("Content-Length") || request.header("Content-Length") == "0");
        QCOMPARE(rig.usage(), (UsageSnapshot{limitsWindows(), {}, rig.now, {}}));
    }

    // Every failure keeps the last windows, stamps the fetch time and says
    // why; only a refusal drops the token. Transport failures are the HTTP
    // client's own tests.
    void failuresKeepPreviousWindows_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("tokenCleared");
        QTest::newRow("401") << 401 << true;
        QTest::newRow("403") << 403 << true;
        QTest::newRow("429") << 429 << false;
    }
    void failuresKeepPreviousWindows()
    {
        QFETCH(int, status);
        QFETCH(bool, tokenCleared);
        Rig rig;
        rig.server.enqueue(FakeHttpServer::json(200, limitsBody));
        rig.server.enqueue(FakeHttpServer::json(status, R"({"error":"x"})"));
        rig.pass(0);
        QVERIFY(rig.fetcher->hasCachedToken());
        rig.pass(301);
        const UsageSnapshot usage = rig.usage();
        QCOMPARE(usage.windows, limitsWindows());
        QCOMPARE(usage.error, std::optional(QStringLiteral("Claude usage HTTP %1").arg(status)));
        QCOMPARE(usage.updatedAt, Timestamp::fromSeconds(t0 + 301));
        QCOMPARE(rig.fetcher->hasCachedToken(), !tokenCleared);
    }

    // A refused token is dropped: the next fetch, not before 300 s, looks it
    // up again; while none is found nothing is sent, the last windows stay
    // and every fetch looks again, until a new one turns up.
    void refusedTokenIsLookedUpAgain()
    {
        Rig rig;
        rig.server.enqueue(FakeHttpServer::json(200, limitsBody));
        rig.server.enqueue(FakeHttpServer::json(401, "{}"));
        rig.server.setDefaultReply(FakeHttpServer::json(200, limitsBody));
        rig.pass(0);
        rig.pass(301); // 401 with the cached token, no new lookup
        QCOMPARE(rig.lookups, 1);
        QVERIFY(!rig.fetcher->hasCachedToken());
        rig.environmentToken.clear();
        rig.pass(400); // within 300 s of the failed fetch: nothing
        QCOMPARE(rig.lookups, 1);
        rig.pass(602);
        rig.pass(903);
        QCOMPARE(rig.lookups, 3);
        QCOMPARE(rig.server.requests().size(), 2);
        QCOMPARE(rig.usage().error, std::optional<QString>(QStringLiteral("Claude Code OAuth token not found")));
        QCOMPARE(rig.usage().windows, limitsWindows());
        rig.environmentToken = QStringLiteral("tok-2");
        rig.pass(1204);
        QCOMPARE(rig.lookups, 4);
        QCOMPARE(rig.server.requests().size(), 3);
        QCOMPARE(rig.server.requests().at(1).header("Authorization"), std::optional<QByteArray>("Bearer tok-1"));
        QCOMPARE(rig.server.requests().at(2).header("Authorization"), std::optional<QByteArray>("Bearer tok-2"));
        QCOMPARE(rig.usage().error, std::nullopt);
    }

    // One request per 300 s, measured from the start of the previous fetch,
    // whatever its outcome; strictly more than 300 s are needed. The token is
    // looked up again only after it was refused.
    void cadence_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("lookups");
        QTest::newRow("success") << 200 << 1;
        QTest::newRow("server error") << 500 << 1;
        QTest::newRow("unauthorized") << 401 << 3;
    }
    void cadence()
    {
        QFETCH(int, status);
        QFETCH(int, lookups);
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
        QCOMPARE(rig.lookups, lookups);
    }

    void onlineOffSendsNothing()
    {
        Rig rig;
        rig.server.setDefaultReply(FakeHttpServer::json(200, limitsBody));
        for (int i = 0; i < 3; ++i)
            rig.pass(i * 400 - 1000, false);
        QCOMPARE(rig.server.connections(), 0);
        QCOMPARE(rig.lookups, 0); // never online: the token is not even looked up
        rig.pass(0);
        QCOMPARE(rig.server.requests().size(), 1);
        rig.pass(1000, false);
        QVERIFY(rig.usage().windows.isEmpty());
        QCOMPARE(rig.usage().error, std::optional<QString>(QStringLiteral("online access disabled")));
        QVERIFY(rig.usage().failure == UsageFailure::onlineAccessDisabled);
        QCOMPARE(rig.server.connections(), 1);
        // Switched on again: the very next pass fetches.
        rig.pass(1001);
        QCOMPARE(rig.server.requests().size(), 2);
        QCOMPARE(rig.usage().windows.size(), 2);
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

    void credentialsJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("token"); // empty: none
        QTest::newRow("nested") << QByteArray(R"({"claudeAiOauth":{"accessToken":"sk-nested","refreshToken":"r"}})")
                                << QStringLiteral("sk-nested");
        QTest::newRow("nested wins over top level")
            << QByteArray(R"({"accessToken":"top","claudeAiOauth":{"accessToken":"inner"}})") << QStringLiteral("inner");
        QTest::newRow("nested without token falls back")
            << QByteArray(R"({"claudeAiOauth":{"refreshToken":"r"},"accessToken":"top"})") << QStringLiteral("top");
        QTest::newRow("trimmed") << QByteArray("{\"accessToken\":\" \\t tok \\t\"}") << QStringLiteral("tok");
        QTest::newRow("line break kept") << QByteArray(R"({"accessToken":"tok\n"})") << QStringLiteral("tok\n");
        QTest::newRow("only spaces and tabs") << QByteArray("{\"accessToken\":\" \\t \"}") << QString();
        QTest::newRow("nested blank does not fall back")
            << QByteArray(R"({"claudeAiOauth":{"accessToken":"  "},"accessToken":"top"})") << QString();
        QTest::newRow("not json") << QByteArray("accessToken=abc") << QString();
    }
    void credentialsJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, token);
        const auto found = tokenFromCredentialsJson(json);
        QCOMPARE(found.value_or(QString()), token);
        QCOMPARE(found.has_value(), !token.isEmpty());
    }

    // Each row gives the three sources and which one must win; "-" marks an
    // absent source. The calls list shows which sources were consulted.
    void sourceOrder_data()
    {
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QByteArray>("keychain");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QStringList>("consulted");
        const QByteArray kc = R"({"claudeAiOauth":{"accessToken":"from-keychain"}})";
        const QByteArray fl = R"({"claudeAiOauth":{"accessToken":"from-file"}})";
        const QStringList all{QStringLiteral("env"), QStringLiteral("keychain")};
        QTest::newRow("environment first") << QStringLiteral(" from-env ") << kc << fl << QStringLiteral("from-env")
                                           << QStringList{QStringLiteral("env")};
        QTest::newRow("blank environment ignored") << QStringLiteral(" \t ") << kc << fl << QStringLiteral("from-keychain") << all;
        QTest::newRow("keychain absent, file") << QStringLiteral("-") << QByteArray("-") << fl
                                               << QStringLiteral("from-file") << all;
        QTest::newRow("keychain without token, file") << QStringLiteral("-") << QByteArray(R"({"other":1})") << fl
                                                      << QStringLiteral("from-file") << all;
        QTest::newRow("nothing anywhere") << QStringLiteral("-") << QByteArray("-") << QByteArray("-") << QString()
                                          << all;
    }
    void sourceOrder()
    {
        QFETCH(QString, environment);
        QFETCH(QByteArray, keychain);
        QFETCH(QByteArray, file);
        QFETCH(QString, token);
        QFETCH(QStringList, consulted);

        QTemporaryDir config;
        QVERIFY(config.isValid());
        if (file != "-")
            writeFile(config.path(), QStringLiteral(".credentials.json"), file);
        QStringList calls;
        ClaudeTokenSources sources;
        sources.environment = [&](const char* name) -> std::optional<QString> {
            calls << QStringLiteral("env");
            if (QByteArray(name) != "CLAUDE_CODE_OAUTH_TOKEN" || environment == u"-")
                return std::nullopt;
            return environment;
        };
        sources.keychain = [&](const QString& service) -> std::optional<QByteArray> {
            calls << QStringLiteral("keychain");
            if (service != u"Claude Code-credentials" || keychain == "-")
                return std::nullopt;
            return keychain;
        };
        sources.credentialsFile = config.filePath(QStringLiteral(".credentials.json"));

        QCOMPARE(lookUpClaudeToken(sources).value_or(QString()), token);
        QCOMPARE(calls, consulted);
    }

    void secretToolOutcomes_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("prints secret") << QByteArray("printf '%s' \"$3\"\n") << true << QByteArray("svc name");
        QTest::newRow("no such item") << QByteArray("exit 1\n") << false << QByteArray();
        QTest::newRow("no such program") << QByteArray() << false << QByteArray();
        QTest::newRow("output then failure") << QByteArray("printf secret; exit 44\n") << false << QByteArray();
        QTest::newRow("hangs") << QByteArray("exec sleep 30\n") << false << QByteArray();
        QTest::newRow("too much output") << QByteArray("head -c 300000 /dev/zero\n") << false << QByteArray();
        QTest::newRow("killed") << QByteArray("kill -9 $$\n") << false << QByteArray();
    }
    void secretToolOutcomes()
    {
        QFETCH(QByteArray, script);
        QFETCH(bool, found);
        QFETCH(QByteArray, output);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        SecretTool tool;
        tool.program = script.isEmpty() ? QStringLiteral("/nonexistent/secret-tool")
                                        : writeScript(dir.path(), QStringLiteral("tool"), script);
        tool.arguments = {QStringLiteral("lookup"), QStringLiteral("service"), QStringLiteral("svc name")};
        tool.timeoutMs = 500;
        tool.maxOutputBytes = 100000;
        const auto result = runSecretTool(tool);
        QCOMPARE(result.has_value(), found);
        if (found)
            QCOMPARE(*result, output);
    }
};

QTEST_GUILESS_MAIN(ClaudeUsageFetcherTest)
#include "claude_usage_fetcher_test.moc"
