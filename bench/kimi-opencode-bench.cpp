// Kimi Code and OpenCode collector benchmark:
//   kimi-opencode-bench [--passes N] [--keep DIR] [--no-index]
// Builds a synthetic Kimi Code home (50 sessions with 4 MB wire logs) and an
// OpenCode database (200 sessions, 50,000 messages, write-ahead-log mode),
// then times passes of each collector through collect(): the first pass, a
// steady pass (nothing changed) and, for Kimi, a pass after one wire log
// gained a line; for OpenCode also a steady pass while another process holds
// the database open with committed rows still in its log. --no-index leaves
// out the index on message(session_id). Prints one JSON line of medians in
// milliseconds.

#include "providers/kimi/KimiCodeCollector.h"
#include "providers/opencode/OpenCodeCollector.h"
#include "providers/opencode/OpenCodeResultCache.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include "BenchSupport.h"
#include "KimiFixture.h"
#include "OpenCodeFixture.h"


using namespace vexlor;
using namespace vexlor::bench;
using namespace Qt::Literals::StringLiterals;

namespace {

// 200 sessions and 50,000 messages over the last 14 days.
QString buildOpenCode(const QString& root, double nowMs, bool withIndex)
{
    const QString dir = root + u"/opencode"_s;
    vexlor::bench::writeOpenCodeRows(dir + u"/opencode.db"_s, nowMs, withIndex);
    return dir;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int passes = 7;
    QString keep;
    bool withIndex = true;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "--passes" && i + 1 < argc)
            passes = std::max(1, atoi(argv[++i]));
        else if (a == "--keep" && i + 1 < argc)
            keep = QString::fromLocal8Bit(argv[++i]);
        else if (a == "--no-index")
            withIndex = false;
    }
    QTemporaryDir tmp;
    const QString root = keep.isEmpty() ? tmp.path() : keep;
    const double nowMs = std::floor(Timestamp::now().seconds()) * 1000;

    auto build = std::chrono::steady_clock::now();
    const QString kimiDir = root + u"/kimi"_s;
    const QString oneLog = writeKimiHome(kimiDir, nowMs);
    const QString openCodeDir = buildOpenCode(root, nowMs, withIndex);
    std::fprintf(stderr, "built fixtures in %.0f ms\n", msSince(build));

    KimiCodeCollector kimi({kimiDir, systemClock()});
    auto [kimiFirst, kimiFirstMs] = timedPass(kimi);
    std::vector<double> kimiSteady, kimiAppend;
    for (int i = 0; i < passes; ++i)
        kimiSteady.push_back(timedPass(kimi).second);
    for (int i = 0; i < passes; ++i) {
        appendLine(oneLog, kimiUsageRecord(nowMs, i));
        kimiAppend.push_back(timedPass(kimi).second);
    }

    OpenCodeCollector openCode({openCodeDir, systemClock(), 5000});
    auto [ocFirst, ocFirstMs] = timedPass(openCode);
    std::vector<double> ocSteady, ocLive;
    for (int i = 0; i < passes; ++i)
        ocSteady.push_back(timedPass(openCode).second);
    auto writer = std::make_unique<vexlor::fixtures::OpenCodeWriter>(openCodeDir + u"/opencode.db"_s);
    writer->run("PRAGMA wal_autocheckpoint=0; INSERT INTO session VALUES ('ses_live','Live'," + QByteArray::number(nowMs, 'f', 0)
                + ",NULL);");
    const int statementsBeforeLive = openCode.resultCache().statementsRun();
    for (int i = 0; i < passes; ++i)
        ocLive.push_back(timedPass(openCode).second);
    std::fprintf(stderr, "opencode: %d statements over %d passes with the live writer\n",
                 openCode.resultCache().statementsRun() - statementsBeforeLive, passes);
    const auto [ocLiveReport, ignored] = timedPass(openCode);
    writer.reset();

    std::fprintf(stderr, "kimi: %lld sessions, 24h %.0f tokens, 7d %.0f tokens\n", qint64(kimiFirst.sessions.size()),
                 kimiFirst.usage.windows.value(0).tokens.value_or(-1), kimiFirst.usage.windows.value(1).tokens.value_or(-1));
    std::fprintf(stderr, "opencode: %lld sessions (%lld with the live writer), 24h %.0f tokens, 7d %.0f tokens, error %s\n",
                 qint64(ocFirst.sessions.size()), qint64(ocLiveReport.sessions.size()),
                 ocFirst.usage.windows.value(0).tokens.value_or(-1), ocFirst.usage.windows.value(1).tokens.value_or(-1),
                 qPrintable(ocFirst.usage.error.value_or(u"none"_s)));
    std::printf("{\"kimi\":{\"first_ms\":%.2f,\"steady_ms\":%.2f,\"append_ms\":%.2f},"
                "\"opencode\":{\"first_ms\":%.2f,\"steady_ms\":%.2f,\"live_writer_ms\":%.2f},\"message_index\":%s}\n",
                kimiFirstMs, median(kimiSteady), median(kimiAppend), ocFirstMs, median(ocSteady), median(ocLive),
                withIndex ? "true" : "false");
    return 0;
}
