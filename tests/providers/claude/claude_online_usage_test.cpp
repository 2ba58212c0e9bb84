// ClaudeCollector with online access against a loopback fake endpoint: the
// gate, the cadence inside real passes, the usage in the report, the
// credentials file of the configuration directory, and that a pass never
// writes into that directory.

#include "FakeHttpServer.h"
#include "TestSupport.h"
#include "providers/claude/ClaudeCollector.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace vexlor;
using namespace vexlor::test;

namespace {

constexpr double t0 = 1'800'000'000;

const QByteArray usageBody = R"({"five_hour":{"utilization":20,"resets_at":"2027-01-15T13:00:00.000+00:00"},
                                 "seven_day":{"utilization":70,"resets_at":null}})";

} // namespace

class ClaudeOnlineUsageTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_config;
    double m_now = t0;
    int m_keychainReads = 0;
    FakeHttpServer* m_server = nullptr;

    ClaudeCollectorOptions options()
    {
        ClaudeCollectorOptions o;
        o.configDirectory = m_config;
        o.clock = [this] { return Timestamp::fromSeconds(m_now); };
        ClaudeUsageFetcher::Options online;
        online.environment = [url = m_server->url(QStringLiteral("/api/oauth/usage"))](
                                 const char* name) -> std::optional<QString> {
            if (QByteArray(name) == "VEXLOR_CLAUDE_USAGE_URL")
                return url;
            return std::nullopt;
        };
        online.tokenSources.environment = [](const char*) { return std::optional<QString>(); };
        online.tokenSources.keychain = [this](const QString&) {
            ++m_keychainReads;
            return std::optional<QByteArray>();
        };
        online.tokenSources.credentialsFile = m_config + QStringLiteral("/.credentials.json");
        online.limits = {5000, 64 * 1024};
        o.online = online;
        return o;
    }
    ProviderReport pass(ClaudeCollector& collector, bool online)
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
        m_keychainReads = 0;
        m_config = m_tmp.path() + u'/' + QString::fromLatin1(QTest::currentTestFunction());
        QVERIFY(QDir().mkpath(m_config + QStringLiteral("/sessions")));
        writeFile(m_config, QStringLiteral(".credentials.json"),
                  R"({"claudeAiOauth":{"accessToken":"file-token","refreshToken":"r","expiresAt":1}})");
        m_server = new FakeHttpServer(this);
        QVERIFY(m_server->listen());
        m_server->setDefaultReply(FakeHttpServer::json(200, usageBody));
    }
    void cleanup()
    {
        delete m_server;
        m_server = nullptr;
    }

    void gateAndCadenceInPasses()
    {
        const QString before = treeFingerprint(m_config);
        ClaudeCollector collector(options());

        for (int i = 0; i < 3; ++i) {
            const ProviderReport report = pass(collector, false);
            QCOMPARE(report.usage, UsageSnapshot::failed(QStringLiteral("online access disabled"),
                                                         Timestamp::fromSeconds(m_now)));
            m_now += 400;
        }
        QCOMPARE(m_server->connections(), 0);
        QCOMPARE(m_keychainReads, 0);

        ProviderReport report = pass(collector, true);
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(m_server->requests().first().header("Authorization"), std::optional<QByteArray>("Bearer file-token"));
        QCOMPARE(labels(report.usage), (QStringList{QStringLiteral("5h=0.2"), QStringLiteral("7d=0.7")}));
        QCOMPARE(report.usage.error, std::nullopt);
        QVERIFY(report.spend.has_value());
        QCOMPARE(m_keychainReads, 1); // the key chain is asked before the file

        m_now += 3;
        QCOMPARE(labels(pass(collector, true).usage), labels(report.usage));
        QCOMPARE(m_server->requests().size(), 1);

        // Refused token: the error with the last windows, and a fresh lookup
        // on the next fetch only.
        m_server->setDefaultReply(FakeHttpServer::json(401, "{}"));
        m_now += 300;
        report = pass(collector, true);
        QCOMPARE(report.usage.error, std::optional(QStringLiteral("Claude usage HTTP 401")));
        QCOMPARE(labels(report.usage), (QStringList{QStringLiteral("5h=0.2"), QStringLiteral("7d=0.7")}));
        QCOMPARE(m_keychainReads, 1);
        m_now += 301;
        pass(collector, true);
        QCOMPARE(m_keychainReads, 2);
        QCOMPARE(m_server->requests().size(), 3);

        QCOMPARE(treeFingerprint(m_config), before);
    }
};

QTEST_GUILESS_MAIN(ClaudeOnlineUsageTest)
#include "claude_online_usage_test.moc"
