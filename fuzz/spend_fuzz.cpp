// The spend scanner's line search and aggregation over arbitrary file bytes.
// The chunked search must hand on exactly the lines a whole-file split keeps,
// whatever the chunk size; the aggregation must never crash or hang; and a
// file read once, then again after the rest of it was appended, must give
// exactly the totals of reading it whole.

#include "providers/claude/ClaudeSpendScanner.h"
#include "providers/claude/UsageLineReader.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cmath>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const int fd = memfd_create("spend-fuzz", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0)
        return 0;
    if (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const std::size_t chunk = 28 + size % 61;
    const std::size_t cap = 16 + (size / 3) % 300;
    QList<QByteArray> expected;
    for (const QByteArray& piece : bytes.split('\n')) {
        if (piece.contains("\"usage\"") && static_cast<std::size_t>(piece.size()) <= cap)
            expected.append(piece);
    }
    vexlor::UsageLineReader reader(chunk, cap);
    QList<QByteArray> got;
    reader.forEachUsageLine(path, [&](std::string_view line) {
        got.append(QByteArray(line.data(), static_cast<qsizetype>(line.size())));
    });
    if (got != expected)
        std::abort();

    const auto clock = [] { return vexlor::Timestamp::fromSeconds(1.78e9); };
    const vexlor::ClaudeSpendScanner::Tuning tuning{
        .chunkBytes = chunk, .maxLineBytes = 1 << 20, .maxThreads = 1, .followMinBytes = 0};
    const vexlor::FileStamp whole{path, vexlor::Timestamp::fromSeconds(1.78e9 - 60), static_cast<qint64>(size)};

    // First only a prefix is on disk, then all of it.
    const std::size_t cut = size == 0 ? 0 : (size * 7 + (size > 0 ? data[0] : 0)) % (size + 1);
    vexlor::ClaudeSpendScanner following(clock, tuning);
    if (ftruncate(fd, static_cast<off_t>(cut)) != 0)
        return 0;
    (void)following.scan({vexlor::FileStamp{path, vexlor::Timestamp::fromSeconds(1.78e9 - 120), static_cast<qint64>(cut)}});
    if (size > cut && pwrite(fd, data + cut, size - cut, static_cast<off_t>(cut)) != static_cast<ssize_t>(size - cut))
        return 0;
    const vexlor::SpendSnapshot grown = following.scan({whole});

    vexlor::ClaudeSpendScanner scanner(clock, tuning);
    const vexlor::SpendSnapshot read = scanner.scan({whole});
    const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    if (!same(grown.tokens24h, read.tokens24h) || !same(grown.cost24h, read.cost24h)
        || !same(grown.tokens7d, read.tokens7d) || !same(grown.cost7d, read.cost7d))
        std::abort();
    return 0;
}
