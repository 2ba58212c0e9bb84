// The shared HTTP client against a loopback fake server: endpoint policy,
// header fields on the wire, redirects, time-outs and the body cap.

#include "collection/AppVersion.h"
#include "FakeHttpServer.h"
#include "TestSupport.h"
#include "collection/HttpClient.h"

#include <QHash>
#include <QTest>

using namespace vexlor;
using vexlor::test::FakeHttpServer;
using vexlor::test::runTask;

namespace {

EnvironmentReader environmentWith(QHash<QByteArray, QString> values)
{
    return [values](const char* name) -> std::optional<QString> {
        const auto it = values.constFind(QByteArray(name));
        if (it == values.constEnd() || it->isEmpty())
            return std::nullopt;
        return *it;
    };
}

} // namespace

class HttpClientTest : public QObject {
    Q_OBJECT

private slots:
    void loopbackHosts_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("loopback");
        QTest::newRow("localhost") << QStringLiteral("localhost") << true;
        QTest::newRow("127.0.0.1") << QStringLiteral("127.0.0.1") << true;
        QTest::newRow("::1") << QStringLiteral("::1") << true;
        QTest::newRow("[::1]") << QStringLiteral("[::1]") << true;
        QTest::newRow("128.0.0.1") << QStringLiteral("128.0.0.1") << false;
        QTest::newRow("localhost.example.com") << QStringLiteral("localhost.example.com") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void loopbackHosts()
    {
        QFETCH(QString, host);
        QFETCH(bool, loopback);
        QCOMPARE(isLoopbackHost(host), loopback);
    }

    void endpointPolicy_data()
    {
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("expected"); // empty: refused
        const QString production = QStringLiteral("https://vendor.example/api/usage");
        QTest::newRow("unset") << QString() << production;
        QTest::newRow("https anywhere") << QStringLiteral("https://proxy.example:8443/u")
                                        << QStringLiteral("https://proxy.example:8443/u");
        QTest::newRow("http loopback v4") << QStringLiteral("http://127.0.0.1:9/x") << QStringLiteral("http://127.0.0.1:9/x");
        QTest::newRow("http remote") << QStringLiteral("http://example.com/x") << QString();
        QTest::newRow("ftp loopback") << QStringLiteral("ftp://127.0.0.1/x") << QString();
        QTest::newRow("relative") << QStringLiteral("/api/usage") << QString();
        QTest::newRow("garbage") << QStringLiteral("ht tp://%%") << QString();
    }
    void endpointPolicy()
    {
        QFETCH(QString, replacement);
        QFETCH(QString, expected);
        const QUrl production(QStringLiteral("https://vendor.example/api/usage"));
        const EndpointChoice choice = chooseEndpoint(production, "VEXLOR_X_URL",
                                                     environmentWith({{"VEXLOR_X_URL", replacement}}));
        if (expected.isEmpty()) {
            QVERIFY(!choice.ok());
            QVERIFY(choice.error.contains(u"VEXLOR_X_URL"));
        } else {
            QVERIFY2(choice.ok(), qPrintable(choice.error));
            QCOMPARE(choice.url, QUrl(expected));
        }
    }

    void sendsHeadersInOrderAndReadsAnswer()
    {
        FakeHttpServer server;
        QVERIFY(server.listen());
        server.setDefaultReply(FakeHttpServer::json(200, "{\"ok\":true}"));
        const HeaderFields fields = {{"Authorization", "Bearer abc"}, {"Accept", "application/json"},
                                     {"User-Agent", userAgent()}, {"X-Last", "z"}};
        const auto result = runTask(HttpClient::shared().get(QUrl(server.url(QStringLiteral("/p?q=1"))), fields));
        QVERIFY(result.has_value());
        QVERIFY2(result->isResponse(), qPrintable(result->errorText));
        QCOMPARE(result->status, 200);
        QCOMPARE(result->body, QByteArray("{\"ok\":true}"));
        QCOMPARE(server.requests().size(), 1);
        const auto& request = server.requests().first();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.target, QByteArray("/p?q=1"));
        QList<QByteArray> ours;
        for (const QByteArray& name : request.headerNames()) {
            for (const auto& field : fields)
                if (field.first.compare(name, Qt::CaseInsensitive) == 0)
                    ours.append(field.first);
        }
        QCOMPARE(ours, (QList<QByteArray>{"Authorization", "Accept", "User-Agent", "X-Last"}));
        QCOMPARE(request.header("Authorization"), std::optional<QByteArray>("Bearer abc"));
        QVERIFY(!request.header("Cookie"));
    }

    void errorStatusesAreAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("401") << 401;
        QTest::newRow("500") << 500;
    }
    void errorStatusesAreAnswers()
    {
        QFETCH(int, status);
        FakeHttpServer server;
        QVERIFY(server.listen());
        FakeHttpServer::Reply reply = FakeHttpServer::json(status, "{\"error\":1}");
        // A challenge must not turn a refused token into a transport error.
        if (status == 401)
            reply.headers.append(std::pair<QByteArray, QByteArray>("WWW-Authenticate", "Bearer realm=\"api\""));
        server.setDefaultReply(reply);
        const auto result = runTask(HttpClient::shared().get(QUrl(server.url(QStringLiteral("/"))), {}));
        QVERIFY(result.has_value());
        QVERIFY2(result->isResponse(), qPrintable(result->errorText));
        QCOMPARE(result->status, status);
    }

    void redirectIsNotFollowed()
    {
        FakeHttpServer target;
        QVERIFY(target.listen());
        FakeHttpServer server;
        QVERIFY(server.listen());
        FakeHttpServer::Reply redirect;
        redirect.status = 302;
        redirect.headers = {{"Location", target.url(QStringLiteral("/stolen")).toUtf8()}};
        server.setDefaultReply(redirect);
        const auto result = runTask(HttpClient::shared().get(QUrl(server.url(QStringLiteral("/"))),
                                                             {{"Authorization", "Bearer secret"}}));
        QVERIFY(result.has_value());
        QVERIFY(result->isResponse());
        QCOMPARE(result->status, 302);
        QCOMPARE(target.connections(), 0);
    }

    void cookiesAreNeitherKeptNorSent()
    {
        FakeHttpServer server;
        QVERIFY(server.listen());
        FakeHttpServer::Reply first = FakeHttpServer::json(200, "{}");
        first.headers.append(std::pair<QByteArray, QByteArray>("Set-Cookie", "session=tracked; Path=/"));
        server.enqueue(first);
        server.setDefaultReply(FakeHttpServer::json(200, "{}"));
        const QUrl url(server.url(QStringLiteral("/")));
        QVERIFY(runTask(HttpClient::shared().get(url, {})).has_value());
        QVERIFY(runTask(HttpClient::shared().get(url, {})).has_value());
        QCOMPARE(server.requests().size(), 2);
        QVERIFY(!server.requests().at(1).header("Cookie"));
    }

    // The deadline covers the whole exchange (a server trickling a byte now
    // and then never looks idle) and the cap ends a body however it comes; a
    // body exactly at the cap is an answer.
    void exchangeBounds_data()
    {
        using Mode = FakeHttpServer::Reply::Mode;
        using Outcome = HttpResult::Outcome;
        QTest::addColumn<int>("mode");
        QTest::addColumn<qint64>("announced");
        QTest::addColumn<int>("bodySize");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("outcome");
        QTest::newRow("silent server") << int(Mode::never) << qint64(-1) << 0 << 200 << int(Outcome::timedOut);
        QTest::newRow("trickling server") << int(Mode::trickle) << qint64(-1) << 100000 << 300
                                          << int(Outcome::timedOut);
        // Generous time limits below: the cap, not the clock, must end these.
        QTest::newRow("body one byte over") << int(Mode::normal) << qint64(-1) << 4097 << 60000
                                            << int(Outcome::bodyTooLarge);
        QTest::newRow("announced larger, nothing sent") << int(Mode::trickle) << qint64(1 << 20) << 0 << 60000
                                                        << int(Outcome::bodyTooLarge);
        QTest::newRow("endless stream") << int(Mode::endless) << qint64(-1) << 0 << 60000
                                        << int(Outcome::bodyTooLarge);
        QTest::newRow("body at the cap") << int(Mode::normal) << qint64(-1) << 4096 << 60000 << int(Outcome::response);
    }
    void exchangeBounds()
    {
        QFETCH(int, mode);
        QFETCH(qint64, announced);
        QFETCH(int, bodySize);
        QFETCH(int, timeoutMs);
        QFETCH(int, outcome);
        FakeHttpServer server;
        QVERIFY(server.listen());
        FakeHttpServer::Reply reply = FakeHttpServer::json(200, QByteArray(bodySize, 'x'));
        reply.mode = FakeHttpServer::Reply::Mode(mode);
        reply.announcedLength = announced;
        const bool timing = outcome == int(HttpResult::Outcome::timedOut);
        reply.trickleIntervalMs = timing ? 10 : 1000;
        server.setDefaultReply(reply);
        const qint64 cap = timing ? 1 << 20 : 4096;
        const auto result =
            runTask(HttpClient::shared().get(QUrl(server.url(QStringLiteral("/"))), {}, {timeoutMs, cap}));
        QVERIFY(result.has_value());
        QCOMPARE(int(result->outcome), outcome);
        if (outcome == int(HttpResult::Outcome::response)) {
            QCOMPARE(result->body.size(), bodySize);
        } else {
            QVERIFY(result->body.isEmpty());
            QVERIFY(!timing || !result->errorText.isEmpty());
        }
        QVERIFY(server.streamedBytes() < 64 * 1024 * 1024);
    }

    void lineBreakInFieldSendsNothing()
    {
        FakeHttpServer server;
        QVERIFY(server.listen());
        server.setDefaultReply(FakeHttpServer::json(200, "{}"));
        const auto result = runTask(HttpClient::shared().get(QUrl(server.url(QStringLiteral("/"))),
                                                             {{"Authorization", "Bearer a\r\nX-Injected: 1"}}));
        QVERIFY(result.has_value());
        QCOMPARE(result->outcome, HttpResult::Outcome::transportError);
        QVERIFY(!result->errorText.contains(u"Bearer"));
        QCOMPARE(server.connections(), 0);
    }

    void refusedConnectionIsTransportError()
    {
        quint16 port = 0;
        {
            FakeHttpServer closed;
            QVERIFY(closed.listen());
            port = closed.port();
        }
        const QUrl url(QStringLiteral("http://127.0.0.1:%1/").arg(port));
        const auto result = runTask(HttpClient::shared().get(url, {}, {5000, 1024}));
        QVERIFY(result.has_value());
        QCOMPARE(result->outcome, HttpResult::Outcome::transportError);
        QCOMPARE(result->status, -1);
        QVERIFY(!result->errorText.isEmpty());
    }

    void cleanupTestCase()
    {
        // Replies go with deleteLater and Qt's network thread tears down its
        // request objects through queued calls; both need a running event
        // loop before the application object goes, or they outlive it.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTest::qWait(200);
    }
};

QTEST_GUILESS_MAIN(HttpClientTest)
#include "http_client_test.moc"
