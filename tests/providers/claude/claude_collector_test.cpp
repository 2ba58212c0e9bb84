// ClaudeCollector over fixture configuration directories with a movable clock.

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

} // namespace

class ClaudeCollectorTest : public QObject {
    Q_OBJECT

private slots:

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
};

QTEST_GUILESS_MAIN(ClaudeCollectorTest)
#include "claude_collector_test.moc"
