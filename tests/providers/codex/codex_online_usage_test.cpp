// CodexCollector with online access against a loopback fake endpoint: the
// live usage takes precedence while access is on, failures are silent, the
// refresh cadence holds across a switch-off, and an expired token sends
// nothing.

#include "FakeHttpServer.h"
#include "TestSupport.h"
#include "providers/codex/CodexCollector.h"

#include <QTemporaryDir>
#include <QTest>

using namespace vexlor;
using namespace vexlor::test;

namespace {

constexpr double t0 = 1'800'000'000;

QByteArray tokenCountLine()
{
    return R"({"timestamp":"2027-01-15T08:00:00Z","type":"event_msg","payload":{"type":"token_count",)"
           R"("rate_limits":{"primary":{"used_percent":10,"window_minutes":300,"resets_at":1800003600}}}})"
           "\n";
}

const QByteArray liveBody = R"({"rate_limit":{
    "primary_window":{"used_percent":64,"limit_window_seconds":18000,"reset_after_seconds":120},
    "secondary_window":{"used_percent":5,"limit_window_seconds":604800,"reset_after_seconds":3600}}})";

QByteArray authWithExpiry(double exp)
{
    const QByteArray payload = "{\"exp\":" + QByteArray::number(exp, 'f', 0) + "}";
    const QByteArray token = "eyJhbGciOiJub25lIn0."
        + payload.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals) + ".c2ln";
    return R"({"tokens":{"access_token":")" + token + R"(","account_id":"acct"}})";
}

} // namespace

class CodexOnlineUsageTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_home;
    double m_now = t0;
    FakeHttpServer* m_server = nullptr;

    CodexCollector::Options options()
    {
        CodexCollector::Options o;
        o.home = m_home;
        o.clock = [this] { return Timestamp::fromSeconds(m_now); };
        o.online.environment = [url = m_server->url(QStringLiteral("/backend-api/wham/usage"))](
                                   const char* name) -> std::optional<QString> {
            if (QByteArray(name) == "VEXLOR_CODEX_USAGE_URL")
                return url;
            return std::nullopt;
        };
        o.online.limits = {5000, 64 * 1024};
        return o;
    }
    ProviderReport pass(CodexCollector& collector, bool online)
    {
        CollectorContext context;
        context.allowNetwork = online;
        auto report = runTask(collector.collect(context));
        if (!report)
            qFatal("collect() did not finish");
        return *report;
    }
    static QStringList labels(const UsageSnapshot& usage)
    {
        QStringList out;
        for (const auto& w : usage.windows)
            out << w.label + u'=' + QString::number(w.percent.value_or(-1));
        return out;
    }

private slots:
    void init()
    {
        QVERIFY(m_tmp.isValid());
        m_now = t0;
        m_home = m_tmp.path() + u'/' + QString::fromLatin1(QTest::currentTestFunction());
        writeFile(m_home, QStringLiteral("sessions/2027/01/15/rollout-00000001-0000-4000-8000-00000000abcd.jsonl"),
                  tokenCountLine());
        writeFile(m_home, QStringLiteral("auth.json"), authWithExpiry(t0 + 86400));
        m_server = new FakeHttpServer(this);
        QVERIFY(m_server->listen());
        m_server->setDefaultReply(FakeHttpServer::json(200, liveBody));
    }
    void cleanup()
    {
        delete m_server;
        m_server = nullptr;
    }

    void liveUsageTakesPrecedenceWhileOnline()
    {
        const QString before = treeFingerprint(m_home);
        CodexCollector collector(options());
        const QStringList session{QStringLiteral("5h=0.1")};
        const QStringList live{QStringLiteral("5h=0.64"), QStringLiteral("1w=0.05")};

        QCOMPARE(labels(pass(collector, false).usage), session);
        QCOMPARE(m_server->connections(), 0);

        ProviderReport report = pass(collector, true);
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(labels(report.usage), live);
        QCOMPARE(report.usage.updatedAt, std::optional(Timestamp::fromSeconds(t0)));
        QCOMPARE(report.sessions.size(), 1);
        QCOMPARE(m_server->requests().first().header("ChatGPT-Account-Id"), std::optional<QByteArray>("acct"));

        m_now += 5;
        QCOMPARE(labels(pass(collector, true).usage), live);
        QCOMPARE(m_server->requests().size(), 1);

        // A failed refresh keeps the last answer.
        m_server->setDefaultReply(FakeHttpServer::json(401, "{}"));
        m_now = t0 + 301;
        QCOMPARE(labels(pass(collector, true).usage), live);
        QCOMPARE(m_server->requests().size(), 2);

        // Off: the session-derived usage again, and nothing is sent.
        m_now += 10;
        QCOMPARE(labels(pass(collector, false).usage), session);
        // Back on within 300 s of the last attempt: still session usage, no request.
        m_now += 10;
        QCOMPARE(labels(pass(collector, true).usage), session);
        QCOMPARE(m_server->requests().size(), 2);
        m_server->setDefaultReply(FakeHttpServer::json(200, liveBody));
        m_now = t0 + 602;
        QCOMPARE(labels(pass(collector, true).usage), live);
        QCOMPARE(m_server->requests().size(), 3);
        QCOMPARE(treeFingerprint(m_home), before);
    }

    void expiredTokenSendsNothing()
    {
        writeFile(m_home, QStringLiteral("auth.json"), authWithExpiry(t0 - 1));
        CodexCollector collector(options());
        for (int i = 0; i < 3; ++i) {
            const ProviderReport report = pass(collector, true);
            QCOMPARE(labels(report.usage), QStringList{QStringLiteral("5h=0.1")});
            QCOMPARE(report.usage.error, std::nullopt);
            m_now += 301;
        }
        QCOMPARE(m_server->connections(), 0);
    }

    void notInstalledNeverRefreshes()
    {
        m_home += QStringLiteral("-missing");
        writeFile(m_home, QStringLiteral("auth.json"), authWithExpiry(t0 + 86400));
        CodexCollector collector(options());
        const ProviderReport report = pass(collector, true);
        QVERIFY(!report.installed);
        QCOMPARE(m_server->connections(), 0);
    }
};

QTEST_GUILESS_MAIN(CodexOnlineUsageTest)
#include "codex_online_usage_test.moc"
