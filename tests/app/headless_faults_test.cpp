// Faults around a running `vexlor --headless`: the sync folder removed under
// it, and FIFOs named like transcripts under a live Claude session. Each run
// must keep polling and end normally after its passes.

#include "TestSupport.h"
#include "fixtures/Fixtures.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexlor;
using namespace vexlor::test;

namespace {

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

class HeadlessFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QFileInfo(vexlorBinary()).isExecutable())
            QSKIP("the vexlor program is not built (interface build switched off)");
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

QTEST_GUILESS_MAIN(HeadlessFaultsTest)
#include "headless_faults_test.moc"
