// Codex online usage against a loopback fake endpoint: the refresh decision,
// the request, the windows, and the silent failures.
// Codex "auth.json" shapes and the access token's expiry.

#include "collection/AppVersion.h"
#include "FakeHttpServer.h"
#include "TestSupport.h"
#include "fixtures/Fixtures.h"
#include "providers/codex/CodexUsageFetcher.h"

#include <QTemporaryDir>
#include <QTest>
#include "providers/codex/CodexAuth.h"

using namespace vexlor;
using vexlor::test::FakeHttpServer;
using vexlor::test::runTask;

namespace {

constexpr double t0 = 1'800'000'000;

QByteArray jwtWithExpiry(double exp)
{
    return fixtures::codexToken("{\"exp\":" + QByteArray::number(exp, 'f', 0) + "}");
}

const QByteArray usageBody = R"({"plan_type":"plus","rate_limit":{"allowed":true,
    "primary_window":{"used_percent":42,"limit_window_seconds":18000,"reset_after_seconds":600},
    "secondary_window":{"used_percent":150,"limit_window_seconds":604800,"reset_after_seconds":86400}}})";

struct Rig {
    QTemporaryDir home;
    FakeHttpServer server;
    Timestamp now = Timestamp::fromSeconds(t0);
    QString urlOverride;

    Rig()
    {
        if (!home.isValid() || !server.listen())
            qFatal("test rig did not start");
        urlOverride = server.url(QStringLiteral("/backend-api/wham/usage"));
        writeAuth(R"({"tokens":{"access_token":"at-1","account_id":"acct-9"}})");
    }
    void writeAuth(const QByteArray& json) { test::writeFile(home.path(), QStringLiteral("auth.json"), json); }
    [[nodiscard]] QString authPath() const { return home.filePath(QStringLiteral("auth.json")); }

    std::optional<UsageSnapshot> fetch(int timeoutMs = 5000)
    {
        CodexFetchOptions options;
        options.clock = [this] { return now; };
        options.environment = [this](const char* name) -> std::optional<QString> {
            if (QByteArray(name) == "VEXLOR_CODEX_USAGE_URL" && !urlOverride.isEmpty())
                return urlOverride;
            return std::nullopt;
        };
        options.limits = {timeoutMs, 64 * 1024};
        auto result = runTask(fetchCodexUsage(authPath(), options));
        if (!result)
            qFatal("fetch did not finish");
        return *result;
    }
};

QString jwt(const QByteArray& payload, bool padded = false)
{
    QByteArray::Base64Options options = QByteArray::Base64UrlEncoding;
    if (!padded)
        options |= QByteArray::OmitTrailingEquals;
    return QString::fromLatin1("eyJhbGciOiJub25lIn0." + payload.toBase64(options) + ".c2ln");
}

} // namespace

class CodexUsageFetcherTest : public QObject {
    Q_OBJECT

private slots:
    void cleanupTestCase() { FakeHttpServer::settleClientTeardown(); }

    void parsesWindows_data()
    {
        QTest::addColumn<QByteArray>("window");
        QTest::addColumn<QString>("label");
        QTest::addColumn<double>("percent");  // -1: absent
        QTest::addColumn<double>("resetsIn"); // -1: absent
        QTest::addColumn<double>("period");   // -1: absent
        QTest::newRow("5h") << QByteArray(R"({"used_percent":42,"limit_window_seconds":18000,"reset_after_seconds":60})")
                            << QStringLiteral("5h") << 0.42 << 60.0 << 18000.0;
        QTest::newRow("1w") << QByteArray(R"({"used_percent":0,"limit_window_seconds":604800})") << QStringLiteral("1w")
                            << 0.0 << -1.0 << 604800.0;
        QTest::newRow("over 100") << QByteArray(R"({"used_percent":150,"limit_window_seconds":86400})")
                                  << QStringLiteral("1d") << 1.0 << -1.0 << 86400.0;
        QTest::newRow("odd seconds truncate") << QByteArray(R"({"limit_window_seconds":150})") << QStringLiteral("2m")
                                              << -1.0 << -1.0 << 150.0;
        QTest::newRow("no length") << QByteArray(R"({"used_percent":"5","reset_after_seconds":1.5})")
                                   << QStringLiteral("limit") << -1.0 << 1.5 << -1.0;
    }
    void parsesWindows()
    {
        QFETCH(QByteArray, window);
        QFETCH(QString, label);
        QFETCH(double, percent);
        QFETCH(double, resetsIn);
        QFETCH(double, period);
        const Timestamp now = Timestamp::fromSeconds(t0);
        const QByteArray body = "{\"rate_limit\":{\"primary_window\":" + window + "}}";
        const auto usage = parseCodexUsage(body, now);
        QVERIFY(usage.has_value());
        QCOMPARE(usage->windows.size(), 1);
        const UsageWindowSnapshot& w = usage->windows.first();
        QCOMPARE(w.label, label);
        QCOMPARE(w.percent, percent < 0 ? std::nullopt : std::optional<double>(percent));
        QCOMPARE(w.resetsAt, resetsIn < 0 ? std::nullopt : std::optional<Timestamp>(now + resetsIn));
        QCOMPARE(w.periodSeconds, period < 0 ? std::nullopt : std::optional<double>(period));
        QCOMPARE(w.tokens, std::nullopt);
        QCOMPARE(usage->updatedAt, now);
        QCOMPARE(usage->error, std::nullopt);
    }

    void malformedBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("not json") << QByteArray("<html>");
        QTest::newRow("no rate_limit") << QByteArray(R"({"primary_window":{"used_percent":1}})");
        QTest::newRow("neither window") << QByteArray(R"({"rate_limit":{"allowed":true}})");
    }
    void malformedBodies()
    {
        QFETCH(QByteArray, body);
        QVERIFY(!parseCodexUsage(body, Timestamp::fromSeconds(t0)).has_value());
    }

    void decisionAndPrecedence()
    {
        std::optional<UsageSnapshot> live;
        Timestamp fetchedAt = Timestamp::distantPast();
        CollectorContext on;
        on.allowNetwork = true;
        CollectorContext off;
        const auto at = [](double s) { return Timestamp::fromSeconds(t0 + s); };

        QVERIFY(codexRefreshDue(at(0), on, live, fetchedAt));
        QCOMPARE(fetchedAt, at(0));
        QVERIFY(!codexRefreshDue(at(3), on, live, fetchedAt));
        QVERIFY(!codexRefreshDue(at(300), on, live, fetchedAt));

        UsageSnapshot sessionUsage = UsageSnapshot::failed(QStringLiteral("No Codex usage event found"), at(0));
        live = UsageSnapshot{{UsageWindowSnapshot{QStringLiteral("5h"), 0.5, {}, {}, 18000}}, {}, at(0), {}};
        QCOMPARE(codexReportedUsage(live, sessionUsage), *live);

        // Switched off: live usage is dropped, the fetch time stays, and
        // switching back on within 300 s of the last attempt fetches nothing.
        QVERIFY(!codexRefreshDue(at(100), off, live, fetchedAt));
        QVERIFY(!live.has_value());
        QCOMPARE(fetchedAt, at(0));
        QCOMPARE(codexReportedUsage(live, sessionUsage), sessionUsage);
        QVERIFY(!codexRefreshDue(at(200), on, live, fetchedAt));
        QVERIFY(codexRefreshDue(at(300.5), on, live, fetchedAt));
        QCOMPARE(fetchedAt, at(300.5));
    }

    void requestAndAnswer()
    {
        Rig rig;
        rig.server.setDefaultReply(FakeHttpServer::json(200, usageBody));
        const UsageWindowSnapshot primary{QStringLiteral("5h"), 0.42, {}, rig.now + 600, 18000};
        const UsageWindowSnapshot secondary{QStringLiteral("1w"), 1.0, {}, rig.now + 86400, 604800};
        QCOMPARE(rig.fetch(), (UsageSnapshot{{primary, secondary}, {}, rig.now, {}}));
        QCOMPARE(rig.server.requests().size(), 1);
        const auto& request = rig.server.requests().first();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.target, QByteArray("/backend-api/wham/usage"));
        QCOMPARE(request.header("Authorization"), std::optional<QByteArray>("Bearer at-1"));
        QCOMPARE(request.header("Accept"), std::optional<QByteArray>("application/json"));
        QCOMPARE(request.header("User-Agent"), std::optional<QByteArray>(userAgent()));
        QCOMPARE(request.header("ChatGPT-Account-Id"), std::optional<QByteArray>("acct-9"));
        const QList<QByteArray> ours{"Authorization", "Accept", "User-Agent", "ChatGPT-Account-Id"};
        QList<QByteArray> order;
        for (const QByteArray& name : request.headerNames())
            if (ours.contains(name))
                order.append(name);
        QCOMPARE(order, ours);
    }

    // What "auth.json" holds decides whether anything is sent at all (an
    // expired token sends nothing), and whether the account header goes with
    // it. Its parsing has its own tests; here only what reaches the wire.
    void credentialsDecideTheRequest_data()
    {
        QTest::addColumn<QByteArray>("auth"); // "-": no file
        QTest::addColumn<bool>("sent");
        auto token = [](const QByteArray& t) -> QByteArray { return "{\"tokens\":{\"access_token\":\"" + t + "\"}}"; };
        QTest::newRow("no file") << QByteArray("-") << false;
        QTest::newRow("empty token") << token("") << false;
        QTest::newRow("expired a second ago") << token(jwtWithExpiry(t0 - 1)) << false;
        QTest::newRow("expires now") << token(jwtWithExpiry(t0)) << true;
        QTest::newRow("no exp") << token("eyJhbGciOiJub25lIn0.e30.c2ln") << true;
        QTest::newRow("not a JWT, no account") << token("opaque") << true;
    }
    void credentialsDecideTheRequest()
    {
        QFETCH(QByteArray, auth);
        QFETCH(bool, sent);
        Rig rig;
        if (auth == "-")
            QVERIFY(QFile::remove(rig.authPath()));
        else
            rig.writeAuth(auth);
        rig.server.setDefaultReply(FakeHttpServer::json(200, usageBody));
        QCOMPARE(rig.fetch().has_value(), sent);
        QCOMPARE(rig.server.connections(), sent ? 1 : 0);
        if (sent)
            QVERIFY(!rig.server.requests().first().header("ChatGPT-Account-Id"));
    }

    void failedAnswersGiveNothing_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("401") << 401 << usageBody;
        QTest::newRow("500") << 500 << usageBody;
        QTest::newRow("malformed") << 200 << QByteArray("{");
        QTest::newRow("no window") << 200 << QByteArray(R"({"rate_limit":{}})");
    }
    void failedAnswersGiveNothing()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        Rig rig;
        rig.server.setDefaultReply(FakeHttpServer::json(status, body));
        QVERIFY(!rig.fetch(1500).has_value());
        QCOMPARE(rig.server.requests().size(), 1);
    }

    void credentials_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("token"); // empty: no credentials
        QTest::addColumn<QString>("account");
        QTest::newRow("full") << QByteArray(R"({"tokens":{"access_token":"at","account_id":"acc","id_token":"x"}})")
                              << QStringLiteral("at") << QStringLiteral("acc");
        QTest::newRow("no account") << QByteArray(R"({"tokens":{"access_token":"at"}})") << QStringLiteral("at")
                                    << QString();
        QTest::newRow("empty token") << QByteArray(R"({"tokens":{"access_token":""}})") << QString() << QString();
        QTest::newRow("top-level token only") << QByteArray(R"({"access_token":"at"})") << QString() << QString();
        QTest::newRow("not json") << QByteArray("tokens") << QString() << QString();
    }
    void credentials()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, token);
        QFETCH(QString, account);
        const auto parsed = parseCodexCredentials(json);
        QCOMPARE(parsed.has_value(), !token.isEmpty());
        if (parsed) {
            QCOMPARE(parsed->accessToken, token);
            QCOMPARE(parsed->accountId, account);
        }
    }

    void credentialsFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(!readCodexCredentials(dir.filePath(QStringLiteral("auth.json"))));
        const QString path = test::writeFile(dir.path(), QStringLiteral("auth.json"),
                                             R"({"tokens":{"access_token":"at","account_id":"a"}})");
        const auto read = readCodexCredentials(path);
        QVERIFY(read.has_value());
        QCOMPARE(read->accessToken, QStringLiteral("at"));
        QVERIFY(!readCodexCredentials(dir.path())); // a directory is not a file
    }

    void expiry_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<double>("expiry"); // -1: none
        QTest::newRow("unpadded") << jwt(R"({"exp":1800000000,"sub":"u"})") << 1800000000.0;
        // "?>?" encodes to characters that differ between base64 and base64url.
        QTest::newRow("url alphabet") << jwt(R"({"k":"?>?~~~","exp":42})") << 42.0;
        QTest::newRow("empty parts dropped")
            << QStringLiteral("..") + jwt(R"({"exp":7})").replace(u'.', QStringLiteral("..")) << 7.0;
        QTest::newRow("no exp") << jwt(R"({"sub":"u"})") << -1.0;
        QTest::newRow("exp as string") << jwt(R"({"exp":"1800000000"})") << -1.0;
        QTest::newRow("payload not base64") << QStringLiteral("a.%%%%.c") << -1.0;
        QTest::newRow("one part") << QStringLiteral("opaque-token") << -1.0;
    }
    void expiry()
    {
        QFETCH(QString, token);
        QFETCH(double, expiry);
        const auto found = jwtExpiry(token);
        QCOMPARE(found.has_value(), expiry >= 0);
        if (found)
            QCOMPARE(found->seconds(), expiry);
    }
};

QTEST_GUILESS_MAIN(CodexUsageFetcherTest)
#include "codex_usage_fetcher_test.moc"
