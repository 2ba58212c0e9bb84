#include "DemoHome.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <sqlite3.h>

namespace vexlor {

namespace {

const QString claudeBusy = QStringLiteral("0b7c52e4-91d2-4c1e-9a57-3f1e6b2d8a10");
const QString claudeAsking = QStringLiteral("5d0e8f21-7a6b-4c93-b1e4-c2d9a8f7e6b5");
const QString claudeQuiet = QStringLiteral("a93f1c7e-2b84-4d6a-8e05-71c3b9d4f2a6");
const QString codexBusy = QStringLiteral("0195a3c4-7d21-7e58-b6f0-9a2c4e8d1b37");
const QString codexDone = QStringLiteral("0195a1f0-3b9e-7c42-a8d5-6e1f2b7c9d04");

QString iso(qint64 msSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::UTC).toString(Qt::ISODateWithMs);
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QJsonObject claudeRecord(const QString& type, qint64 at, const QJsonObject& message = {})
{
    QJsonObject record{{QStringLiteral("type"), type}, {QStringLiteral("timestamp"), iso(at)}};
    if (!message.isEmpty())
        record[QStringLiteral("message")] = message;
    return record;
}

// An assistant record with a model, a stop reason and token usage.
QJsonObject claudeAnswer(qint64 at, const QString& stopReason, int serial)
{
    const QJsonObject usage{{QStringLiteral("input_tokens"), 1200 + serial * 37},
                            {QStringLiteral("output_tokens"), 640 + serial * 11},
                            {QStringLiteral("cache_creation_input_tokens"), 2400},
                            {QStringLiteral("cache_read_input_tokens"), 18000 + serial * 500}};
    QJsonObject record = claudeRecord(QStringLiteral("assistant"), at,
        {{QStringLiteral("id"), QStringLiteral("msg_demo_%1").arg(serial)},
         {QStringLiteral("model"), QStringLiteral("claude-sonnet-4-5-20250929")},
         {QStringLiteral("stop_reason"), stopReason},
         {QStringLiteral("usage"), usage}});
    record[QStringLiteral("requestId")] = QStringLiteral("req_demo_%1").arg(serial);
    return record;
}

QJsonObject codexEvent(const QString& type, qint64 at, const QJsonObject& payload)
{
    return {{QStringLiteral("type"), type}, {QStringLiteral("timestamp"), iso(at)}, {QStringLiteral("payload"), payload}};
}

QJsonObject codexRateLimits(double primaryUsed, double secondaryUsed)
{
    const double now = double(nowMs()) / 1000.0;
    return {{QStringLiteral("primary"), QJsonObject{{QStringLiteral("used_percent"), primaryUsed},
                                                    {QStringLiteral("window_minutes"), 300},
                                                    {QStringLiteral("resets_at"), now + 2 * 3600 + 840}}},
            {QStringLiteral("secondary"), QJsonObject{{QStringLiteral("used_percent"), secondaryUsed},
                                                      {QStringLiteral("window_minutes"), 10080},
                                                      {QStringLiteral("resets_at"), now + 3 * 86400 + 5 * 3600}}}};
}

bool execSql(sqlite3* db, const QString& sql)
{
    return sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString sqlText(const QString& text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

bool insertOpenCodeMessage(const QString& dbPath, const QString& id, const QString& session, qint64 at,
                           const QJsonObject& data)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(dbPath.toUtf8().constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    const QString json = QString::fromUtf8(QJsonDocument(data).toJson(QJsonDocument::Compact));
    const bool ok = execSql(db, QStringLiteral("INSERT INTO message (id, session_id, time_created, data) VALUES (%1, %2, %3, %4);")
                                    .arg(sqlText(id), sqlText(session), QString::number(at), sqlText(json)))
        && execSql(db, QStringLiteral("UPDATE session SET time_updated = %1 WHERE id = %2;")
                           .arg(QString::number(at), sqlText(session)));
    sqlite3_close(db);
    return ok;
}

QJsonObject openCodeAnswer(const QString& finish, double tokens, double cost)
{
    QJsonObject data{{QStringLiteral("role"), QStringLiteral("assistant")},
                     {QStringLiteral("modelID"), QStringLiteral("qwen3-coder")},
                     {QStringLiteral("tokens"), QJsonObject{{QStringLiteral("input"), tokens * 0.8},
                                                            {QStringLiteral("output"), tokens * 0.2}}},
                     {QStringLiteral("cost"), cost}};
    if (!finish.isEmpty())
        data[QStringLiteral("finish")] = finish;
    return data;
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
    const QString file = path(relative);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void DemoHome::appendJsonLine(const QString& relative, const QJsonObject& object)
{
    const QString file = path(relative);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    if (out.open(QIODevice::WriteOnly | QIODevice::Append))
        out.write(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}

bool DemoHome::prepare()
{
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vexlor-demo-XXXXXX"));
    if (!m_dir->isValid())
        return false;
    const auto point = [this](const char* variable, const QString& relative) {
        QDir().mkpath(path(relative));
        qputenv(variable, path(relative).toLocal8Bit());
    };
    point("CLAUDE_CONFIG_DIR", QStringLiteral("claude"));
    point("CODEX_HOME", QStringLiteral("codex"));
    point("KIMI_CODE_DATA_DIR", QStringLiteral("kimi"));
    point("OPENCODE_DATA_DIR", QStringLiteral("opencode"));
    point("XDG_CONFIG_HOME", QStringLiteral("config"));
    point("VEXLOR_KVS_DIR", QStringLiteral("kvs"));
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

// Claude: three live sessions of this very process (their status files name
// our pid, so they stay alive exactly as long as the demo). One works, one
// waits for a permission, one rests; over a cycle the worker finishes its
// turn (and needs the user) and starts again.
bool DemoHome::writeClaude()
{
    const qint64 now = nowMs();
    const qint64 pid = QCoreApplication::applicationPid();
    const auto status = [&](const QString& id, const QString& word, const QString& name, const QString& cwd) {
        writeJson(QStringLiteral("claude/sessions/%1.json").arg(id),
                  {{QStringLiteral("sessionId"), id}, {QStringLiteral("pid"), pid}, {QStringLiteral("status"), word},
                   {QStringLiteral("updatedAt"), double(now)}, {QStringLiteral("statusUpdatedAt"), double(now)},
                   {QStringLiteral("name"), name}, {QStringLiteral("cwd"), cwd}});
    };
    status(claudeBusy, QStringLiteral("idle"), QStringLiteral("Refactor the billing API"),
           QStringLiteral("/home/demo/api-server"));
    status(claudeAsking, QStringLiteral("waiting_for_permission"), QStringLiteral("Migrate docs to the new theme"),
           QStringLiteral("/home/demo/docs-site"));
    status(claudeQuiet, QStringLiteral("idle"), QString(), QStringLiteral("/home/demo/infra"));

    const QString busy = QStringLiteral("claude/projects/-home-demo-api-server/%1.jsonl").arg(claudeBusy);
    const QString asking = QStringLiteral("claude/projects/-home-demo-docs-site/%1.jsonl").arg(claudeAsking);
    const QString quiet = QStringLiteral("claude/projects/-home-demo-infra/%1.jsonl").arg(claudeQuiet);
    // A day of earlier work gives the spend keys something to add up.
    int serial = 0;
    for (int hour = 30; hour >= 1; hour -= 3) {
        const qint64 at = now - qint64(hour) * 3600 * 1000;
        appendJsonLine(quiet, claudeRecord(QStringLiteral("user"), at));
        appendJsonLine(quiet, claudeAnswer(at + 20000, QStringLiteral("end_turn"), ++serial));
    }
    appendJsonLine(busy, claudeRecord(QStringLiteral("user"), now - 600000));
    appendJsonLine(busy, claudeAnswer(now - 560000, QStringLiteral("end_turn"), ++serial));
    appendJsonLine(asking, claudeRecord(QStringLiteral("user"), now - 400000));
    appendJsonLine(asking, claudeAnswer(now - 380000, QStringLiteral("end_turn"), ++serial));
    return QFile::exists(path(busy));
}

void DemoHome::playClaude(int phase)
{
    const qint64 now = nowMs();
    const qint64 pid = QCoreApplication::applicationPid();
    const QString busy = QStringLiteral("claude/projects/-home-demo-api-server/%1.jsonl").arg(claudeBusy);
    const QString asking = QStringLiteral("claude/projects/-home-demo-docs-site/%1.jsonl").arg(claudeAsking);
    const auto status = [&](const QString& id, const QString& word, const QString& name, const QString& cwd) {
        writeJson(QStringLiteral("claude/sessions/%1.json").arg(id),
                  {{QStringLiteral("sessionId"), id}, {QStringLiteral("pid"), pid}, {QStringLiteral("status"), word},
                   {QStringLiteral("updatedAt"), double(now)}, {QStringLiteral("statusUpdatedAt"), double(now)},
                   {QStringLiteral("name"), name}, {QStringLiteral("cwd"), cwd}});
    };
    const QString api = QStringLiteral("Refactor the billing API");
    const QString apiDir = QStringLiteral("/home/demo/api-server");
    const QString docs = QStringLiteral("Migrate docs to the new theme");
    const QString docsDir = QStringLiteral("/home/demo/docs-site");
    const int serial = 100 + m_step;
    switch (phase) {
    case 1: // a new prompt
        appendJsonLine(busy, claudeRecord(QStringLiteral("user"), now));
        status(claudeBusy, QStringLiteral("working"), api, apiDir);
        break;
    case 2: // the docs session got its permission
        appendJsonLine(busy, claudeAnswer(now, QStringLiteral("tool_use"), serial));
        appendJsonLine(asking, claudeAnswer(now, QStringLiteral("tool_use"), serial + 1000));
        status(claudeAsking, QStringLiteral("working"), docs, docsDir);
        break;
    case 3:
        appendJsonLine(busy, claudeAnswer(now, QStringLiteral("tool_use"), serial));
        break;
    case 4: // the turn ends: it needs the user
        appendJsonLine(busy, claudeAnswer(now, QStringLiteral("end_turn"), serial));
        status(claudeBusy, QStringLiteral("idle"), api, apiDir);
        break;
    case 5:
        appendJsonLine(asking, claudeAnswer(now, QStringLiteral("end_turn"), serial + 1000));
        status(claudeAsking, QStringLiteral("idle"), docs, docsDir);
        break;
    case 7: // and asks for a permission again
        status(claudeAsking, QStringLiteral("waiting_for_permission"), docs, docsDir);
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
    appendJsonLine(done, codexEvent(QStringLiteral("session_meta"), now - 7200000,
                                    {{QStringLiteral("cwd"), QStringLiteral("/home/demo/mobile-app")}}));
    appendJsonLine(done, codexEvent(QStringLiteral("event_msg"), now - 7000000,
                                    {{QStringLiteral("type"), QStringLiteral("task_complete")}}));
    appendJsonLine(busy, codexEvent(QStringLiteral("session_meta"), now - 300000,
                                    {{QStringLiteral("cwd"), QStringLiteral("/home/demo/search-index")},
                                     {QStringLiteral("model"), QStringLiteral("gpt-5-codex")}}));
    appendJsonLine(busy, codexEvent(QStringLiteral("event_msg"), now - 240000,
                                    {{QStringLiteral("type"), QStringLiteral("task_started")}}));
    appendJsonLine(busy, codexEvent(QStringLiteral("event_msg"), now - 200000,
                                    {{QStringLiteral("type"), QStringLiteral("token_count")},
                                     {QStringLiteral("rate_limits"), codexRateLimits(38, 61)}}));
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
        appendJsonLine(busy, codexEvent(QStringLiteral("event_msg"), now,
                                        {{QStringLiteral("type"), QStringLiteral("task_complete")}}));
    } else if (codexPhase == 5 + cycleSteps) {
        appendJsonLine(busy, codexEvent(QStringLiteral("event_msg"), now,
                                        {{QStringLiteral("type"), QStringLiteral("task_started")}}));
    } else if (codexPhase < 5 || codexPhase > 5 + cycleSteps) {
        appendJsonLine(busy, codexEvent(QStringLiteral("event_msg"), now,
                                        {{QStringLiteral("type"), QStringLiteral("token_count")},
                                         {QStringLiteral("rate_limits"), codexRateLimits(38 + (m_step % 40), 61)}}));
    }
}

// Kimi Code: an index of two sessions; one keeps its state fresh (working),
// the other rests. Their ids differ in their first characters, so a session
// whose folder went missing still gets its own fallback title ("session "
// and the id's start). Usage records over the last days.
bool DemoHome::writeKimi()
{
    const qint64 now = nowMs();
    const QString sessions = path(QStringLiteral("kimi/sessions"));
    const auto index = [&](const QString& id) {
        appendJsonLine(QStringLiteral("kimi/session_index.jsonl"),
                       {{QStringLiteral("sessionId"), id}, {QStringLiteral("sessionDir"), QString(sessions + QLatin1Char('/') + id)}});
    };
    index(kimiBusy);
    index(kimiResting);
    writeJson(QStringLiteral("kimi/sessions/%1/state.json").arg(kimiBusy),
              {{QStringLiteral("updatedAt"), iso(now - 600000)}, {QStringLiteral("title"), QStringLiteral("Translate the onboarding flow")},
               {QStringLiteral("workDir"), QStringLiteral("/home/demo/web")}});
    writeJson(QStringLiteral("kimi/sessions/%1/state.json").arg(kimiResting),
              {{QStringLiteral("updatedAt"), iso(now - 3600000)},
               {QStringLiteral("lastPrompt"), QStringLiteral("Why is the cache test flaky?")},
               {QStringLiteral("workDir"), QStringLiteral("/home/demo/cache")}});
    for (int hour = 0; hour < 72; hour += 5) {
        appendJsonLine(QStringLiteral("kimi/sessions/%1/agents/main/wire.jsonl").arg(kimiBusy),
                       {{QStringLiteral("type"), QStringLiteral("usage.record")},
                        {QStringLiteral("time"), double(now - qint64(hour) * 3600000)},
                        {QStringLiteral("usage"), QJsonObject{{QStringLiteral("inputOther"), 5200},
                                                              {QStringLiteral("output"), 1800},
                                                              {QStringLiteral("inputCacheRead"), 22000}}}});
    }
    return true;
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
    sqlite3* db = nullptr;
    if (sqlite3_open(dbPath.toUtf8().constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    const qint64 now = nowMs();
    bool ok = execSql(db, QStringLiteral(
        "CREATE TABLE session (id TEXT PRIMARY KEY, title TEXT, time_updated INTEGER, time_archived INTEGER);"
        "CREATE TABLE message (id TEXT PRIMARY KEY, session_id TEXT, time_created INTEGER, data TEXT);"));
    ok = ok && execSql(db, QStringLiteral("INSERT INTO session VALUES ('ses_demo_live', 'Port the CLI to Rust', %1, NULL),"
                                          " ('ses_demo_done', 'Write release notes', %2, NULL);")
                               .arg(QString::number(now), QString::number(now - 3600000)));
    sqlite3_close(db);
    int serial = 0;
    for (int hour = 40; hour >= 2; hour -= 4) {
        ok = ok && insertOpenCodeMessage(dbPath, QStringLiteral("msg_old_%1").arg(++serial), QStringLiteral("ses_demo_done"),
                                         now - qint64(hour) * 3600000,
                                         openCodeAnswer(QStringLiteral("stop"), 42000, 0.38));
    }
    ok = ok && insertOpenCodeMessage(dbPath, QStringLiteral("msg_live_0"), QStringLiteral("ses_demo_live"), now - 1800000,
                                     openCodeAnswer(QStringLiteral("stop"), 12000, 0.09));
    return ok;
}

void DemoHome::playOpenCode(int phase)
{
    const QString dbPath = path(QStringLiteral("opencode/opencode.db"));
    const QString id = QStringLiteral("msg_live_%1").arg(m_step);
    if (phase == 1)
        insertOpenCodeMessage(dbPath, id, QStringLiteral("ses_demo_live"), nowMs(), {{QStringLiteral("role"), QStringLiteral("user")}});
    else if (phase == 3)
        insertOpenCodeMessage(dbPath, id, QStringLiteral("ses_demo_live"), nowMs(),
                              openCodeAnswer(QStringLiteral("tool-calls"), 18000, 0.12));
    else if (phase == 5)
        insertOpenCodeMessage(dbPath, id, QStringLiteral("ses_demo_live"), nowMs(),
                              openCodeAnswer(QStringLiteral("stop"), 9000, 0.07));
}

} // namespace vexlor
