// The shared HTTP client against a loopback fake server: endpoint policy,
// header fields on the wire, redirects, time-outs and the body cap.
// Shared file routines: listing, tails, JSON lines, dates and titles.

#include "collection/AppVersion.h"
#include "FakeHttpServer.h"
#include "TestSupport.h"
#include "collection/HttpClient.h"

#include <QHash>
#include <QTest>
#include "collection/FileRoutines.h"
#include "collection/IsoDate.h"
#include "collection/Json.h"
#include <QDir>
#include <QFile>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexlor;
using vexlor::test::FakeHttpServer;
using vexlor::test::runTask;
using namespace vexlor::test;

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

    void cleanupTestCase() { FakeHttpServer::settleClientTeardown(); }

    void attentionRule()
    {
        CollectorContext ctx;
        ctx.attentionSince = Timestamp::fromSeconds(100);
        QVERIFY(!ctx.needsAttention(QStringLiteral("c:a"), Timestamp::fromSeconds(100)));
        QVERIFY(ctx.needsAttention(QStringLiteral("c:a"), Timestamp::fromSeconds(101)));
        ctx.acknowledged.insert(QStringLiteral("c:a"), Timestamp::fromSeconds(150));
        QVERIFY(!ctx.needsAttention(QStringLiteral("c:a"), Timestamp::fromSeconds(150)));
        QVERIFY(ctx.needsAttention(QStringLiteral("c:a"), Timestamp::fromSeconds(150.5)));
    }

    void listingKeepsVisibleJsonlFilesOnly()
    {
        QTemporaryDir tmp;
        QCOMPARE(jsonlFiles(tmp.path() + u"/missing").size(), 0);
        writeFile(tmp.path(), QStringLiteral("a.jsonl"), "1234567");
        writeFile(tmp.path(), QStringLiteral("b.JSONL"), "x");
        writeFile(tmp.path(), QStringLiteral(".hidden.jsonl"), "x");
        writeFile(tmp.path(), QStringLiteral(".git/d.jsonl"), "x");
        writeFile(tmp.path(), QStringLiteral("x/c.jsonl"), "x");
        writeFile(tmp.path(), QStringLiteral("x/notes.txt"), "x");
        QDir(tmp.path()).mkpath(QStringLiteral("dir.jsonl"));
        // A symbolic link loop and a link to a file are not followed.
        QVERIFY(QFile::link(tmp.path(), tmp.path() + u"/x/loop"));
        QVERIFY(QFile::link(tmp.path() + u"/a.jsonl", tmp.path() + u"/x/link.jsonl"));
        // The walk stops 64 folders down.
        writeFile(tmp.path(), QStringLiteral("d/").repeated(70) + QStringLiteral("deep.jsonl"), "x");
        // A FIFO named like a transcript is not a regular file.
        QVERIFY(mkfifo(QFile::encodeName(tmp.path() + u"/fifo.jsonl").constData(), 0600) == 0);

        const Timestamp when = Timestamp::fromSeconds(1700000000.25);
        setMtime(tmp.path() + u"/a.jsonl", when);
        auto files = jsonlFiles(tmp.path());
        QStringList names;
        for (const auto& f : files)
            names << f.path.mid(tmp.path().size() + 1);
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("a.jsonl"), QStringLiteral("x/c.jsonl")}));
        for (const auto& f : files) {
            if (f.path.endsWith(u"/a.jsonl")) {
                QCOMPARE(f.size, 7);
                QVERIFY(std::abs(f.mtime - when) < 1e-3);
            }
        }
        // A trailing slash lists the same files.
        QCOMPARE(jsonlFiles(tmp.path() + u'/').size(), 2);
    }

    void listingSkipsUnreadableDirectories()
    {
        if (geteuid() == 0)
            QSKIP("permission bits do not bind root");
        QTemporaryDir tmp;
        writeFile(tmp.path(), QStringLiteral("ok/a.jsonl"), "x");
        writeFile(tmp.path(), QStringLiteral("locked/b.jsonl"), "x");
        chmod(QFile::encodeName(tmp.path() + u"/locked").constData(), 0);
        QCOMPARE(jsonlFiles(tmp.path()).size(), 1);
        chmod(QFile::encodeName(tmp.path() + u"/locked").constData(), 0700);
    }

    void boundedReads()
    {
        QTemporaryDir tmp;
        const QString p = writeFile(tmp.path(), QStringLiteral("t.txt"), "0123456789");
        const QString fifo = tmp.path() + u"/f.jsonl";
        QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        struct Row {
            QString path;
            qint64 max;
            Overflow overflow;
            std::optional<QByteArray> bytes;
            int error;
        };
        const Row rows[] = {
            {p, 4, Overflow::keepTail, QByteArray("6789"), 0},
            {p, 100, Overflow::keepTail, QByteArray("0123456789"), 0},
            {p, 10, Overflow::refuse, QByteArray("0123456789"), 0},
            {p, 9, Overflow::refuse, std::nullopt, EFBIG},
            {tmp.path(), 100, Overflow::keepTail, std::nullopt, EISDIR},
            {fifo, 100, Overflow::keepTail, std::nullopt, EINVAL}, // never blocks
            {tmp.path() + u"/missing", 100, Overflow::refuse, std::nullopt, ENOENT},
        };
        for (const Row& row : rows) {
            const BoundedRead read = readBounded(row.path, row.max, row.overflow);
            QCOMPARE(read.bytes, row.bytes);
            QCOMPARE(read.error, row.error);
        }
    }

    void jsonLinesSurviveHostileInput()
    {
        QByteArray deep(100000, '[');
        QByteArray bad = "{\"t\":\"a\xFF\xFE" "b\"}";
        QByteArray input = deep + "\n" + bad + "\n{\"n\":\"12\",\"d\":1.5,\"i\":3}\n";
        const auto docs = parseJSONLinesUtf8(input);
        QCOMPARE(docs.size(), 2);
        // Invalid UTF-8 is read as replacement characters, not dropped.
        QCOMPARE(json::qstring(docs[0].root(), "t"), std::optional(QStringLiteral("a\uFFFD\uFFFDb")));
        const auto o = docs[1].root();
        QCOMPARE(json::number(o, "n"), std::nullopt); // numbers in strings do not count
        QCOMPARE(json::number(o, "d"), std::optional(1.5));
        QCOMPARE(json::integer(o, "i"), std::optional<qint64>(3));
        QCOMPARE(json::integer(o, "d"), std::nullopt);
        QCOMPARE(json::string(o, "i"), std::nullopt);
    }

    // An empty view (no data pointer at all) used to reach memcpy with a null
    // source inside the parser; the sanitizer lane catches that.
    void emptyJsonIsNoObject()
    {
        QVERIFY(!json::Document::parseObject(QByteArrayView()).has_value());
        QVERIFY(!json::Document::parseObject(QByteArray()).has_value());
        QVERIFY(!json::Document::parseObject(" \n").has_value());
        QVERIFY(parseJSONLinesUtf8(QByteArrayView()).isEmpty());
        QVERIFY(json::Document::parseObject("{}").has_value());
    }

    void isoDates_data()
    {
        QTest::addColumn<QByteArray>("member"); // the JSON value of "t"
        QTest::addColumn<double>("expected");   // NaN: fallback
        const double base = 1735689600;         // 2025-01-01T00:00:00Z
        const double nan = std::nan("");
        auto row = [](const char* name, const char* text, double expected) {
            QTest::newRow(name) << QByteArray(QByteArray("\"") + text + '"') << expected;
        };
        row("utc", "2025-01-01T00:00:00Z", base);
        row("fraction", "2025-01-01T00:00:00.5Z", base + 0.5);
        row("offset", "2025-01-01T02:00:00+02:00", base);
        row("negative offset", "2024-12-31T19:00:00.000-05:00", base);
        row("leap day", "2024-02-29T00:00:00Z", 1709164800.0);
        row("date only", "2025-01-01", nan);
        row("no zone", "2025-01-01T00:00:00", nan);
        row("bad day", "2025-02-30T00:00:00Z", nan);
        row("empty fraction", "2025-01-01T00:00:00.Z", nan);
        row("trailing", "2025-01-01T00:00:00Zx", nan);
        row("space", "2025-01-01 00:00:00Z", nan);
        QTest::newRow("a number") << QByteArray("1735689600") << nan;
    }

    void isoDates()
    {
        QFETCH(QByteArray, member);
        QFETCH(double, expected);
        const Timestamp fallback = Timestamp::fromSeconds(7);
        const QByteArray line = "{\"t\":" + member + "}";
        const auto doc = json::Document::parseObject(line);
        QVERIFY(doc);
        const Timestamp got = parseISODate(json::member(doc->root(), "t"), fallback);
        if (std::isnan(expected))
            QCOMPARE(got, fallback);
        else
            QVERIFY2(std::abs(got.seconds() - expected) < 1e-6, qPrintable(QString::number(got.seconds(), 'f', 6)));
        QCOMPARE(parseISODate(std::nullopt, fallback), fallback);
    }

    void titles()
    {
        QCOMPARE(cleanTitle(QStringLiteral("  Fix\nthe build "), 60), std::optional(QStringLiteral("Fix the build")));
        QCOMPARE(cleanTitle(QStringLiteral("UnTitled Session"), 60), std::nullopt);
        QCOMPARE(cleanTitle(QStringLiteral("new session"), 60), std::nullopt);
        QCOMPARE(cleanTitle(QStringLiteral(" \t\n "), 60), std::nullopt);
        QCOMPARE(cleanTitle(std::nullopt, 60), std::nullopt);
        const QString sixtyOne = QString(59, u'a') + QStringLiteral(" b");
        QCOMPARE(cleanTitle(sixtyOne, 60), std::optional(QString(59, u'a') + QChar(0x2026)));
        QCOMPARE(cleanTitle(QString(60, u'x'), 60), std::optional(QString(60, u'x')));
        // Grapheme clusters, not UTF-16 units: a flag is one character.
        const QString flag = QStringLiteral("\U0001F1E9\U0001F1EA");
        QCOMPARE(cleanTitle(flag + flag + flag, 2), std::optional(flag + flag + QChar(0x2026)));
        QCOMPARE(cleanTitle(QStringLiteral("e\u0301e\u0301"), 2), std::optional(QStringLiteral("e\u0301e\u0301")));
    }
};

QTEST_GUILESS_MAIN(HttpClientTest)
#include "http_client_test.moc"
