// The pure Claude session rules: tail parse, status files, titles, the
// transcript index and the classification.

#include "providers/claude/ClaudeSessionRules.h"
#include "providers/claude/ClaudeStatusFile.h"
#include "providers/claude/ClaudeTail.h"

#include <QTest>

using namespace vexlor;

namespace {

Timestamp at(double s) { return Timestamp::fromSeconds(s); }

QByteArray iso(double s)
{
    return Timestamp::fromSeconds(s).toDateTime().toString(Qt::ISODateWithMs).toUtf8();
}

QByteArray line(const QByteArray& json) { return json + '\n'; }

ClaudeTail tailOf(double user, double end, double assistant, std::optional<double> activity = std::nullopt)
{
    ClaudeTail t;
    t.lastUser = user < 0 ? Timestamp::distantPast() : at(user);
    t.lastEnd = end < 0 ? Timestamp::distantPast() : at(end);
    t.lastAssistant = assistant < 0 ? Timestamp::distantPast() : at(assistant);
    if (activity)
        t.activityAt = at(*activity);
    return t;
}

} // namespace

Q_DECLARE_METATYPE(ClaudeTail)
Q_DECLARE_METATYPE(ClaudeClassification)
Q_DECLARE_METATYPE(std::optional<ClaudeStatusFile>)

class ClaudeRulesTest : public QObject {
    Q_OBJECT

private slots:
    void tailParse()
    {
        const double base = 1700000000;
        QByteArray text;
        text += "ant\",\"type\":\"assistant\"}\n"; // the cut first line of a tail
        text += line("{\"type\":\"user\",\"timestamp\":\"" + iso(base + 1) + "\",\"message\":{}}");
        text += line("{\"type\":\"assistant\",\"timestamp\":\"" + iso(base + 2)
                     + "\",\"message\":{\"model\":\"m1\",\"stop_reason\":\"tool_use\"}}");
        text += line("{\"type\":\"user\",\"timestamp\":\"" + iso(base + 3) + "\",\"toolUseResult\":null}");
        text += line("{\"type\":\"assistant\",\"timestamp\":\"" + iso(base + 4)
                     + "\",\"message\":{\"model\":\"m2\",\"stop_reason\":\"end_turn\"}}");
        // Later in text but earlier in time: the end of turn stays at base+4.
        text += line("{\"type\":\"assistant\",\"timestamp\":\"" + iso(base + 3.5)
                     + "\",\"message\":{\"model\":\"\",\"stop_reason\":\"end_turn\"}}");
        text += line("{\"type\":\"assistant\",\"timestamp\":\"" + iso(base + 5)
                     + "\",\"message\":{\"stop_reason\":null}}");
        text += line("{\"type\":\"assistant\",\"timestamp\":\"" + iso(base + 5.5)
                     + "\",\"message\":{\"stop_reason\":7,\"model\":3}}");
        text += line("{\"type\":\"assistant\",\"timestamp\":\"" + iso(base + 5.75) + "\",\"message\":\"x\"}");
        text += line("[1,2,3]");
        text += line("not json at all \xFF\xFE");
        text += line("{\"type\":\"summary\",\"timestamp\":\"yesterday\"}"); // takes the fallback
        text += line("{\"type\":\"user\",\"timestamp\":12345}");             // numbers are not times
        text += "{\"type\":\"user\",\"timestamp\":\"" + iso(base + 50) + "\""; // still being written

        const ClaudeTail tail = parseClaudeTail(text, at(base + 6));
        QCOMPARE(tail.lastUser, at(base + 6)); // the numeric-timestamp prompt took the fallback
        QCOMPARE(tail.lastAssistant, at(base + 5.75));
        QCOMPARE(tail.lastEnd, at(base + 4));
        QCOMPARE(tail.activityAt, std::optional(at(base + 6)));
        QCOMPARE(tail.lastModel, std::optional(QStringLiteral("m2")));

        QCOMPARE(parseClaudeTail("", at(base)), ClaudeTail{});
        QCOMPARE(parseClaudeTail("garbage\n\n", at(base)), ClaudeTail{});
        // A record without a time counts as activity at the fallback only.
        const ClaudeTail bare = parseClaudeTail("{\"type\":\"progress\"}\n", at(base));
        QCOMPARE(bare.activityAt, std::optional(at(base)));
        QCOMPARE(bare.lastUser, Timestamp::distantPast());
    }

    void statusFile_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("status");

        QTest::newRow("complete") << QByteArray(R"({"sessionId":"s","pid":42,"status":"Awaiting_INPUT"})") << true << 42 << "awaiting_input";
        QTest::newRow("status absent") << QByteArray(R"({"sessionId":"s","pid":42})") << true << 42 << "idle";
        QTest::newRow("status not a string") << QByteArray(R"({"sessionId":"s","pid":42,"status":1})") << true << 42 << "idle";
        QTest::newRow("integral double pid") << QByteArray(R"({"sessionId":"s","pid":42.0})") << true << 42 << "idle";
        QTest::newRow("largest pid") << QByteArray(R"({"sessionId":"s","pid":2147483647})") << true << 2147483647 << "idle";
        QTest::newRow("array") << QByteArray(R"([{"sessionId":"s","pid":42}])") << false << 0 << "";
        QTest::newRow("cut") << QByteArray(R"({"sessionId":"s","pid":4)") << false << 0 << "";
        QTest::newRow("no session id") << QByteArray(R"({"pid":42})") << false << 0 << "";
        QTest::newRow("pid as string") << QByteArray(R"({"sessionId":"s","pid":"42"})") << false << 0 << "";
        QTest::newRow("pid absent") << QByteArray(R"({"sessionId":"s"})") << false << 0 << "";
        QTest::newRow("pid zero") << QByteArray(R"({"sessionId":"s","pid":0})") << false << 0 << "";
        QTest::newRow("pid negative") << QByteArray(R"({"sessionId":"s","pid":-1})") << false << 0 << "";
        QTest::newRow("pid fraction") << QByteArray(R"({"sessionId":"s","pid":42.5})") << false << 0 << "";
        QTest::newRow("pid beyond pid_t") << QByteArray(R"({"sessionId":"s","pid":2147483648})") << false << 0 << "";
        QTest::newRow("pid enormous double") << QByteArray(R"({"sessionId":"s","pid":1e300})") << false << 0 << "";
    }

    void statusFile()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        QFETCH(int, pid);
        QFETCH(QString, status);
        const auto parsed = parseClaudeStatusFile(json);
        QCOMPARE(parsed.has_value(), valid);
        if (!valid)
            return;
        QCOMPARE(parsed->sessionId, QStringLiteral("s"));
        QCOMPARE(parsed->pid, pid);
        QCOMPARE(parsed->status, status);
    }

    void statusFileTimesAndNames()
    {
        const auto full = parseClaudeStatusFile(
            R"({"sessionId":"AbC","pid":9,"updatedAt":1700000000500,"statusUpdatedAt":1700000000000.5,
                "name":"Fix login","nameSource":"derived","cwd":"/home/u/proj","extra":[1]})");
        QVERIFY(full);
        QCOMPARE(full->sessionId, QStringLiteral("AbC"));
        QCOMPARE(full->updatedAt, std::optional(at(1700000000.5)));
        QCOMPARE(full->statusUpdatedAt, std::optional(at(1700000000.0005)));
        QCOMPARE(full->name, std::optional(QStringLiteral("Fix login")));
        QCOMPARE(full->nameSource, std::optional(QStringLiteral("derived")));
        QCOMPARE(full->cwd, std::optional(QStringLiteral("/home/u/proj")));

        const auto wrongTypes = parseClaudeStatusFile(
            R"({"sessionId":"s","pid":9,"updatedAt":"1700000000500","statusUpdatedAt":null,"name":5,"cwd":{}})");
        QVERIFY(wrongTypes);
        QCOMPARE(wrongTypes->updatedAt, std::nullopt);
        QCOMPARE(wrongTypes->statusUpdatedAt, std::nullopt);
        QCOMPARE(wrongTypes->name, std::nullopt);
        QCOMPARE(wrongTypes->cwd, std::nullopt);
    }

    void title_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("title");
        QTest::newRow("derived name loses to cwd")
            << QByteArray(R"({"sessionId":"abcdef123","pid":1,"name":"Fix login","nameSource":"derived","cwd":"/w/proj"})") << "proj";
        QTest::newRow("name without source") << QByteArray(R"({"sessionId":"abcdef123","pid":1,"name":"Fix login","cwd":"/w/proj"})") << "Fix login";
        QTest::newRow("name from user") << QByteArray(R"({"sessionId":"a","pid":1,"name":"Fix login","nameSource":"user","cwd":"/w/proj"})") << "Fix login";
        QTest::newRow("derived name, no cwd") << QByteArray(R"({"sessionId":"a","pid":1,"name":"Fix login","nameSource":"derived"})") << "Fix login";
        QTest::newRow("placeholder name") << QByteArray(R"({"sessionId":"a","pid":1,"name":"  Untitled Session ","cwd":"/w/proj"})") << "proj";
        QTest::newRow("blank name") << QByteArray(R"({"sessionId":"abcdef123","pid":1,"name":" \t "})") << "session abcdef";
        QTest::newRow("short id") << QByteArray(R"({"sessionId":"ab","pid":1})") << "session ab";
        QTest::newRow("cwd with trailing slash") << QByteArray(R"({"sessionId":"a","pid":1,"cwd":"/w/proj/"})") << "proj";
        QTest::newRow("long name is cut")
            << (QByteArray("{\"sessionId\":\"a\",\"pid\":1,\"name\":\"") + QByteArray(59, 'x') + " yz\"}")
            << QString(QString(59, u'x') + QChar(0x2026));
    }

    void title()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, title);
        const auto status = parseClaudeStatusFile(json);
        QVERIFY(status);
        QCOMPARE(claudeSessionTitle(*status), title);
    }

    void transcriptIndex()
    {
        const QList<FileStamp> listing{
            {QStringLiteral("/p/a/s1.jsonl"), at(10), 1},
            {QStringLiteral("/p/b/s1.jsonl"), at(20), 2}, // later: replaces
            {QStringLiteral("/p/c/s1.jsonl"), at(15), 3}, // earlier: ignored
            {QStringLiteral("/p/a/s2.jsonl"), at(30), 4},
            {QStringLiteral("/p/b/s2.jsonl"), at(30), 5}, // equal: the first stays
            {QStringLiteral("/p/a/v1.2.jsonl"), at(1), 6},
        };
        const auto index = claudeTranscriptIndex(listing);
        QCOMPARE(index.size(), 3);
        QCOMPARE(index.value(QStringLiteral("s1")).path, QStringLiteral("/p/b/s1.jsonl"));
        QCOMPARE(index.value(QStringLiteral("s2")).path, QStringLiteral("/p/a/s2.jsonl"));
        QCOMPARE(index.value(QStringLiteral("v1.2")).size, 6);
    }

    void activityAndStatusTimes()
    {
        ClaudeStatusFile status;
        QCOMPARE(claudeActivityTime(status, {}, std::nullopt), Timestamp::distantPast());
        status.updatedAt = at(50);
        QCOMPARE(claudeActivityTime(status, {}, std::nullopt), at(50));
        QCOMPARE(claudeActivityTime(status, tailOf(-1, -1, -1, 70), at(60)), at(70));
        QCOMPARE(claudeActivityTime(status, tailOf(-1, -1, -1, 70), at(90)), at(90));
        QCOMPARE(claudeStatusTime(status, at(70)), at(70));
        status.statusUpdatedAt = at(80);
        QCOMPARE(claudeStatusTime(status, at(70)), at(80));
        QCOMPARE(claudeStatusTime(status, at(90)), at(90));
    }

    void classify_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<ClaudeTail>("tail");
        QTest::addColumn<double>("activity");
        QTest::addColumn<double>("ack"); // < 0: not acknowledged
        QTest::addColumn<ClaudeClassification>("expected");

        // The hub started at 1000; now is 2000; the status time is 1500.
        const ClaudeClassification working{SessionState::working, std::nullopt};
        const ClaudeClassification idle{SessionState::idle, std::nullopt};
        auto attention = [](double s) { return ClaudeClassification{SessionState::attention, at(s)}; };
        const ClaudeTail quiet = tailOf(-1, -1, -1);

        QTest::newRow("working word") << "processing" << quiet << 0.0 << -1.0 << working;
        QTest::newRow("both lists: working wins") << "busy_waiting" << quiet << 0.0 << -1.0 << working;
        QTest::newRow("permission before the hub started") << "permission" << quiet << 0.0 << -1.0 << attention(1500);
        QTest::newRow("attention acknowledged earlier") << "attention" << quiet << 0.0 << 1499.0 << attention(1500);
        QTest::newRow("attention acknowledged at its time") << "attention" << quiet << 0.0 << 1500.0 << idle;
        QTest::newRow("acknowledged attention falls to end of turn")
            << "waiting" << tailOf(-1, 1600, 1600) << 0.0 << 1500.0 << attention(1600);
        QTest::newRow("tool call 10 s ago") << "idle" << tailOf(1800, 1700, 1990) << 1990.0 << -1.0 << working;
        QTest::newRow("tool call 300 s ago, ended earlier after start")
            << "idle" << tailOf(-1, 1650, 1700) << 1700.0 << -1.0 << attention(1650);
        QTest::newRow("tool call 300 s ago, ended before start")
            << "idle" << tailOf(-1, 900, 1700) << 1700.0 << -1.0 << idle;
        QTest::newRow("in flight just under 300 s") << "idle" << tailOf(-1, 900, 1700.5) << 1700.5 << -1.0 << working;
        QTest::newRow("prompt after end") << "idle" << tailOf(1950, 1900, 1900) << 1950.0 << -1.0 << working;
        QTest::newRow("prompt, no reply yet, stale") << "idle" << tailOf(1200, -1, -1) << 1200.0 << -1.0 << idle;
        QTest::newRow("attention word beats a stale turn")
            << "needs_permission" << tailOf(1200, -1, -1) << 1200.0 << -1.0 << attention(1500);
        QTest::newRow("attention word beats a turn in flight")
            << "waiting" << tailOf(1990, 1900, 1900) << 1990.0 << -1.0 << attention(1500);
        QTest::newRow("acknowledged attention word, turn in flight")
            << "waiting" << tailOf(1990, 1900, 1900) << 1990.0 << 1500.0 << working;
        QTest::newRow("end of turn after start") << "idle" << tailOf(1800, 1900, 1900) << 1900.0 << -1.0 << attention(1900);
        QTest::newRow("end of turn acknowledged at it") << "idle" << tailOf(1800, 1900, 1900) << 1900.0 << 1900.0 << idle;
        QTest::newRow("end of turn acknowledged before it") << "idle" << tailOf(1800, 1900, 1900) << 1900.0 << 1899.0 << attention(1900);
        QTest::newRow("end of turn at the hub start") << "idle" << tailOf(-1, 1000, 1000) << 1000.0 << -1.0 << idle;
        QTest::newRow("unknown word") << "compacting" << quiet << 0.0 << -1.0 << idle;
    }

    void classify()
    {
        QFETCH(QString, status);
        QFETCH(ClaudeTail, tail);
        QFETCH(double, activity);
        QFETCH(double, ack);
        QFETCH(ClaudeClassification, expected);

        CollectorContext context;
        context.attentionSince = at(1000);
        const QString key = QStringLiteral("claude:s");
        if (ack >= 0)
            context.acknowledged.insert(key, at(ack));
        context.acknowledged.insert(QStringLiteral("claude:other"), at(1e12));
        ClaudeSessionFacts facts;
        facts.key = key;
        facts.status = status;
        facts.tail = tail;
        facts.activityAt = activity > 0 ? at(activity) : Timestamp::distantPast();
        facts.statusAt = at(1500);
        const ClaudeClassification got = classifyClaudeSession(facts, context, at(2000));
        QCOMPARE(toString(got.state), toString(expected.state));
        QCOMPARE(got.completionAt, expected.completionAt);
    }
};

QTEST_GUILESS_MAIN(ClaudeRulesTest)
#include "claude_rules_test.moc"
