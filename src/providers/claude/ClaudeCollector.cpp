#include "ClaudeCollector.h"

#include "ClaudeSessionRules.h"
#include "ClaudeStatusFile.h"
#include "collection/FileRoutines.h"

#include <QCoroFuture>
#include <QFile>
#include <QMutexLocker>
#include <QtConcurrent/QtConcurrentRun>

#include <dirent.h>
#include <sys/stat.h>

namespace vexlor {

namespace {

constexpr double listingInterval = 30;
constexpr double extraListingInterval = 5;
constexpr double spendInterval = 60;
// At most this much of a transcript's end is read for a session.
constexpr qint64 tailBytes = 786432;
// Status files are a few hundred bytes; anything far larger is not one.
constexpr qint64 maxStatusFileBytes = 1024 * 1024;

// The direct entries of `directory` whose names end in ".json", in the order
// the file system gives them. No value when it cannot be listed.
std::optional<QList<QString>> statusFileNames(const QString& directory)
{
    DIR* dir = ::opendir(QFile::encodeName(directory).constData());
    if (!dir)
        return std::nullopt;
    QList<QString> names;
    while (const struct dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.size() >= 5 && name.substr(name.size() - 5) == ".json")
            names.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(dir);
    return names;
}

ClaudeUsageFetcher::Options onlineOptions(const ClaudeCollectorOptions& options, const Clock& clock)
{
    ClaudeUsageFetcher::Options online;
    if (options.online)
        online = *options.online;
    else
        online.tokenSources = ClaudeTokenSources::system(options.configDirectory);
    online.clock = clock;
    return online;
}

} // namespace

ClaudeCollector::ClaudeCollector()
    : ClaudeCollector([] {
        ClaudeCollectorOptions options;
        options.configDirectory = configDirectoryFromEnvironment();
        return options;
    }())
{
}

ClaudeCollector::ClaudeCollector(ClaudeCollectorOptions options)
    // Copied, not moved: the online options below still need the folder
    // for the credentials file.
    : m_configDirectory(options.configDirectory)
    , m_clock(options.clock ? std::move(options.clock) : systemClock())
    , m_processAlive(options.processAlive ? std::move(options.processAlive) : ProcessProbe(processIsAlive))
    , m_online(onlineOptions(options, m_clock))
    , m_spendScanner(m_clock)
{
}

ClaudeCollector::~ClaudeCollector() = default;

QString ClaudeCollector::providerID() const
{
    return QStringLiteral("claude");
}

QString ClaudeCollector::displayName() const
{
    return QStringLiteral("CLAUDE");
}

QString ClaudeCollector::configDirectoryFromEnvironment()
{
    if (qEnvironmentVariableIsSet("CLAUDE_CONFIG_DIR"))
        return expandTilde(qEnvironmentVariable("CLAUDE_CONFIG_DIR"));
    return expandTilde(QStringLiteral("~/.claude"));
}

qint64 ClaudeCollector::tailsRead() const
{
    QMutexLocker locker(&m_lock);
    return m_tailsRead;
}

QCoro::Task<ProviderReport> ClaudeCollector::collect(CollectorContext context)
{
    // The jobs are named before they are awaited (see AgentCollector.h).
    const Timestamp now = m_clock();
    QFuture<Prepared> preparing = QtConcurrent::run(
        [this, now, allowNetwork = context.allowNetwork] { return prepare(now, allowNetwork); });
    const Prepared prepared = co_await preparing;
    if (!prepared.installed)
        co_return ProviderReport{};
    if (prepared.fetchDue)
        co_await refreshOnlineUsage();
    QFuture<ProviderReport> finishing = QtConcurrent::run(
        [this, now, context, listing = prepared.listing] { return finish(now, context, listing); });
    ProviderReport report = co_await finishing;
    noteWatchPaths(report);
    co_return report;
}

void ClaudeCollector::noteWatchPaths(const ProviderReport& report)
{
    // Status files are few and small; dead ones left behind only hold a slot.
    constexpr qsizetype maxStatusFiles = 64;
    const QString directory = m_configDirectory + QStringLiteral("/sessions");
    QStringList paths{directory};
    const auto names = statusFileNames(directory);
    for (qsizetype i = 0; names && i < names->size() && i < maxStatusFiles; ++i)
        paths.append(directory + u'/' + names->at(i));
    QMutexLocker locker(&m_lock);
    const auto& index = m_projectFiles.index; // as the latest lookup left it
    for (const SessionSnapshot& session : report.sessions)
        if (const auto it = index.constFind(session.id); session.isOpen && it != index.constEnd())
            paths.append(it->path);
    m_watchPaths = std::move(paths);
}

QStringList ClaudeCollector::watchPaths() const
{
    QMutexLocker locker(&m_lock);
    return m_watchPaths;
}

ClaudeCollector::Prepared ClaudeCollector::prepare(Timestamp now, bool allowNetwork)
{
    Prepared prepared;
    if (!pathExists(m_configDirectory))
        return prepared; // not installed; nothing else is done
    prepared.installed = true;

    bool listingDue = false;
    {
        QMutexLocker locker(&m_lock);
        listingDue = m_projectFiles.files.isEmpty() || now - m_projectsScannedAt > listingInterval;
    }
    if (listingDue) {
        // The walk runs without the lock; an overlapping pass may walk too,
        // and the listing of the later pass is the one kept.
        Listing fresh;
        fresh.files = jsonlFiles(m_configDirectory + QStringLiteral("/projects"));
        fresh.index = claudeTranscriptIndex(fresh.files);
        QMutexLocker locker(&m_lock);
        storeListing(std::move(fresh), now);
    }

    // The gate: with access off the usage says so and switching on fetches at
    // once; a due fetch moves the fetch time now, so an overlapping pass finds
    // the gate closed.
    CollectorContext gateContext;
    gateContext.allowNetwork = allowNetwork;
    prepared.fetchDue = m_online.gate(now, gateContext);
    QMutexLocker locker(&m_lock);
    prepared.listing = m_projectFiles;
    return prepared;
}

void ClaudeCollector::storeListing(Listing listing, Timestamp now)
{
    if (!m_projectFiles.files.isEmpty() && now < m_projectsScannedAt)
        return;
    m_projectFiles = std::move(listing);
    m_projectsScannedAt = now;
}

std::optional<FileStamp> ClaudeCollector::findTranscript(const ClaudeStatusFile& status, Timestamp now)
{
    if (status.cwd && !status.cwd->isEmpty()) {
        const QString path = m_configDirectory + QStringLiteral("/projects/") + claudeProjectFolder(*status.cwd)
            + u'/' + status.sessionId + QStringLiteral(".jsonl");
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode))
            return FileStamp{path, mtimeOf(st), static_cast<qint64>(st.st_size)};
    }
    {
        // A session whose transcript is nowhere yet (a prompt not yet sent)
        // walks the folders at most this often.
        QMutexLocker locker(&m_lock);
        if (!(now - m_projectsScannedAt > extraListingInterval) && !(now < m_projectsScannedAt))
            return std::nullopt;
    }
    Listing fresh;
    fresh.files = jsonlFiles(m_configDirectory + QStringLiteral("/projects"));
    fresh.index = claudeTranscriptIndex(fresh.files);
    const auto found = fresh.index.constFind(status.sessionId);
    std::optional<FileStamp> transcript;
    if (found != fresh.index.constEnd())
        transcript = *found;
    QMutexLocker locker(&m_lock);
    storeListing(std::move(fresh), now);
    return transcript;
}

QCoro::Task<void> ClaudeCollector::refreshOnlineUsage()
{
    co_await m_online.fetch();
}

ProviderReport ClaudeCollector::finish(Timestamp now, const CollectorContext& context, const Listing& listing)
{
    ProviderReport report;
    report.installed = true;
    report.sessions = buildSessions(listing.index, context, now);

    bool spendDue = false;
    {
        QMutexLocker locker(&m_lock);
        if (now - m_spendScannedAt > spendInterval) {
            m_spendScannedAt = now;
            spendDue = true;
        }
    }
    if (spendDue) {
        const SpendSnapshot spend = m_spendScanner.scan(listing.files);
        QMutexLocker locker(&m_lock);
        if (!m_spend.updatedAt || !spend.updatedAt || *m_spend.updatedAt <= *spend.updatedAt)
            m_spend = spend;
    }

    report.usage = m_online.usage();
    QMutexLocker locker(&m_lock);
    report.spend = m_spend;
    return report;
}

QList<SessionSnapshot> ClaudeCollector::buildSessions(const QHash<QString, FileStamp>& index,
                                                      const CollectorContext& context, Timestamp now)
{
    QList<SessionSnapshot> sessions;
    const QString directory = m_configDirectory + QStringLiteral("/sessions");
    const auto names = statusFileNames(directory);
    if (!names)
        return sessions;

    QSet<QString> tailsUsed;
    for (const QString& name : *names) {
        const auto bytes = readBounded(directory + u'/' + name, maxStatusFileBytes, Overflow::refuse).bytes;
        if (!bytes)
            continue;
        const auto status = parseClaudeStatusFile(*bytes);
        if (!status || !m_processAlive(status->pid))
            continue;

        std::optional<FileStamp> transcript;
        if (const auto listed = index.constFind(status->sessionId); listed != index.constEnd())
            transcript = *listed;
        else
            transcript = findTranscript(*status, now);
        ClaudeSessionFacts facts;
        facts.key = QStringLiteral("claude:") + status->sessionId;
        facts.status = status->status;
        if (transcript)
            facts.tail = tailOf(*transcript, tailsUsed);
        facts.activityAt = claudeActivityTime(*status, facts.tail,
                                              transcript ? std::optional(transcript->mtime) : std::nullopt);
        facts.statusAt = claudeStatusTime(*status, facts.activityAt);
        const ClaudeClassification classification = classifyClaudeSession(facts, context, m_clock());

        SessionSnapshot session;
        session.key = facts.key;
        session.id = status->sessionId;
        session.state = classification.state;
        session.isOpen = true;
        session.activityAt = facts.activityAt;
        session.completionAt = classification.completionAt;
        session.model = facts.tail.lastModel;
        session.title = claudeSessionTitle(*status, facts.tail.aiTitle);
        sessions.append(std::move(session));
    }

    QMutexLocker locker(&m_lock);
    for (auto it = m_tailCache.begin(); it != m_tailCache.end();) {
        if (tailsUsed.contains(it.key()))
            ++it;
        else
            it = m_tailCache.erase(it);
    }
    return sessions;
}

ClaudeTail ClaudeCollector::tailOf(const FileStamp& transcript, QSet<QString>& used)
{
    struct stat st {};
    if (::stat(QFile::encodeName(transcript.path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {}; // gone since the listing, or not a file: an empty tail
    used.insert(transcript.path);
    const CachedTail key{FileIdentity::of(st), transcript.mtime, {}};
    {
        QMutexLocker locker(&m_lock);
        const auto it = m_tailCache.constFind(transcript.path);
        if (it != m_tailCache.constEnd() && it->file == key.file && it->fallback == key.fallback)
            return it->tail;
    }

    CachedTail entry = key;
    entry.tail = parseClaudeTail(
        readBounded(transcript.path, tailBytes, Overflow::keepTail).bytes.value_or(QByteArray()), transcript.mtime);
    QMutexLocker locker(&m_lock);
    ++m_tailsRead;
    m_tailCache.insert(transcript.path, entry);
    return entry.tail;
}

} // namespace vexlor
