#include "OpenCodeCollector.h"

#include "OpenCodeQueries.h"
#include "OpenCodeSessions.h"
#include "ReadOnlyDatabase.h"
#include "collection/CollectorError.h"
#include "collection/FileRoutines.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace vexlor {

namespace {

QList<SqlRow> queryRows(const QString& databasePath, const char* sql, int busyTimeoutMs)
{
    SqlQueryResult result = queryReadOnly(databasePath, sql, busyTimeoutMs);
    switch (result.status) {
    case SqlQueryResult::Status::ok:
        return std::move(result.rows);
    case SqlQueryResult::Status::openFailed:
        throw CollectorError(QCoreApplication::translate("OpenCodeCollector", "OpenCode database could not be opened"));
    case SqlQueryResult::Status::prepareFailed:
        break;
    }
    throw CollectorError(QCoreApplication::translate("OpenCodeCollector", "OpenCode query failed: ") + result.errorMessage);
}

ProviderReport runPass(const QString& databasePath, const Clock& clock, int busyTimeoutMs, const CollectorContext& context)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(databasePath).constData(), &st) != 0)
        return {}; // not installed

    ProviderReport report;
    report.installed = true;
    QList<SqlRow> sessionRows;
    QList<SqlRow> usageRows;
    try {
        sessionRows = queryRows(databasePath, opencode::sessionsQuery, busyTimeoutMs);
        usageRows = queryRows(databasePath, opencode::usageQuery, busyTimeoutMs);
    } catch (const CollectorError& error) {
        report.usage = UsageSnapshot::failed(error.message(), clock());
        return report;
    }

    const Timestamp now = clock();
    for (const SqlRow& row : sessionRows)
        report.sessions.append(opencode::sessionSnapshot(row, now, context));
    report.usage = opencode::usageSnapshot(usageRows, now);
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

ProviderReport OpenCodeCollector::collectBlocking(const CollectorContext& context) const
{
    return runPass(m_databasePath, m_clock, m_busyTimeoutMs, context);
}

QCoro::Task<ProviderReport> OpenCodeCollector::collect(CollectorContext context)
{
    // The worker gets its own copies, so it never reaches back into `this`.
    auto work = [path = m_databasePath, clock = m_clock, timeout = m_busyTimeoutMs, context = std::move(context)] {
        return runPass(path, clock, timeout, context);
    };
    co_return co_await QtConcurrent::run(std::move(work));
}

} // namespace vexlor
