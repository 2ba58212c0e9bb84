// End to end: `vexlor --headless` over fixture homes for all four agent tools,
// with its own preferences and sync folder, driven through standard input and
// read from standard output. It only ever reads the agents' folders: over a
// home with all four tools populated (OpenCode's database in WAL mode with a
// writer holding it open), online access off and on, every file and folder
// there keeps its path, size, modification time and permissions. Faults
// around a run (the sync folder removed under it, FIFOs named like
// transcripts) leave it polling and ending normally after its passes.

#include "DemoHome.h"
#include "FakeHttpServer.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <sqlite3.h>
#include "fixtures/Fixtures.h"
#include <QDateTime>
#include <QJsonArray>
#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <csignal>

using namespace vexlor;
using namespace vexlor::test;

namespace {

const QStringList agentFolders{QStringLiteral("claude"), QStringLiteral("codex"), QStringLiteral("kimi"),
                               QStringLiteral("opencode")};

const QByteArray claudeUsage = "{\"five_hour\":{\"utilization\":20,\"resets_at\":null},"
                               "\"seven_day\":{\"utilization\":70,\"resets_at\":null}}";
const QByteArray codexUsage = "{\"rate_limit\":{\"primary_window\":{\"used_percent\":12,\"limit_window_seconds\":18000,"
                              "\"reset_after_seconds\":600}}}";

struct FaultHome : HeadlessHome {
    void writeLiveSession(const QString& id, const QString& word = QStringLiteral("working")) const
    {
        writeClaudeStatus(id, word, QStringLiteral("Pipes"));
    }

    // Starts `vexlor --headless` over this home, polling every 0.2 s.
    void start(QProcess& p, const QStringList& options = {}) const
    {
        p.setProcessEnvironment(environment());
        p.start(vexlorBinary(), QStringList{QStringLiteral("--headless"), QStringLiteral("--interval"),
                                            QStringLiteral("0.2")} + options);
        QVERIFY(p.waitForStarted(15000));
    }
};

QString claudeStatus(const QByteArray& snapshotLine)
{
    const QJsonObject snapshot = QJsonDocument::fromJson(snapshotLine).object();
    for (const auto& a : snapshot[u"content"][u"agents"].toArray())
        if (a[u"id"].toString() == u"claude")
            return a[u"status"].toString();
    return {};
}

// Opens every FIFO under `root` for writing without blocking and closes it
// again, so that a reader stuck on one is released and the test can end.
void releaseFifos(const QStringList& fifos)
{
    for (const QString& fifo : fifos) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
}

struct Home : HeadlessHome {
    QString transcript() const { return claude() + u"/projects/-work-app/s1.jsonl"; }
    QString prefsFile() const { return prefsBase() + u"/vexlor/preferences.json"; }

    // A live Claude session whose user just asked something: a turn in flight.
    void writeWorkingSession()
    {
        writeStatus(QStringLiteral("idle"), 0);
        writeFile(claude(), QStringLiteral("projects/-work-app/s1.jsonl"),
                  fixtures::claudeLine("user", Timestamp::now().seconds()));
    }
    void writeStatus(const QString& status, double statusUpdatedAtMs)
    {
        writeClaudeStatus(QStringLiteral("s1"), status, QStringLiteral("Fix login"), statusUpdatedAtMs);
    }
    void endTurn()
    {
        appendFile(transcript(), fixtures::claudeAssistant({.at = Timestamp::now().seconds(), .stopReason = "end_turn"}));
    }
};

class Headless {
public:
    Headless(const Home& home, const QStringList& extra)
    {
        m_process.setProcessEnvironment(home.environment());
        m_process.start(vexlorBinary(), QStringList{QStringLiteral("--headless"), QStringLiteral("--interval"), QStringLiteral("0.2")} + extra);
    }
    ~Headless()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // The next snapshot line, parsed; an empty object when none came in time.
    QJsonObject next(int timeoutMs = 15000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!m_process.canReadLine()) {
            if (deadline.hasExpired() || !m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime()))))
                if (!m_process.canReadLine())
                    return {};
        }
        const QByteArray line = m_process.readLine();
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError)
            qWarning("not a snapshot line: %s", line.constData());
        return doc.object();
    }

    // Reads snapshots until `predicate` holds for the Claude agent.
    QJsonObject nextWhere(const std::function<bool(const QJsonObject&)>& predicate, int maxLines = 60)
    {
        for (int i = 0; i < maxLines; ++i) {
            const QJsonObject snapshot = next();
            if (snapshot.isEmpty())
                return {};
            if (predicate(claudeAgent(snapshot)))
                return snapshot;
        }
        return {};
    }

    void send(const QByteArray& line) { m_process.write(line + '\n'); }
    QProcess& process() { return m_process; }

    static QJsonObject claudeAgent(const QJsonObject& snapshot)
    {
        for (const auto& a : snapshot[u"content"][u"agents"].toArray())
            if (a[u"id"].toString() == u"claude")
                return a.toObject();
        return {};
    }

private:
    QProcess m_process;
};

bool hasStatus(const QJsonObject& agent, const char* status)
{
    return agent[u"status"].toString() == QLatin1String(status);
}

} // namespace

class HeadlessTest : public QObject {
    Q_OBJECT

    DemoHome m_home;
    sqlite3* m_writer = nullptr;
    QByteArray m_log; // the last run's standard error

    QString root() const { return m_home.root(); }

    QString fingerprint() const
    {
        QString all;
        for (const QString& folder : agentFolders)
            all += treeFingerprint(root() + u'/' + folder) + u'\n';
        return all;
    }

    void setOnline(bool on)
    {
        const QString file = root() + QStringLiteral("/config/vexlor/preferences.json");
        QJsonObject prefs;
        QFile in(file);
        if (in.open(QIODevice::ReadOnly))
            prefs = QJsonDocument::fromJson(in.readAll()).object();
        in.close();
        prefs.insert(QStringLiteral("OnlineAccessEnabled"), on);
        writeFile(root(), QStringLiteral("config/vexlor/preferences.json"), QJsonDocument(prefs).toJson());
    }

    // Runs the program for `passes` passes while this test's event loop keeps
    // serving the fake server; returns its standard output.
    void run(const QProcessEnvironment& env, int passes, QByteArray& out)
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(vexlorBinary(), {QStringLiteral("--headless"), QStringLiteral("--passes"), QString::number(passes),
                                 QStringLiteral("--interval"), QStringLiteral("0.2")});
        QVERIFY(p.waitForStarted(15000));
        QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 120000);
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        out = p.readAllStandardOutput();
        m_log = p.readAllStandardError();
    }

private slots:
    void initTestCase()
    {
        if (!QFileInfo(vexlorBinary()).isExecutable())
            QSKIP("the vexlor program is not built (interface build switched off)");
        QVERIFY(m_home.prepare());
        // OpenCode keeps its database in WAL mode and stays connected: the
        // write-ahead log and the shared-memory index exist beside it.
        const QByteArray db = (root() + QStringLiteral("/opencode/opencode.db")).toUtf8();
        QCOMPARE(sqlite3_open(db.constData(), &m_writer), SQLITE_OK);
        QCOMPARE(sqlite3_exec(m_writer, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                                        "INSERT INTO session VALUES ('ses_wal', 'Only in the log', 1, NULL);",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        QVERIFY(QFileInfo(root() + QStringLiteral("/opencode/opencode.db-wal")).size() > 0);
        QVERIFY(QFile::exists(root() + QStringLiteral("/opencode/opencode.db-shm")));

        // Credentials for both online fetchers.
        writeFile(root(), QStringLiteral("claude/.credentials.json"),
                  "{\"claudeAiOauth\":{\"accessToken\":\"claude-file-token\",\"refreshToken\":\"r\","
                  "\"expiresAt\":4102444800000}}");
        writeFile(root(), QStringLiteral("codex/auth.json"),
                  "{\"tokens\":{\"access_token\":\"codex-token\",\"account_id\":\"acct-1\"}}");
        for (const QString& folder : agentFolders)
            QVERIFY(!treeFingerprint(root() + u'/' + folder).isEmpty());
    }

    void cleanupTestCase()
    {
        if (m_writer)
            sqlite3_close(m_writer);
    }

    void offline()
    {
        setOnline(false);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("VEXLOR_CLAUDE_USAGE_URL"));
        env.remove(QStringLiteral("VEXLOR_CODEX_USAGE_URL"));
        const QString before = fingerprint();
        QByteArray out;
        run(env, 6, out);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(out.trimmed().split('\n').size(), 6);
        // The passes saw the home: the live Claude sessions are on the deck.
        const QJsonObject last = QJsonDocument::fromJson(out.trimmed().split('\n').last()).object();
        QVERIFY2(last[u"content"].toObject().contains(u"agents"), out.right(400).constData());
        QVERIFY(out.contains("claude:"));
        const QString after = fingerprint();
        QCOMPARE(after, before);
    }

    void online()
    {
        setOnline(true);
        FakeHttpServer claude;
        FakeHttpServer codex;
        QVERIFY(claude.listen());
        QVERIFY(codex.listen());
        claude.setDefaultReply(FakeHttpServer::json(200, claudeUsage));
        codex.setDefaultReply(FakeHttpServer::json(200, codexUsage));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VEXLOR_CLAUDE_USAGE_URL"), claude.url(QStringLiteral("/api/oauth/usage")));
        env.insert(QStringLiteral("VEXLOR_CODEX_USAGE_URL"), codex.url(QStringLiteral("/backend-api/wham/usage")));
        const QString before = fingerprint();
        QByteArray out;
        run(env, 25, out);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(out.trimmed().split('\n').size(), 25);

        // Both fetchers went out with the tokens from the home.
        QVERIFY2(!claude.requests().isEmpty(), m_log.right(2000).constData());
        QVERIFY2(!codex.requests().isEmpty(), m_log.right(2000).constData());
        QCOMPARE(claude.requests().first().header("authorization").value_or(QByteArray()),
                 QByteArray("Bearer claude-file-token"));
        QCOMPARE(codex.requests().first().header("authorization").value_or(QByteArray()),
                 QByteArray("Bearer codex-token"));

        const QString after = fingerprint();
        QCOMPARE(after, before);
    }

    // The sync folder disappears after the first snapshot was stored: the
    // passes go on, every snapshot still reaches standard output, and the
    // program ends normally.
    void syncFolderRemovedWhileRunning()
    {
        FaultHome home;
        QProcess p;
        home.start(p, {QStringLiteral("--passes"), QStringLiteral("12")});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home.kvs() + u"/deck.snapshot.v1"), 30000);
        QVERIFY(QDir(home.kvs()).removeRecursively());
        QVERIFY(!QFileInfo::exists(home.kvs()));
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        const QList<QByteArray> lines = p.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), 12);
        for (const QByteArray& line : lines)
            QVERIFY(QJsonDocument::fromJson(line).isObject());
    }

    // A live session whose transcript is a FIFO, and another FIFO named like
    // a transcript beside it: no pass waits on a writer that never comes.
    void fifoTranscriptsNeverBlockAPass()
    {
        FaultHome home;
        home.writeLiveSession(QStringLiteral("s1"));
        QVERIFY(QDir().mkpath(home.claude() + u"/projects/-work-app"));
        const QStringList fifos{home.claude() + u"/projects/-work-app/s1.jsonl",
                                home.claude() + u"/projects/-work-app/other.jsonl"};
        for (const QString& fifo : fifos)
            QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        // And a symbolic link loop under the transcripts.
        QVERIFY(QFile::link(home.claude() + u"/projects", home.claude() + u"/projects/-work-app/loop"));

        QProcess p;
        home.start(p, {QStringLiteral("--passes"), QStringLiteral("4")});
        const bool finished = p.waitForFinished(120000);
        if (!finished) {
            releaseFifos(fifos);
            p.kill();
            p.waitForFinished(5000);
            QFAIL("a pass blocked on a FIFO");
        }
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        const QList<QByteArray> lines = p.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), 4);
        // The live session is still on the deck.
        QVERIFY(lines.last().contains("claude:s1"));
    }

    // The live transcript is cut down to a shorter one while the program
    // runs: the next passes read the new content, not past its end.
    void transcriptShrinksWhileRunning()
    {
        FaultHome home;
        // The status file says idle: the transcript alone tells the state.
        home.writeLiveSession(QStringLiteral("s1"), QStringLiteral("idle"));
        QByteArray longer;
        for (int i = 0; i < 200; ++i)
            longer += fixtures::claudeAssistant({.at = Timestamp::now().seconds(), .stopReason = "tool_use"});
        longer += fixtures::claudeLine("user", Timestamp::now().seconds());
        const QString transcript = writeFile(home.claude(), QStringLiteral("projects/-work-app/s1.jsonl"), longer);

        QProcess p;
        home.start(p);
        QTRY_VERIFY_WITH_TIMEOUT(p.canReadLine(), 30000);
        QCOMPARE(claudeStatus(p.readLine()), QStringLiteral("working"));

        // Rewritten in place, far shorter: the turn has ended since start-up.
        QTest::qWait(1100);
        QFile file(transcript);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QByteArray shorter = fixtures::claudeAssistant({.at = Timestamp::now().seconds(), .stopReason = "end_turn"});
        QCOMPARE(file.write(shorter), shorter.size());
        file.close();
        QVERIFY(QFileInfo(transcript).size() < longer.size());

        QString status;
        for (int i = 0; i < 100 && status != u"needsYou"; ++i) {
            QTRY_VERIFY_WITH_TIMEOUT(p.canReadLine(), 30000);
            status = claudeStatus(p.readLine());
        }
        p.kill();
        p.waitForFinished(5000);
        QCOMPARE(status, QStringLiteral("needsYou"));
    }

    // Refusals are one line on standard error; help and refusals speak the
    // user's language.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("unknown format") << QStringList{QStringLiteral("--headless"), QStringLiteral("--format"), QStringLiteral("xml")}
                                        << QByteArray() << 2 << QByteArray("vexlor: --format needs snapshot, waybar or line\n");
        QTest::newRow("German refusal") << QStringList{QStringLiteral("--bogus")} << QByteArray("de") << 2
                                        << QByteArray("vexlor: Unbekannte Option „bogus“.\n");
        QTest::newRow("German help") << QStringList{QStringLiteral("--help")} << QByteArray("de") << 0
                                     << QByteArray("Optionen:\n  -h, --help            Zeigt die Hilfe");
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, language);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, expected);
        QProcess p;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
            environment.remove(QString::fromLatin1(variable));
        if (language.isEmpty())
            environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        else
            environment.insert(QStringLiteral("LANGUAGE"), QString::fromLatin1(language));
        p.setProcessEnvironment(environment);
        p.start(vexlorBinary(), arguments);
        QVERIFY(p.waitForFinished(15000));
        QCOMPARE(p.exitCode(), exitCode);
        const QByteArray out = p.readAllStandardOutput();
        const QByteArray err = p.readAllStandardError();
        if (exitCode == 0)
            QVERIFY2(err.isEmpty() && out.contains(expected), out.constData());
        else
            QVERIFY2(out.isEmpty() && err == expected, err.constData());
    }

    void needsYouAcknowledgeAndRestart()
    {
        Home home;
        home.writeWorkingSession();
        {
            QElapsedTimer sinceFirstWrite;
            Headless run(home, {});
            const QJsonObject first = run.next();
            sinceFirstWrite.start();
            QVERIFY(!first.isEmpty());
            QCOMPARE(first[u"version"].toInt(), 1);
            QVERIFY(hasStatus(Headless::claudeAgent(first), "working"));
            for (const char* other : {"codex", "opencode", "kimi"}) {
                bool offline = false;
                for (const auto& a : first[u"content"][u"agents"].toArray())
                    offline = offline || (a[u"id"].toString() == QLatin1String(other) && a[u"status"].toString() == u"offline");
                QVERIFY2(offline, other);
            }
            // The first snapshot reaches the sync folder at once.
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home.kvs() + u"/deck.snapshot.v1"), 5000);
            QFile stored(home.kvs() + u"/deck.snapshot.v1");
            QVERIFY(stored.open(QIODevice::ReadOnly));
            const QByteArray firstStored = stored.readAll();
            QVERIFY(QJsonDocument::fromJson(firstStored).isObject());

            // The session ends its turn after start-up: it needs the user.
            home.endTurn();
            const QJsonObject needy = run.nextWhere([](const QJsonObject& a) { return hasStatus(a, "needsYou"); });
            QVERIFY2(!needy.isEmpty(), "claude never became needsYou");
            const QJsonArray rows = Headless::claudeAgent(needy)[u"openSessions"].toArray();
            QCOMPARE(rows.size(), 1);
            QCOMPARE(rows[0][u"id"].toString(), QStringLiteral("claude:s1"));
            QCOMPARE(rows[0][u"state"].toString(), QStringLiteral("attention"));

            // Acknowledging returns it to idle at once, through its own pass.
            run.send("ack claude");
            const QJsonObject calm = run.nextWhere([](const QJsonObject& a) { return hasStatus(a, "idle"); }, 5);
            QVERIFY2(!calm.isEmpty(), "ack claude did not return the agent to idle");

            // Later changes are held back by the 30-second throttle (only
            // checkable while those 30 seconds have not passed).
            QFile again(home.kvs() + u"/deck.snapshot.v1");
            QVERIFY(again.open(QIODevice::ReadOnly));
            const QByteArray nowStored = again.readAll();
            run.process().kill();
            run.process().waitForFinished(5000);
            const QByteArray log = run.process().readAllStandardError();
            if (sinceFirstWrite.elapsed() < 25000) {
                QCOMPARE(nowStored, firstStored);
                QCOMPARE(log.count("[DeckSync] published "), 1);
            } else {
                qWarning("the machine was too slow to check the sync throttle");
            }
        }

        // The acknowledgement is on disk...
        QFile prefs(home.prefsFile());
        QVERIFY(prefs.open(QIODevice::ReadOnly));
        const QJsonObject stored = QJsonDocument::fromJson(prefs.readAll()).object();
        QVERIFY(stored[u"CollectorAcknowledged"].toObject().contains(u"claude:s1"));

        // ...and binds after a restart: a waiting status from before the
        // acknowledgement stays quiet, while a fresh preferences folder (no
        // acknowledgement) shows the same session as needing the user.
        home.writeStatus(QStringLiteral("waiting"), QFileInfo(home.transcript()).lastModified().toMSecsSinceEpoch());
        {
            Headless restarted(home, {QStringLiteral("--passes"), QStringLiteral("1")});
            const QJsonObject snapshot = restarted.next();
            QVERIFY(hasStatus(Headless::claudeAgent(snapshot), "idle"));
            QVERIFY(restarted.process().waitForFinished(10000));
            QCOMPARE(restarted.process().exitCode(), 0);
        }
        QVERIFY(QFile::remove(home.prefsFile()));
        {
            Headless fresh(home, {QStringLiteral("--passes"), QStringLiteral("1")});
            QVERIFY(hasStatus(Headless::claudeAgent(fresh.next()), "needsYou"));
        }
    }

    // A signal ends the run through its event loop: a clean exit that still
    // writes the snapshot the sync interval was holding back.
    void signalsEndCleanlyAndKeepTheLastSnapshot_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void signalsEndCleanlyAndKeepTheLastSnapshot()
    {
        QFETCH(int, signal);
        Home home;
        home.writeWorkingSession();
        Headless run(home, {});
        QVERIFY(hasStatus(Headless::claudeAgent(run.next()), "working"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home.kvs() + u"/deck.snapshot.v1"), 5000);
        home.endTurn();
        QVERIFY(!run.nextWhere([](const QJsonObject& a) { return hasStatus(a, "needsYou"); }).isEmpty());

        QCOMPARE(::kill(static_cast<pid_t>(run.process().processId()), signal), 0);
        QVERIFY(run.process().waitForFinished(10000));
        QCOMPARE(run.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process().exitCode(), 0);
        QFile stored(home.kvs() + u"/deck.snapshot.v1");
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QVERIFY(hasStatus(Headless::claudeAgent(QJsonDocument::fromJson(stored.readAll()).object()), "needsYou"));
    }

    // A change of a file the collectors read brings a pass at once, long
    // before the next poll; where the file cannot be watched (its folder
    // vanished and came back), the poll still finds it, quietly.
    void fileChangesReachTheDeck_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<bool>("folderVanishes");
        QTest::addColumn<int>("withinMs");
        QTest::newRow("watched status file") << QStringLiteral("10") << false << 2000;
        QTest::newRow("folder vanished, polled") << QStringLiteral("1") << true << 15000;
    }

    void fileChangesReachTheDeck()
    {
        QFETCH(QString, interval);
        QFETCH(bool, folderVanishes);
        QFETCH(int, withinMs);
        // A turn that ended before the start, and a status saying busy.
        Home home;
        home.writeWorkingSession();
        home.endTurn();
        home.writeStatus(QStringLiteral("busy"), 0);
        Headless run(home, {QStringLiteral("--interval"), interval});
        QVERIFY(hasStatus(Headless::claudeAgent(run.next()), "working"));
        if (folderVanishes) {
            QVERIFY(QDir(home.claude() + u"/sessions").removeRecursively());
            QVERIFY(!run.nextWhere([](const QJsonObject& a) { return a[u"openSessions"].toArray().isEmpty(); }).isEmpty());
        }

        home.writeStatus(QStringLiteral("waiting"), static_cast<double>(QDateTime::currentMSecsSinceEpoch()));
        QDeadlineTimer deadline(withinMs);
        bool needy = false;
        while (!needy && !deadline.hasExpired())
            needy = hasStatus(Headless::claudeAgent(run.next(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))), "needsYou");
        QVERIFY2(needy, qPrintable(QStringLiteral("no needsYou within %1 ms").arg(withinMs)));

        run.process().kill();
        run.process().waitForFinished(5000);
        const QByteArray log = run.process().readAllStandardError();
        QVERIFY2(!log.contains("inotify") && !log.contains("[Watch]"), log.constData());
    }

    // The windowed deck and the demonstration end on SIGTERM as on Quit:
    // the single-instance lock and socket, and the demo's home, are gone.
    void signalLeavesNothingBehind_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("leftover"); // a name that exists while it runs
        QTest::newRow("deck") << QStringList{} << QStringLiteral("run/vexlor.socket");
        QTest::newRow("demo") << QStringList{QStringLiteral("--demo")} << QStringLiteral("tmp/vexlor-demo-*");
    }
    void signalLeavesNothingBehind()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, leftover);
        Home home;
        const QDir root(home.dir.path());
        QVERIFY(root.mkpath(QStringLiteral("run")) && root.mkpath(QStringLiteral("tmp")));
        QFile::setPermissions(root.filePath(QStringLiteral("run")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QProcessEnvironment env = home.environment();
        env.insert(QStringLiteral("HOME"), home.dir.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("TMPDIR"), root.filePath(QStringLiteral("tmp")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess deck;
        deck.setProcessEnvironment(env);
        deck.start(vexlorBinary(), arguments);
        const QFileInfo pattern(root.filePath(leftover));
        const auto present = [&] { return !pattern.dir().entryList({pattern.fileName()}, QDir::AllEntries | QDir::System).isEmpty(); };
        QTRY_VERIFY_WITH_TIMEOUT(present(), 20000);
        QCOMPARE(::kill(static_cast<pid_t>(deck.processId()), SIGTERM), 0);
        QVERIFY(deck.waitForFinished(10000));
        QCOMPARE(deck.exitStatus(), QProcess::NormalExit);
        QCOMPARE(deck.exitCode(), 0);
        QVERIFY(!present());
        QVERIFY(!QFile::exists(root.filePath(QStringLiteral("run/vexlor.lock"))));
    }

    // The status-bar formats print one line per pass for Waybar or tmux.
    void statusBarFormats_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("claude"); // "needy", "working" or "" (nothing installed)
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("waybar, needs you") << QStringLiteral("waybar") << QStringLiteral("needy")
            << QByteArray("{\"alt\":\"needs-you\",\"class\":\"needs-you\",\"percentage\":0,\"text\":\"⚠ Claude\","
                          "\"tooltip\":\"Claude: NEED YOU · 1 attention · Fix login\\nCodex: not installed");
        QTest::newRow("waybar, nothing found") << QStringLiteral("waybar") << QString()
            << QByteArray("{\"alt\":\"idle\",\"class\":\"idle\",\"percentage\":0,\"text\":\"no agents\",");
        QTest::newRow("line, working") << QStringLiteral("line") << QStringLiteral("working") << QByteArray("1 working\n");
    }
    void statusBarFormats()
    {
        QFETCH(QString, format);
        QFETCH(QString, claude);
        QFETCH(QByteArray, expected);
        Home home;
        if (!claude.isEmpty())
            home.writeWorkingSession();
        if (claude == u"needy") { // a turn that ended, and a status waiting since
            home.endTurn();
            home.writeStatus(QStringLiteral("waiting"), QFileInfo(home.transcript()).lastModified().toMSecsSinceEpoch());
        }
        Headless run(home, {QStringLiteral("--passes"), QStringLiteral("1"), QStringLiteral("--format"), format});
        QVERIFY(run.process().waitForFinished(20000));
        QCOMPARE(run.process().exitCode(), 0);
        const QByteArray out = run.process().readAllStandardOutput();
        QVERIFY2(out.startsWith(expected) && out.count('\n') == 1, out.constData());
    }

    void passesLimitCountsSnapshots()
    {
        Home home;
        Headless run(home, {QStringLiteral("--passes"), QStringLiteral("3")});
        QVERIFY(run.process().waitForFinished(20000));
        QCOMPARE(run.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process().exitCode(), 0);
        const QList<QByteArray> lines = run.process().readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        for (const QByteArray& line : lines)
            QVERIFY(QJsonDocument::fromJson(line).isObject());

        // The demonstration home works headless too: its agents are found.
        QProcess demo;
        demo.start(vexlorBinary(), {QStringLiteral("--demo"), QStringLiteral("--headless"), QStringLiteral("--passes"),
                                    QStringLiteral("1"), QStringLiteral("--interval"), QStringLiteral("0.1")});
        QVERIFY(demo.waitForFinished(20000));
        QCOMPARE(demo.exitCode(), 0);
        const QJsonObject snapshot = QJsonDocument::fromJson(demo.readAllStandardOutput()).object();
        QVERIFY(!hasStatus(Headless::claudeAgent(snapshot), "offline"));
        QVERIFY(!Headless::claudeAgent(snapshot).isEmpty());
    }
};

QTEST_GUILESS_MAIN(HeadlessTest)
#include "headless_test.moc"
