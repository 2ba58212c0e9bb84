// CodexCollector over session logs built in temporary folders, with a
// movable clock and a loopback usage endpoint.

#include "FakeHttpServer.h"
#include "TestSupport.h"
#include "fixtures/Fixtures.h"
#include "providers/codex/CodexCollector.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

using namespace vexlor;
using namespace vexlor::test;

namespace {

constexpr double t0 = 1800000000; // the test clock's start

QString uuid(int n)
{
    return QStringLiteral("%1-0000-4000-8000-00000000abcd").arg(n, 8, 16, QLatin1Char('0'));
}

using fixtures::codexEvent;
using fixtures::codexMeta;

QByteArray record(double at, const char* type, const QByteArray& payload)
{
    return fixtures::codexLine(at, type, payload);
}
QByteArray turnContext(double at, const char* model)
{
    return record(at, "turn_context", QByteArray("{\"model\":\"") + model + "\"}");
}
QByteArray tokenCount(double at, double primaryPercent, double secondaryPercent)
{
    return fixtures::codexTokenCount(at, primaryPercent, secondaryPercent, 1800003600, 1800600000);
}

QByteArray authWithExpiry(double exp)
{
    return fixtures::codexAuth(fixtures::codexToken("{\"exp\":" + QByteArray::number(exp, 'f', 0) + "}"), "acct");
}

QStringList percents(const UsageSnapshot& usage)
{
    QStringList out;
    for (const auto& w : usage.windows)
        out << w.label + u'=' + QString::number(w.percent.value_or(-1));
    return out;
}

} // namespace

class CodexCollectorTest : public QObject {
    Q_OBJECT

    double m_now = t0;
    QTemporaryDir m_tmp;
    QString m_home;
    QString m_sessions;

    CodexCollector::Options options()
    {
        return {m_home, [this] { return Timestamp::fromSeconds(m_now); }};
    }

    CodexCollector::Options onlineOptions(const FakeHttpServer& server)
    {
        CodexCollector::Options o = options();
        o.online.environment = [url = server.url(QStringLiteral("/backend-api/wham/usage"))](const char* name) {
            return QByteArray(name) == "VEXLOR_CODEX_USAGE_URL" ? std::optional(url) : std::nullopt;
        };
        o.online.limits = {5000, 64 * 1024};
        return o;
    }

    // A session log below sessions/YYYY/MM/DD, modified at `mtime`.
    QString writeSession(const QString& name, const QByteArray& content, double mtime)
    {
        const QString path = writeFile(m_sessions, QStringLiteral("2026/12/06/") + name, content);
        setMtime(path, Timestamp::fromSeconds(mtime));
        return path;
    }
    static QString rollout(int n) { return QStringLiteral("rollout-2026-12-06T10-00-00-") + uuid(n) + QStringLiteral(".jsonl"); }

private slots:
    void init()
    {
        QVERIFY(m_tmp.isValid());
        m_now = t0;
        m_home = m_tmp.path() + QStringLiteral("/home-") + QString::fromLatin1(QTest::currentTestFunction());
        m_sessions = m_home + QStringLiteral("/sessions");
    }

    // Anything at the sessions path, even a plain file, makes Codex installed;
    // an empty listing is walked again on the very next pass.
    void installationAndEmptyListing()
    {
        QDir().mkpath(m_home); // the home alone is not enough
        CodexCollector collector(options());
        QCOMPARE(pass(collector), ProviderReport{});
        QCOMPARE(pass(collector), ProviderReport{});

        writeFile(m_home, QStringLiteral("sessions"), "x");
        const ProviderReport first = pass(collector);
        QVERIFY(first.installed);
        QVERIFY(first.sessions.isEmpty());
        QCOMPARE(first.usage, UsageSnapshot::failed(QStringLiteral("No Codex usage event found"), Timestamp::fromSeconds(t0)));
        QVERIFY(!first.spend);

        QVERIFY(QFile::remove(m_sessions));
        writeFile(m_sessions, QStringLiteral("notes.txt"), "not a log");
        writeSession(rollout(1), codexEvent(t0, "task_started"), t0);
        m_now = t0 + 1; // well within 30 seconds, but the listing was empty
        const ProviderReport second = pass(collector);
        QCOMPARE(sessionIds(second), QStringList{uuid(1)});
        QCOMPARE(toString(second.sessions[0].state), toString(SessionState::working));
        // The error snapshot stays, with its first time, until rate limits turn up.
        QCOMPARE(second.usage, first.usage);
    }

    void sessionsNewestFirst()
    {
        const double hubStart = t0 - 3600;
        const QString upper = uuid(2).toUpper();
        writeSession(QStringLiteral("rollout-") + upper + QStringLiteral(".jsonl"),
                     codexMeta(t0 - 900, QStringLiteral("/home/u/vexlor")) + turnContext(t0 - 890, "gpt-x") +
                         codexEvent(t0 - 880, "task_started") + codexEvent(t0 - 700, "task_complete"),
                     t0 - 700);
        writeSession(rollout(1), codexEvent(t0 - 120, "task_started"), t0 - 100);
        writeSession(rollout(3), codexMeta(t0 - 9000, QStringLiteral("/srv/old/")) + codexEvent(t0 - 8000, "turn_aborted"), t0 - 8000);
        writeSession(rollout(4), "{\"type\":\"session_meta\"}\n", t0 - 9500);

        CodexCollector collector(options());
        CollectorContext context;
        context.attentionSince = Timestamp::fromSeconds(hubStart);
        const ProviderReport report = pass(collector, context);
        QVERIFY(report.installed);
        QCOMPARE(sessionIds(report), (QStringList{uuid(1), uuid(2), uuid(3), uuid(4)}));

        const SessionSnapshot& working = report.sessions[0];
        QCOMPARE(toString(working.state), toString(SessionState::working));
        QCOMPARE(working.activityAt, Timestamp::fromSeconds(t0 - 100));

        const SessionSnapshot& done = report.sessions[1];
        QCOMPARE(done.key, QStringLiteral("codex:") + uuid(2)); // lower case although the name is upper case
        QCOMPARE(toString(done.state), toString(SessionState::attention));
        QCOMPARE(done.completionAt, std::optional(Timestamp::fromSeconds(t0 - 700)));
        QCOMPARE(done.model, std::optional(QStringLiteral("gpt-x")));
        QCOMPARE(done.title, std::optional(QStringLiteral("vexlor")));

        // Completed before the hub started: idle and closed.
        QCOMPARE(toString(report.sessions[2].state), toString(SessionState::idle));
        QVERIFY(!report.sessions[2].isOpen);

        // Acknowledged at the completion: idle on the next pass.
        context.acknowledged.insert(done.key, *done.completionAt);
        const ProviderReport acknowledged = pass(collector, context);
        QCOMPARE(toString(acknowledged.sessions[1].state), toString(SessionState::idle));
        QVERIFY(!acknowledged.sessions[1].completionAt);
    }

    void usageFromNewestSessionWithRateLimits()
    {
        // The newest file has no UUID: neither a session nor a source of limits.
        writeSession(QStringLiteral("rollout-scratch.jsonl"), tokenCount(t0, 99, 99), t0);
        writeSession(rollout(1), codexEvent(t0 - 10, "task_started"), t0 - 10);
        writeSession(rollout(2), tokenCount(t0 - 30, 42, 7), t0 - 20);
        writeSession(rollout(3), tokenCount(t0 - 60, 150, -5), t0 - 40);

        CodexCollector collector(options());
        const ProviderReport report = pass(collector);
        QCOMPARE(sessionIds(report), (QStringList{uuid(1), uuid(2), uuid(3)}));
        UsageSnapshot expected;
        expected.windows = {{QStringLiteral("5h"), 0.42, std::nullopt, Timestamp::fromSeconds(1800003600), 18000.0},
                            {QStringLiteral("1w"), 0.07, std::nullopt, Timestamp::fromSeconds(1800600000), 604800.0}};
        expected.updatedAt = Timestamp::fromSeconds(t0);
        QCOMPARE(report.usage, expected);

        // The logs with limits leave the newest 40: the last windows stay, with
        // their time, however old.
        for (int i = 10; i < 50; ++i)
            writeSession(rollout(i), codexEvent(t0, "task_complete"), t0 + 10 + i);
        m_now = t0 + 100;
        const ProviderReport later = pass(collector);
        QCOMPARE(later.sessions.size(), 40);
        QCOMPARE(later.usage, report.usage);
    }

    // While online access is on, the live answer replaces the logged limits
    // and a failed refresh keeps it.
    void liveUsageTakesPrecedenceWhileOnline()
    {
        FakeHttpServer server;
        QVERIFY(server.listen());
        server.setDefaultReply(FakeHttpServer::json(200, R"({"rate_limit":{
            "primary_window":{"used_percent":64,"limit_window_seconds":18000,"reset_after_seconds":120},
            "secondary_window":{"used_percent":5,"limit_window_seconds":604800,"reset_after_seconds":3600}}})"));
        writeSession(rollout(1), tokenCount(t0 - 10, 10, 20), t0 - 10);
        writeFile(m_home, QStringLiteral("auth.json"), authWithExpiry(t0 + 86400));
        const QString before = treeFingerprint(m_home);
        CodexCollector collector(onlineOptions(server));
        CollectorContext on, off;
        on.allowNetwork = true;
        const QStringList logged{QStringLiteral("5h=0.1"), QStringLiteral("1w=0.2")};
        const QStringList live{QStringLiteral("5h=0.64"), QStringLiteral("1w=0.05")};

        QCOMPARE(percents(pass(collector, off).usage), logged);
        QCOMPARE(server.connections(), 0);
        const ProviderReport report = pass(collector, on);
        QCOMPARE(percents(report.usage), live);
        QCOMPARE(report.usage.updatedAt, std::optional(Timestamp::fromSeconds(t0)));
        QCOMPARE(report.sessions.size(), 1);
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().first().header("ChatGPT-Account-Id"), std::optional<QByteArray>("acct"));
        m_now += 5;
        QCOMPARE(percents(pass(collector, on).usage), live);
        QCOMPARE(server.requests().size(), 1);

        server.setDefaultReply(FakeHttpServer::json(401, "{}"));
        m_now = t0 + 301;
        QCOMPARE(percents(pass(collector, on).usage), live);
        QCOMPARE(server.requests().size(), 2);
        QCOMPARE(treeFingerprint(m_home), before);
    }

    void onlyTheFortyNewestFilesAreLookedAt()
    {
        for (int i = 0; i < 40; ++i)
            writeSession(rollout(100 + i), codexEvent(t0 - 100, "task_complete"), t0 - 100 + i);
        // The 41st-newest log is working and holds limits, but is never read.
        writeSession(rollout(1), codexEvent(t0 - 200, "task_started") + tokenCount(t0 - 200, 10, 10), t0 - 101);
        CodexCollector collector(options());
        const ProviderReport report = pass(collector);
        QCOMPARE(report.sessions.size(), 40);
        QVERIFY(!sessionIds(report).contains(uuid(1)));
        QCOMPARE(report.sessions.first().id, uuid(139));
        QCOMPARE(report.usage.error, std::optional(QStringLiteral("No Codex usage event found")));
        QCOMPARE(collector.tailReads(), 40);
    }

    void listingIsRefreshedEveryThirtySeconds()
    {
        writeSession(rollout(1), codexEvent(t0 - 5, "task_complete"), t0 - 5);
        CodexCollector collector(options());
        QCOMPARE(sessionIds(pass(collector)), QStringList{uuid(1)});

        writeSession(rollout(2), codexEvent(t0, "task_started"), t0);
        m_now = t0 + 30;
        QCOMPARE(sessionIds(pass(collector)), QStringList{uuid(1)}); // not more than 30 seconds yet
        m_now = t0 + 30.5;
        QCOMPARE(sessionIds(pass(collector)), (QStringList{uuid(2), uuid(1)}));

        writeSession(rollout(3), codexEvent(t0, "task_started"), t0 + 1);
        m_now = t0 + 40;
        QCOMPARE(sessionIds(pass(collector)).size(), 2);
        m_now = t0 - 3600; // the clock was set back: list again rather than wait an hour
        QCOMPARE(sessionIds(pass(collector)), (QStringList{uuid(3), uuid(2), uuid(1)}));
    }

    void tailCacheFollowsSizeAndTime()
    {
        const QString path = writeSession(rollout(1), codexMeta(t0 - 60, QStringLiteral("/w/alpha")) + codexEvent(t0 - 50, "task_complete"), t0 - 50);
        CodexCollector collector(options());
        CollectorContext context;
        QCOMPARE(toString(pass(collector, context).sessions[0].state), toString(SessionState::attention));
        QCOMPARE(collector.tailReads(), 1);

        // Same size and time: the cached tail answers, the bytes are not read.
        QByteArray same = codexMeta(t0 - 60, QStringLiteral("/w/bravo")) + codexEvent(t0 - 50, "task_started");
        same.insert(same.size() - 1, ' '); // "task_started" is one byte shorter
        QCOMPARE(same.size(), QFileInfo(path).size());
        writeFile(QFileInfo(path).absolutePath(), QFileInfo(path).fileName(), same);
        setMtime(path, Timestamp::fromSeconds(t0 - 50));
        m_now = t0 + 31;
        ProviderReport report = pass(collector, context);
        QCOMPARE(report.sessions[0].title, std::optional(QStringLiteral("alpha")));
        QCOMPARE(toString(report.sessions[0].state), toString(SessionState::attention));
        QCOMPARE(collector.tailReads(), 1);

        // A new time: read again.
        setMtime(path, Timestamp::fromSeconds(t0 - 40));
        m_now = t0 + 62;
        report = pass(collector, context);
        QCOMPARE(collector.tailReads(), 2);
        QCOMPARE(report.sessions[0].title, std::optional(QStringLiteral("bravo")));
        QCOMPARE(toString(report.sessions[0].state), toString(SessionState::working));
    }

    void grownLogKeepsWhatItsStartSaid()
    {
        const QString path = writeSession(rollout(1),
                                          codexMeta(t0 - 600, QStringLiteral("/w/alpha")) + turnContext(t0 - 599, "gpt-a") +
                                              tokenCount(t0 - 598, 10, 20) + codexEvent(t0 - 590, "task_started"),
                                          t0 - 590);
        CodexCollector collector(options());
        QCOMPARE(pass(collector).sessions[0].title, std::optional(QStringLiteral("alpha")));

        // More than a MiB of chatter pushes the header out of the tail's reach.
        QByteArray chatter;
        while (chatter.size() < CodexCollector::tailBytes + 4096)
            chatter += record(t0 - 300, "response_item", "{\"role\":\"assistant\",\"content\":\"" + QByteArray(500, 'z') + "\"}");
        appendFile(path, chatter + codexEvent(t0 - 10, "task_complete"));
        setMtime(path, Timestamp::fromSeconds(t0 - 10));
        m_now = t0 + 31;
        ProviderReport report = pass(collector);
        QCOMPARE(report.sessions[0].title, std::optional(QStringLiteral("alpha")));
        QCOMPARE(report.sessions[0].model, std::optional(QStringLiteral("gpt-a")));
        QCOMPARE(toString(report.sessions[0].state), toString(SessionState::attention));
        QCOMPARE(report.usage.windows.size(), 2);

        // A fresh collector, without the earlier tail, cannot know them.
        CodexCollector fresh(options());
        const ProviderReport cold = pass(fresh);
        QCOMPARE(cold.sessions[0].title, std::optional(QStringLiteral("session 000000")));
        QVERIFY(!cold.sessions[0].model);

        // A log that shrank (rewritten) stands alone.
        writeFile(QFileInfo(path).absolutePath(), QFileInfo(path).fileName(), codexEvent(t0 + 40, "task_started"));
        setMtime(path, Timestamp::fromSeconds(t0 + 40));
        m_now = t0 + 62;
        report = pass(collector);
        QCOMPARE(report.sessions[0].title, std::optional(QStringLiteral("session 000000")));
        QVERIFY(!report.sessions[0].model);
        QCOMPARE(toString(report.sessions[0].state), toString(SessionState::working));
    }

    void cacheIsEmptiedWhenItOutgrowsItsBound_data()
    {
        QTest::addColumn<int>("batches");
        QTest::addColumn<int>("rereads");
        QTest::newRow("120 entries kept") << 3 << 0;
        QTest::newRow("past 128 emptied") << 4 << 40;
    }
    void cacheIsEmptiedWhenItOutgrowsItsBound()
    {
        QFETCH(int, batches);
        QFETCH(int, rereads);
        CodexCollector collector(options());
        QStringList later;
        for (int b = 0; b < batches; ++b) {
            for (int i = 0; i < 40; ++i) {
                const QString path = writeSession(rollout(b * 100 + i), codexEvent(t0, "task_complete"), t0 + b * 100 + i);
                if (b > 0)
                    later << path;
            }
            m_now += 31;
            QCOMPARE(pass(collector).sessions.first().id, uuid(b * 100 + 39));
        }
        QCOMPARE(collector.tailReads(), 40 * batches);
        for (const QString& path : later)
            QVERIFY(QFile::remove(path));
        m_now += 31;
        QCOMPARE(pass(collector).sessions.first().id, uuid(39));
        QCOMPARE(collector.tailReads(), 40 * batches + rereads);
    }

    void badInputGivesSmallerResultsAndChangesNothing()
    {
        QByteArray enormous(3 * 1024 * 1024, 'x');
        enormous.prepend("{\"type\":\"event_msg\",\"payload\":{\"type\":\"task_started\",\"text\":\"");
        writeSession(rollout(1), enormous + "\"}}\n" + codexEvent(t0 - 5, "task_complete"), t0 - 5);
        // The last record is longer than the tail read: its start and the
        // completion before it are out of reach.
        QByteArray cutTail = codexEvent(t0 - 9, "task_complete") + "{\"type\":\"event_msg\",\"payload\":{\"type\":\"task_started\",\"pad\":\"" +
                             QByteArray(2 * 1024 * 1024, 'y') + "\"}}\n";
        writeSession(rollout(2), cutTail, t0 - 6);
        writeSession(rollout(3), QByteArray("\x00\x01\xff\xfe\n{{{{\n[]\n\"s\"\n", 14) + codexEvent(t0 - 7, "turn_aborted").chopped(9), t0 - 7);
        const QString locked = writeSession(rollout(4), codexEvent(t0 - 8, "task_complete"), t0 - 8);
        QFile::setPermissions(locked, QFileDevice::Permissions());
        QDir().mkpath(m_sessions + QStringLiteral("/2026/12/06/") + rollout(5)); // a folder named like a log
        writeSession(QStringLiteral(".hidden-") + uuid(6) + QStringLiteral(".jsonl"), codexEvent(t0, "task_started"), t0);
        writeFile(m_home, QStringLiteral("auth.json"), "{\"tokens\":{}}");

        const QString before = treeFingerprint(m_home);
        QVERIFY(!before.isEmpty());
        CodexCollector collector(options());
        CollectorContext context;
        ProviderReport report;
        for (int i = 0; i < 3; ++i) {
            report = pass(collector, context);
            m_now += 31;
        }
        QCOMPARE(treeFingerprint(m_home), before);

        QCOMPARE(sessionIds(report), (QStringList{uuid(1), uuid(2), uuid(3), uuid(4)}));
        QCOMPARE(toString(report.sessions[0].state), toString(SessionState::attention)); // the line after the enormous one
        // Only the cut end of the huge record is within reach: nothing whole.
        QCOMPARE(toString(report.sessions[1].state), toString(SessionState::idle));
        QVERIFY(!report.sessions[1].isOpen);
        QCOMPARE(toString(report.sessions[2].state), toString(SessionState::idle));      // nothing whole in it
        QVERIFY(!report.sessions[2].isOpen);
        if (::geteuid() != 0) { // root reads it anyway
            QCOMPARE(toString(report.sessions[3].state), toString(SessionState::idle));
            QCOMPARE(report.sessions[3].title, std::optional(QStringLiteral("session 00000004")));
            QVERIFY(!report.sessions[3].model);
        }
        QCOMPARE(report.usage.error, std::optional(QStringLiteral("No Codex usage event found")));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
};

QTEST_GUILESS_MAIN(CodexCollectorTest)
#include "codex_collector_test.moc"
