// CodexCollector over session logs built in temporary folders, with a
// movable clock and a loopback usage endpoint.
// The pure pieces of the Codex collector: window labels, rate-limit
// conversion, session ids from file names, tail parsing and merging,
// classification and titles.

#include "FakeHttpServer.h"
#include "TestSupport.h"
#include "fixtures/Fixtures.h"
#include "providers/codex/CodexCollector.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>
#include "providers/codex/CodexRateLimits.h"
#include "providers/codex/CodexSessionRules.h"
#include "providers/codex/CodexTail.h"
#include <cmath>
#include <limits>

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

constexpr Timestamp mtime = Timestamp::fromSeconds(1700000000);

UsageWindowSnapshot window(QString label, std::optional<double> percent, std::optional<double> resetsAt,
                           std::optional<double> period)
{
    UsageWindowSnapshot w;
    w.label = std::move(label);
    w.percent = percent;
    if (resetsAt)
        w.resetsAt = Timestamp::fromSeconds(*resetsAt);
    w.periodSeconds = period;
    return w;
}

QList<UsageWindowSnapshot> convert(const QByteArray& json, Timestamp eventAt)
{
    auto doc = json::Document::parseObject(json);
    if (!doc)
        qFatal("fixture is not a JSON object");
    return rateLimitWindows(doc->root(), eventAt);
}

QByteArray lines(std::initializer_list<const char*> records)
{
    QByteArray out;
    for (const char* r : records)
        out += QByteArray(r) + '\n';
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
    void cleanupTestCase() { FakeHttpServer::settleClientTeardown(); }

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

    void windowLabels_data()
    {
        QTest::addColumn<std::optional<double>>("minutes");
        QTest::addColumn<QString>("label");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("5h") << std::optional<double>(300) << QStringLiteral("5h");
        QTest::newRow("1w") << std::optional<double>(10080) << QStringLiteral("1w");
        QTest::newRow("90m") << std::optional<double>(90) << QStringLiteral("90m");
        QTest::newRow("zero") << std::optional<double>(0) << QStringLiteral("0w");
        QTest::newRow("fraction truncated") << std::optional<double>(300.9) << QStringLiteral("5h");
        QTest::newRow("negative") << std::optional<double>(-120) << QStringLiteral("-2h");
        QTest::newRow("ungrouped") << std::optional<double>(10080.0 * 1500) << QStringLiteral("1500w");
        QTest::newRow("absent") << std::optional<double>() << QStringLiteral("limit");
        QTest::newRow("infinite") << std::optional<double>(inf) << QStringLiteral("limit");
    }
    void windowLabels()
    {
        QFETCH(std::optional<double>, minutes);
        QFETCH(QString, label);
        QCOMPARE(windowLabel(minutes), label);
    }

    void hugeWindowLengthsStillGetALabel()
    {
        for (double m : {1e19, -1e19, 1e300, 9.3e18 + 10080.0 * 4096}) {
            const QString label = windowLabel(m);
            QVERIFY2(!label.isEmpty() && label.size() < 400, qPrintable(label));
            QVERIFY(label.endsWith(u'w') || label.endsWith(u'd') || label.endsWith(u'h') || label.endsWith(u'm'));
        }
    }

    void rateLimitConversion_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QList<UsageWindowSnapshot>>("windows");
        const std::optional<double> none;
        const QString h5 = QStringLiteral("5h"), w1 = QStringLiteral("1w"), limit = QStringLiteral("limit");
        auto row = [](const char* name, const QByteArray& json, const QList<UsageWindowSnapshot>& windows) {
            QTest::newRow(name) << json << windows;
        };
        row("both windows in order",
            R"({"secondary":{"used_percent":10,"window_minutes":10080,"resets_at":1700600000},
                "primary":{"used_percent":42,"window_minutes":300,"resets_at":1700003600}})",
            {window(h5, 0.42, 1700003600, 18000), window(w1, 0.10, 1700600000, 604800)});
        row("percent clamped high", R"({"primary":{"used_percent":150,"window_minutes":300}})", {window(h5, 1.0, none, 18000)});
        row("missing minutes and reset", R"({"primary":{"used_percent":42}})", {window(limit, 0.42, none, none)});
        row("strings are not numbers", R"({"primary":{"used_percent":"42","window_minutes":"300","resets_at":"1700003600"}})",
            {window(limit, none, none, none)});
        row("reset relative to the event", R"({"primary":{"used_percent":1,"window_minutes":300,"resets_in_seconds":120}})",
            {window(h5, 0.01, 1700000120, 18000)});
        row("absolute reset wins", R"({"primary":{"window_minutes":300,"resets_at":1700009999,"resets_in_seconds":120}})",
            {window(h5, none, 1700009999, 18000)});
        row("neither window", R"({"credits":{"balance":3}})", {});
    }
    void rateLimitConversion()
    {
        QFETCH(QByteArray, json);
        QFETCH(QList<UsageWindowSnapshot>, windows);
        QCOMPARE(convert(json, mtime), windows);
    }

    void idsFromFileNames_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<std::optional<QString>>("id");
        const QString lower = QStringLiteral("0195a3b4-c5d6-7e8f-9a0b-1c2d3e4f5a6b");
        QTest::newRow("rollout name") << QStringLiteral("rollout-2025-01-01T10-00-00-") + lower + QStringLiteral(".jsonl")
                                      << std::optional(lower);
        QTest::newRow("first of two") << lower + QStringLiteral("-ffffffff-ffff-ffff-ffff-ffffffffffff.jsonl")
                                      << std::optional(lower);
        QTest::newRow("match after a false start")
            << QStringLiteral("0195a3b4-") + lower + QStringLiteral(".jsonl") << std::optional(lower);
        QTest::newRow("too short") << QStringLiteral("0195a3b4-c5d6-7e8f-9a0b-1c2d3e4f5a6.jsonl") << std::optional<QString>();
        QTest::newRow("not hex") << QStringLiteral("0195a3b4-c5d6-7e8f-9a0b-1c2d3e4f5a6g.jsonl") << std::optional<QString>();
        QTest::newRow("full-width digits") << QStringLiteral("０195a3b4-c5d6-7e8f-9a0b-1c2d3e4f5a6b.jsonl")
                                           << std::optional<QString>();
    }
    void idsFromFileNames()
    {
        QFETCH(QString, fileName);
        QFETCH(std::optional<QString>, id);
        QCOMPARE(codexSessionId(fileName), id);
    }

    void tailTakesLastValuesInFileOrder()
    {
        const QByteArray text = lines({
            R"({"timestamp":"2025-01-01T10:00:00Z","type":"session_meta","payload":{"cwd":"/home/u/alpha","model":"m1"}})",
            R"({"timestamp":"2025-01-01T10:00:01Z","type":"event_msg","payload":{"type":"task_started"}})",
            R"({"timestamp":"2025-01-01T10:00:02Z","type":"event_msg","payload":{"type":"token_count","rate_limits":{"primary":{"used_percent":10,"window_minutes":300}}}})",
            R"({"timestamp":"2025-01-01T10:00:03Z","type":"turn_context","payload":{"model":"m2","cwd":"/ignored"}})",
            R"({"timestamp":"2025-01-01T10:00:04Z","type":"event_msg","payload":{"type":"token_count","rate_limits":{"primary":{"used_percent":20,"window_minutes":300}}}})",
            R"({"timestamp":"2025-01-01T10:00:05Z","type":"event_msg","payload":{"type":"token_count","rate_limits":null}})",
            R"({"timestamp":"2025-01-01T10:00:06.500Z","type":"event_msg","payload":{"type":"task_complete"}})",
            R"({"type":"event_msg","payload":{"type":"agent_message","model":""}})",
        });
        const CodexTail tail = parseCodexTail(text, mtime);
        QCOMPARE(tail.life, std::optional(CodexLifeEvent::taskComplete));
        QCOMPARE(tail.lifeAt, Timestamp::fromSeconds(1735725606.5));
        QCOMPARE(tail.model, std::optional(QStringLiteral("m2")));
        QCOMPARE(tail.cwd, std::optional(QStringLiteral("/home/u/alpha")));
        QVERIFY(tail.rateLimits);
        QCOMPARE(tail.rateLimits->size(), 1);
        QCOMPARE(tail.rateLimits->first().percent, std::optional(0.20));
    }

    void tailSkipsBadLines()
    {
        QByteArray text = "ayload\":{\"type\":\"task_complete\"}}\n"; // a cut first line
        text += "\n\n[1,2,3]\n\"text\"\n42\n{not json\n";
        text += QByteArray("\xff\xfe garbage \x00 bytes\n", 19);
        text += R"({"type":"event_msg","payload":"task_started"})" "\n";
        text += R"({"type":"event_msg","payload":{"type":7}})" "\n";
        text += R"({"type":["event_msg"],"payload":{"type":"task_started"}})" "\n";
        text += R"({"type":"event_msg","payload":{"type":"task_started"},"timestamp":12345})" "\n";
        text += R"({"type":"session_meta","payload":{"cwd":7}})" "\n";
        text += R"({"type":"event_msg","payload":{"type":"task_complete"}})"; // no final line feed
        const CodexTail tail = parseCodexTail(text, mtime);
        QCOMPARE(tail.life, std::optional(CodexLifeEvent::taskComplete));
        QCOMPARE(tail.lifeAt, mtime); // no timestamp: the file's time
        QVERIFY(!tail.cwd && !tail.model && !tail.rateLimits);

        const CodexTail started = parseCodexTail(lines({R"({"type":"event_msg","payload":{"type":"task_started"},"timestamp":"yesterday"})"}), mtime);
        QCOMPARE(started.life, std::optional(CodexLifeEvent::taskStarted));
        QCOMPARE(started.lifeAt, mtime);
        QCOMPARE(parseCodexTail(QByteArray(), mtime), CodexTail{});
    }

    void tokenCountResetUsesTheRecordTime()
    {
        const QByteArray stamped = lines({R"({"timestamp":"2025-01-01T10:00:00Z","type":"event_msg","payload":{"type":"token_count","rate_limits":{"primary":{"window_minutes":300,"resets_in_seconds":60}}}})"});
        QCOMPARE(parseCodexTail(stamped, mtime).rateLimits->first().resetsAt,
                 std::optional(Timestamp::fromSeconds(1735725600 + 60)));
        const QByteArray unstamped = lines({R"({"type":"event_msg","payload":{"type":"token_count","rate_limits":{"primary":{"window_minutes":300,"resets_in_seconds":60}}}})"});
        QCOMPARE(parseCodexTail(unstamped, mtime).rateLimits->first().resetsAt, std::optional(mtime + 60));
        const QByteArray empty = lines({R"({"type":"event_msg","payload":{"type":"token_count","rate_limits":{}}})"});
        QCOMPARE(parseCodexTail(empty, mtime).rateLimits, std::optional(QList<UsageWindowSnapshot>{}));
    }

    void fillFromKeepsWhatTheNewTailFound()
    {
        CodexTail older;
        older.life = CodexLifeEvent::taskStarted;
        older.lifeAt = Timestamp::fromSeconds(10);
        older.rateLimits = QList{window(QStringLiteral("5h"), 0.5, std::nullopt, 18000)};
        older.model = QStringLiteral("old-model");
        older.cwd = QStringLiteral("/old");

        CodexTail empty;
        empty.fillFrom(older);
        QCOMPARE(empty, older);

        CodexTail newer;
        newer.life = CodexLifeEvent::turnAborted;
        newer.lifeAt = Timestamp::fromSeconds(20);
        newer.model = QStringLiteral("new-model");
        newer.rateLimits = QList<UsageWindowSnapshot>{};
        CodexTail merged = newer;
        merged.fillFrom(older);
        QCOMPARE(merged.life, newer.life);
        QCOMPARE(merged.lifeAt, newer.lifeAt);
        QCOMPARE(merged.model, newer.model);
        QCOMPARE(merged.rateLimits, newer.rateLimits); // an empty object seen still counts
        QCOMPARE(merged.cwd, older.cwd);
    }

    void classification_data()
    {
        QTest::addColumn<int>("life"); // -1 none, else CodexLifeEvent
        QTest::addColumn<double>("lifeAt");
        QTest::addColumn<double>("fileAge");
        QTest::addColumn<double>("acknowledgedAt"); // < 0: none
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("isOpen");
        // Hub started at 1000, now is 5000.
        const int started = int(CodexLifeEvent::taskStarted), complete = int(CodexLifeEvent::taskComplete),
                  aborted = int(CodexLifeEvent::turnAborted);
        const int working = int(SessionState::working), attention = int(SessionState::attention),
                  idle = int(SessionState::idle);
        QTest::newRow("no lifecycle") << -1 << 0.0 << 1.0 << -1.0 << idle << false;
        QTest::newRow("started 599 s ago") << started << 4000.0 << 599.0 << -1.0 << working << true;
        QTest::newRow("started 600 s ago") << started << 4000.0 << 600.0 << -1.0 << idle << false;
        QTest::newRow("started before the hub") << started << 10.0 << 5.0 << -1.0 << working << true;
        QTest::newRow("complete") << complete << 4000.0 << 5.0 << -1.0 << attention << true;
        QTest::newRow("aborted") << aborted << 4000.0 << 5.0 << -1.0 << attention << true;
        QTest::newRow("complete long ago stays") << complete << 1001.0 << 4000.0 << -1.0 << attention << true;
        QTest::newRow("complete at hub start") << complete << 1000.0 << 5.0 << -1.0 << idle << false;
        QTest::newRow("acknowledged at completion") << complete << 4000.0 << 5.0 << 4000.0 << idle << false;
        QTest::newRow("acknowledged before") << complete << 4000.0 << 5.0 << 3999.0 << attention << true;
    }
    void classification()
    {
        QFETCH(int, life);
        QFETCH(double, lifeAt);
        QFETCH(double, fileAge);
        QFETCH(double, acknowledgedAt);
        QFETCH(int, state);
        QFETCH(bool, isOpen);
        const QString key = QStringLiteral("codex:abc");
        CodexTail tail;
        if (life >= 0) {
            tail.life = CodexLifeEvent(life);
            tail.lifeAt = Timestamp::fromSeconds(lifeAt);
        }
        CollectorContext context;
        context.attentionSince = Timestamp::fromSeconds(1000);
        if (acknowledgedAt >= 0)
            context.acknowledged.insert(key, Timestamp::fromSeconds(acknowledgedAt));
        // A different session's acknowledgement never counts.
        context.acknowledged.insert(QStringLiteral("codex:other"), Timestamp::fromSeconds(9999));
        const Timestamp now = Timestamp::fromSeconds(5000);
        const CodexSessionStatus status = classifyCodexSession(tail, now - fileAge, now, context, key);
        QCOMPARE(int(status.state), state);
        QCOMPARE(status.isOpen, isOpen);
        QCOMPARE(status.completionAt, state == int(SessionState::attention) ? std::optional(tail.lifeAt) : std::nullopt);
    }

    void titles_data()
    {
        QTest::addColumn<std::optional<QString>>("cwd");
        QTest::addColumn<QString>("title");
        QTest::newRow("no cwd") << std::optional<QString>() << QStringLiteral("session 0195a3");
        QTest::newRow("path") << std::optional(QStringLiteral("/home/u/vexlor")) << QStringLiteral("vexlor");
        QTest::newRow("trailing slash") << std::optional(QStringLiteral("/home/u/vexlor/")) << QStringLiteral("vexlor");
    }
    void titles()
    {
        QFETCH(std::optional<QString>, cwd);
        QFETCH(QString, title);
        CodexTail tail;
        tail.cwd = cwd;
        QCOMPARE(codexSessionTitle(tail, QStringLiteral("0195a3b4-c5d6-7e8f-9a0b-1c2d3e4f5a6b")), title);
    }
};

QTEST_GUILESS_MAIN(CodexCollectorTest)
#include "codex_collector_test.moc"
