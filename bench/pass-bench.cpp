// One polling pass of all four collectors, timed per collector:
//   pass-bench [--passes N] [--keep DIR]
//   pass-bench --home DIR [--passes N]
// Without --home it builds a synthetic home in a temporary folder (or in DIR
// with --keep): 20 live Claude Code sessions with 2 MB transcripts whose
// status files name this process, 1,000 older Claude transcripts, 200 Codex
// session logs, 50 Kimi Code sessions with 4 MB wire logs and an OpenCode
// database with 200 sessions and 50,000 messages. The four tools' folders are
// DIR/claude, DIR/codex, DIR/kimi and DIR/opencode.
//
// It times, per collector and in total, the first pass of fresh collectors,
// a steady pass where nothing changed, and a pass after one Claude transcript
// and one Kimi wire log each gained a line; the clock moves one second per
// pass, so the listing and spend cadences do not fall due in between. The last
// line printed is one JSON object of medians in milliseconds. Over a home
// given with --home the appends are made only when the home was built by this
// program (it leaves a marker file); otherwise append_ms is null for every
// collector: the benchmark never writes into an agent tool's real data.

#include "collection/FileRoutines.h"
#include "providers/claude/ClaudeCollector.h"
#include "providers/codex/CodexCollector.h"
#include "providers/kimi/KimiCodeCollector.h"
#include "providers/opencode/OpenCodeCollector.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QCoroTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUuid>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <simdjson.h>
#include "BenchSupport.h"
#include "KimiFixture.h"
#include "OpenCodeFixture.h"

#include <sys/stat.h>

using namespace vexlor;
using namespace vexlor::bench;

namespace {

constexpr const char* markerName = ".pass-bench-home";
constexpr std::array<const char*, 4> names{"claude", "codex", "opencode", "kimi"};

using fixtures::iso;

// --- Claude Code -------------------------------------------------------------

QByteArray claudeUser(double at, const QByteArray& session, const QByteArray& text)
{
    return "{\"type\":\"user\",\"sessionId\":\"" + session + "\",\"timestamp\":\"" + iso(at)
        + "\",\"message\":{\"role\":\"user\",\"content\":\"" + text + "\"}}\n";
}

QByteArray claudeAssistant(double at, const QByteArray& session, int n, const char* stop)
{
    return "{\"type\":\"assistant\",\"sessionId\":\"" + session + "\",\"requestId\":\"req_" + QByteArray::number(n)
        + "\",\"timestamp\":\"" + iso(at) + "\",\"message\":{\"id\":\"msg_" + session.left(8) + QByteArray::number(n)
        + "\",\"model\":\"claude-sonnet-4-5\",\"stop_reason\":\"" + stop
        + "\",\"content\":[{\"type\":\"text\",\"text\":\"" + QByteArray("All tests pass now. ").repeated(30)
        + "\"}],\"usage\":{\"input_tokens\":" + QByteArray::number(n % 900 + 3)
        + ",\"output_tokens\":" + QByteArray::number(n % 400 + 1)
        + ",\"cache_creation_input_tokens\":512,\"cache_read_input_tokens\":" + QByteArray::number(20000 + n % 7000) + "}}}\n";
}

QByteArray claudeToolResult(double at, const QByteArray& session)
{
    return "{\"type\":\"user\",\"sessionId\":\"" + session + "\",\"timestamp\":\"" + iso(at)
        + "\",\"toolUseResult\":{\"stdout\":\"" + QByteArray("ok ").repeated(60) + "\"},\"message\":{\"role\":\"user\"}}\n";
}

// A transcript of about `bytes` bytes whose records end at `end`.
QByteArray claudeTranscript(const QByteArray& session, qsizetype bytes, double end, bool endsInFlight)
{
    QByteArray out;
    out.reserve(bytes + 4096);
    int n = 0;
    double at = end - 7200;
    while (out.size() < bytes) {
        out += claudeUser(at, session, "Please refactor module " + QByteArray::number(n));
        out += claudeAssistant(at + 1, session, n, "tool_use");
        out += claudeToolResult(at + 2, session);
        out += claudeAssistant(at + 3, session, n + 1, "end_turn");
        n += 2;
        at = std::min(end - 5, at + 10);
    }
    out += claudeUser(end - 4, session, "One more thing");
    out += claudeAssistant(end, session, n, endsInFlight ? "tool_use" : "end_turn");
    return out;
}

// Returns the transcript that the append pass extends.
QString buildClaude(const QString& dir, double now)
{
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());
    QString appended;
    for (int i = 0; i < 20; ++i) {
        const QByteArray id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUtf8();
        const double end = now - 30 - 20 * i;
        const QString path = dir + QStringLiteral("/projects/-home-user-live%1/").arg(i % 5) + QString::fromUtf8(id) + u".jsonl";
        writeFile(path, claudeTranscript(id, 2 * 1024 * 1024, end, i % 3 == 0));
        setMtime(path, end);
        writeFile(dir + u"/sessions/" + QString::number(10000 + i) + u".json",
                  "{\"sessionId\":\"" + id + "\",\"pid\":" + pid + ",\"status\":\"idle\",\"updatedAt\":"
                      + QByteArray::number(qint64(end * 1000)) + ",\"name\":\"Live session " + QByteArray::number(i)
                      + "\",\"cwd\":\"/home/user/live" + QByteArray::number(i) + "\"}");
        if (i == 0)
            appended = path;
    }
    for (int i = 0; i < 1000; ++i) {
        const QByteArray id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUtf8();
        const double end = now - 3600 - (30.0 * 86400) * i / 1000; // spread over 30 days
        const QString path = dir + QStringLiteral("/projects/-home-user-old%1/").arg(i % 40) + QString::fromUtf8(id) + u".jsonl";
        writeFile(path, claudeTranscript(id, 32 * 1024, end, false));
        setMtime(path, end);
    }
    return appended;
}

// --- Codex -------------------------------------------------------------------

using fixtures::codexLine;

void buildCodex(const QString& dir, double now)
{
    for (int i = 0; i < 200; ++i) {
        const double start = now - 600.0 * (200 - i);
        const QString path = dir + QStringLiteral("/sessions/2026/12/%1/").arg(1 + i % 28, 2, 10, QLatin1Char('0'))
            + QStringLiteral("rollout-2026-12-06T10-00-00-%1-0000-4000-8000-00000000abcd.jsonl").arg(i, 8, 16, QLatin1Char('0'));
        QByteArray body = codexLine(start, "session_meta", "{\"id\":\"x\",\"cwd\":\"/home/user/project-" + QByteArray::number(i) + "\"}");
        body += codexLine(start + 1, "turn_context", "{\"model\":\"gpt-5-codex\",\"cwd\":\"/home/user\"}");
        int k = 0;
        while (body.size() < 256 * 1024) {
            const double at = start + 2 + k++;
            body += codexLine(at, "event_msg", "{\"type\":\"task_started\"}");
            body += codexLine(at, "response_item", "{\"type\":\"message\",\"role\":\"assistant\",\"content\":[{\"type\":\"output_text\",\"text\":\"" + QByteArray(700, 'x') + "\"}]}");
            body += codexLine(at, "event_msg", "{\"type\":\"token_count\",\"info\":null,\"rate_limits\":{\"primary\":{\"used_percent\":" + QByteArray::number(k % 100) + ",\"window_minutes\":300,\"resets_at\":" + QByteArray::number(qint64(now + 3600)) + "},\"secondary\":{\"used_percent\":3,\"window_minutes\":10080,\"resets_at\":" + QByteArray::number(qint64(now + 86400)) + "}}}");
            body += codexLine(at, "event_msg", "{\"type\":\"task_complete\"}");
        }
        writeFile(path, body);
        setMtime(path, start + 300);
    }
}

// --- Kimi Code ---------------------------------------------------------------

// Returns the wire log that the append pass extends.
QString buildKimi(const QString& dir, double now)
{
    return bench::writeKimiHome(dir, now * 1000);
}

// --- OpenCode ----------------------------------------------------------------

void buildOpenCode(const QString& dir, double now)
{
    vexlor::bench::writeOpenCodeRows(dir + u"/opencode.db", now * 1000, true);
}

// --- Passes ------------------------------------------------------------------

struct Collectors {
    std::array<std::unique_ptr<AgentCollector>, 4> all; // claude, codex, opencode, kimi
};

Collectors makeCollectors(const QString& home, const Clock& clock)
{
    Collectors c;
    ClaudeCollectorOptions claude;
    claude.configDirectory = home + u"/claude";
    claude.clock = clock;
    c.all[0] = std::make_unique<ClaudeCollector>(claude);
    c.all[1] = std::make_unique<CodexCollector>(CodexCollector::Options{home + u"/codex", clock});
    c.all[2] = std::make_unique<OpenCodeCollector>(OpenCodeCollector::Options{home + u"/opencode", clock, 5000});
    c.all[3] = std::make_unique<KimiCodeCollector>(KimiCodeCollector::Options{home + u"/kimi", clock});
    return c;
}


// Per collector, then the total of the four, for each pass of a kind.
struct Samples {
    std::array<std::vector<double>, 5> ms;
    void add(const std::array<double, 4>& pass)
    {
        double total = 0;
        for (size_t i = 0; i < 4; ++i) {
            ms[i].push_back(pass[i]);
            total += pass[i];
        }
        ms[4].push_back(total);
    }
    [[nodiscard]] QByteArray json() const
    {
        QByteArray out = "{";
        for (size_t i = 0; i < 5; ++i) {
            out += '"' + QByteArray(i < 4 ? names[i] : "total") + "\":";
            out += ms[i].empty() ? QByteArray("null") : QByteArray::number(median(ms[i]), 'f', 3);
            if (i < 4)
                out += ',';
        }
        return out + '}';
    }
};

std::array<double, 4> onePass(Collectors& c, const CollectorContext& context, std::array<ProviderReport, 4>* reports = nullptr)
{
    std::array<double, 4> ms{};
    for (size_t i = 0; i < 4; ++i) {
        auto [report, elapsed] = timedPass(*c.all[i], context);
        ms[i] = elapsed;
        if (reports)
            (*reports)[i] = std::move(report);
    }
    return ms;
}

// Holds the caller back `ms` milliseconds, as an online usage fetch would.
QCoro::Task<void> networkWait(int ms)
{
    if (ms <= 0)
        co_return;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    timer.start(ms);
    co_await qCoro(timer).waitForTimeout();
}

// One pass of the four collectors, Claude and Codex each first waiting
// `waitMs` as their online fetches do on the first pass: started together and
// awaited in order (`concurrent`), or one after another. The pass's total time.
double hubPass(Collectors& c, const CollectorContext& context, bool concurrent, int waitMs = 0)
{
    const auto start = std::chrono::steady_clock::now();
    bool done = false;
    QEventLoop loop;
    auto one = [&](size_t i) -> QCoro::Task<ProviderReport> {
        auto wait = networkWait(i < 2 ? waitMs : 0);
        co_await std::move(wait);
        auto task = c.all[i]->collect(context);
        co_return co_await std::move(task);
    };
    auto body = [&]() -> QCoro::Task<void> {
        if (concurrent) {
            std::vector<QCoro::Task<ProviderReport>> tasks;
            for (size_t i = 0; i < 4; ++i)
                tasks.push_back(one(i));
            for (auto& task : tasks)
                (void)co_await std::move(task);
        } else {
            for (size_t i = 0; i < 4; ++i) {
                auto task = one(i);
                (void)co_await std::move(task);
            }
        }
        done = true;
        loop.quit();
    };
    auto running = body();
    if (!done)
        loop.exec();
    return msSince(start);
}

// The newest transcript of a live Claude session and the largest Kimi wire
// log, for the append passes over an existing home.
QString largestFile(const QString& dir, const QString& suffix)
{
    QString best;
    qint64 bestSize = -1;
    for (const FileStamp& f : jsonlFiles(dir)) {
        if (f.path.endsWith(suffix) && f.size > bestSize) {
            best = f.path;
            bestSize = f.size;
        }
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int passes = 9;
    QString home, keep;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "--passes" && i + 1 < argc)
            passes = std::max(1, std::atoi(argv[++i]));
        else if (a == "--home" && i + 1 < argc)
            home = QString::fromLocal8Bit(argv[++i]);
        else if (a == "--keep" && i + 1 < argc)
            keep = QString::fromLocal8Bit(argv[++i]);
        else {
            std::fprintf(stderr, "usage: pass-bench [--passes N] [--keep DIR] | --home DIR [--passes N]\n");
            return 2;
        }
    }

    double now = std::floor(Timestamp::now().seconds());
    QString claudeAppend, kimiAppend;
    QTemporaryDir tmp;
    if (home.isEmpty()) {
        home = keep.isEmpty() ? tmp.path() : QDir(keep).absolutePath();
        const auto build = std::chrono::steady_clock::now();
        claudeAppend = buildClaude(home + u"/claude", now);
        buildCodex(home + u"/codex", now);
        kimiAppend = buildKimi(home + u"/kimi", now);
        buildOpenCode(home + u"/opencode", now);
        writeFile(home + u'/' + QString::fromLatin1(markerName), "built by pass-bench; appends allowed\n");
        std::fprintf(stderr, "built the synthetic home in %.0f ms\n", msSince(build));
    } else if (QFile::exists(home + u'/' + QString::fromLatin1(markerName))) {
        // A home this program built earlier: its status files name an ended
        // process, so they are pointed at this one again.
        claudeAppend = largestFile(home + u"/claude/projects", QStringLiteral(".jsonl"));
        kimiAppend = largestFile(home + u"/kimi/sessions", QStringLiteral("/wire.jsonl"));
        const QString sessions = home + u"/claude/sessions";
        const QRegularExpression pid(QStringLiteral("\"pid\":[0-9]+"));
        const QString ownPid = QStringLiteral("\"pid\":%1").arg(QCoreApplication::applicationPid());
        for (const QString& name : QDir(sessions).entryList({QStringLiteral("*.json")}, QDir::Files)) {
            QFile f(sessions + u'/' + name);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(f.readAll());
            f.close();
            writeFile(sessions + u'/' + name, QString(text).replace(pid, ownPid).toUtf8());
        }
    }
    const bool appends = !claudeAppend.isEmpty() && !kimiAppend.isEmpty();

    auto clockValue = std::make_shared<double>(now);
    const Clock clock = [clockValue] { return Timestamp::fromSeconds(*clockValue); };
    CollectorContext context;
    context.attentionSince = Timestamp::fromSeconds(now - 3600);

    // First passes: fresh collectors each time (the page cache is warm after
    // the first round, as it is for a running machine).
    Samples first, steady, append;
    std::array<ProviderReport, 4> reports;
    for (int i = 0; i < std::max(3, passes / 3); ++i) {
        Collectors fresh = makeCollectors(home, clock);
        first.add(onePass(fresh, context, &reports));
    }

    Collectors collectors = makeCollectors(home, clock);
    (void)onePass(collectors, context);
    for (int i = 0; i < passes; ++i) {
        *clockValue += 1;
        steady.add(onePass(collectors, context));
    }
    if (appends) {
        for (int i = 0; i < passes; ++i) {
            *clockValue += 1;
            appendLine(claudeAppend, claudeUser(*clockValue, "bench", "and now " + QByteArray::number(i)));
            appendLine(kimiAppend, bench::kimiUsageRecord(*clockValue * 1000, i));
            append.add(onePass(collectors, context));
        }
    }

    // One after another against all at once, alternating, on fresh and on
    // warmed collectors; then fresh ones whose Claude and Codex passes each
    // wait 500 ms first, as both online fetches do on the deck's first pass.
    Samples seqFirst, concFirst, seqSteady, concSteady, seqWait, concWait;
    const auto single = [](double ms) { return std::array<double, 4>{ms, 0, 0, 0}; };
    for (int i = 0; i < std::max(3, passes / 3); ++i) {
        for (const bool concurrent : {false, true}) {
            Collectors a = makeCollectors(home, clock);
            (concurrent ? concFirst : seqFirst).add(single(hubPass(a, context, concurrent)));
            Collectors b = makeCollectors(home, clock);
            (concurrent ? concWait : seqWait).add(single(hubPass(b, context, concurrent, 500)));
        }
    }
    for (int i = 0; i < passes; ++i) {
        for (const bool concurrent : {false, true}) {
            *clockValue += 1;
            (concurrent ? concSteady : seqSteady).add(single(hubPass(collectors, context, concurrent)));
        }
    }

    const auto* claude = static_cast<const ClaudeCollector*>(collectors.all[0].get());
    std::fprintf(stderr, "simdjson kernel %s; passes %d; claude: %lld live sessions, %.0f tokens in 7 days, %lld tail reads; "
                         "codex: %lld sessions; opencode: %lld sessions; kimi: %lld sessions%s\n",
                 simdjson::get_active_implementation()->name().c_str(), passes, qint64(reports[0].sessions.size()),
                 reports[0].spend ? reports[0].spend->tokens7d : 0.0, qint64(claude->tailsRead()),
                 qint64(reports[1].sessions.size()), qint64(reports[2].sessions.size()), qint64(reports[3].sessions.size()),
                 appends ? "" : "; append passes not measured (home not built by pass-bench)");
    const auto total = [](const Samples& s) { return QByteArray::number(median(s.ms[4]), 'f', 1); };
    std::printf("{\"first_ms\":%s,\"steady_ms\":%s,\"append_ms\":%s,\"pass_total_ms\":{"
                "\"first\":{\"sequential\":%s,\"concurrent\":%s},\"steady\":{\"sequential\":%s,\"concurrent\":%s},"
                "\"first_online_waits_500ms\":{\"sequential\":%s,\"concurrent\":%s}}}\n",
                first.json().constData(), steady.json().constData(), append.json().constData(),
                total(seqFirst).constData(), total(concFirst).constData(), total(seqSteady).constData(),
                total(concSteady).constData(), total(seqWait).constData(), total(concWait).constData());
    return 0;
}
