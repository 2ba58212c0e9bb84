// The Claude Code and Codex collectors over files shaped like the ones those
// tools really write: prompts waiting for the user while a turn is open,
// sessions that appear between two directory walks, short turns, usage
// records without windows, and the titles the tools themselves show. Each
// case runs two passes, with a change to the files in between.

#include "TestSupport.h"
#include "hub/ReportMapping.h"
#include "providers/claude/ClaudeCollector.h"
#include "providers/codex/CodexCollector.h"

#include <QDateTime>
#include <QTest>

using namespace vexlor;
using namespace vexlor::test;

namespace {

constexpr double t0 = 1796614800; // the test clock: a pass at t0, the next a few seconds later

QByteArray iso(double seconds)
{
    return Timestamp::fromSeconds(seconds).toDateTime().toUTC().toString(Qt::ISODateWithMs).toUtf8();
}

// Fills in "@T-n" as the time n seconds before t0 (ISO) and "@MS-n" in
// milliseconds.
QByteArray at(QByteArray text)
{
    for (int n = 0; n <= 900; ++n) {
        text.replace(QByteArray("@T-" + QByteArray::number(n) + '"'), QByteArray(iso(t0 - n) + '"'));
        text.replace(QByteArray("@MS-" + QByteArray::number(n) + ','), QByteArray(QByteArray::number(qint64(t0 - n) * 1000) + ','));
    }
    return text;
}

const SessionSnapshot* sessionWithId(const ProviderReport& report, const QString& id)
{
    for (const SessionSnapshot& s : report.sessions)
        if (s.id == id)
            return &s;
    return nullptr;
}

// --- Claude Code: a status file of an interactive session (1791.*.json) and
// the transcript records around a Bash call that waits for approval.

constexpr const char* claudeId = "ac29d869-039d-4afc-be8f-d0b693ce8038";

QByteArray interactiveStatus(const char* words)
{
    return at(QByteArray(R"({"pid":1791,"sessionId":"ac29d869-039d-4afc-be8f-d0b693ce8038","cwd":"/tmp/real/work-claude",)"
                         R"("startedAt":1796614177674,"procStart":"317091","version":"2.1.197","peerProtocol":1,)"
                         R"("kind":"interactive","entrypoint":"cli","name":"work-claude-82","nameSource":"derived",)")
              + words + R"(,"updatedAt":@MS-30,"statusUpdatedAt":@MS-30,"x":0})");
}

// What `claude -p` leaves: no status word and no update time.
const QByteArray printStatus = R"({"pid":1791,"sessionId":"ac29d869-039d-4afc-be8f-d0b693ce8038",)"
                               R"("cwd":"/tmp/real/work-claude","kind":"interactive","entrypoint":"sdk-cli"})";

const QByteArray finishedTurn = at(
    R"({"type":"user","message":{"role":"user","content":"hello"},"timestamp":"@T-300","sessionId":"ac29d869-039d-4afc-be8f-d0b693ce8038"})"
    "\n"
    R"({"type":"assistant","message":{"model":"claude-sonnet-4-5","stop_reason":"end_turn","content":[]},"timestamp":"@T-290"})"
    "\n"
    R"({"type":"system","subtype":"turn_duration","timestamp":"@T-290"})"
    "\n"
    R"({"type": "ai-title", "aiTitle": "Fake greeting session 5", "sessionId": "ac29d869-039d-4afc-be8f-d0b693ce8038"})"
    "\n");

const QByteArray openToolCall = at(
    R"({"type":"user","message":{"role":"user","content":"run ls"},"timestamp":"@T-40","permissionMode":"default"})"
    "\n"
    R"({"type":"assistant","message":{"model":"claude-sonnet-4-5","stop_reason":"tool_use","content":[{"type":"tool_use","name":"Bash"}]},"timestamp":"@T-39"})"
    "\n");

// --- Codex: rollout records of exec and TUI sessions.

constexpr const char* codexA = "01a24e90-37ec-7223-ae8f-d40d651beaae";
constexpr const char* codexB = "01a24e97-e407-7840-9609-0915bf8c563a";

QByteArray codexMeta(const char* id, const char* originator)
{
    return at(QByteArray(R"({"timestamp": "@T-100", "ordinal": 0, "type": "session_meta", "payload": {"session_id": ")") + id
              + R"(", "id": ")" + id + R"(", "cwd": "/tmp/real/work-codex", "originator": ")" + originator
              + R"(", "cli_version": "0.171.0"}})" "\n");
}

QByteArray codexTurnStart(int ago, const char* prompt)
{
    const QByteArray t = "@T-" + QByteArray::number(ago) + '"';
    QByteArray lines = R"({"timestamp": ")" + t + R"(, "type": "event_msg", "payload": {"type": "task_started", "turn_id": "t1"}})" "\n"
        R"({"timestamp": ")" + t + R"(, "type": "turn_context", "payload": {"turn_id": "t1", "cwd": "/tmp/real/work-codex", "model": "gpt-5"}})" "\n"
        R"({"timestamp": ")" + t + R"(, "type": "response_item", "payload": {"type": "message", "role": "user", "content": [{"type": "input_text", "text": "<environment_context>\n  <cwd>/tmp/real/work-codex</cwd>\n</environment_context>"}]}})" "\n";
    if (prompt)
        lines += R"({"timestamp": ")" + t + R"(, "type": "event_msg", "payload": {"type": "item_completed", "turn_id": "t1", "item": {"type": "UserMessage", "id": "u1", "content": [{"type": "text", "text": ")"
            + prompt + R"(", "text_elements": []}]}}})" "\n";
    return at(lines);
}

QByteArray codexTurnEnd(int ago)
{
    const QByteArray t = "@T-" + QByteArray::number(ago) + '"';
    return at(R"({"timestamp": ")" + t + R"(, "type": "event_msg", "payload": {"type": "token_count", "info": {"total_token_usage": {"input_tokens": 5009, "output_tokens": 79, "total_tokens": 5088}}, "rate_limits": {"limit_id": "codex", "primary": null, "secondary": null, "credits": null, "plan_type": null}}})" "\n"
              R"({"timestamp": ")" + t + R"(, "type": "event_msg", "payload": {"type": "task_complete", "turn_id": "t1", "duration_ms": 20105}})" "\n");
}

QString codexRollout(const char* id)
{
    return QStringLiteral("rollout-2026-12-07T03-33-24-%1.jsonl").arg(QLatin1String(id));
}

} // namespace

class AgentShapesTest : public QObject {
    Q_OBJECT

private slots:
    void claude_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QString>("folder");      // of the transcript below "projects"; empty: none
        QTest::addColumn<QByteArray>("transcript");
        QTest::addColumn<bool>("late");           // the transcript appears after the first pass
        QTest::addColumn<QString>("state");       // after the second pass
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("timeKnown");

        const QString own = QStringLiteral("-tmp-real-work-claude");
        QTest::newRow("permission prompt while the turn is open")
            << interactiveStatus(R"("status":"waiting","waitingFor":"permission prompt")") << own
            << QByteArray(finishedTurn + openToolCall) << false << "attention" << "Fake greeting session 5" << true;
        QTest::newRow("prompt answered, busy again")
            << interactiveStatus(R"("status":"busy")") << own << QByteArray(finishedTurn + openToolCall) << false << "working"
            << "Fake greeting session 5" << true;
        QTest::newRow("print run, transcript after the listing")
            << printStatus << own << openToolCall << true << "working" << "work-claude" << true;
        QTest::newRow("print run, transcript elsewhere")
            << printStatus << QStringLiteral("-moved") << openToolCall << true << "working" << "work-claude" << true;
        QTest::newRow("print run, no transcript") << printStatus << QString() << QByteArray() << false << "idle"
                                                  << "work-claude" << false;
        QTest::newRow("own name wins over the generated title")
            << at(R"({"pid":1791,"sessionId":"ac29d869-039d-4afc-be8f-d0b693ce8038","cwd":"/tmp/real/work-claude","name":"Fix login","status":"idle","updatedAt":@MS-200,"x":0})")
            << own << finishedTurn << false << "idle" << "Fix login" << true;
    }

    void claude()
    {
        QFETCH(QByteArray, status);
        QFETCH(QString, folder);
        QFETCH(QByteArray, transcript);
        QFETCH(bool, late);
        QFETCH(QString, state);
        QFETCH(QString, title);
        QFETCH(bool, timeKnown);

        // The folder name the tool derives from the working directory.
        QCOMPARE(claudeProjectFolder(QStringLiteral("/tmp/real/work-claude")), QStringLiteral("-tmp-real-work-claude"));

        QTemporaryDir home;
        const QString config = home.path() + u"/claude";
        // Another session's transcript, so that the first listing is not empty.
        writeFile(config, QStringLiteral("projects/-tmp-other/f391b64e-cd40-4b22-9179-35bc8eccd473.jsonl"), finishedTurn);
        writeFile(config, QStringLiteral("sessions/1791.json"), status);
        const auto writeTranscript = [&] {
            if (folder.isEmpty())
                return;
            const QString path = writeFile(config, QStringLiteral("projects/%1/%2.jsonl").arg(folder, QLatin1String(claudeId)), transcript);
            setMtime(path, Timestamp::fromSeconds(t0 - 39));
        };
        if (!late)
            writeTranscript();

        double now = t0;
        ClaudeCollectorOptions options;
        options.configDirectory = config;
        options.clock = [&now] { return Timestamp::fromSeconds(now); };
        options.processAlive = [](pid_t) { return true; };
        ClaudeUsageFetcher::Options offline;
        options.online = offline;
        ClaudeCollector collector(options);
        CollectorContext context;
        context.attentionSince = Timestamp::fromSeconds(t0 - 100);
        QCOMPARE(pass(collector, context).sessions.size(), 1);

        if (late)
            writeTranscript();
        now = t0 + 6;
        const ProviderReport report = pass(collector, context);
        const SessionSnapshot* session = sessionWithId(report, QLatin1String(claudeId));
        QVERIFY(session);
        QCOMPARE(toString(session->state), state);
        QCOMPARE(session->title.value_or(QString()), title);
        QCOMPARE(!session->activityAt.isDistantPast(), timeKnown);

        // The deck's row never shows a time nobody knew.
        const MappedProvider mapped = mapReport(QStringLiteral("claude"), QStringLiteral("CLAUDE"), report, std::nullopt);
        QCOMPARE(mapped.agent.openSessions.size(), 1);
        QCOMPARE(mapped.agent.openSessions[0].sinceSeconds().isValid(), timeKnown);
    }

    void codex_data()
    {
        QTest::addColumn<QByteArray>("log");      // session A's rollout before the first pass
        QTest::addColumn<QByteArray>("index");    // session_index.jsonl; empty: none
        QTest::addColumn<int>("change");          // 0 none, 1 session B starts, 2 A starts a turn
        QTest::addColumn<QString>("id");          // the session looked at after the second pass
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("title");

        const QByteArray tuiLog = codexMeta(codexA, "codex-tui") + codexTurnStart(300, "SLOWTURN codex please say hello")
            + codexTurnEnd(280);
        const QByteArray index = R"({"id": "01a24e90-37ec-7223-ae8f-d40d651beaae", "thread_name": "an older name", "updated_at": "2026-12-07T03:30:00Z"})" "\n"
                                 R"({"id": "01a24e90-37ec-7223-ae8f-d40d651beaae", "thread_name": "Greeting thread", "updated_at": "2026-12-07T03:33:50.889009192Z"})" "\n";
        QTest::newRow("exec run starts between walks")
            << tuiLog << index << 1 << codexB << "working" << "SLOWTURN exec while watched";
        QTest::newRow("listed session starts a short turn")
            << tuiLog << index << 2 << codexA << "working" << "Greeting thread";
        QTest::newRow("no thread name: the first prompt")
            << tuiLog << QByteArray() << 0 << codexA << "idle" << "SLOWTURN codex please say hello";
        QTest::newRow("no prompt either: the folder")
            << QByteArray(codexMeta(codexA, "codex_exec") + codexTurnStart(300, nullptr) + codexTurnEnd(280)) << QByteArray() << 0
            << codexA << "idle" << "work-codex";
    }

    void codex()
    {
        QFETCH(QByteArray, log);
        QFETCH(QByteArray, index);
        QFETCH(int, change);
        QFETCH(QString, id);
        QFETCH(QString, state);
        QFETCH(QString, title);

        QTemporaryDir home;
        const QString day = QDateTime::fromSecsSinceEpoch(qint64(t0), Qt::LocalTime).date().toString(u"yyyy/MM/dd");
        const QString folder = home.path() + u"/sessions/" + day;
        const QString logA = writeFile(folder, codexRollout(codexA), log);
        setMtime(logA, Timestamp::fromSeconds(t0 - 280));
        setMtime(folder, Timestamp::fromSeconds(t0 - 300));
        if (!index.isEmpty())
            writeFile(home.path(), QStringLiteral("session_index.jsonl"), index);

        double now = t0;
        CodexCollector collector({home.path(), [&now] { return Timestamp::fromSeconds(now); }});
        CollectorContext context;
        context.attentionSince = Timestamp::fromSeconds(t0);
        context.allowNetwork = false;
        pass(collector, context);

        if (change == 1)
            setMtime(writeFile(folder, codexRollout(codexB), codexMeta(codexB, "codex_exec")
                                                                 + codexTurnStart(1, "SLOWTURN exec while watched")),
                     Timestamp::fromSeconds(t0 + 1));
        if (change == 2) {
            appendFile(logA, codexTurnStart(1, "second turn"));
            setMtime(logA, Timestamp::fromSeconds(t0 + 1));
        }
        now = t0 + 2;
        const ProviderReport report = pass(collector, context);
        const SessionSnapshot* session = sessionWithId(report, id);
        QVERIFY(session);
        QCOMPARE(toString(session->state), state);
        QCOMPARE(session->title.value_or(QString()), title);

        // "rate_limits" with both windows null: nothing to wait for.
        const MappedProvider mapped = mapReport(QStringLiteral("codex"), QStringLiteral("CODEX"), report, std::nullopt);
        QCOMPARE(mapped.usage.size(), 1);
        const auto* caption = std::get_if<ProviderUsage::Unavailable>(&mapped.usage[0].kind);
        QVERIFY(caption);
        QCOMPARE(caption->caption, QStringLiteral("no data"));
    }
};

QTEST_GUILESS_MAIN(AgentShapesTest)
#include "agent_shapes_test.moc"
