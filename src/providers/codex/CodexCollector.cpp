#include "CodexCollector.h"

#include "CodexSessionRules.h"
#include "collection/FileRoutines.h"

#include <QCoroFuture>
#include <QFile>
#include <QMutexLocker>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <sys/stat.h>

namespace vexlor {

namespace {

bool pathExists(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

QStringView fileNameOf(const QString& path)
{
    return QStringView(path).sliced(path.lastIndexOf(u'/') + 1);
}

} // namespace

QString CodexCollector::homeFromEnvironment()
{
    return expandTilde(environmentValue("CODEX_HOME").value_or(QStringLiteral("~/.codex")));
}

CodexCollector::CodexCollector()
    : CodexCollector(Options{homeFromEnvironment(), systemClock()})
{
}

CodexCollector::CodexCollector(Options options)
    : m_sessionsDirectory(expandTilde(options.home) + QStringLiteral("/sessions"))
    , m_authFilePath(expandTilde(options.home) + QStringLiteral("/auth.json"))
    , m_clock(options.clock ? std::move(options.clock) : systemClock())
    , m_online([&] {
        CodexFetchOptions online = std::move(options.online);
        online.clock = m_clock;
        return online;
    }())
{
}

qint64 CodexCollector::tailReads() const
{
    QMutexLocker locker(&m_lock);
    return m_tailReads;
}

QCoro::Task<ProviderReport> CodexCollector::collect(CollectorContext context)
{
    const Timestamp now = m_clock();
    // The future is made in its own statement: g++ 12 destroys a closure with
    // non-trivial captures twice when it is a temporary inside a co_await
    // expression (a double free of the context's map).
    QFuture<Scan> work = QtConcurrent::run([this, context, now] { return scan(context, now); });
    Scan scanned = co_await work;

    ProviderReport report;
    if (!scanned.installed)
        co_return report;

    bool refreshDue = false;
    {
        QMutexLocker locker(&m_lock);
        updateUsage(scanned.rateLimits, now);
        refreshDue = liveRefreshDue(now, context);
    }
    if (refreshDue)
        co_await refreshLiveUsage();
    {
        QMutexLocker locker(&m_lock);
        report.usage = codexReportedUsage(m_liveUsage, m_usage);
    }
    report.installed = true;
    report.sessions = std::move(scanned.sessions);
    co_return report;
}

CodexCollector::Scan CodexCollector::scan(const CollectorContext& context, Timestamp now)
{
    Scan out;
    if (!pathExists(m_sessionsDirectory))
        return out;
    out.installed = true;

    const QList<FileStamp> files = newestFiles(now);
    out.sessions.reserve(files.size());
    for (const FileStamp& file : files) {
        const std::optional<QString> id = codexSessionId(fileNameOf(file.path));
        if (!id)
            continue; // not a session log; its rate limits are not looked at either
        const QString key = QStringLiteral("codex:") + *id;
        const Tail tail = tailOf(file);
        const CodexSessionStatus status = classifyCodexSession(tail, file.mtime, now, context, key);

        SessionSnapshot session;
        session.key = key;
        session.id = *id;
        session.state = status.state;
        session.isOpen = status.isOpen;
        session.activityAt = file.mtime;
        session.completionAt = status.completionAt;
        session.model = tail.model;
        session.title = codexSessionTitle(tail, *id);
        out.sessions.append(std::move(session));

        if (!out.rateLimits && tail.rateLimits)
            out.rateLimits = tail.rateLimits;
    }
    return out;
}

QList<FileStamp> CodexCollector::newestFiles(Timestamp now)
{
    {
        QMutexLocker locker(&m_lock);
        // A clock set back also refreshes, so a listing cannot freeze until
        // the clock catches up again.
        const bool fresh = !m_files.isEmpty() && !(now - m_scannedAt > listingSeconds) && !(now < m_scannedAt);
        if (fresh)
            return m_files;
    }

    // The walk runs without the lock; two overlapping passes may both walk.
    QList<FileStamp> listed = jsonlFiles(m_sessionsDirectory);
    std::stable_sort(listed.begin(), listed.end(),
                     [](const FileStamp& a, const FileStamp& b) { return a.mtime > b.mtime; });
    if (listed.size() > maxFiles)
        listed.resize(maxFiles);

    QMutexLocker locker(&m_lock);
    m_files = listed;
    m_scannedAt = now;
    return listed;
}

CodexCollector::Tail CodexCollector::tailOf(const FileStamp& file)
{
    std::optional<CachedTail> previous;
    {
        QMutexLocker locker(&m_lock);
        const auto it = m_tailCache.constFind(file.path);
        if (it != m_tailCache.constEnd()) {
            if (it->size == file.size && it->mtime == file.mtime)
                return it->tail;
            previous = *it;
        }
    }

    Tail tail = parseCodexTail(readTailBytes(file.path, tailBytes), file.mtime);
    // A log that grew (or was rewritten at the same size) keeps what its
    // earlier tail knew and the new one no longer reaches; one that shrank was
    // replaced and stands alone.
    if (previous && previous->size <= file.size)
        tail.fillFrom(previous->tail);

    QMutexLocker locker(&m_lock);
    ++m_tailReads;
    m_tailCache.insert(file.path, CachedTail{file.size, file.mtime, tail});
    if (m_tailCache.size() > maxCachedTails)
        m_tailCache.clear();
    return tail;
}

void CodexCollector::updateUsage(const std::optional<QList<UsageWindowSnapshot>>& rateLimits, Timestamp now)
{
    if (rateLimits) {
        UsageSnapshot usage;
        usage.windows = *rateLimits;
        usage.updatedAt = now;
        m_usage = std::move(usage);
    } else if (!m_usage.updatedAt) {
        m_usage = UsageSnapshot::failed(QStringLiteral("No Codex usage event found"), now);
    }
}

bool CodexCollector::liveRefreshDue(Timestamp now, const CollectorContext& context)
{
    return codexRefreshDue(now, context, m_liveUsage, m_liveFetchedAt);
}

QCoro::Task<void> CodexCollector::refreshLiveUsage()
{
    QCoro::Task<std::optional<UsageSnapshot>> fetching = fetchCodexUsage(m_authFilePath, m_online);
    std::optional<UsageSnapshot> live = co_await std::move(fetching);
    if (!live)
        co_return;
    QMutexLocker locker(&m_lock);
    m_liveUsage = std::move(*live);
}

} // namespace vexlor
