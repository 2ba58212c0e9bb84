// ClaudeCollector over fixture configuration directories with a movable clock.
// The pure Claude session rules: tail parse, status files, titles, the
// transcript index and the classification.

#include "FakeHttpServer.h"
#include "TestSupport.h"
#include "fixtures/Fixtures.h"
#include "providers/claude/ClaudeCollector.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include "providers/claude/ClaudeSessionRules.h"
#include "providers/claude/ClaudeStatusFile.h"
#include "providers/claude/ClaudeTail.h"

using namespace vexlor;
using namespace vexlor::test;

namespace {

QByteArray iso(Timestamp t) { return fixtures::iso(t.seconds()); }
QByteArray ms(Timestamp t) { return QByteArray::number(static_cast<qint64>(t.milliseconds())); }

QByteArray record(const char* type, Timestamp t)
{
    return fixtures::claudeLine(type, t.seconds());
}
QByteArray assistant(Timestamp t, const char* stopReason, const char* model = "claude-sonnet-4")
{
    return fixtures::claudeAssistant({.at = t.seconds(), .model = model, .stopReason = stopReason});
}

// A configuration directory in a temporary folder with a movable clock.
struct Fixture {
    QTemporaryDir tmp;
    QString config = tmp.path() + QStringLiteral("/claude");
    std::shared_ptr<Timestamp> clockValue = std::make_shared<Timestamp>(Timestamp::fromSeconds(std::floor(Timestamp::now().seconds())));
    Timestamp start = *clockValue;
    qint64 ownPid = QCoreApplication::applicationPid();
    // A closed loopback port unless a test serves usage.
    QString usageUrl = QStringLiteral("http://127.0.0.1:9/api/oauth/usage");
    std::shared_ptr<int> keychainReads = std::make_shared<int>(0);

    Fixture() { QDir().mkpath(config); }

    ClaudeCollectorOptions options() const
    {
        ClaudeCollectorOptions o;
        o.configDirectory = config;
        o.clock = [v = clockValue] { return *v; };
        // Never the real key chain, environment or endpoint.
        ClaudeUsageFetcher::Options online;
        online.environment = [url = usageUrl](const char* name) {
            return QByteArray(name) == "VEXLOR_CLAUDE_USAGE_URL" ? std::optional(url) : std::nullopt;
        };
        online.tokenSources.environment = [](const char*) { return std::optional<QString>(); };
        online.tokenSources.keychain = [reads = keychainReads](const QString&) {
            ++*reads;
            return std::optional<QByteArray>();
        };
        online.tokenSources.credentialsFile = config + QStringLiteral("/.credentials.json");
        o.online = online;
        return o;
    }
    void advance(double seconds) { *clockValue = *clockValue + seconds; }
    Timestamp now() const { return *clockValue; }

    QString status(const QString& file, const QByteArray& json) const
    {
        return writeFile(config, QStringLiteral("sessions/") + file, json);
    }
    QString liveStatus(const QString& id, const QByteArray& extra = {}) const
    {
        return status(id + QStringLiteral(".json"),
                      "{\"sessionId\":\"" + id.toUtf8() + "\",\"pid\":" + QByteArray::number(ownPid) + extra + "}");
    }
    QString transcript(const QString& relative, const QByteArray& lines, Timestamp mtime) const
    {
        const QString path = writeFile(config, QStringLiteral("projects/") + relative, lines);
        setMtime(path, mtime);
        return path;
    }
};

const SessionSnapshot* find(const ProviderReport& report, const QString& id)
{
    for (const auto& s : report.sessions)
        if (s.id == id)
            return &s;
    return nullptr;
}

QStringList ids(const ProviderReport& report)
{
    QStringList out = sessionIds(report);
    out.sort();
    return out;
}

Timestamp at(double s) { return Timestamp::fromSeconds(s); }

QByteArray iso(double s)
{
    return Timestamp::fromSeconds(s).toDateTime().toString(Qt::ISODateWithMs).toUtf8();
}

QByteArray line(const QByteArray& json) { return json + '\n'; }

ClaudeTail tailOf(double user, double end, double assistant, std::optional<double> activity = std::nullopt)
{
    ClaudeTail t;
    t.lastUser = user < 0 ? Timestamp::distantPast() : at(user);
    t.lastEnd = end < 0 ? Timestamp::distantPast() : at(end);
    t.lastAssistant = assistant < 0 ? Timestamp::distantPast() : at(assistant);
    if (activity)
        t.activityAt = at(*activity);
    return t;
}

} // namespace

class ClaudeCollectorTest : public QObject {
    Q_OBJECT

private slots:
    void cleanupTestCase() { FakeHttpServer::settleClientTeardown(); }


    void missingDirectoryIsNotInstalled()
    {
        Fixture f;
        ClaudeCollectorOptions o = f.options();
        o.configDirectory = f.tmp.path() + u"/absent";
        ClaudeCollector collector(o);
        QCOMPARE(pass(collector), ProviderReport{});
        // Nothing was remembered: once the directory appears (without a
        // sessions folder) the first pass lists and scans at once.
        QDir().mkpath(o.configDirectory);
        const ProviderReport report = pass(collector);
        QVERIFY(report.installed);
        QVERIFY(report.sessions.isEmpty());
        QCOMPARE(report.usage, UsageSnapshot::failed(QStringLiteral("online access disabled"), f.now(), UsageFailure::onlineAccessDisabled));
        QCOMPARE(report.spend->updatedAt, std::optional(f.now()));
    }

    void processProbe()
    {
        QProcess live;
        live.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(live.waitForStarted());
        QProcess ended;
        ended.start(QStringLiteral("true"), {});
        QVERIFY(ended.waitForStarted());
        const qint64 endedPid = ended.processId();
        QVERIFY(ended.waitForFinished());

        QVERIFY(processIsAlive(static_cast<pid_t>(live.processId())));
        QVERIFY(!processIsAlive(static_cast<pid_t>(endedPid)));
        QVERIFY(processIsAlive(1)); // init: ours, or refused for permission
        QVERIFY(!processIsAlive(0));
        QVERIFY(!processIsAlive(-1));

        Fixture f;
        auto statusFor = [&](const char* id, const QByteArray& pid) {
            f.status(QString::fromUtf8(id) + u".json", "{\"sessionId\":\"" + QByteArray(id) + "\",\"pid\":" + pid + "}");
        };
        statusFor("live", QByteArray::number(live.processId()));
        statusFor("ended", QByteArray::number(endedPid));
        statusFor("init", "1");
        ClaudeCollector collector(f.options()); // the real probe; the pid rules have the bad values
        QCOMPARE(ids(pass(collector)), (QStringList{QStringLiteral("init"), QStringLiteral("live")}));

        live.kill();
        QVERIFY(live.waitForFinished());
        QCOMPARE(ids(pass(collector)), QStringList{QStringLiteral("init")});
    }

    void badStatusFiles()
    {
        Fixture f;
        const QByteArray pid = QByteArray::number(f.ownPid);
        f.liveStatus(QStringLiteral("good"));
        // The shapes of a bad status file have their own tests; one stands for them.
        f.status(QStringLiteral("cut.json"), "{\"sessionId\":\"cut\",\"pid\":" + pid);
        f.status(QStringLiteral("case.JSON"), "{\"sessionId\":\"case\",\"pid\":" + pid + "}");
        f.status(QStringLiteral("notes.txt"), "{\"sessionId\":\"txt\",\"pid\":" + pid + "}");
        f.status(QStringLiteral("nested/deep.json"), "{\"sessionId\":\"deep\",\"pid\":" + pid + "}");
        QDir().mkpath(f.config + u"/sessions/dir.json");
        // A status file is a few hundred bytes; a huge one is not read.
        f.status(QStringLiteral("enormous.json"),
                 "{\"sessionId\":\"enormous\",\"pid\":" + pid + ",\"pad\":\"" + QByteArray(2 * 1024 * 1024, 'x') + "\"}");
        QVERIFY(mkfifo(QFile::encodeName(f.config + u"/sessions/fifo.json").constData(), 0600) == 0);

        ClaudeCollector collector(f.options());
        const ProviderReport report = pass(collector);
        QVERIFY(report.installed);
        QCOMPARE(ids(report), QStringList{QStringLiteral("good")});
    }

    void classification()
    {
        // A turn in flight and a finished turn; the rules' own test has the rest.
        Fixture f;
        const Timestamp now = f.now();
        CollectorContext context;
        context.attentionSince = now - 600;
        f.liveStatus(QStringLiteral("tool"));
        f.transcript(QStringLiteral("p/tool.jsonl"),
                     record("user", now - 30) + assistant(now - 10, "tool_use", "m-tool"), now - 10);
        f.liveStatus(QStringLiteral("done"), ",\"status\":\"idle\"");
        f.transcript(QStringLiteral("q/done.jsonl"), record("user", now - 120) + assistant(now - 60, "end_turn", "m-done"),
                     now - 60);

        ClaudeCollector collector(f.options());
        ProviderReport report = pass(collector, context);
        QCOMPARE(report.sessions.size(), 2);
        const SessionSnapshot* tool = find(report, QStringLiteral("tool"));
        QCOMPARE(toString(tool->state), QStringLiteral("working"));
        QCOMPARE(tool->key, QStringLiteral("claude:tool"));
        QVERIFY(tool->isOpen);
        QCOMPARE(tool->model, std::optional(QStringLiteral("m-tool")));
        QCOMPARE(tool->activityAt, now - 10);
        const SessionSnapshot* done = find(report, QStringLiteral("done"));
        QCOMPARE(toString(done->state), QStringLiteral("attention"));
        QCOMPARE(done->completionAt, std::optional(now - 60));

        context.acknowledged.insert(QStringLiteral("claude:done"), now - 60);
        report = pass(collector, context);
        QCOMPARE(toString(find(report, QStringLiteral("done"))->state), QStringLiteral("idle"));
        // Time alone ends a turn in flight, though the transcript is unchanged.
        f.advance(300);
        report = pass(collector, context);
        QCOMPARE(toString(find(report, QStringLiteral("tool"))->state), QStringLiteral("idle"));
    }

    void transcriptsFollowTheListingCadence()
    {
        Fixture f;
        const Timestamp now = f.now();
        f.liveStatus(QStringLiteral("s1"), ",\"updatedAt\":" + ms(now - 100));
        ClaudeCollector collector(f.options());
        QCOMPARE(pass(collector).sessions.at(0).activityAt, now - 100);

        // The listing was empty, so the next pass lists again.
        f.transcript(QStringLiteral("a/s1.jsonl"), assistant(now - 50, "end_turn", "old"), now - 50);
        f.advance(1);
        QCOMPARE(pass(collector).sessions.at(0).model, std::optional(QStringLiteral("old")));

        // A newer transcript of the same session elsewhere is seen only once
        // the listing is more than 30 seconds old.
        f.transcript(QStringLiteral("b/s1.jsonl"), assistant(now - 20, "end_turn", "new"), now - 20);
        f.advance(30);
        QCOMPARE(pass(collector).sessions.at(0).model, std::optional(QStringLiteral("old")));
        f.advance(0.5);
        QCOMPARE(pass(collector).sessions.at(0).model, std::optional(QStringLiteral("new")));

        // A transcript deleted since the listing gives an empty tail.
        QFile::remove(f.config + u"/projects/b/s1.jsonl");
        const ProviderReport report = pass(collector);
        QCOMPARE(report.sessions.at(0).model, std::nullopt);
        QCOMPARE(report.sessions.at(0).activityAt, now - 20); // the listed modification time
    }

    void tailsAreCachedByFileIdentity()
    {
        Fixture f;
        const Timestamp now = f.now();
        CollectorContext context;
        context.attentionSince = now - 600;
        f.liveStatus(QStringLiteral("s"));
        const QString path = f.transcript(QStringLiteral("p/s.jsonl"),
                                          record("user", now - 100) + assistant(now - 90, "end_turn"), now - 90);
        ClaudeCollector collector(f.options());
        QCOMPARE(toString(pass(collector, context).sessions.at(0).state), QStringLiteral("attention"));
        QCOMPARE(collector.tailsRead(), 1);
        QCOMPARE(toString(pass(collector, context).sessions.at(0).state), QStringLiteral("attention"));
        QCOMPARE(collector.tailsRead(), 1);

        // The agent starts another turn: the file grows and is read again.
        appendFile(path, record("user", now - 5));
        setMtime(path, now - 5);
        const ProviderReport report = pass(collector, context);
        QCOMPARE(collector.tailsRead(), 2);
        QCOMPARE(toString(report.sessions.at(0).state), QStringLiteral("working"));
        // The listing (30 s cadence) still has the old time; the tail has the new.
        QCOMPARE(report.sessions.at(0).activityAt, now - 5);

        // Same size, new modification time: read again.
        setMtime(path, now - 4);
        (void)pass(collector, context);
        QCOMPARE(collector.tailsRead(), 3);
    }

    void brokenTranscripts()
    {
        Fixture f;
        const Timestamp now = f.now();
        CollectorContext context;
        context.attentionSince = now - 600;

        // Garbage, invalid UTF-8, a record without a time and a cut last line.
        f.liveStatus(QStringLiteral("messy"));
        f.transcript(QStringLiteral("p/messy.jsonl"),
                     "\xFF\xFE garbage\n[1]\n" + assistant(now - 200, "end_turn", "m\xC3\xA9")
                         + "{\"type\":\"system\",\"message\":\"\xFF\"}\n"
                         + "{\"type\":\"assistant\",\"timestamp\":\"" + iso(now - 1) + "\",\"mess",
                     now - 100);
        // A valid record followed by a line longer than the whole tail.
        f.liveStatus(QStringLiteral("huge"), ",\"updatedAt\":" + ms(now - 700));
        f.transcript(QStringLiteral("p/huge.jsonl"),
                     assistant(now - 500, "end_turn", "lost")
                         + "{\"type\":\"user\",\"timestamp\":\"" + iso(now - 1) + "\",\"pad\":\""
                         + QByteArray(1024 * 1024, 'x') + "\"}\n",
                     now - 650);
        // An empty transcript.
        f.liveStatus(QStringLiteral("empty"), ",\"updatedAt\":" + ms(now - 800));
        f.transcript(QStringLiteral("p/empty.jsonl"), "", now - 900);

        ClaudeCollector collector(f.options());
        const ProviderReport report = pass(collector, context);
        QCOMPARE(report.sessions.size(), 3);

        const SessionSnapshot* messy = find(report, QStringLiteral("messy"));
        QCOMPARE(toString(messy->state), QStringLiteral("attention"));
        QCOMPARE(messy->completionAt, std::optional(now - 200));
        QCOMPARE(messy->model, std::optional(QStringLiteral("m\u00e9")));
        QCOMPARE(messy->activityAt, now - 100); // the timeless record took the file's time

        // The tail starts inside the enormous line: no record survives.
        const SessionSnapshot* huge = find(report, QStringLiteral("huge"));
        QCOMPARE(toString(huge->state), QStringLiteral("idle"));
        QCOMPARE(huge->model, std::nullopt);
        QCOMPARE(huge->activityAt, now - 650);

        QCOMPARE(find(report, QStringLiteral("empty"))->activityAt, now - 800);
    }

    void cadencesOfSpendAndUsage()
    {
        Fixture f;
        ClaudeCollector collector(f.options());
        const Timestamp first = f.now();
        QCOMPARE(pass(collector).spend->updatedAt, std::optional(first));
        f.advance(60);
        const ProviderReport report = pass(collector);
        QCOMPARE(report.spend->updatedAt, std::optional(first));
        QCOMPARE(report.usage.updatedAt, std::optional(f.now())); // the gate runs on every pass
        f.advance(0.5);
        QCOMPARE(pass(collector).spend->updatedAt, std::optional(f.now()));
    }

    void overlappingPassesShareOneSpendScan()
    {
        Fixture f;
        const Timestamp now = f.now();
        for (int i = 0; i < 8; ++i) {
            const QString id = QStringLiteral("s%1").arg(i);
            f.liveStatus(id);
            f.transcript(QStringLiteral("p/") + id + u".jsonl", assistant(now - 10 - i, "end_turn"), now - 10 - i);
        }
        ClaudeCollector collector(f.options());
        std::vector<QCoro::Task<ProviderReport>> tasks;
        for (int i = 0; i < 6; ++i)
            tasks.push_back(collector.collect({}));
        auto all = [&]() -> QCoro::Task<QList<ProviderReport>> {
            QList<ProviderReport> reports;
            for (auto& t : tasks)
                reports.append(co_await std::move(t));
            co_return reports;
        };
        const auto reports = runTask(all());
        QVERIFY(reports);
        for (const ProviderReport& r : *reports)
            QCOMPARE(r.sessions, reports->first().sessions);
        // All passes share one "now", so exactly one spend scan ran; once the
        // passes are done its result is what every later pass reports.
        const ProviderReport after = pass(collector);
        QCOMPARE(after.spend->updatedAt, std::optional(now));
        QCOMPARE(collector.spendScanner().filesRead(), 8);
        QCOMPARE(after.sessions.size(), 8);
    }

    // Online usage in real passes with the token of the credentials file:
    // nothing while access is off, then one request.
    void onlineUsageInPasses()
    {
        Fixture f;
        FakeHttpServer server;
        QVERIFY(server.listen());
        server.setDefaultReply(FakeHttpServer::json(200, R"({"five_hour":{"utilization":20},"seven_day":{"utilization":70}})"));
        f.usageUrl = server.url(QStringLiteral("/api/oauth/usage"));
        writeFile(f.config, QStringLiteral(".credentials.json"), R"({"claudeAiOauth":{"accessToken":"file-token","expiresAt":1}})");
        const QString before = treeFingerprint(f.config);
        ClaudeCollector collector(f.options());
        QCOMPARE(pass(collector).usage, UsageSnapshot::failed(QStringLiteral("online access disabled"), f.now(), UsageFailure::onlineAccessDisabled));
        QCOMPARE(server.connections(), 0);
        QCOMPARE(*f.keychainReads, 0);

        CollectorContext online;
        online.allowNetwork = true;
        f.advance(400);
        const QList<UsageWindowSnapshot> windows{{QStringLiteral("5h"), 0.2, {}, {}, {}}, {QStringLiteral("7d"), 0.7, {}, {}, {}}};
        QCOMPARE(pass(collector, online).usage, (UsageSnapshot{windows, {}, f.now(), {}}));
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().first().header("Authorization"), std::optional<QByteArray>("Bearer file-token"));
        QCOMPARE(*f.keychainReads, 1); // the key chain is asked before the file
        QCOMPARE(treeFingerprint(f.config), before);
    }

    void tailParse()
    {
        const double base = 1700000000;
        QByteArray text;
        text += "ant\",\"type\":\"assistant\"}\n"; // the cut first line of a tail
        text += line("{\"type\":\"user\",\"timestamp\":\"" + iso(base + 1) + "\",\"message\":{}}");
        text += line("{\"type\":\"assistant\",\"timestamp\":\"" + iso(base + 2)
                     + "\",\"message\":{\"model\":\"m1\",\"stop_reason\":\"tool_use\"}}");
        text += line("{\"type\":\"user\",\"timestamp\":\"" + iso(base + 3) + "\",\"toolUseResult\":null}");
        text += line("{\"type\":\"assistant\",\"timestamp\":\"" + iso(base + 4)
                     + "\",\"message\":{\"model\":\"m2\",\"stop_reason\":\"end_turn\"}}");
        // Later in text but earlier in time: the end of turn stays at base+4.
        text += line("{\"type\":\"assistant\",\"timestamp\":\"" + iso(base + 3.5)
                     + "\",\"message\":{\"model\":\"\",\"stop_reason\":\"end_turn\"}}");
        text += line("{\"type\":\"assistant\",\"timestamp\":\"" + iso(base + 5)
                     + "\",\"message\":{\"stop_reason\":null}}");
        text += line("{\"type\":\"assistant\",\"timestamp\":\"" + iso(base + 5.5)
                     + "\",\"message\":{\"stop_reason\":7,\"model\":3}}");
        text += line("{\"type\":\"assistant\",\"timestamp\":\"" + iso(base + 5.75) + "\",\"message\":\"x\"}");
        text += line("[1,2,3]");
        text += line("not json at all \xFF\xFE");
        text += line("{\"type\":\"summary\",\"timestamp\":\"yesterday\"}"); // takes the fallback
        text += line("{\"type\":\"user\",\"timestamp\":12345}");             // numbers are not times
        text += "{\"type\":\"user\",\"timestamp\":\"" + iso(base + 50) + "\""; // still being written

        const ClaudeTail tail = parseClaudeTail(text, at(base + 6));
        QCOMPARE(tail.lastUser, at(base + 6)); // the numeric-timestamp prompt took the fallback
        QCOMPARE(tail.lastAssistant, at(base + 5.75));
        QCOMPARE(tail.lastEnd, at(base + 4));
        QCOMPARE(tail.activityAt, std::optional(at(base + 6)));
        QCOMPARE(tail.lastModel, std::optional(QStringLiteral("m2")));

        QCOMPARE(parseClaudeTail("", at(base)), ClaudeTail{});
        QCOMPARE(parseClaudeTail("garbage\n\n", at(base)), ClaudeTail{});
        // A record without a time counts as activity at the fallback only.
        const ClaudeTail bare = parseClaudeTail("{\"type\":\"progress\"}\n", at(base));
        QCOMPARE(bare.activityAt, std::optional(at(base)));
        QCOMPARE(bare.lastUser, Timestamp::distantPast());
    }

    void statusFile_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("status");

        QTest::newRow("complete") << QByteArray(R"({"sessionId":"s","pid":42,"status":"Awaiting_INPUT"})") << true << 42 << "awaiting_input";
        QTest::newRow("status absent") << QByteArray(R"({"sessionId":"s","pid":42})") << true << 42 << "idle";
        QTest::newRow("status not a string") << QByteArray(R"({"sessionId":"s","pid":42,"status":1})") << true << 42 << "idle";
        QTest::newRow("integral double pid") << QByteArray(R"({"sessionId":"s","pid":42.0})") << true << 42 << "idle";
        QTest::newRow("largest pid") << QByteArray(R"({"sessionId":"s","pid":2147483647})") << true << 2147483647 << "idle";
        QTest::newRow("array") << QByteArray(R"([{"sessionId":"s","pid":42}])") << false << 0 << "";
        QTest::newRow("cut") << QByteArray(R"({"sessionId":"s","pid":4)") << false << 0 << "";
        QTest::newRow("no session id") << QByteArray(R"({"pid":42})") << false << 0 << "";
        QTest::newRow("pid as string") << QByteArray(R"({"sessionId":"s","pid":"42"})") << false << 0 << "";
        QTest::newRow("pid absent") << QByteArray(R"({"sessionId":"s"})") << false << 0 << "";
        QTest::newRow("pid zero") << QByteArray(R"({"sessionId":"s","pid":0})") << false << 0 << "";
        QTest::newRow("pid negative") << QByteArray(R"({"sessionId":"s","pid":-1})") << false << 0 << "";
        QTest::newRow("pid fraction") << QByteArray(R"({"sessionId":"s","pid":42.5})") << false << 0 << "";
        QTest::newRow("pid beyond pid_t") << QByteArray(R"({"sessionId":"s","pid":2147483648})") << false << 0 << "";
        QTest::newRow("pid enormous double") << QByteArray(R"({"sessionId":"s","pid":1e300})") << false << 0 << "";
    }

    void statusFile()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        QFETCH(int, pid);
        QFETCH(QString, status);
        const auto parsed = parseClaudeStatusFile(json);
        QCOMPARE(parsed.has_value(), valid);
        if (!valid)
            return;
        QCOMPARE(parsed->sessionId, QStringLiteral("s"));
        QCOMPARE(parsed->pid, pid);
        QCOMPARE(parsed->status, status);
    }

    void statusFileTimesAndNames()
    {
        const auto full = parseClaudeStatusFile(
            R"({"sessionId":"AbC","pid":9,"updatedAt":1700000000500,"statusUpdatedAt":1700000000000.5,
                "name":"Fix login","nameSource":"derived","cwd":"/home/u/proj","extra":[1]})");
        QVERIFY(full);
        QCOMPARE(full->sessionId, QStringLiteral("AbC"));
        QCOMPARE(full->updatedAt, std::optional(at(1700000000.5)));
        QCOMPARE(full->statusUpdatedAt, std::optional(at(1700000000.0005)));
        QCOMPARE(full->name, std::optional(QStringLiteral("Fix login")));
        QCOMPARE(full->nameSource, std::optional(QStringLiteral("derived")));
        QCOMPARE(full->cwd, std::optional(QStringLiteral("/home/u/proj")));

        const auto wrongTypes = parseClaudeStatusFile(
            R"({"sessionId":"s","pid":9,"updatedAt":"1700000000500","statusUpdatedAt":null,"name":5,"cwd":{}})");
        QVERIFY(wrongTypes);
        QCOMPARE(wrongTypes->updatedAt, std::nullopt);
        QCOMPARE(wrongTypes->statusUpdatedAt, std::nullopt);
        QCOMPARE(wrongTypes->name, std::nullopt);
        QCOMPARE(wrongTypes->cwd, std::nullopt);
    }

    void title_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("title");
        QTest::newRow("derived name loses to cwd")
            << QByteArray(R"({"sessionId":"abcdef123","pid":1,"name":"Fix login","nameSource":"derived","cwd":"/w/proj"})") << "proj";
        QTest::newRow("name without source") << QByteArray(R"({"sessionId":"abcdef123","pid":1,"name":"Fix login","cwd":"/w/proj"})") << "Fix login";
        QTest::newRow("name from user") << QByteArray(R"({"sessionId":"a","pid":1,"name":"Fix login","nameSource":"user","cwd":"/w/proj"})") << "Fix login";
        QTest::newRow("derived name, no cwd") << QByteArray(R"({"sessionId":"a","pid":1,"name":"Fix login","nameSource":"derived"})") << "Fix login";
        QTest::newRow("placeholder name") << QByteArray(R"({"sessionId":"a","pid":1,"name":"  Untitled Session ","cwd":"/w/proj"})") << "proj";
        QTest::newRow("blank name") << QByteArray(R"({"sessionId":"abcdef123","pid":1,"name":" \t "})") << "session abcdef";
        QTest::newRow("short id") << QByteArray(R"({"sessionId":"ab","pid":1})") << "session ab";
        QTest::newRow("cwd with trailing slash") << QByteArray(R"({"sessionId":"a","pid":1,"cwd":"/w/proj/"})") << "proj";
        QTest::newRow("long name is cut")
            << (QByteArray("{\"sessionId\":\"a\",\"pid\":1,\"name\":\"") + QByteArray(59, 'x') + " yz\"}")
            << QString(QString(59, u'x') + QChar(0x2026));
    }

    void title()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, title);
        const auto status = parseClaudeStatusFile(json);
        QVERIFY(status);
        QCOMPARE(claudeSessionTitle(*status), title);
    }

    void transcriptIndex()
    {
        const QList<FileStamp> listing{
            {QStringLiteral("/p/a/s1.jsonl"), at(10), 1},
            {QStringLiteral("/p/b/s1.jsonl"), at(20), 2}, // later: replaces
            {QStringLiteral("/p/c/s1.jsonl"), at(15), 3}, // earlier: ignored
            {QStringLiteral("/p/a/s2.jsonl"), at(30), 4},
            {QStringLiteral("/p/b/s2.jsonl"), at(30), 5}, // equal: the first stays
            {QStringLiteral("/p/a/v1.2.jsonl"), at(1), 6},
        };
        const auto index = claudeTranscriptIndex(listing);
        QCOMPARE(index.size(), 3);
        QCOMPARE(index.value(QStringLiteral("s1")).path, QStringLiteral("/p/b/s1.jsonl"));
        QCOMPARE(index.value(QStringLiteral("s2")).path, QStringLiteral("/p/a/s2.jsonl"));
        QCOMPARE(index.value(QStringLiteral("v1.2")).size, 6);
    }

    void activityAndStatusTimes()
    {
        ClaudeStatusFile status;
        QCOMPARE(claudeActivityTime(status, {}, std::nullopt), Timestamp::distantPast());
        status.updatedAt = at(50);
        QCOMPARE(claudeActivityTime(status, {}, std::nullopt), at(50));
        QCOMPARE(claudeActivityTime(status, tailOf(-1, -1, -1, 70), at(60)), at(70));
        QCOMPARE(claudeActivityTime(status, tailOf(-1, -1, -1, 70), at(90)), at(90));
        QCOMPARE(claudeStatusTime(status, at(70)), at(70));
        status.statusUpdatedAt = at(80);
        QCOMPARE(claudeStatusTime(status, at(70)), at(80));
        QCOMPARE(claudeStatusTime(status, at(90)), at(90));
    }

    void classify_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<ClaudeTail>("tail");
        QTest::addColumn<double>("activity");
        QTest::addColumn<double>("ack"); // < 0: not acknowledged
        QTest::addColumn<ClaudeClassification>("expected");

        // The hub started at 1000; now is 2000; the status time is 1500.
        const ClaudeClassification working{SessionState::working, std::nullopt};
        const ClaudeClassification idle{SessionState::idle, std::nullopt};
        auto attention = [](double s) { return ClaudeClassification{SessionState::attention, at(s)}; };
        const ClaudeTail quiet = tailOf(-1, -1, -1);

        QTest::newRow("working word") << "processing" << quiet << 0.0 << -1.0 << working;
        QTest::newRow("both lists: working wins") << "busy_waiting" << quiet << 0.0 << -1.0 << working;
        QTest::newRow("permission before the hub started") << "permission" << quiet << 0.0 << -1.0 << attention(1500);
        QTest::newRow("attention acknowledged earlier") << "attention" << quiet << 0.0 << 1499.0 << attention(1500);
        QTest::newRow("attention acknowledged at its time") << "attention" << quiet << 0.0 << 1500.0 << idle;
        QTest::newRow("acknowledged attention falls to end of turn")
            << "waiting" << tailOf(-1, 1600, 1600) << 0.0 << 1500.0 << attention(1600);
        QTest::newRow("tool call 10 s ago") << "idle" << tailOf(1800, 1700, 1990) << 1990.0 << -1.0 << working;
        QTest::newRow("tool call 300 s ago, ended earlier after start")
            << "idle" << tailOf(-1, 1650, 1700) << 1700.0 << -1.0 << attention(1650);
        QTest::newRow("tool call 300 s ago, ended before start")
            << "idle" << tailOf(-1, 900, 1700) << 1700.0 << -1.0 << idle;
        QTest::newRow("in flight just under 300 s") << "idle" << tailOf(-1, 900, 1700.5) << 1700.5 << -1.0 << working;
        QTest::newRow("prompt after end") << "idle" << tailOf(1950, 1900, 1900) << 1950.0 << -1.0 << working;
        QTest::newRow("prompt, no reply yet, stale") << "idle" << tailOf(1200, -1, -1) << 1200.0 << -1.0 << idle;
        QTest::newRow("attention word beats a stale turn")
            << "needs_permission" << tailOf(1200, -1, -1) << 1200.0 << -1.0 << attention(1500);
        QTest::newRow("attention word beats a turn in flight")
            << "waiting" << tailOf(1990, 1900, 1900) << 1990.0 << -1.0 << attention(1500);
        QTest::newRow("acknowledged attention word, turn in flight")
            << "waiting" << tailOf(1990, 1900, 1900) << 1990.0 << 1500.0 << working;
        QTest::newRow("end of turn after start") << "idle" << tailOf(1800, 1900, 1900) << 1900.0 << -1.0 << attention(1900);
        QTest::newRow("end of turn acknowledged at it") << "idle" << tailOf(1800, 1900, 1900) << 1900.0 << 1900.0 << idle;
        QTest::newRow("end of turn acknowledged before it") << "idle" << tailOf(1800, 1900, 1900) << 1900.0 << 1899.0 << attention(1900);
        QTest::newRow("end of turn at the hub start") << "idle" << tailOf(-1, 1000, 1000) << 1000.0 << -1.0 << idle;
        QTest::newRow("unknown word") << "compacting" << quiet << 0.0 << -1.0 << idle;
    }

    void classify()
    {
        QFETCH(QString, status);
        QFETCH(ClaudeTail, tail);
        QFETCH(double, activity);
        QFETCH(double, ack);
        QFETCH(ClaudeClassification, expected);

        CollectorContext context;
        context.attentionSince = at(1000);
        const QString key = QStringLiteral("claude:s");
        if (ack >= 0)
            context.acknowledged.insert(key, at(ack));
        context.acknowledged.insert(QStringLiteral("claude:other"), at(1e12));
        ClaudeSessionFacts facts;
        facts.key = key;
        facts.status = status;
        facts.tail = tail;
        facts.activityAt = activity > 0 ? at(activity) : Timestamp::distantPast();
        facts.statusAt = at(1500);
        const ClaudeClassification got = classifyClaudeSession(facts, context, at(2000));
        QCOMPARE(toString(got.state), toString(expected.state));
        QCOMPARE(got.completionAt, expected.completionAt);
    }
};

QTEST_GUILESS_MAIN(ClaudeCollectorTest)
#include "claude_collector_test.moc"
