// How soon the real program shows an agent that needs its user:
//   needs-you-latency [--rounds N] [--quiet-seconds S] [--baseline BINARY]
// It builds a fixture home with one session of each agent tool, starts
// `vexlor --headless --interval 10` on it and, for each tool, N times (20 by
// default) puts the session in a calm state, waits until a printed snapshot
// shows that, then writes what the tool writes when its session needs the
// user and times the write until the first printed snapshot that shows it:
//   Claude:   the status file turns to "waiting" (written in place on even
//             rounds, replaced by a rename on odd ones, as either may happen);
//   Codex:    the rollout log gains a task_complete event;
//   OpenCode: an assistant message with finish "stop" is inserted through a
//             connection held open in WAL mode;
//   Kimi:     sessions never need the user there, so the state file's
//             update time turning fresh (the session working) is timed.
// Then it measures the program's CPU share over a quiet stretch (S seconds,
// 60 by default) with `--interval 10` and with the deck's 3-second polling,
// and with --baseline the same for another build (an earlier program) with
// the 3-second polling. The last line printed is one JSON object.

#include "BenchSupport.h"

#include "fixtures/Fixtures.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <unistd.h>

using namespace vexlor;
using namespace vexlor::bench;

namespace {

constexpr const char* kCodexId = "01a24e8f-eea3-7503-87fe-92b527af0f37";

QByteArray isoNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8();
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

struct Home {
    QTemporaryDir dir;
    std::unique_ptr<fixtures::OpenCodeDatabase> db;
    int messages = 0;

    QString path(const char* relative) const { return dir.path() + u'/' + QString::fromUtf8(relative); }
    QString claudeStatus() const { return path("claude/sessions/4242.json"); }
    QString codexLog() const
    {
        const QDate today = QDate::currentDate();
        return path("codex/sessions") + today.toString(u"/yyyy/MM/dd") + u"/rollout-" + today.toString(u"yyyy-MM-dd")
            + u"T03-33-05-" + QString::fromLatin1(kCodexId) + u".jsonl";
    }
    QString kimiState() const { return path("kimi/sessions/k1/state.json"); }

    void build()
    {
        // Claude: a live session (its status file names this process) with a
        // transcript, and a few hundred kilobytes of older transcripts.
        claudeStatusWrite("busy", false);
        QByteArray older;
        for (int i = 0; i < 2000; ++i)
            older += "{\"type\":\"assistant\",\"timestamp\":\"2026-11-01T10:00:00.000Z\",\"message\":{\"model\":\"claude-sonnet-4-5\","
                     "\"usage\":{\"input_tokens\":10,\"output_tokens\":20},\"stop_reason\":\"end_turn\"}}\n";
        for (int f = 0; f < 20; ++f)
            writeFile(path("claude/projects/-work-old/") + QString::number(f) + u".jsonl", older);
        writeFile(path("claude/projects/-work-app/s1.jsonl"),
                  "{\"type\":\"user\",\"timestamp\":\"" + isoNow() + "\",\"message\":{\"role\":\"user\"}}\n"
                  "{\"type\":\"assistant\",\"timestamp\":\"" + isoNow() + "\",\"message\":{\"model\":\"claude-sonnet-4-5\","
                  "\"stop_reason\":\"end_turn\"}}\n");

        // Codex: one rollout in today's folder.
        writeFile(codexLog(), "{\"timestamp\":\"" + isoNow() + "\",\"ordinal\":0,\"type\":\"session_meta\",\"payload\":{\"id\":\""
                                  + kCodexId + "\",\"cwd\":\"/work/app\",\"originator\":\"codex-tui\",\"cli_version\":\"0.171.0\"}}\n");

        // OpenCode: a database in WAL mode, kept open as OpenCode keeps it.
        db = std::make_unique<fixtures::OpenCodeDatabase>(path("opencode/opencode.db"));
        if (!db->session("ses_1", QByteArray("Fix login"), double(nowMs())))
            qFatal("cannot create the OpenCode database");

        // Kimi: an index of one session and its state file.
        writeFile(path("kimi/session_index.jsonl"),
                  "{\"sessionDir\":\"" + path("kimi/sessions/k1").toUtf8() + "\",\"sessionId\":\"k1\"}\n");
        kimiStateWrite(false);
    }

    void claudeStatusWrite(const char* status, bool byRename)
    {
        const QByteArray json = "{\"pid\":" + QByteArray::number(QCoreApplication::applicationPid())
            + ",\"sessionId\":\"s1\",\"cwd\":\"/work/app\",\"kind\":\"interactive\",\"entrypoint\":\"cli\",\"name\":\"app\",\"status\":\""
            + status + "\",\"updatedAt\":" + QByteArray::number(nowMs()) + ",\"statusUpdatedAt\":" + QByteArray::number(nowMs())
            + (qstrcmp(status, "waiting") == 0 ? ",\"waitingFor\":\"permission prompt\"}" : "}");
        if (!byRename) {
            writeFile(claudeStatus(), json);
            return;
        }
        writeFile(claudeStatus() + u".tmp", json);
        ::rename(QFile::encodeName(claudeStatus() + u".tmp").constData(), QFile::encodeName(claudeStatus()).constData());
    }

    void codexEvent(const char* type)
    {
        appendLine(codexLog(), "{\"timestamp\":\"" + isoNow() + "\",\"ordinal\":1,\"type\":\"event_msg\",\"payload\":{\"type\":\""
                                   + type + "\",\"turn_id\":\"t\"}}\n");
    }

    void openCodeMessage(bool assistantStop)
    {
        const QByteArray id = "msg_" + QByteArray::number(++messages).rightJustified(6, '0');
        const QByteArray data = assistantStop
            ? "{\"role\":\"assistant\",\"finish\":\"stop\",\"modelID\":\"model-x\",\"tokens\":{\"input\":10,\"output\":20,"
              "\"reasoning\":0,\"cache\":{\"read\":0,\"write\":0}},\"cost\":0.001}"
            : "{\"role\":\"user\",\"time\":{\"created\":1}}";
        const double at = double(nowMs());
        if (!(db->exec("BEGIN;") && db->message(id, "ses_1", at, data) && db->touch("ses_1", at) && db->exec("COMMIT;")))
            qFatal("cannot write the OpenCode database");
    }

    void kimiStateWrite(bool fresh)
    {
        const QByteArray updated = fresh ? isoNow()
                                         : QDateTime::currentDateTimeUtc().addSecs(-3600).toString(Qt::ISODateWithMs).toUtf8();
        writeFile(kimiState(), "{\"updatedAt\":\"" + updated + "\",\"title\":\"Tidy\",\"lastPrompt\":\"tidy\",\"workDir\":\"/work\"}");
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CLAUDE_CONFIG_DIR"), path("claude"));
        env.insert(QStringLiteral("CODEX_HOME"), path("codex"));
        env.insert(QStringLiteral("KIMI_CODE_DATA_DIR"), path("kimi"));
        env.insert(QStringLiteral("OPENCODE_DATA_DIR"), path("opencode"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
        env.insert(QStringLiteral("VEXLOR_KVS_DIR"), path("kvs"));
        env.remove(QStringLiteral("CLAUDE_CODE_OAUTH_TOKEN"));
        return env;
    }
};

QString statusOf(const QJsonObject& snapshot, const QString& agent)
{
    for (const auto& a : snapshot[u"content"][u"agents"].toArray())
        if (a[u"id"].toString() == agent)
            return a[u"status"].toString();
    return {};
}

// Reads printed snapshots until `agent` shows `status`; the time it was read,
// or no value after `timeoutMs`.
std::optional<std::chrono::steady_clock::time_point> awaitStatus(QProcess& p, const QString& agent, const QString& status,
                                                                 int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        while (p.canReadLine()) {
            const QJsonObject snapshot = QJsonDocument::fromJson(p.readLine()).object();
            if (statusOf(snapshot, agent) == status)
                return std::chrono::steady_clock::now();
        }
        p.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    return std::nullopt;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    const auto at = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
    return v[std::min(at, v.size() - 1)];
}

// The CPU share (percent of one core) of `binary` over `seconds` of quiet,
// after its first snapshot.
double quietCpu(const QString& binary, const Home& home, const QString& interval, int seconds)
{
    QProcess p;
    p.setProcessEnvironment(home.environment());
    p.start(binary, {QStringLiteral("--headless"), QStringLiteral("--interval"), interval});
    if (!p.waitForReadyRead(30000))
        qFatal("%s showed no first snapshot", qPrintable(binary));
    QThread::sleep(2); // the start-up scans settle
    const double before = cpuSeconds(p.processId());
    QElapsedTimer wall;
    wall.start();
    QThread::sleep(static_cast<unsigned long>(seconds));
    const double used = cpuSeconds(p.processId()) - before;
    const double share = 100.0 * used / (static_cast<double>(wall.elapsed()) / 1000.0);
    p.kill();
    p.waitForFinished(5000);
    return share;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&](const char* name, const QString& fallback) {
        const qsizetype i = args.indexOf(QString::fromLatin1(name));
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
    };
    const int rounds = option("--rounds", QStringLiteral("20")).toInt();
    const int quietSeconds = option("--quiet-seconds", QStringLiteral("60")).toInt();
    const QString baseline = option("--baseline", {});
    const QString binary = QCoreApplication::applicationDirPath() + u"/../vexlor";

    Home home;
    home.build();
    QProcess p;
    p.setProcessEnvironment(home.environment());
    p.start(binary, {QStringLiteral("--headless"), QStringLiteral("--interval"), QStringLiteral("10")});
    if (!awaitStatus(p, QStringLiteral("claude"), QStringLiteral("working"), 30000))
        qFatal("vexlor showed no first snapshot");

    struct Agent {
        const char* id;
        const char* calm;
        const char* needy;
        std::function<void(int)> calmDown;
        std::function<void(int)> needUser;
        std::vector<double> ms;
        int missed = 0;
    };
    std::vector<Agent> agents;
    agents.push_back({"claude", "working", "needsYou", [&](int) { home.claudeStatusWrite("busy", false); },
                      [&](int round) { home.claudeStatusWrite("waiting", round % 2 == 1); }, {}, 0});
    agents.push_back({"codex", "working", "needsYou", [&](int) { home.codexEvent("task_started"); },
                      [&](int) { home.codexEvent("task_complete"); }, {}, 0});
    agents.push_back({"opencode", "working", "needsYou", [&](int) { home.openCodeMessage(false); },
                      [&](int) { home.openCodeMessage(true); }, {}, 0});
    agents.push_back({"kimi", "idle", "working", [&](int) { home.kimiStateWrite(false); },
                      [&](int) { home.kimiStateWrite(true); }, {}, 0});

    for (Agent& agent : agents) {
        const QString id = QString::fromLatin1(agent.id);
        for (int round = 0; round < rounds; ++round) {
            agent.calmDown(round);
            if (!awaitStatus(p, id, QString::fromLatin1(agent.calm), 25000))
                qFatal("%s never showed %s", agent.id, agent.calm);
            QThread::msleep(300); // the calm state's own pass is over
            p.readAll();          // snapshots printed meanwhile are not the answer
            const auto written = std::chrono::steady_clock::now();
            agent.needUser(round);
            const auto seen = awaitStatus(p, id, QString::fromLatin1(agent.needy), 25000);
            if (!seen) {
                ++agent.missed;
                continue;
            }
            agent.ms.push_back(std::chrono::duration<double, std::milli>(*seen - written).count());
        }
        std::printf("%-8s p50 %7.1f ms  p99 %7.1f ms  max %7.1f ms  (%zu rounds, %d missed)\n", agent.id,
                    percentile(agent.ms, 0.5), percentile(agent.ms, 0.99), percentile(agent.ms, 1.0), agent.ms.size(),
                    agent.missed);
        std::fflush(stdout);
    }
    p.kill();
    p.waitForFinished(5000);

    const double cpu10 = quietCpu(binary, home, QStringLiteral("10"), quietSeconds);
    const double cpu3 = quietCpu(binary, home, QStringLiteral("3"), quietSeconds);
    const double cpuBaseline = baseline.isEmpty() ? -1 : quietCpu(baseline, home, QStringLiteral("3"), quietSeconds);
    std::printf("quiet CPU over %d s: %.3f%% (--interval 10), %.3f%% (--interval 3)", quietSeconds, cpu10, cpu3);
    if (!baseline.isEmpty())
        std::printf(", baseline %.3f%% (--interval 3)", cpuBaseline);
    std::printf("\n");

    QJsonObject out;
    for (const Agent& agent : agents) {
        out.insert(QString::fromLatin1(agent.id),
                   QJsonObject{{QStringLiteral("p50_ms"), percentile(agent.ms, 0.5)},
                               {QStringLiteral("p99_ms"), percentile(agent.ms, 0.99)},
                               {QStringLiteral("max_ms"), percentile(agent.ms, 1.0)},
                               {QStringLiteral("missed"), agent.missed}});
    }
    out.insert(QStringLiteral("quiet_seconds"), quietSeconds);
    out.insert(QStringLiteral("quiet_cpu_percent_interval10"), cpu10);
    out.insert(QStringLiteral("quiet_cpu_percent_interval3"), cpu3);
    if (!baseline.isEmpty())
        out.insert(QStringLiteral("quiet_cpu_percent_baseline_interval3"), cpuBaseline);
    std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Compact).constData());
    home.db.reset();
    return 0;
}
