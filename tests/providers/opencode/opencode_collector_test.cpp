// OpenCode collector over real SQLite databases in temporary folders, in
// write-ahead-log and rollback mode, with and without live writer processes.

#include "TestSupport.h"
#include "fixtures/Fixtures.h"
#include "providers/opencode/OpenCodeCollector.h"
#include "providers/opencode/OpenCodeResultCache.h"
#include "providers/opencode/ReadOnlyDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <cmath>

using namespace vexlor;
using namespace vexlor::test;
using namespace Qt::Literals::StringLiterals;

namespace {

// The clock of every test: the current second, so the database's own clock
// (used by the usage query) agrees with it.
const double nowSeconds = std::floor(Timestamp::now().seconds());
const double nowMs = nowSeconds * 1000;

QByteArray ms(double v)
{
    return QByteArray::number(v, 'f', 0);
}

// An OpenCode database in `dir`; a fixture that cannot be written stops the test.
struct Fixture : fixtures::OpenCodeDatabase {
    explicit Fixture(const QString& dir, bool wal = true, const char* ddl = fixtures::openCodeSchema)
        : OpenCodeDatabase(dir + u"/opencode.db"_s, wal ? Journal::wal : Journal::rollback, ddl)
    {
        if (!ok())
            qFatal("cannot create the OpenCode fixture in %s", qPrintable(dir));
    }
};

using Writer = fixtures::OpenCodeWriter;

OpenCodeCollector collectorFor(const QString& dir, int busyTimeoutMs = 5000)
{
    return OpenCodeCollector({dir, [] { return Timestamp::fromSeconds(nowSeconds); }, busyTimeoutMs});
}

QStringList besideDatabase(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QByteArray assistantMessage(const QByteArray& tokens, double cost)
{
    return "{\"role\":\"assistant\",\"finish\":\"stop\",\"tokens\":" + tokens + ",\"cost\":" + QByteArray::number(cost) + "}";
}

} // namespace

class OpenCodeCollectorTest : public QObject {
    Q_OBJECT

private slots:
    void sessionClassification_data()
    {
        QTest::addColumn<QByteArray>("messageData"); // empty: the session has no message
        QTest::addColumn<double>("age");
        QTest::addColumn<double>("acknowledgedOffset"); // NaN: never; else seconds after the message
        QTest::addColumn<double>("attentionSinceAgo");  // seconds before now
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("open");

        const double never = std::nan("");
        const double longAgo = 86400;
        const QByteArray user = "{\"role\":\"user\"}", streaming = "{\"role\":\"assistant\"}",
                         tools = "{\"role\":\"assistant\",\"finish\":\"tool-calls\"}",
                         stop = "{\"role\":\"assistant\",\"finish\":\"stop\"}";
        auto row = [](const char* name, const QByteArray& data, double age, double ack, double since, const char* state) {
            QTest::newRow(name) << data << age << ack << since << QString::fromLatin1(state) << (qstrcmp(state, "idle") != 0);
        };
        row("user, 599 s", user, 599, never, longAgo, "working");
        row("user, 600 s", user, 600, never, longAgo, "idle");
        row("user with error, recent", "{\"role\":\"user\",\"error\":{}}", 30, never, longAgo, "working");
        row("streaming, 30 s", streaming, 30, never, longAgo, "working");
        row("streaming with error", "{\"role\":\"assistant\",\"error\":{\"name\":\"APIError\"}}", 30, never, longAgo, "attention");
        row("streaming with null error", "{\"role\":\"assistant\",\"error\":null}", 30, never, longAgo, "attention");
        row("tool calls, 30 s", tools, 30, never, longAgo, "working");
        row("stop, never acknowledged", stop, 30, never, longAgo, "attention");
        row("stop, acknowledged at it", stop, 30, 0, longAgo, "idle");
        row("stop, acknowledged before it", stop, 30, -1, longAgo, "attention");
        row("stop, at the hub's start", stop, 30, never, 30, "idle");
        row("error, acknowledged later", "{\"role\":\"assistant\",\"finish\":\"length\",\"error\":1}", 700, 5, longAgo, "idle");
        row("role not text", "{\"role\":7}", 30, never, longAgo, "idle");
        row("no message", QByteArray(), 0, never, longAgo, "idle");
    }
    void sessionClassification()
    {
        QFETCH(QByteArray, messageData);
        QFETCH(double, age);
        QFETCH(double, acknowledgedOffset);
        QFETCH(double, attentionSinceAgo);
        QFETCH(QString, state);
        QFETCH(bool, open);

        QTemporaryDir tmp;
        Fixture db(tmp.path());
        const double updatedMs = nowMs - 7200000;
        const double messageMs = nowMs - age * 1000;
        db.session("ses_0123456789", "Fix the build", updatedMs);
        if (!messageData.isEmpty())
            db.message("msg_1", "ses_0123456789", messageMs, messageData);
        db.close();

        CollectorContext context;
        context.attentionSince = Timestamp::fromSeconds(nowSeconds - attentionSinceAgo);
        const Timestamp activity = Timestamp::fromMilliseconds(messageData.isEmpty() ? updatedMs : messageMs);
        if (!std::isnan(acknowledgedOffset))
            context.acknowledged.insert(u"opencode:ses_0123456789"_s, activity + acknowledgedOffset);

        const ProviderReport r = collectorFor(tmp.path()).collectBlocking(context);
        QVERIFY2(!r.usage.error, qPrintable(r.usage.error.value_or(QString())));
        QCOMPARE(r.sessions.size(), 1);
        const SessionSnapshot& s = r.sessions.first();
        QCOMPARE(s.key, u"opencode:ses_0123456789"_s);
        QCOMPARE(toString(s.state), state);
        QCOMPARE(s.isOpen, open);
        QCOMPARE(s.activityAt, activity);
        QCOMPARE(s.completionAt, state == u"attention" ? std::optional(activity) : std::nullopt);
        QCOMPARE(s.title, std::optional(u"Fix the build"_s));
    }

    void sessionRowsFollowTheQuery()
    {
        QTemporaryDir tmp;
        Fixture db(tmp.path());
        // 55 sessions: only the 50 most recently updated are reported.
        for (int i = 0; i < 55; ++i)
            db.session("old_" + QByteArray::number(i).rightJustified(2, '0'), std::nullopt, nowMs - 864000000 + i * 1000);
        db.session("archived", QByteArray("Gone"), nowMs, nowMs);
        db.session("ses_abcdefgh", "  nEw SeSsIoN ", nowMs - 1000);
        db.session("ses_long", QByteArray("Rename ").repeated(10), nowMs - 2000);
        // The newest message wins; on a tie of times the larger id.
        db.message("m1", "ses_abcdefgh", nowMs - 50000, "{\"role\":\"assistant\",\"finish\":\"stop\",\"modelID\":\"old\"}");
        db.message("m3", "ses_abcdefgh", nowMs - 20000, "{\"role\":\"user\",\"modelID\":\"gpt-x\",\"model\":\"ignored\"}");
        db.message("m2", "ses_abcdefgh", nowMs - 20000, "{\"role\":\"assistant\",\"finish\":\"stop\"}");
        db.message("m4", "ses_long", nowMs - 20000, "{\"role\":\"user\",\"model\":\"fallback-model\"}");
        db.message("m5", "archived", nowMs - 1000, "{\"role\":\"user\"}");
        db.message("m6", "old_54", nowMs - 1000, "{\"role\":\"user\",\"modelID\":42}");
        db.close();

        const ProviderReport r = collectorFor(tmp.path()).collectBlocking({});
        QCOMPARE(r.sessions.size(), 50);
        QStringList expected{u"ses_abcdefgh"_s, u"ses_long"_s};
        for (int i = 54; expected.size() < 50; --i)
            expected << u"old_"_s + QString::number(i).rightJustified(2, u'0');
        QCOMPARE(sessionIds(r), expected);

        const SessionSnapshot& newest = r.sessions[0];
        QCOMPARE(toString(newest.state), u"working"_s); // m3, a user message
        QCOMPARE(newest.model, std::optional(u"gpt-x"_s));
        QCOMPARE(newest.title, std::optional(u"session ses_ab"_s));
        QCOMPARE(r.sessions[1].model, std::optional(u"fallback-model"_s));
        QCOMPARE(r.sessions[1].title, std::optional(QString::fromUtf8(QByteArray("Rename ").repeated(9).left(60)).trimmed() + QChar(0x2026)));
        QCOMPARE(r.sessions[2].model, std::nullopt); // a number is no model name
        QCOMPARE(r.sessions[2].title, std::optional(u"session old_54"_s));
        QCOMPARE(toString(r.sessions[3].state), u"idle"_s);
        QVERIFY(!r.sessions[3].isOpen);
    }

    void usageWindowsAndCost_data()
    {
        QTest::addColumn<QList<QByteArray>>("messages"); // "<age seconds> <data>"
        QTest::addColumn<double>("day");
        QTest::addColumn<double>("week");
        QTest::addColumn<double>("cost");
        QTest::newRow("none") << QList<QByteArray>{} << 0.0 << 0.0 << 0.0;
        QTest::newRow("only user messages") << QList<QByteArray>{"60 {\"role\":\"user\",\"tokens\":{\"total\":5},\"cost\":1}"}
                                            << 0.0 << 0.0 << 0.0;
        QTest::newRow("total wins over parts")
            << QList<QByteArray>{"60 " + assistantMessage("{\"total\":100,\"input\":1,\"output\":1}", 0.5)} << 100.0 << 100.0 << 0.5;
        QTest::newRow("parts when no total")
            << QList<QByteArray>{"60 " + assistantMessage("{\"input\":1,\"output\":20,\"reasoning\":300,\"cache\":{\"read\":9}}", 0.25)}
            << 321.0 << 321.0 << 0.25;
        QTest::newRow("two days old counts in the week only")
            << QList<QByteArray>{"60 " + assistantMessage("{\"total\":1}", 1), "172800 " + assistantMessage("{\"total\":10}", 2)}
            << 1.0 << 11.0 << 3.0;
        QTest::newRow("eight days old counts nowhere")
            << QList<QByteArray>{"691200 " + assistantMessage("{\"total\":10}", 2)} << 0.0 << 0.0 << 0.0;
        QTest::newRow("no tokens, no cost") << QList<QByteArray>{"60 {\"role\":\"assistant\"}"} << 0.0 << 0.0 << 0.0;
    }
    void usageWindowsAndCost()
    {
        QFETCH(QList<QByteArray>, messages);
        QFETCH(double, day);
        QFETCH(double, week);
        QFETCH(double, cost);
        QTemporaryDir tmp;
        Fixture db(tmp.path());
        db.session("s", std::nullopt, nowMs);
        int n = 0;
        for (const QByteArray& m : messages) {
            const qsizetype space = m.indexOf(' ');
            db.message("m" + QByteArray::number(++n), "s", nowMs - m.left(space).toDouble() * 1000, m.mid(space + 1));
        }
        db.close();

        const ProviderReport r = collectorFor(tmp.path()).collectBlocking({});
        QVERIFY(r.installed);
        UsageSnapshot expected;
        expected.windows = {{u"24h"_s, std::nullopt, day, std::nullopt, std::nullopt},
                            {u"7d"_s, std::nullopt, week, std::nullopt, std::nullopt}};
        expected.costUSD = cost;
        expected.updatedAt = Timestamp::fromSeconds(nowSeconds);
        QCOMPARE(r.usage, expected);
        QVERIFY(!r.spend);
    }

    void brokenDatabasesReportTheirError_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        const QString opened = u"OpenCode database could not be opened"_s;
        QTest::newRow("not a database") << u"garbage"_s << opened;
        QTest::newRow("a directory") << u"directory"_s << opened;
        QTest::newRow("empty file") << u"empty"_s << u"OpenCode query failed: no such table: session"_s;
        QTest::newRow("no message table") << u"nomessage"_s << u"OpenCode query failed: no such table: message"_s;
        QTest::newRow("no archive column") << u"nocolumn"_s << u"OpenCode query failed: no such column: s.time_archived"_s;
    }
    void brokenDatabasesReportTheirError()
    {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        QTemporaryDir tmp;
        const QString path = tmp.path() + u"/opencode.db"_s;
        if (kind == u"garbage")
            writeFile(tmp.path(), u"opencode.db"_s, QByteArray("this is not a database, only text\n").repeated(200));
        else if (kind == u"directory")
            QVERIFY(QDir().mkpath(path));
        else if (kind == u"empty")
            writeFile(tmp.path(), u"opencode.db"_s, {});
        else if (kind == u"nomessage")
            Fixture(tmp.path(), true, "CREATE TABLE session (id TEXT, title TEXT, time_updated INTEGER, time_archived INTEGER);")
                .session("s", "t", nowMs);
        else
            Fixture(tmp.path(), false, "CREATE TABLE session (id TEXT, title TEXT, time_updated INTEGER);"
                                       "CREATE TABLE message (id TEXT, session_id TEXT, time_created INTEGER, data TEXT);");

        const QString before = treeFingerprint(tmp.path());
        const ProviderReport r = collectorFor(tmp.path()).collectBlocking({});
        QVERIFY(r.installed);
        QVERIFY(r.sessions.isEmpty());
        QCOMPARE(r.usage, UsageSnapshot::failed(error, Timestamp::fromSeconds(nowSeconds)));
        QCOMPARE(treeFingerprint(tmp.path()), before);
    }

    void closedWalDatabaseIsReadWithoutCreatingFiles()
    {
        QTemporaryDir tmp;
        {
            Fixture db(tmp.path());
            db.session("s1", "One", nowMs - 1000);
            db.message("m1", "s1", nowMs - 1000, assistantMessage("{\"total\":7}", 0.1));
        }
        QCOMPARE(besideDatabase(tmp.path()), QStringList{u"opencode.db"_s}); // closed cleanly
        const QString before = treeFingerprint(tmp.path());

        OpenCodeCollector collector = collectorFor(tmp.path());
        for (int pass = 0; pass < 2; ++pass) {
            const ProviderReport r = collector.collectBlocking({});
            QVERIFY2(!r.usage.error, qPrintable(r.usage.error.value_or(QString())));
            QCOMPARE(sessionIds(r), QStringList{u"s1"_s});
            QCOMPARE(r.usage.windows.value(0).tokens, std::optional(7.0));
        }
        QCOMPARE(besideDatabase(tmp.path()), QStringList{u"opencode.db"_s});
        QCOMPARE(treeFingerprint(tmp.path()), before);

        // An empty log left beside it is ignored, and left as it is.
        writeFile(tmp.path(), u"opencode.db-wal"_s, {});
        const QString withLog = treeFingerprint(tmp.path());
        const ProviderReport r = collectorFor(tmp.path()).collectBlocking({});
        QVERIFY2(!r.usage.error, qPrintable(r.usage.error.value_or(QString())));
        QCOMPARE(sessionIds(r), QStringList{u"s1"_s});
        QCOMPARE(treeFingerprint(tmp.path()), withLog);
    }

    void liveWriterIsReadThroughItsLog()
    {
        QTemporaryDir tmp;
        {
            Fixture db(tmp.path());
            db.session("s1", "One", nowMs - 5000);
        }
        Writer writer(tmp.path() + u"/opencode.db"_s);
        // Committed rows that stay in the log: the main file does not have them.
        QVERIFY(writer.run("PRAGMA wal_autocheckpoint=0;"
                           "INSERT INTO session VALUES ('s2', 'Two', " + ms(nowMs - 1000) + ", NULL);"
                           "INSERT INTO message VALUES ('m1', 's2', " + ms(nowMs - 1000) + ", '{\"role\":\"user\"}');"));
        QCOMPARE(besideDatabase(tmp.path()),
                 (QStringList{u"opencode.db"_s, u"opencode.db-shm"_s, u"opencode.db-wal"_s}));
        const QString before = treeFingerprint(tmp.path());

        OpenCodeCollector collector = collectorFor(tmp.path());
        ProviderReport r = collector.collectBlocking({});
        QVERIFY2(!r.usage.error, qPrintable(r.usage.error.value_or(QString())));
        QCOMPARE(sessionIds(r), (QStringList{u"s2"_s, u"s1"_s}));
        QCOMPARE(toString(r.sessions.first().state), u"working"_s);
        QCOMPARE(treeFingerprint(tmp.path()), before);

        // A transaction the writer has not committed yet is not seen, and
        // does not hold the reader up.
        QVERIFY(writer.run("BEGIN; INSERT INTO session VALUES ('s3', 'Three', " + ms(nowMs) + ", NULL);"));
        r = collector.collectBlocking({});
        QCOMPARE(sessionIds(r), (QStringList{u"s2"_s, u"s1"_s}));
        QVERIFY(writer.run("COMMIT;"));
        r = collector.collectBlocking({});
        QCOMPARE(sessionIds(r), (QStringList{u"s3"_s, u"s2"_s, u"s1"_s}));

        // The writer dies without cleaning up: its log and index stay, and the
        // committed rows in the log are still read.
        writer.kill();
        QCOMPARE(besideDatabase(tmp.path()),
                 (QStringList{u"opencode.db"_s, u"opencode.db-shm"_s, u"opencode.db-wal"_s}));
        const QString afterCrash = treeFingerprint(tmp.path());
        r = collector.collectBlocking({});
        QVERIFY2(!r.usage.error, qPrintable(r.usage.error.value_or(QString())));
        QCOMPARE(sessionIds(r), (QStringList{u"s3"_s, u"s2"_s, u"s1"_s}));
        QCOMPARE(treeFingerprint(tmp.path()), afterCrash);
    }

    void writerHoldingTheLockEndsInAnError()
    {
        // A rollback-journal database whose writer holds the exclusive lock:
        // the reader waits out its busy timeout, then reports the failure.
        QTemporaryDir tmp;
        {
            Fixture db(tmp.path(), false);
            db.session("s1", "One", nowMs);
        }
        Writer writer(tmp.path() + u"/opencode.db"_s);
        QVERIFY(writer.run("BEGIN EXCLUSIVE; INSERT INTO session VALUES ('s2', 'Two', 1, NULL);"));
        const QString before = treeFingerprint(tmp.path());
        const ProviderReport r = collectorFor(tmp.path(), 200).collectBlocking({});
        QVERIFY(r.installed);
        QVERIFY(r.sessions.isEmpty());
        QCOMPARE(r.usage.error, std::optional(u"OpenCode query failed: database is locked"_s));
        QCOMPARE(treeFingerprint(tmp.path()), before);
        QVERIFY(writer.run("ROLLBACK;"));
        QCOMPARE(sessionIds(collectorFor(tmp.path(), 200).collectBlocking({})), QStringList{u"s1"_s});
    }

    void guardRefusesToCreateTheLog()
    {
        // Reading a closed write-ahead-log database through its log would make
        // SQLite create "-wal" beside it (the race where the owner closes
        // between our look and our open). The guard turns that into a
        // failed open that creates nothing; the next choice reads it whole.
        QTemporaryDir tmp;
        {
            Fixture db(tmp.path());
            db.session("s1", "One", nowMs);
        }
        const QString path = tmp.path() + u"/opencode.db"_s;
        const QString before = treeFingerprint(tmp.path());
        {
            ReadOnlyDatabase db(path, ReadOnlyDatabase::Access::live, 100);
            const SqlQueryResult r = db.query("SELECT count(*) AS n FROM session;");
            QCOMPARE(r.status, SqlQueryResult::Status::openFailed);
        }
        QCOMPARE(treeFingerprint(tmp.path()), before);
        const SqlQueryResult r = queryReadOnly(path, "SELECT count(*) AS n FROM session;");
        QCOMPARE(r.status, SqlQueryResult::Status::ok);
        QCOMPARE(r.rows.value(0).number(u"n"_s), std::optional(1.0));
        QCOMPARE(treeFingerprint(tmp.path()), before);
    }

    void windowEdgesCrossingMessages_data()
    {
        QTest::addColumn<double>("timeMs");
        QTest::addColumn<bool>("crosses"); // between second 1000000 and 1000003
        QTest::newRow("leaves the day window") << (1000001.0 - 86400) * 1000 << true;
        QTest::newRow("at the old day edge") << (1000000.0 - 86400) * 1000 << true;
        QTest::newRow("at the new day edge") << (1000003.0 - 86400) * 1000 << false;
        QTest::newRow("already out of the day window") << (1000000.0 - 86400) * 1000 - 1 << false;
        QTest::newRow("leaves the week window") << (1000002.0 - 604800) * 1000 + 500 << true;
    }
    void windowEdgesCrossingMessages()
    {
        QFETCH(double, timeMs);
        QFETCH(bool, crosses);
        const std::vector<double> times{1.0, timeMs, 9e15};
        QCOMPARE(OpenCodeResultCache::windowsCrossAny(times, 1000000, 1000003), crosses);
        QVERIFY(!OpenCodeResultCache::windowsCrossAny(times, 1000000, 1000000));
    }

    void steadyPassesReuseRowsOnlyWhileExact()
    {
        QTemporaryDir tmp;
        const qint64 second = qint64(std::floor(Timestamp::now().seconds()));
        auto fixture = std::make_unique<Fixture>(tmp.path());
        fixture->session("s1", "One", nowMs);
        // Leaves the 24-hour window within the next few seconds.
        fixture->message("m1", "s1", double(second + 3 - 86400) * 1000, assistantMessage("{\"total\":5}", 0.5));
        fixture->message("m2", "s1", nowMs - 60000, assistantMessage("{\"total\":100}", 1));
        fixture->close();

        OpenCodeCollector collector = collectorFor(tmp.path());
        const auto& cache = collector.resultCache();
        ProviderReport first = collector.collectBlocking({});
        QCOMPARE(first.usage.windows.value(0).tokens, std::optional(105.0));
        QCOMPARE(cache.statementsRun(), 2);
        QCOMPARE(collector.collectBlocking({}), first);
        QCOMPARE(cache.statementsRun(), 4);
        if (qint64(std::floor(Timestamp::now().seconds())) < second + 2) {
            QCOMPARE(collector.collectBlocking({}), first);
            QCOMPARE(cache.statementsRun(), 4); // nothing can have changed
        }
        // Once m1 has left the day window the usage statement runs again.
        while (qint64(std::floor(Timestamp::now().seconds())) < second + 4)
            QThread::msleep(100);
        const ProviderReport later = collector.collectBlocking({});
        QCOMPARE(later.usage.windows.value(0).tokens, std::optional(100.0));
        QCOMPARE(later.usage.windows.value(1).tokens, std::optional(105.0));
        QCOMPARE(later.sessions, first.sessions);
        QCOMPARE(cache.statementsRun(), 5);

        // A changed database is read again in full.
        {
            Fixture writer(tmp.path(), false, "SELECT 1;");
            writer.session("s2", "Two", nowMs + 1000);
        }
        const ProviderReport changed = collector.collectBlocking({});
        QCOMPARE(sessionIds(changed), (QStringList{u"s2"_s, u"s1"_s}));
        QCOMPARE(cache.statementsRun(), 7);
    }

    void textTimesNeverReuseUsage()
    {
        QTemporaryDir tmp;
        {
            Fixture db(tmp.path(), true,
                       "CREATE TABLE session (id TEXT, title TEXT, time_updated INTEGER, time_archived INTEGER);"
                       "CREATE TABLE message (id TEXT, session_id TEXT, time_created TEXT, data TEXT);");
            db.session("s1", "One", nowMs);
            db.message("m1", "s1", nowMs - 1000, assistantMessage("{\"total\":5}", 0.5));
        }
        OpenCodeCollector collector = collectorFor(tmp.path());
        const ProviderReport first = collector.collectBlocking({});
        QVERIFY2(!first.usage.error, qPrintable(first.usage.error.value_or(QString())));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(collector.collectBlocking({}), first);
        QCOMPARE(collector.resultCache().statementsRun(), 2 + 2 + 1 + 1);
    }

    void snapshotIsReadAgainWhenAWriterCameAndWent()
    {
        // A writer that opens the closed database, commits, checkpoints and
        // closes while a snapshot read runs may have torn it: the read is
        // done again and shows the writer's state.
        QTemporaryDir tmp;
        {
            Fixture db(tmp.path());
            db.session("s1", "One", nowMs);
        }
        const QString path = tmp.path() + u"/opencode.db"_s;
        int attempts = 0;
        const SqlQueryResult r = queryReadOnly(path, "SELECT count(*) AS n FROM session;", 5000, [&] {
            if (++attempts == 1) {
                Fixture writer(tmp.path(), false, "SELECT 1;");
                writer.session("s2", "Two", nowMs);
            }
        });
        QCOMPARE(attempts, 2);
        QCOMPARE(r.status, SqlQueryResult::Status::ok);
        QCOMPARE(r.rows.value(0).number(u"n"_s), std::optional(2.0));
        QCOMPARE(besideDatabase(tmp.path()), QStringList{u"opencode.db"_s});

        // One that keeps coming back is reported as a failure, never as rows.
        int writes = 0;
        const SqlQueryResult busy = queryReadOnly(path, "SELECT count(*) AS n FROM session;", 5000, [&] {
            Fixture writer(tmp.path(), false, "SELECT 1;");
            writer.session("w" + QByteArray::number(++writes), "W", nowMs);
        });
        QCOMPARE(busy.status, SqlQueryResult::Status::openFailed);
        QVERIFY(busy.rows.isEmpty());
        QCOMPARE(writes, 3);
    }

    void readsStayConsistentWhileWritersComeAndGo()
    {
        // Writer processes open the database, rewrite every row in one
        // transaction, checkpoint into the main file and close (removing the
        // log), over and over, so reads meet both the snapshot and the live
        // way and the moments between. A torn read would show rows of two
        // different transactions (or a malformed image).
        QTemporaryDir tmp;
        {
            Fixture db(tmp.path(), true,
                       "CREATE TABLE c (n INTEGER); INSERT INTO c VALUES (0);"
                       "CREATE TABLE t (x TEXT);"
                       "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 24)"
                       "  INSERT INTO t SELECT printf('%.20000c', 'A') FROM k;");
        }
        const QString path = tmp.path() + u"/opencode.db"_s;
        QProcess writers;
        writers.start(u"sh"_s, {u"-c"_s, u"for i in $(seq 40); do sqlite3 \"$0\" \"BEGIN; UPDATE c SET n = n + 1; "
                                         "UPDATE t SET x = printf('%.20000c', char(65 + (SELECT n FROM c) % 26)); COMMIT;\" "
                                         "|| exit 1; done"_s,
                                path});
        QVERIFY(writers.waitForStarted());
        const char* check = "SELECT (SELECT n FROM c) AS n, (SELECT count(*) FROM t) AS rows,"
                            " (SELECT count(*) FROM t WHERE x <> printf('%.20000c', char(65 + (SELECT n FROM c) % 26))) AS torn;";
        int reads = 0;
        int failures = 0;
        double lastN = -1;
        while (writers.state() != QProcess::NotRunning || reads == 0) {
            const SqlQueryResult r = queryReadOnly(path, check, 2000);
            ++reads;
            writers.waitForFinished(0);
            if (r.status != SqlQueryResult::Status::ok) {
                ++failures; // a bounded, reported outcome; never torn rows
                continue;
            }
            QCOMPARE(r.rows.size(), 1);
            const SqlRow& row = r.rows.first();
            QCOMPARE(row.number(u"rows"_s), std::optional(24.0));
            QCOMPARE(row.number(u"torn"_s), std::optional(0.0));
            const double n = row.number(u"n"_s).value_or(-1);
            QVERIFY(n >= lastN); // never an older state than one already seen
            lastN = n;
        }
        QCOMPARE(writers.exitCode(), 0);
        const SqlQueryResult last = queryReadOnly(path, check);
        QCOMPARE(last.rows.value(0).number(u"n"_s), std::optional(40.0));
        QCOMPARE(last.rows.value(0).number(u"torn"_s), std::optional(0.0));
        qInfo("%d reads, %d failed", reads, failures);
    }

    void uriEncodesEveryUnsafeByte()
    {
        QCOMPARE(sqliteFileUri(u"/a b/c?d#e%f/é.db"_s, "mode=ro"),
                 QByteArray("file:/a%20b/c%3Fd%23e%25f/%C3%A9.db?mode=ro"));
    }
};

QTEST_GUILESS_MAIN(OpenCodeCollectorTest)
#include "opencode_collector_test.moc"
