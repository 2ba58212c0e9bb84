// The pure pieces of the Codex collector: window labels, rate-limit
// conversion, session ids from file names, tail parsing and merging,
// classification and titles.

#include "providers/codex/CodexRateLimits.h"
#include "providers/codex/CodexSessionRules.h"
#include "providers/codex/CodexTail.h"

#include <QTest>
#include <cmath>
#include <limits>

using namespace vexlor;

Q_DECLARE_METATYPE(std::optional<double>)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

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

class CodexRulesTest : public QObject {
    Q_OBJECT

private slots:
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

    void sessionIds_data()
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
    void sessionIds()
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

QTEST_GUILESS_MAIN(CodexRulesTest)
#include "codex_rules_test.moc"
