// Spend scan benchmark:
//   spend-bench DIR [--threads N] [--chunk-kb N]
// Lists DIR's transcripts with jsonlFiles, scans them twice with one
// ClaudeSpendScanner (cold for its cache, then with nothing changed) and
// prints one JSON line with the totals, both times and the peak resident
// memory. Details (listing time, threads, simdjson kernel) go to stderr.
// It then copies the largest transcript into a temporary folder (DIR itself is
// never written), appends one assistant line to the copy, as a running session
// does, and times the next scan read on from where it stopped and read whole.

#include "BenchSupport.h"
#include "collection/FileRoutines.h"
#include "providers/claude/ClaudeSpendScanner.h"
#include "providers/claude/UsageLineReader.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <simdjson.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string_view>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

using namespace vexlor;

using vexlor::bench::msSince;

namespace {
constexpr std::string_view kUsageKey = "\"usage\"";
}

int main(int argc, char** argv)
{
    const char* dir = nullptr;
    ClaudeSpendScanner::Tuning tuning;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc)
            tuning.maxThreads = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--chunk-kb") == 0 && i + 1 < argc)
            tuning.chunkBytes = static_cast<std::size_t>(std::max(1, std::atoi(argv[++i]))) * 1024;
        else if (!dir && argv[i][0] != '-')
            dir = argv[i];
        else
            dir = nullptr, i = argc;
    }
    if (!dir) {
        std::fprintf(stderr, "usage: spend-bench DIR [--threads N] [--chunk-kb N]\n");
        return 2;
    }

    auto start = std::chrono::steady_clock::now();
    const QList<FileStamp> files = jsonlFiles(QString::fromLocal8Bit(dir));
    const double listMs = msSince(start);
    qint64 bytes = 0;
    for (const FileStamp& f : files)
        bytes += f.size;

    ClaudeSpendScanner scanner(systemClock(), tuning);
    start = std::chrono::steady_clock::now();
    const SpendSnapshot cold = scanner.scan(files);
    const double coldMs = msSince(start);
    const qint64 readCold = scanner.filesRead();

    start = std::chrono::steady_clock::now();
    const SpendSnapshot warm = scanner.scan(files);
    const double warmMs = msSince(start);
    const qint64 readWarm = scanner.filesRead() - readCold;

    // One session growing: its transcript read on versus read whole.
    const FileStamp* largest = nullptr;
    for (const FileStamp& f : files)
        if (!largest || f.size > largest->size)
            largest = &f;
    double grownFollowMs = -1, grownWholeMs = -1;
    qint64 grownFollowBytes = -1, grownWholeBytes = -1;
    bool grownAgree = false;
    QTemporaryDir scratch;
    if (largest && scratch.isValid()) {
        const QString copy = scratch.filePath(QStringLiteral("grown.jsonl"));
        if (QFile::copy(largest->path, copy)) {
            ClaudeSpendScanner::Tuning whole = tuning;
            whole.followFiles = 0;
            ClaudeSpendScanner following(systemClock(), tuning), rereading(systemClock(), whole);
            const QList<FileStamp> one = jsonlFiles(scratch.path());
            (void)following.scan(one);
            (void)rereading.scan(one);
            QFile f(copy);
            if (f.open(QIODevice::Append)) {
                const QByteArray now = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8();
                f.write("{\"type\":\"assistant\",\"timestamp\":\"" + now
                        + "\",\"requestId\":\"req_bench\",\"message\":{\"id\":\"msg_bench\",\"model\":\"claude-sonnet-4-5\","
                          "\"usage\":{\"input_tokens\":10,\"output_tokens\":20}}}\n");
                f.close();
            }
            const QList<FileStamp> grown = jsonlFiles(scratch.path());
            const qint64 followBefore = following.bytesRead(), wholeBefore = rereading.bytesRead();
            start = std::chrono::steady_clock::now();
            const SpendSnapshot a = following.scan(grown);
            grownFollowMs = msSince(start);
            start = std::chrono::steady_clock::now();
            const SpendSnapshot b = rereading.scan(grown);
            grownWholeMs = msSince(start);
            grownFollowBytes = following.bytesRead() - followBefore;
            grownWholeBytes = rereading.bytesRead() - wholeBefore;
            grownAgree = a.tokens7d == b.tokens7d && a.cost7d == b.cost7d && a.tokens24h == b.tokens24h;
        }
    }

    // The key search alone over up to 256 MB of the transcripts held in
    // memory: each way of finding "usage" keys, best of three, in GB/s.
    QByteArray text;
    for (const FileStamp& f : files) {
        if (text.size() >= 256 * 1024 * 1024)
            break;
        QFile in(f.path);
        if (in.open(QIODevice::ReadOnly))
            text += in.read(256 * 1024 * 1024 - text.size());
    }
    const auto searchRate = [&](auto find) {
        double best = 0;
        long long hits = 0;
        for (int round = 0; round < 3; ++round) {
            const auto began = std::chrono::steady_clock::now();
            hits = 0;
            const char* end = text.constData() + text.size();
            for (const char* p = find(text.constData(), end); p; p = find(p + 1, end))
                ++hits;
            const double ms = msSince(began);
            best = std::max(best, ms > 0 ? static_cast<double>(text.size()) / ms / 1e6 : 0.0);
        }
        return std::pair{best, hits};
    };
    const auto with = [](UsageLineReader::KeySearch how) {
        return [how](const char* b, const char* e) { return UsageLineReader::findKey(b, e, how); };
    };
    const std::boyer_moore_horspool_searcher horspool(kUsageKey.begin(), kUsageKey.end());
    const auto [memmemRate, memmemHits] = searchRate(with(UsageLineReader::KeySearch::portable));
    const auto [sse2Rate, sse2Hits] = searchRate(with(UsageLineReader::KeySearch::sse2));
    const auto [avx2Rate, avx2Hits] = searchRate(with(UsageLineReader::KeySearch::avx2));
    const auto [horspoolRate, horspoolHits] = searchRate([&](const char* b, const char* e) -> const char* {
        const char* p = std::search(b, e, horspool);
        return p == e ? nullptr : p;
    });
    const bool searchesAgree = memmemHits == sse2Hits && sse2Hits == avx2Hits && avx2Hits == horspoolHits;

    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);

    std::printf("{\"files\":%lld,\"bytes\":%lld,\"tokens24h\":%.0f,\"cost24h\":%.4f,\"tokens7d\":%.0f,\"cost7d\":%.4f,"
                "\"cold_ms\":%.1f,\"warm_ms\":%.3f,\"grown_follow_ms\":%.3f,\"grown_follow_bytes\":%lld,"
                "\"grown_whole_ms\":%.3f,\"grown_whole_bytes\":%lld,\"peak_rss_kb\":%ld,"
                "\"key_search_gbps\":{\"bytes\":%lld,\"memmem\":%.2f,\"horspool\":%.2f,\"sse2\":%.2f,\"avx2\":%.2f,"
                "\"agree\":%s}}\n",
                static_cast<long long>(files.size()), static_cast<long long>(bytes), cold.tokens24h, cold.cost24h,
                cold.tokens7d, cold.cost7d, coldMs, warmMs, grownFollowMs, static_cast<long long>(grownFollowBytes),
                grownWholeMs, static_cast<long long>(grownWholeBytes), ru.ru_maxrss, static_cast<long long>(text.size()),
                memmemRate, horspoolRate, sse2Rate, avx2Rate, searchesAgree ? "true" : "false");
    std::fprintf(stderr,
                 "spend-bench: simdjson kernel %s; listing %.1f ms; cold read %lld files at %.2f GB/s with up to %d "
                 "threads, %zu KiB chunks; warm read %lld files; totals %s; grown file totals %s\n",
                 simdjson::get_active_implementation()->name().c_str(), listMs, static_cast<long long>(readCold),
                 coldMs > 0 ? static_cast<double>(bytes) / coldMs / 1e6 : 0.0, tuning.maxThreads, tuning.chunkBytes / 1024,
                 static_cast<long long>(readWarm), cold.tokens7d == warm.tokens7d && cold.cost7d == warm.cost7d ? "agree" : "DIFFER",
                 grownAgree ? "agree" : "DIFFER");
    return 0;
}
