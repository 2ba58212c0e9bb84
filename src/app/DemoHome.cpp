#include "DemoHome.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include "fixtures/Fixtures.h"

namespace vexlor {

namespace {

const QString claudeBusy = QStringLiteral("0b7c52e4-91d2-4c1e-9a57-3f1e6b2d8a10");
const QString claudeAsking = QStringLiteral("5d0e8f21-7a6b-4c93-b1e4-c2d9a8f7e6b5");
const QString claudeQuiet = QStringLiteral("a93f1c7e-2b84-4d6a-8e05-71c3b9d4f2a6");
const QString codexBusy = QStringLiteral("0195a3c4-7d21-7e58-b6f0-9a2c4e8d1b37");
const QString codexDone = QStringLiteral("0195a1f0-3b9e-7c42-a8d5-6e1f2b7c9d04");

QString iso(qint64 msSinceEpoch)
{
    return QString::fromLatin1(fixtures::iso(double(msSinceEpoch) / 1000));
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QByteArray claudeUser(qint64 at)
{
    return fixtures::claudeLine("user", double(at) / 1000);
}

// An assistant record with a model, a stop reason and token usage.
QByteArray claudeAnswer(qint64 at, const QByteArray& stopReason, int serial)
{
    fixtures::ClaudeTurn turn;
    turn.at = double(at) / 1000;
    turn.model = "claude-sonnet-4-5-20250929";
    turn.stopReason = stopReason;
    turn.id = "msg_demo_" + QByteArray::number(serial);
    turn.requestId = "req_demo_" + QByteArray::number(serial);
    turn.input = 1200 + serial * 37;
    turn.output = 640 + serial * 11;
    turn.cacheWrite = 2400;
    turn.cacheRead = 18000 + serial * 500;
    return fixtures::claudeAssistant(turn);
}

QByteArray codexRateLimits(qint64 at, double primaryUsed)
{
    const double now = double(nowMs()) / 1000.0;
    return fixtures::codexTokenCount(double(at) / 1000, primaryUsed, 61, now + 2 * 3600 + 840, now + 3 * 86400 + 5 * 3600);
}

// One message in the demo's OpenCode database, which also moves its
// session's update time, as OpenCode does.
bool insertOpenCodeMessage(const QString& dbPath, const QByteArray& id, const QByteArray& session, qint64 at,
                           const QByteArray& data)
{
    fixtures::OpenCodeDatabase db(dbPath, fixtures::OpenCodeDatabase::Journal::rollback, nullptr);
    return db.message(id, session, double(at), data) && db.touch(session, double(at));
}

QByteArray openCodeAnswer(QByteArrayView finish, double tokens, double cost)
{
    return fixtures::openCodeAnswer(finish, tokens * 0.8, tokens * 0.2, cost, "qwen3-coder");
}

// The two Kimi Code sessions of the demonstration: the busy one, the resting one.
const QString kimiBusy = QStringLiteral("5d1e7a2c-0b4f-4c1e-9a63-2f8d0c7b1e45");
const QString kimiResting = QStringLiteral("a93f06d1-7c2e-4b58-8e17-6d4c2b9f0a31");

} // namespace

DemoHome::DemoHome(QObject* parent)
    : QObject(parent)
{
    m_timer.setInterval(stepMs);
    connect(&m_timer, &QTimer::timeout, this, &DemoHome::advance);
}

QString DemoHome::root() const
{
    return m_dir ? m_dir->path() : QString();
}

QString DemoHome::path(const QString& relative) const
{
    return m_dir->path() + QLatin1Char('/') + relative;
}

void DemoHome::writeJson(const QString& relative, const QJsonObject& object)
{
    fixtures::writeFile(path(relative), QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void DemoHome::appendLine(const QString& relative, const QByteArray& line)
{
    fixtures::appendFile(path(relative), line);
}

bool DemoHome::prepare()
{
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vexlor-demo-XXXXXX"));
    if (!m_dir->isValid())
        return false;
    for (const auto& [variable, folder] : fixtures::Home{m_dir->path()}.variables()) {
        QDir().mkpath(folder);
        qputenv(variable.constData(), QFile::encodeName(folder));
    }
    qunsetenv("CLAUDE_CODE_OAUTH_TOKEN");
    return writeClaude() && writeCodex() && writeKimi() && writeOpenCode();
}

void DemoHome::start()
{
    m_timer.start();
}

void DemoHome::advance()
{
    ++m_step;
    const int phase = m_step % cycleSteps;
    playClaude(phase);
    playCodex(phase);
    playKimi(phase);
    playOpenCode(phase);
}

// A live Claude session's status file: it names this very process.
void DemoHome::claudeStatus(const QString& id, const QString& word, const QString& name, const QString& cwd)
{
    const double now = double(nowMs());
    fixtures::writeFile(path(QStringLiteral("claude/sessions/%1.json").arg(id)),
                        fixtures::claudeStatus(id, QCoreApplication::applicationPid(), word, name, cwd, now, now));
}

// Claude: three live sessions of this very process (their status files name
// our pid, so they stay alive exactly as long as the demo). One works, one
// waits for a permission, one rests; over a cycle the worker finishes its
// turn (and needs the user) and starts again.
bool DemoHome::writeClaude()
{
    const qint64 now = nowMs();
    claudeStatus(claudeBusy, QStringLiteral("idle"), QStringLiteral("Refactor the billing API"),
           QStringLiteral("/home/demo/api-server"));
    claudeStatus(claudeAsking, QStringLiteral("waiting_for_permission"), QStringLiteral("Migrate docs to the new theme"),
           QStringLiteral("/home/demo/docs-site"));
    claudeStatus(claudeQuiet, QStringLiteral("idle"), QString(), QStringLiteral("/home/demo/infra"));

    const QString busy = QStringLiteral("claude/projects/-home-demo-api-server/%1.jsonl").arg(claudeBusy);
    const QString asking = QStringLiteral("claude/projects/-home-demo-docs-site/%1.jsonl").arg(claudeAsking);
    const QString quiet = QStringLiteral("claude/projects/-home-demo-infra/%1.jsonl").arg(claudeQuiet);
    // A day of earlier work gives the spend keys something to add up.
    int serial = 0;
    for (int hour = 30; hour >= 1; hour -= 3) {
        const qint64 at = now - qint64(hour) * 3600 * 1000;
        appendLine(quiet, claudeUser(at));
        appendLine(quiet, claudeAnswer(at + 20000, "end_turn", ++serial));
    }
    appendLine(busy, claudeUser(now - 600000));
    appendLine(busy, claudeAnswer(now - 560000, "end_turn", ++serial));
    appendLine(asking, claudeUser(now - 400000));
    appendLine(asking, claudeAnswer(now - 380000, "end_turn", ++serial));
    return QFile::exists(path(busy));
}

void DemoHome::playClaude(int phase)
{
    const qint64 now = nowMs();
    const QString busy = QStringLiteral("claude/projects/-home-demo-api-server/%1.jsonl").arg(claudeBusy);
    const QString asking = QStringLiteral("claude/projects/-home-demo-docs-site/%1.jsonl").arg(claudeAsking);
    const QString api = QStringLiteral("Refactor the billing API");
    const QString apiDir = QStringLiteral("/home/demo/api-server");
    const QString docs = QStringLiteral("Migrate docs to the new theme");
    const QString docsDir = QStringLiteral("/home/demo/docs-site");
    const int serial = 100 + m_step;
    switch (phase) {
    case 1: // a new prompt
        appendLine(busy, claudeUser(now));
        claudeStatus(claudeBusy, QStringLiteral("working"), api, apiDir);
        break;
    case 2: // the docs session got its permission
        appendLine(busy, claudeAnswer(now, "tool_use", serial));
        appendLine(asking, claudeAnswer(now, "tool_use", serial + 1000));
        claudeStatus(claudeAsking, QStringLiteral("working"), docs, docsDir);
        break;
    case 3:
        appendLine(busy, claudeAnswer(now, "tool_use", serial));
        break;
    case 4: // the turn ends: it needs the user
        appendLine(busy, claudeAnswer(now, "end_turn", serial));
        claudeStatus(claudeBusy, QStringLiteral("idle"), api, apiDir);
        break;
    case 5:
        appendLine(asking, claudeAnswer(now, "end_turn", serial + 1000));
        claudeStatus(claudeAsking, QStringLiteral("idle"), docs, docsDir);
        break;
    case 7: // and asks for a permission again
        claudeStatus(claudeAsking, QStringLiteral("waiting_for_permission"), docs, docsDir);
        break;
    default:
        break;
    }
}

// Codex: one session at work with the plan windows Codex records, one that
// finished before the demo began.
bool DemoHome::writeCodex()
{
    const qint64 now = nowMs();
    const QString day = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy/MM/dd"));
    const QString busy = QStringLiteral("codex/sessions/%1/rollout-demo-%2.jsonl").arg(day, codexBusy);
    const QString done = QStringLiteral("codex/sessions/%1/rollout-demo-%2.jsonl").arg(day, codexDone);
    const double at = double(now) / 1000;
    appendLine(done, fixtures::codexMeta(at - 7200, QStringLiteral("/home/demo/mobile-app")));
    appendLine(done, fixtures::codexEvent(at - 7000, "task_complete"));
    appendLine(busy, fixtures::codexMeta(at - 300, QStringLiteral("/home/demo/search-index"), "gpt-5-codex"));
    appendLine(busy, fixtures::codexEvent(at - 240, "task_started"));
    appendLine(busy, codexRateLimits(now - 200000, 38));
    return QFile::exists(path(busy));
}

void DemoHome::playCodex(int)
{
    const qint64 now = nowMs();
    const QString day = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy/MM/dd"));
    const QString busy = QStringLiteral("codex/sessions/%1/rollout-demo-%2.jsonl").arg(day, codexBusy);
    // Codex re-lists its logs only every 30 seconds, so each of its states
    // lasts a whole cycle (36 s) to be seen: it works for one cycle and waits
    // for the user in the next.
    const int codexPhase = m_step % (2 * cycleSteps);
    if (codexPhase == 5) {
        appendLine(busy, fixtures::codexEvent(double(now) / 1000, "task_complete"));
    } else if (codexPhase == 5 + cycleSteps) {
        appendLine(busy, fixtures::codexEvent(double(now) / 1000, "task_started"));
    } else if (codexPhase < 5 || codexPhase > 5 + cycleSteps) {
        appendLine(busy, codexRateLimits(now, 38 + (m_step % 40)));
    }
}

// Kimi Code: an index of two sessions; one keeps its state fresh (working),
// the other rests. Their ids differ in their first characters, so a session
// whose folder went missing still gets its own fallback title ("session "
// and the id's start). Usage records over the last days.
bool DemoHome::writeKimi()
{
    const qint64 now = nowMs();
    const auto json = [](const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); };
    QByteArray wire;
    for (int hour = 0; hour < 72; hour += 5)
        wire += fixtures::kimiUsage(double(now - qint64(hour) * 3600000), 5200, 1800, 22000);
    fixtures::KimiHome home{path(QStringLiteral("kimi")), {}};
    return home.addSession(kimiBusy,
                           json({{QStringLiteral("updatedAt"), iso(now - 600000)},
                                 {QStringLiteral("title"), QStringLiteral("Translate the onboarding flow")},
                                 {QStringLiteral("workDir"), QStringLiteral("/home/demo/web")}}),
                           wire)
        && home.addSession(kimiResting, json({{QStringLiteral("updatedAt"), iso(now - 3600000)},
                                              {QStringLiteral("lastPrompt"), QStringLiteral("Why is the cache test flaky?")},
                                              {QStringLiteral("workDir"), QStringLiteral("/home/demo/cache")}}));
}

void DemoHome::playKimi(int phase)
{
    // Working for part of the cycle, then quiet long enough to go idle.
    if (phase >= 2 && phase <= 5) {
        writeJson(QStringLiteral("kimi/sessions/%1/state.json").arg(kimiBusy),
                  {{QStringLiteral("updatedAt"), iso(nowMs())},
                   {QStringLiteral("title"), QStringLiteral("Translate the onboarding flow")},
                   {QStringLiteral("workDir"), QStringLiteral("/home/demo/web")}});
    }
}

// OpenCode: its database with one session waiting on the model and one
// that finished an hour ago; token totals and costs over the last days.
bool DemoHome::writeOpenCode()
{
    const QString dbPath = path(QStringLiteral("opencode/opencode.db"));
    const qint64 now = nowMs();
    bool ok = false;
    {
        fixtures::OpenCodeDatabase db(dbPath, fixtures::OpenCodeDatabase::Journal::rollback);
        ok = db.session("ses_demo_live", QByteArray("Port the CLI to Rust"), double(now))
            && db.session("ses_demo_done", QByteArray("Write release notes"), double(now - 3600000));
    }
    int serial = 0;
    for (int hour = 40; hour >= 2; hour -= 4) {
        ok = ok && insertOpenCodeMessage(dbPath, "msg_old_" + QByteArray::number(++serial), "ses_demo_done",
                                         now - qint64(hour) * 3600000, openCodeAnswer("stop", 42000, 0.38));
    }
    ok = ok && insertOpenCodeMessage(dbPath, "msg_live_0", "ses_demo_live", now - 1800000, openCodeAnswer("stop", 12000, 0.09));
    return ok;
}

void DemoHome::playOpenCode(int phase)
{
    const QString dbPath = path(QStringLiteral("opencode/opencode.db"));
    const QByteArray id = "msg_live_" + QByteArray::number(m_step);
    if (phase == 1)
        insertOpenCodeMessage(dbPath, id, "ses_demo_live", nowMs(), "{\"role\":\"user\"}");
    else if (phase == 3)
        insertOpenCodeMessage(dbPath, id, "ses_demo_live", nowMs(), openCodeAnswer("tool-calls", 18000, 0.12));
    else if (phase == 5)
        insertOpenCodeMessage(dbPath, id, "ses_demo_live", nowMs(), openCodeAnswer("stop", 9000, 0.07));
}

} // namespace vexlor
