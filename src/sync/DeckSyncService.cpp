#include "DeckSyncService.h"

#include "DirectoryKeyValueStore.h"
#include "LineLog.h"
#include "SnapshotJson.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace vexlor {
namespace {

const auto kPrefix = u"[DeckSync] "_s;

} // namespace

DeckSyncService::DeckSyncService(std::unique_ptr<KeyValueStore> store, double minimumWriteInterval,
                                       QObject* parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_minimumWriteInterval(std::isfinite(minimumWriteInterval) ? std::max(0.0, minimumWriteInterval) : 0.0)
    , m_log(standardErrorLog())
    , m_clock(systemClock())
    , m_scheduler(timerScheduler())
{
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &DeckSyncService::flushPending);
}

DeckSyncService::~DeckSyncService() = default;

std::unique_ptr<DeckSyncService> DeckSyncService::createDefault(QObject* parent)
{
    return std::make_unique<DeckSyncService>(
        std::make_unique<DirectoryKeyValueStore>(DirectoryKeyValueStore::defaultDirectory()),
        defaultMinimumWriteInterval, parent);
}

QString DeckSyncService::storeKey()
{
    return u"deck.snapshot.v1"_s;
}

DeckSyncService::LogSink DeckSyncService::standardErrorLog()
{
    return standardErrorLines();
}

DeckSyncService::Scheduler DeckSyncService::timerScheduler()
{
    // A QTimer runs on the monotonic clock and drops the call once the guard
    // object is gone. Precise, because a coarse timer may fire a little early
    // and so write sooner than the interval allows.
    return [](std::chrono::milliseconds delay, QObject* guard, std::function<void()> task) {
        QTimer::singleShot(delay, Qt::PreciseTimer, guard, std::move(task));
    };
}

void DeckSyncService::setLogSink(LogSink sink)
{
    m_log = std::move(sink);
}

void DeckSyncService::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

void DeckSyncService::setScheduler(Scheduler scheduler)
{
    m_scheduler = std::move(scheduler);
}

void DeckSyncService::log(const QString& line) const
{
    if (m_log)
        m_log(kPrefix + line);
}

void DeckSyncService::publish(const DeckSnapshot& snapshot)
{
    const double elapsed = m_lastWriteAt ? m_clock() - *m_lastWriteAt : std::numeric_limits<double>::infinity();
    const bool due = m_rewriteUnchangedAfter && elapsed >= *m_rewriteUnchangedAfter;
    if (m_lastPublishedContent && *m_lastPublishedContent == snapshot.content && !due)
        return;
    m_pendingSnapshot = snapshot;

    if (elapsed >= m_minimumWriteInterval) {
        // A flush still scheduled would otherwise write again within the
        // interval after this one.
        cancelScheduledFlush();
        flush();
        return;
    }
    if (!m_flushScheduled)
        scheduleFlush(m_minimumWriteInterval - elapsed);
}

void DeckSyncService::flushPending()
{
    if (!m_pendingSnapshot)
        return;
    cancelScheduledFlush();
    flush();
}

void DeckSyncService::scheduleFlush(double delaySeconds)
{
    // A wall clock set back makes "elapsed" negative; never wait longer than
    // one interval because of it.
    delaySeconds = std::clamp(delaySeconds, 0.0, m_minimumWriteInterval);
    m_flushScheduled = true;
    const quint64 generation = ++m_flushGeneration;
    QPointer<DeckSyncService> self(this);
    m_scheduler(std::chrono::milliseconds(static_cast<qint64>(std::ceil(delaySeconds * 1000.0))), this,
                [self, generation] {
                    if (!self || !self->m_flushScheduled || self->m_flushGeneration != generation)
                        return;
                    self->m_flushScheduled = false;
                    self->flush();
                });
}

void DeckSyncService::cancelScheduledFlush()
{
    if (m_flushScheduled) {
        m_flushScheduled = false;
        ++m_flushGeneration;
    }
}

void DeckSyncService::flush()
{
    if (!m_pendingSnapshot)
        return;
    const DeckSnapshot snapshot = std::move(*m_pendingSnapshot);
    m_pendingSnapshot.reset();

    if (!m_store->hasIdentity()) {
#ifdef Q_OS_MACOS
        log(u"no iCloud identity token — check the iCloud capability and that this device is signed in"_s);
#else
        const QString problem = m_store->identityProblem();
        log(problem.isEmpty() ? u"no place to write the snapshot under"_s : problem);
#endif
    }

    const SnapshotEncoding encoded = SnapshotJson::encode(snapshot);
    if (!encoded.bytes) {
        log(u"encode failed: "_s + encoded.error);
        return;
    }
    if (encoded.bytes->size() > maximumSnapshotBytes)
        return;

    const KeyValueWrite written = m_store->setValue(m_key, *encoded.bytes);
    if (!written.ok) {
        // Not published: the content stays unpublished so it is tried again,
        // and the attempt counts towards the interval so a failing store is
        // retried once per interval rather than after every pass.
        log(u"write failed: "_s + written.error);
        m_lastWriteAt = m_clock();
        if (!m_pendingSnapshot)
            m_pendingSnapshot = snapshot;
        if (!m_flushScheduled)
            scheduleFlush(m_minimumWriteInterval);
        return;
    }
    const KeyValueWrite synced = m_store->synchronize();
    if (!synced.ok)
        log(u"synchronize failed: "_s + synced.error);

    m_lastPublishedContent = snapshot.content;
    m_lastWriteAt = m_clock();
    log(u"published %1 B"_s.arg(encoded.bytes->size()));
}

void DeckSyncService::handleExternalChange(const std::optional<QStringList>& changedKeys)
{
    if (changedKeys && !changedKeys->contains(m_key))
        return;
    QMetaObject::invokeMethod(this, &DeckSyncService::fetch, Qt::QueuedConnection);
}

bool DeckSyncService::observeStore()
{
    if (!m_observing) {
        m_observing = true;
        connect(m_store.get(), &KeyValueStore::changedExternally, this,
                [this](const QStringList& keys) { handleExternalChange(keys); });
    }
    return m_store->startObserving();
}

void DeckSyncService::fetch()
{
    const KeyValueRead read = m_store->value(m_key);
    if (!read.value) {
        if (!read.error.isEmpty())
            log(u"read failed: "_s + read.error);
        return;
    }
    const SnapshotDecoding decoded = SnapshotJson::decode(*read.value);
    // The version is checked before the shape, so a newer writer whose shape
    // this build does not know is reported as newer, not as broken.
    const std::optional<qint64> version = decoded.snapshot ? std::optional(decoded.snapshot->version) : decoded.version;
    if (version && *version > DeckSnapshot::currentVersion) {
        log(u"ignoring snapshot v%1; this build speaks v%2"_s.arg(*version).arg(DeckSnapshot::currentVersion));
        return;
    }
    if (!decoded.snapshot) {
        log(u"decode failed: "_s + decoded.error);
        return;
    }
    if (m_lastReceivedAt && decoded.snapshot->capturedAt <= *m_lastReceivedAt)
        return;
    m_lastReceivedAt = decoded.snapshot->capturedAt;
    if (m_onChange)
        m_onChange(*decoded.snapshot);
}

} // namespace vexlor
