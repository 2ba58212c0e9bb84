#pragma once
// What the benchmark programs share: timing, medians, fixture file writes and
// running one collector pass to its end outside any application loop.

#include "collection/AgentCollector.h"
#include "fixtures/Fixtures.h"

#include <QEventLoop>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <optional>
#include <unistd.h>
#include <vector>

namespace vexlor::bench {

inline double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Fixture writes: a benchmark cannot go on without its fixture, so a failed
// write ends the program.
// CPU seconds (user and system) a process has used, from /proc; 0 when it
// cannot be read.
inline double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // utime and stime are fields 14 and 15 of the whole line.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

inline void writeFile(const QString& path, const QByteArray& data)
{
    if (!fixtures::writeFile(path, data))
        qFatal("cannot write %s", qPrintable(path));
}

inline void appendLine(const QString& path, const QByteArray& line)
{
    if (!fixtures::appendFile(path, line))
        qFatal("cannot append to %s", qPrintable(path));
}

using fixtures::setMtime;

// One pass of `collector`, run to its end, and how long it took.
inline std::pair<ProviderReport, double> timedPass(AgentCollector& collector, const CollectorContext& context = {})
{
    const auto start = std::chrono::steady_clock::now();
    std::optional<ProviderReport> result;
    QEventLoop loop;
    auto body = [&]() -> QCoro::Task<void> {
        // Named before it is awaited: g++ 12 may destroy temporaries inside
        // a co_await expression twice.
        auto task = collector.collect(context);
        result = co_await std::move(task);
        loop.quit();
    };
    auto running = body();
    if (!result) // a pass that never suspended is already done
        loop.exec();
    return {*result, msSince(start)};
}

} // namespace vexlor::bench
