#include "KimiCodeCollector.h"

#include "KimiSession.h"
#include "KimiWireUsage.h"
#include "collection/FileRoutines.h"
#include "collection/Json.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QFile>
#include <QMutexLocker>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace vexlor {

namespace {

// The index holds one short line per session; anything larger than this is
// refused rather than read into memory.
constexpr qint64 maxIndexBytes = 64 * 1024 * 1024;
// A state file holds a title and the last prompt.
constexpr qint64 maxStateBytes = 8 * 1024 * 1024;

ProviderReport indexFailure(const QString& message, Timestamp now)
{
    ProviderReport report;
    report.installed = true;
    report.usage = UsageSnapshot::failed(message, now);
    return report;
}

// At most this many state files are watched, those of the sessions active last.
constexpr qsizetype maxWatchedStateFiles = 32;

// `watchPaths`, when given, receives the index and the newest state files.
ProviderReport runPass(const QString& dataDirectory, const Clock& clock, KimiWireCache& wireCache,
                       QStringList* watchPaths = nullptr)
{
    const QString indexPath = dataDirectory + u"/session_index.jsonl"_s;
    if (watchPaths)
        *watchPaths = QStringList{indexPath};
    struct stat st {};
    if (::lstat(QFile::encodeName(indexPath).constData(), &st) != 0)
        return {}; // not installed

    const BoundedRead read = readBounded(indexPath, maxIndexBytes, Overflow::refuse);
    if (!read.bytes)
        return indexFailure(qt_error_string(read.error), clock());
    const QByteArray& index = *read.bytes;
    if (!simdjson::validate_utf8(index.constData(), static_cast<size_t>(index.size())))
        return indexFailure(QCoreApplication::translate("KimiCodeCollector", "bad session index encoding"), clock());

    const Timestamp now = clock();
    ProviderReport report;
    report.installed = true;
    KimiUsageTotals totals;
    QSet<QString> seenIds;
    QSet<QString> wirePaths;
    QList<std::pair<Timestamp, QString>> statePaths;
    for (const json::Document& line : parseJSONLinesUtf8(index)) {
        const auto sessionDir = json::qstring(line.root(), "sessionDir");
        const auto sessionId = json::qstring(line.root(), "sessionId");
        if (!sessionDir || !sessionId)
            continue;
        // A session listed twice is one session: report it and count its
        // tokens once.
        if (seenIds.contains(*sessionId))
            continue;
        seenIds.insert(*sessionId);

        const auto stateBytes = readBounded(*sessionDir + u"/state.json"_s, maxStateBytes, Overflow::refuse).bytes;
        const KimiSessionState state = stateBytes ? parseKimiSessionState(*stateBytes) : KimiSessionState{};
        report.sessions.append(kimiSessionSnapshot(*sessionId, state, now));
        statePaths.append({report.sessions.last().activityAt, *sessionDir + u"/state.json"_s});

        const QString wirePath = *sessionDir + u"/agents/main/wire.jsonl"_s;
        if (!wirePaths.contains(wirePath)) {
            wirePaths.insert(wirePath);
            totals += kimiUsageTotals(wireCache.records(wirePath), now);
        }
    }
    wireCache.retainOnly(wirePaths);
    if (watchPaths) {
        std::stable_sort(statePaths.begin(), statePaths.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        for (qsizetype i = 0; i < statePaths.size() && i < maxWatchedStateFiles; ++i)
            watchPaths->append(statePaths[i].second);
    }

    UsageWindowSnapshot day;
    day.label = u"24h"_s;
    day.tokens = totals.last24h;
    UsageWindowSnapshot week;
    week.label = u"7d"_s;
    week.tokens = totals.last7d;
    report.usage.windows = {day, week};
    report.usage.updatedAt = now;
    return report;
}

} // namespace

KimiCodeCollector::KimiCodeCollector()
    : KimiCodeCollector(Options{defaultDataDirectory(), systemClock()})
{
}

KimiCodeCollector::KimiCodeCollector(Options options)
    : m_dataDirectory(std::move(options.dataDirectory))
    , m_clock(options.clock ? std::move(options.clock) : systemClock())
    , m_wireCache(std::make_shared<KimiWireCache>())
{
}

KimiCodeCollector::~KimiCodeCollector() = default;

QString KimiCodeCollector::providerID() const
{
    return u"kimi"_s;
}

QString KimiCodeCollector::displayName() const
{
    return u"KIMI"_s;
}

QString KimiCodeCollector::defaultDataDirectory()
{
    return expandTilde(environmentValue("KIMI_CODE_DATA_DIR").value_or(u"~/.kimi-code"_s));
}

ProviderReport KimiCodeCollector::collectBlocking() const
{
    return runPass(m_dataDirectory, m_clock, *m_wireCache);
}

QCoro::Task<ProviderReport> KimiCodeCollector::collect(CollectorContext context)
{
    Q_UNUSED(context); // Kimi sessions are never in attention.
    // The worker gets its own copies, so it never reaches back into `this`.
    auto work = [dir = m_dataDirectory, clock = m_clock, cache = m_wireCache] {
        std::pair<ProviderReport, QStringList> out;
        out.first = runPass(dir, clock, *cache, &out.second);
        return out;
    };
    QFuture<std::pair<ProviderReport, QStringList>> passing = QtConcurrent::run(std::move(work));
    std::pair<ProviderReport, QStringList> passed = co_await passing;
    {
        QMutexLocker locker(&m_watchLock);
        m_watchPaths = std::move(passed.second);
    }
    co_return std::move(passed.first);
}

QStringList KimiCodeCollector::watchPaths() const
{
    QMutexLocker locker(&m_watchLock);
    return m_watchPaths;
}

} // namespace vexlor
