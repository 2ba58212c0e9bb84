#include "OpenCodeCollector.h"

#include "OpenCodeResultCache.h"
#include "OpenCodeSessions.h"
#include "collection/CollectorError.h"
#include "collection/FileRoutines.h"

#include <QCoroFuture>
#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace vexlor {

namespace {

ProviderReport runPass(const QString& databasePath, const Clock& clock, int busyTimeoutMs, const CollectorContext& context,
                       OpenCodeResultCache& cache)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(databasePath).constData(), &st) != 0)
        return {}; // not installed

    ProviderReport report;
    report.installed = true;
    OpenCodeRows rows;
    try {
        rows = cache.rows(databasePath, busyTimeoutMs);
    } catch (const CollectorError& error) {
        report.usage = UsageSnapshot::failed(error.message(), clock());
        return report;
    }

    const Timestamp now = clock();
    for (const SqlRow& row : rows.sessions)
        report.sessions.append(opencode::sessionSnapshot(row, now, context));
    report.usage = opencode::usageSnapshot(rows.usage, now);
    return report;
}

} // namespace

OpenCodeCollector::OpenCodeCollector()
    : OpenCodeCollector(Options{defaultDataDirectory(), systemClock(), 5000})
{
}

OpenCodeCollector::OpenCodeCollector(Options options)
    : m_databasePath(options.dataDirectory + u"/opencode.db"_s)
    , m_clock(options.clock ? std::move(options.clock) : systemClock())
    , m_busyTimeoutMs(options.busyTimeoutMs)
    , m_cache(std::make_shared<OpenCodeResultCache>())
{
}

QString OpenCodeCollector::providerID() const
{
    return u"opencode"_s;
}

QString OpenCodeCollector::displayName() const
{
    return u"OPENCODE"_s;
}

QString OpenCodeCollector::defaultDataDirectory()
{
    if (auto dir = environmentValue("OPENCODE_DATA_DIR"))
        return expandTilde(*dir);
    if (auto xdg = environmentValue("XDG_DATA_HOME"))
        return expandTilde(*xdg) + u"/opencode"_s;
    return expandTilde(u"~/.local/share/opencode"_s);
}

QStringList OpenCodeCollector::watchPaths() const
{
    return {m_databasePath.left(m_databasePath.lastIndexOf(u'/')), m_databasePath, m_databasePath + u"-wal"_s};
}

ProviderReport OpenCodeCollector::collectBlocking(const CollectorContext& context) const
{
    return runPass(m_databasePath, m_clock, m_busyTimeoutMs, context, *m_cache);
}

QCoro::Task<ProviderReport> OpenCodeCollector::collect(CollectorContext context)
{
    // The worker gets its own copies, so it never reaches back into `this`.
    auto work = [path = m_databasePath, clock = m_clock, timeout = m_busyTimeoutMs, context = std::move(context),
                 cache = m_cache] { return runPass(path, clock, timeout, context, *cache); };
    co_return co_await QtConcurrent::run(std::move(work));
}

} // namespace vexlor
