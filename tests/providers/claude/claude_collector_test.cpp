// ClaudeCollector over fixture configuration directories: discovery through
// status files and live processes, transcript tails, cadences, the online
// gate and online usage from a loopback endpoint, bad input, overlapping
// passes and read-only access.

#include "FakeHttpServer.h"
#include "TestSupport.h"
#include "providers/claude/ClaudeCollector.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace vexlor;
using namespace vexlor::test;

namespace {

QByteArray iso(Timestamp t) { return t.toDateTime().toString(Qt::ISODateWithMs).toUtf8(); }
QByteArray ms(Timestamp t) { return QByteArray::number(static_cast<qint64>(t.milliseconds())); }

QByteArray record(const char* type, Timestamp t, const QByteArray& extra = {})
{
    return "{\"type\":\"" + QByteArray(type) + "\",\"timestamp\":\"" + iso(t) + "\"" + extra + "}\n";
}
QByteArray assistant(Timestamp t, const char* stopReason, const char* model = "claude-sonnet-4")
{
    return record("assistant", t,
                  ",\"message\":{\"model\":\"" + QByteArray(model) + "\",\"stop_reason\":\"" + stopReason + "\"}");
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

ProviderReport pass(ClaudeCollector& collector, const CollectorContext& context = {})
{
    auto report = runTask(collector.collect(context));
    if (!report)
        qFatal("collect() did not finish");
    return *report;
}

const SessionSnapshot* find(const ProviderReport& report, const QString& id)
{
    for (const auto& s : report.sessions)
        if (s.id == id)
            return &s;
    return nullptr;
}

QStringList ids(const ProviderReport& report)
{
    QStringList out;
    for (const auto& s : report.sessions)
        out << s.id;
    out.sort();
    return out;
}

// Restores an environment variable when the test ends.
struct EnvGuard {
    QByteArray name;
    std::optional<QByteArray> saved;
    explicit EnvGuard(const char* n) : name(n)
    {
        if (qEnvironmentVariableIsSet(n))
            saved = qgetenv(n);
    }
    ~EnvGuard()
    {
        if (saved)
            qputenv(name.constData(), *saved);
        else
            qunsetenv(name.constData());
    }
};

} // namespace

class ClaudeCollectorTest : public QObject {
    Q_OBJECT

private slots:
    void configurationDirectoryFromEnvironment()
    {
        EnvGuard home("HOME"), dir("CLAUDE_CONFIG_DIR");
        QTemporaryDir tmp;
        qputenv("HOME", QFile::encodeName(tmp.path()));
        qputenv("CLAUDE_CONFIG_DIR", "~/x");
        QCOMPARE(ClaudeCollector().configDirectory(), tmp.path() + u"/x");
        qputenv("CLAUDE_CONFIG_DIR", "/elsewhere/c");
        QCOMPARE(ClaudeCollector().configDirectory(), QStringLiteral("/elsewhere/c"));
        qunsetenv("CLAUDE_CONFIG_DIR");
        QCOMPARE(ClaudeCollector().configDirectory(), tmp.path() + u"/.claude");

        // Set but empty: that (non-existent) location is used, not the default.
        QDir().mkpath(tmp.path() + u"/.claude");
        qputenv("CLAUDE_CONFIG_DIR", "");
        ClaudeCollector empty;
        QCOMPARE(empty.configDirectory(), QString());
        QCOMPARE(pass(empty), ProviderReport{});
    }

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
        QCOMPARE(report.usage, UsageSnapshot::failed(QStringLiteral("online access disabled"), f.now()));
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
        Fixture f;
        const Timestamp now = f.now();
        CollectorContext context;
        context.attentionSince = now - 600;

        // A tool call 10 seconds ago: a turn in flight.
        f.liveStatus(QStringLiteral("tool"));
        f.transcript(QStringLiteral("p/tool.jsonl"),
                     record("user", now - 30) + assistant(now - 10, "tool_use", "m-tool"), now - 10);
        // Asking for permission (the agent's own word, in any case) since
        // before the hub began still counts.
        f.liveStatus(QStringLiteral("ask"), ",\"status\":\"Permission\",\"updatedAt\":" + ms(now - 2000)
                                                + ",\"statusUpdatedAt\":" + ms(now - 1000));
        // A finished turn after the hub began.
        f.liveStatus(QStringLiteral("done"), ",\"status\":\"idle\"");
        f.transcript(QStringLiteral("q/done.jsonl"), record("user", now - 120) + assistant(now - 60, "end_turn", "m-done"),
                     now - 60);
        // No transcript at all.
        f.liveStatus(QStringLiteral("abcdef123"), ",\"updatedAt\":" + ms(now - 5));

        ClaudeCollector collector(f.options());
        ProviderReport report = pass(collector, context);
        QCOMPARE(report.sessions.size(), 4);

        const SessionSnapshot* tool = find(report, QStringLiteral("tool"));
        QCOMPARE(toString(tool->state), QStringLiteral("working"));
        QCOMPARE(tool->key, QStringLiteral("claude:tool"));
        QVERIFY(tool->isOpen);
        QCOMPARE(tool->model, std::optional(QStringLiteral("m-tool")));
        QCOMPARE(tool->activityAt, now - 10);
        QCOMPARE(tool->completionAt, std::nullopt);

        const SessionSnapshot* ask = find(report, QStringLiteral("ask"));
        QCOMPARE(toString(ask->state), QStringLiteral("attention"));
        QCOMPARE(ask->completionAt, std::optional(now - 1000));
        QCOMPARE(ask->activityAt, now - 2000);

        const SessionSnapshot* done = find(report, QStringLiteral("done"));
        QCOMPARE(toString(done->state), QStringLiteral("attention"));
        QCOMPARE(done->completionAt, std::optional(now - 60));
        QCOMPARE(done->model, std::optional(QStringLiteral("m-done")));

        const SessionSnapshot* bare = find(report, QStringLiteral("abcdef123"));
        QCOMPARE(toString(bare->state), QStringLiteral("idle"));
        QCOMPARE(bare->activityAt, now - 5);
        QCOMPARE(bare->model, std::nullopt);
        QCOMPARE(bare->title, std::optional(QStringLiteral("session abcdef")));

        // Acknowledging the finished turn and the permission request.
        context.acknowledged.insert(QStringLiteral("claude:done"), now - 60);
        context.acknowledged.insert(QStringLiteral("claude:ask"), now - 1000);
        report = pass(collector, context);
        QCOMPARE(toString(find(report, QStringLiteral("done"))->state), QStringLiteral("idle"));
        QCOMPARE(toString(find(report, QStringLiteral("ask"))->state), QStringLiteral("idle"));

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

    void overlappingPassesAndThreads()
    {
        Fixture f;
        const Timestamp now = f.now();
        for (int i = 0; i < 8; ++i) {
            const QString id = QStringLiteral("s%1").arg(i);
            f.liveStatus(id);
            f.transcript(QStringLiteral("p/") + id + u".jsonl", assistant(now - 10 - i, "end_turn"), now - 10 - i);
        }
        auto probeThreads = std::make_shared<std::atomic<int>>(0);
        auto probeCalls = std::make_shared<std::atomic<int>>(0);
        QThread* mainThread = QThread::currentThread();
        ClaudeCollectorOptions o = f.options();
        o.processAlive = [=](pid_t pid) {
            ++*probeCalls;
            if (QThread::currentThread() != mainThread)
                ++*probeThreads;
            return processIsAlive(pid);
        };
        ClaudeCollector collector(o);
        CollectorContext context;
        context.attentionSince = now - 600;

        // Several passes in flight at once on the same collector.
        std::vector<QCoro::Task<ProviderReport>> tasks;
        for (int i = 0; i < 6; ++i)
            tasks.push_back(collector.collect(context));
        auto all = [&]() -> QCoro::Task<QList<ProviderReport>> {
            QList<ProviderReport> reports;
            for (auto& t : tasks)
                reports.append(co_await std::move(t));
            co_return reports;
        };
        const auto reports = runTask(all());
        QVERIFY(reports);
        QCOMPARE(reports->size(), 6);
        for (const ProviderReport& r : *reports) {
            QCOMPARE(r.sessions.size(), 8);
            QCOMPARE(r.sessions, reports->first().sessions);
        }
        // Status files and probes were handled off the calling thread.
        QCOMPARE(probeCalls->load(), 48);
        QCOMPARE(probeThreads->load(), 48);
        // All passes share one "now", so exactly one spend scan ran; once the
        // passes are done its result is what every later pass reports.
        const ProviderReport after = pass(collector, context);
        QCOMPARE(after.spend->updatedAt, std::optional(now));
        QCOMPARE(collector.spendScanner().filesRead(), 8);
        QCOMPARE(after.sessions, reports->first().sessions);
    }

    // Online usage in real passes, with the token of the configuration
    // directory's credentials file: nothing at all while access is off, then
    // one request per 300 s; a refused token keeps the last windows and is
    // looked up again on the next fetch only.
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
        CollectorContext online;
        online.allowNetwork = true;
        for (int i = 0; i < 3; ++i, f.advance(400))
            QCOMPARE(pass(collector).usage, UsageSnapshot::failed(QStringLiteral("online access disabled"), f.now()));
        QCOMPARE(server.connections(), 0);
        QCOMPARE(*f.keychainReads, 0);

        const QList<UsageWindowSnapshot> windows{{QStringLiteral("5h"), 0.2, {}, {}, {}}, {QStringLiteral("7d"), 0.7, {}, {}, {}}};
        QCOMPARE(pass(collector, online).usage, (UsageSnapshot{windows, {}, f.now(), {}}));
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().first().header("Authorization"), std::optional<QByteArray>("Bearer file-token"));
        QCOMPARE(*f.keychainReads, 1); // the key chain is asked before the file
        f.advance(3);
        QCOMPARE(pass(collector, online).usage.windows, windows);
        QCOMPARE(server.requests().size(), 1);

        server.setDefaultReply(FakeHttpServer::json(401, "{}"));
        f.advance(300);
        QCOMPARE(pass(collector, online).usage, (UsageSnapshot{windows, {}, f.now(), QStringLiteral("Claude usage HTTP 401")}));
        QCOMPARE(*f.keychainReads, 1);
        f.advance(301);
        (void)pass(collector, online);
        QCOMPARE(*f.keychainReads, 2);
        QCOMPARE(server.requests().size(), 3);
        QCOMPARE(treeFingerprint(f.config), before);
    }

    void passesNeverWriteIntoTheDirectory()
    {
        Fixture f;
        const Timestamp now = f.now();
        f.liveStatus(QStringLiteral("a"), ",\"status\":\"waiting\"");
        f.liveStatus(QStringLiteral("b"));
        f.status(QStringLiteral("broken.json"), "{");
        f.transcript(QStringLiteral("p/a.jsonl"), assistant(now - 10, "tool_use"), now - 10);
        f.transcript(QStringLiteral("p/old.jsonl"), assistant(now - 86400 * 3, "end_turn"), now - 86400 * 3);
        f.transcript(QStringLiteral("q/.hidden/c.jsonl"), "x\n", now - 10);
        writeFile(f.config, QStringLiteral(".credentials.json"), "{}");
        const QString before = treeFingerprint(f.config);
        QVERIFY(!before.isEmpty());

        ClaudeCollector collector(f.options());
        CollectorContext online;
        online.allowNetwork = true;
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(pass(collector).sessions.size(), 2);
            QCOMPARE(pass(collector, online).sessions.size(), 2);
            f.advance(61);
        }
        QCOMPARE(treeFingerprint(f.config), before);
    }
};

QTEST_GUILESS_MAIN(ClaudeCollectorTest)
#include "claude_collector_test.moc"
