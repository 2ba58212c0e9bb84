// End to end: `vexlor --headless` over fixture homes for all four agent tools,
// with its own preferences and sync folder, driven through standard input and
// read from standard output.

#include "TestSupport.h"
#include "fixtures/Fixtures.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace vexlor;
using namespace vexlor::test;

namespace {

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

private slots:
    void initTestCase()
    {
        if (!QFileInfo(vexlorBinary()).isExecutable())
            QSKIP("the vexlor program is not built (interface build switched off)");
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("unknown format") << QStringList{QStringLiteral("--headless"), QStringLiteral("--format"), QStringLiteral("xml")} << 2;
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QProcess p;
        p.start(vexlorBinary(), arguments);
        QVERIFY(p.waitForFinished(15000));
        QCOMPARE(p.exitCode(), exitCode);
        const QByteArray err = p.readAllStandardError().trimmed();
        QVERIFY2(!err.isEmpty() && !err.contains('\n'), err.constData());
        QVERIFY(p.readAllStandardOutput().isEmpty());
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
