// The program only ever reads the agents' folders: `vexlor --headless` runs
// several passes over a home with all four tools populated (OpenCode's
// database in WAL mode with a writer holding it open), with online access off
// and on, and every file and folder under the agents' directories keeps its
// path, size, modification time and permissions.

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

using namespace vexlor;
using namespace vexlor::test;

namespace {

const QStringList agentFolders{QStringLiteral("claude"), QStringLiteral("codex"), QStringLiteral("kimi"),
                               QStringLiteral("opencode")};

const QByteArray claudeUsage = "{\"five_hour\":{\"utilization\":20,\"resets_at\":null},"
                               "\"seven_day\":{\"utilization\":70,\"resets_at\":null}}";
const QByteArray codexUsage = "{\"rate_limit\":{\"primary_window\":{\"used_percent\":12,\"limit_window_seconds\":18000,"
                              "\"reset_after_seconds\":600}}}";

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
};

QTEST_GUILESS_MAIN(NoAgentWritesTest)
#include "no_agent_writes_test.moc"
