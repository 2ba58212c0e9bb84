// Codex collector benchmark:
//   codex-bench [--files N] [--size-kb N] [--passes N] [--keep DIR]
// Builds a synthetic Codex home (N session logs of about size-kb each, in
// dated folders like the real tool's), then times passes of one
// CodexCollector through its public interface on a controlled clock:
// the first pass, a steady pass (nothing changed, listing still fresh), a
// pass that walks the folder again (nothing changed), and a walk after one log
// gained a line. Prints one JSON line of medians in milliseconds.

#include "BenchSupport.h"
#include "fixtures/Fixtures.h"
#include "providers/codex/CodexCollector.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

using namespace vexlor;
using namespace vexlor::bench;

namespace {

ProviderReport runPass(CodexCollector& collector, const CollectorContext& context)
{
    return timedPass(collector, context).first;
}

QByteArray line(double at, const QByteArray& type, const QByteArray& payload)
{
    return fixtures::codexLine(at, type, payload);
}

QString buildHome(const QString& root, int files, int sizeKb, double now)
{
    const QString sessions = root + QStringLiteral("/sessions");
    QString newest;
    for (int i = 0; i < files; ++i) {
        const double start = now - 600.0 * (files - i);
        const QString dir = sessions + QStringLiteral("/2026/12/%1").arg(1 + i % 28, 2, 10, QLatin1Char('0'));
        QDir().mkpath(dir);
        const QString path = dir + QStringLiteral("/rollout-2026-12-06T10-00-00-%1-0000-4000-8000-00000000abcd.jsonl").arg(i, 8, 16, QLatin1Char('0'));
        QByteArray body = line(start, "session_meta", "{\"id\":\"x\",\"cwd\":\"/home/user/project-" + QByteArray::number(i) + "\"}");
        body += line(start + 1, "turn_context", "{\"model\":\"gpt-5-codex\",\"cwd\":\"/home/user\"}");
        int k = 0;
        while (body.size() < sizeKb * 1024) {
            const double at = start + 2 + k++;
            body += line(at, "event_msg", "{\"type\":\"task_started\"}");
            body += line(at, "response_item", "{\"type\":\"message\",\"role\":\"assistant\",\"content\":[{\"type\":\"output_text\",\"text\":\"" + QByteArray(700, 'x') + "\"}]}");
            body += line(at, "event_msg", "{\"type\":\"token_count\",\"info\":null,\"rate_limits\":{\"primary\":{\"used_percent\":" + QByteArray::number(k % 100) + ",\"window_minutes\":300,\"resets_at\":1800003600},\"secondary\":{\"used_percent\":3,\"window_minutes\":10080,\"resets_at\":1800600000}}}");
            body += line(at, "event_msg", "{\"type\":\"task_complete\"}");
        }
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            std::exit(1);
        f.write(body);
        f.close();
        setMtime(path, start + 300);
        newest = path;
    }
    return newest;
}


} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int files = 200, sizeKb = 512, passes = 15;
    QString keep;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--files") == 0)
            files = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--size-kb") == 0)
            sizeKb = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--passes") == 0)
            passes = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--keep") == 0)
            keep = QString::fromLocal8Bit(argv[i + 1]);
    }

    QTemporaryDir tmp;
    const QString home = keep.isEmpty() ? tmp.path() : keep;
    double now = 1800000000;
    const QString newest = buildHome(home, files, sizeKb, now);

    CodexCollector::Options options{home, [&now] { return Timestamp::fromSeconds(now); }};
    CodexCollector collector(options);
    CollectorContext context;
    context.attentionSince = Timestamp::fromSeconds(now - 3600);
    context.acknowledged.insert(QStringLiteral("codex:00000001-0000-4000-8000-00000000abcd"), Timestamp::fromSeconds(now));

    auto start = std::chrono::steady_clock::now();
    const ProviderReport first = runPass(collector, context);
    const double firstMs = msSince(start);

    std::vector<double> steady, relist, append;
    for (int i = 0; i < passes; ++i) {
        now += 3;
        start = std::chrono::steady_clock::now();
        const ProviderReport r = runPass(collector, context);
        steady.push_back(msSince(start));
        if (!(r == runPass(collector, context)))
            std::fprintf(stderr, "steady passes disagree\n");
    }
    for (int i = 0; i < passes; ++i) {
        now += 31;
        start = std::chrono::steady_clock::now();
        (void)runPass(collector, context);
        relist.push_back(msSince(start));
    }
    for (int i = 0; i < passes; ++i) {
        QFile f(newest);
        if (f.open(QIODevice::Append))
            f.write(line(now, "event_msg", "{\"type\":\"task_started\"}"));
        f.close();
        setMtime(newest, now + i);
        now += 31;
        start = std::chrono::steady_clock::now();
        (void)runPass(collector, context);
        append.push_back(msSince(start));
    }

    std::fprintf(stderr, "files=%d size_kb=%d sessions=%lld windows=%lld tail_reads=%lld\n", files, sizeKb,
                 static_cast<long long>(first.sessions.size()), static_cast<long long>(first.usage.windows.size()),
                 static_cast<long long>(collector.tailReads()));
    std::printf("{\"first_ms\":%.3f,\"steady_ms\":%.3f,\"relist_ms\":%.3f,\"relist_after_append_ms\":%.3f}\n", firstMs,
                median(steady), median(relist), median(append));
    return 0;
}
