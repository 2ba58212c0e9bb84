// The program only ever reads the agents' folders: `vexlor --headless` runs
// several passes over a home with all four tools populated (OpenCode's
// database in WAL mode with a writer holding it open), with online access off
// and on, and every file and folder under the agents' directories keeps its
// path, size, modification time and permissions.
// Faults around a running `vexlor --headless`: the sync folder removed under
// it, and FIFOs named like transcripts under a live Claude session. Each run
// must keep polling and end normally after its passes.

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

using namespace vexlor;
using namespace vexlor::test;

namespace {

const QStringList agentFolders{QStringLiteral("claude"), QStringLiteral("codex"), QStringLiteral("kimi"),
                               QStringLiteral("opencode")};

const QByteArray claudeUsage = "{\"five_hour\":{\"utilization\":20,\"resets_at\":null},"
                               "\"seven_day\":{\"utilization\":70,\"resets_at\":null}}";
const QByteArray codexUsage = "{\"rate_limit\":{\"primary_window\":{\"used_percent\":12,\"limit_window_seconds\":18000,"
                              "\"reset_after_seconds\":600}}}";

struct Home : HeadlessHome {
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

} // namespace

class NoAgentWritesTest : public QObject {
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
        Home home;
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
        Home home;
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
        Home home;
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
};

QTEST_GUILESS_MAIN(NoAgentWritesTest)
#include "no_agent_writes_test.moc"
