#include "CodexCollector.h"

#include "CodexSessionRules.h"
#include "collection/FileRoutines.h"

#include <QCoroFuture>
#include <QDateTime>
#include <QSet>
#include <QFile>
#include <QMutexLocker>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <sys/stat.h>

namespace vexlor {

namespace {

QStringView fileNameOf(const QString& path)
{
    return QStringView(path).sliced(path.lastIndexOf(u'/') + 1);
}

// The listed file as it is now; no value once it is gone or no longer a
// regular file.
std::optional<FileStamp> restat(const FileStamp& file)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(file.path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileStamp{file.path, mtimeOf(st), static_cast<qint64>(st.st_size)};
}

void sortNewestFirst(QList<FileStamp>& files)
{
    std::stable_sort(files.begin(), files.end(), [](const FileStamp& a, const FileStamp& b) { return a.mtime > b.mtime; });
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
    , m_indexPath(expandTilde(options.home) + QStringLiteral("/session_index.jsonl"))
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
    // Named before it is awaited (see AgentCollector.h).
    QFuture<Scan> work = QtConcurrent::run([this, context, now] { return scan(context, now); });
    Scan scanned = co_await work;
    noteWatchPaths(scanned.sessions, now);

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

void CodexCollector::noteWatchPaths(const QList<SessionSnapshot>& sessions, Timestamp now)
{
    // New logs appear in today's folder (or, before it exists, its nearest
    // existing parent).
    QString folder = dayFolder(now).path;
    while (folder.size() > m_sessionsDirectory.size() && !pathExists(folder))
        folder.truncate(folder.lastIndexOf(u'/'));
    QStringList paths{folder};
    QSet<QString> open;
    for (const SessionSnapshot& session : sessions)
        if (session.isOpen)
            open.insert(session.id);
    // The newest few logs too: a session that went quiet starts its next turn
    // in the same log.
    constexpr qsizetype newestWatched = 8;
    QMutexLocker locker(&m_lock);
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        const FileStamp& file = m_files[i];
        const std::optional<QString> id = codexSessionId(fileNameOf(file.path));
        if (id && (i < newestWatched || open.contains(*id)))
            paths << file.path << file.path.left(file.path.lastIndexOf(u'/'));
    }
    m_watchPaths = std::move(paths);
}

QStringList CodexCollector::watchPaths() const
{
    QMutexLocker locker(&m_lock);
    return m_watchPaths;
}

CodexCollector::Scan CodexCollector::scan(const CollectorContext& context, Timestamp now)
{
    Scan out;
    if (!pathExists(m_sessionsDirectory))
        return out;
    out.installed = true;

    const QList<FileStamp> files = newestFiles(now);
    const QHash<QString, QString> names = threadNames();
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
        const auto name = names.constFind(*id);
        session.title = codexSessionTitle(tail, *id, name != names.constEnd() ? std::optional(*name) : std::nullopt);
        out.sessions.append(std::move(session));

        if (!out.rateLimits && tail.rateLimits)
            out.rateLimits = tail.rateLimits;
    }
    return out;
}

CodexCollector::DayFolder CodexCollector::dayFolder(Timestamp now) const
{
    // Codex files a session under the local date it started.
    const QDate date = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(now.seconds() * 1000), Qt::LocalTime).date();
    DayFolder day;
    day.path = m_sessionsDirectory + date.toString(QStringLiteral("/yyyy/MM/dd"));
    struct stat st {};
    if (::stat(QFile::encodeName(day.path).constData(), &st) == 0)
        day.mtime = mtimeOf(st);
    return day;
}

QList<FileStamp> CodexCollector::newestFiles(Timestamp now)
{
    // A new session log changes the modification time of today's folder, so
    // a change there lists again at once.
    const DayFolder day = dayFolder(now);
    QList<FileStamp> kept;
    {
        QMutexLocker locker(&m_lock);
        // A clock set back also refreshes, so a listing cannot freeze until
        // the clock catches up again.
        const bool fresh = !m_files.isEmpty() && !(now - m_scannedAt > listingSeconds) && !(now < m_scannedAt)
            && day == m_dayFolder;
        if (fresh)
            kept = m_files;
    }
    if (!kept.isEmpty()) {
        // Between walks the kept files are looked at again, so a log that
        // grew is read on this very pass.
        QList<FileStamp> current;
        current.reserve(kept.size());
        for (const FileStamp& file : kept) {
            if (auto stamp = restat(file))
                current.append(std::move(*stamp));
        }
        sortNewestFirst(current);
        QMutexLocker locker(&m_lock);
        if (m_dayFolder == day)
            m_files = current;
        return current;
    }

    // The walk runs without the lock; two overlapping passes may both walk.
    QList<FileStamp> listed = jsonlFiles(m_sessionsDirectory);
    sortNewestFirst(listed);
    if (listed.size() > maxFiles)
        listed.resize(maxFiles);

    QMutexLocker locker(&m_lock);
    m_files = listed;
    m_scannedAt = now;
    m_dayFolder = day;
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

    Tail tail = parseCodexTail(
        readBounded(file.path, tailBytes, Overflow::keepTail).bytes.value_or(QByteArray()), file.mtime);
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

QHash<QString, QString> CodexCollector::threadNames()
{
    const std::optional<FileStamp> stamp = restat(FileStamp{m_indexPath, {}, 0});
    {
        QMutexLocker locker(&m_lock);
        if (stamp == m_indexStamp)
            return m_threadNames;
    }
    // The newest names are at the end, so a long index loses its oldest.
    QHash<QString, QString> names;
    if (stamp)
        names = codexThreadNames(readBounded(m_indexPath, indexBytes, Overflow::keepTail).bytes.value_or(QByteArray()));
    QMutexLocker locker(&m_lock);
    m_indexStamp = stamp;
    m_threadNames = names;
    return names;
}

void CodexCollector::updateUsage(const std::optional<QList<UsageWindowSnapshot>>& rateLimits, Timestamp now)
{
    if (rateLimits && rateLimits->isEmpty()) {
        // With an API key or another provider Codex writes "rate_limits" with
        // both windows null: there is no usage to wait for.
        m_usage = UsageSnapshot::failed(QStringLiteral("Codex recorded no usage windows"), now);
    } else if (rateLimits) {
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
