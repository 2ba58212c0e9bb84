#include "hub/CollectorHub.h"

#include "hub/ChangeWatcher.h"
#include "hub/ReportMapping.h"
#include "deck/DeckModel.h"
#include "deck/PreferencesStore.h"
#include "sync/DeckSyncContracts.h"

#include <QJsonObject>

namespace vexlor {

namespace {

// Lets a started task run on by itself: a QCoro task that is dropped before it
// finishes frees its own frame when it completes.
void detach(QCoro::Task<void> task)
{
    Q_UNUSED(task);
}

} // namespace

CollectorHub::CollectorHub(DeckModel* model, PreferencesStore& preferences, DeckSyncPublishing* sync,
                           Options options, QObject* parent)
    : QObject(parent)
    , m_model(model)
    , m_clock(options.clock ? std::move(options.clock) : systemClock())
    , m_preferences(preferences)
    , m_allowNetwork(std::move(options.allowNetwork))
    , m_interval(options.interval)
    , m_sync(sync)
{
    for (auto& c : options.collectors)
        m_collectors.push_back(std::shared_ptr<AgentCollector>(std::move(c)));
    m_attentionSince = m_clock();
    loadAcknowledged();

    if (options.watchFiles) {
        m_watcher = std::make_unique<ChangeWatcher>();
        connect(m_watcher.get(), &ChangeWatcher::changed, this, &CollectorHub::requestPass);
    }

    if (m_model) {
        QPointer<CollectorHub> self(this);
        m_model->setOnAcknowledge([self](const QString& providerID) {
            if (self)
                self->acknowledge(providerID);
        });
    }
}

CollectorHub::~CollectorHub() = default;

void CollectorHub::start()
{
    if (m_running)
        return;
    m_running = true;
    // The wait between passes is a single-shot timer owned by the hub rather
    // than a suspended coroutine: nothing is left waiting when the hub or the
    // program goes away, and the wait is counted from the end of each pass on
    // Qt's monotonic timers. A coarse timer lets the wake-up share its moment
    // with the deck's other timers; a pass a few milliseconds late is no loss.
    m_pollTimer.setSingleShot(true);
    m_pollTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_pollTimer, &QTimer::timeout, this, &CollectorHub::requestPass);
    requestPass();
}

QStringList CollectorHub::watchedPaths() const
{
    return m_watcher ? m_watcher->watched() : QStringList{};
}

void CollectorHub::requestPass()
{
    if (m_passRunning) {
        m_passPending = true;
        return;
    }
    startPass();
}

void CollectorHub::startPass()
{
    m_passRunning = true;
    m_passPending = false;
    ++m_passesStarted;
    m_pollTimer.stop();
    QPointer<CollectorHub> self(this);
    detach(runPass().then([self] {
        if (self)
            self->passEnded();
    }));
}

void CollectorHub::passEnded()
{
    m_passRunning = false;
    ++m_passesFinished;
    if (m_passPending)
        startPass();
    else if (m_running)
        m_pollTimer.start(m_interval);
    emit passFinished();

    QList<std::coroutine_handle<>> answered;
    for (auto it = m_waiters.begin(); it != m_waiters.end();) {
        if (it->first <= m_passesFinished) {
            answered.append(it->second);
            it = m_waiters.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& waiter : answered)
        waiter.resume();
}

QCoro::Task<void> CollectorHub::refresh()
{
    // The pass that answers: the one starting now, or the one queued behind
    // the pass running now.
    const quint64 answering = m_passesStarted + 1;
    requestPass();
    struct Answer {
        CollectorHub* hub;
        quint64 pass;
        bool await_ready() const noexcept { return hub->m_passesFinished >= pass; }
        void await_suspend(std::coroutine_handle<> waiter) { hub->m_waiters.append({pass, waiter}); }
        void await_resume() const noexcept {}
    };
    co_await Answer{this, answering};
}

QCoro::Task<void> CollectorHub::runPass()
{
    CollectorContext context;
    context.attentionSince = m_attentionSince;
    context.acknowledged = m_acknowledged;
    context.allowNetwork = m_allowNetwork && m_allowNetwork();

    // The collectors stay alive for this pass even if the hub goes away
    // while one of them is waiting.
    const auto collectors = m_collectors;
    QPointer<CollectorHub> self(this);
    QList<ProviderReport> reports;
    reports.reserve(static_cast<qsizetype>(collectors.size()));
    // All collectors start at once and are awaited in order: one waiting on
    // its online fetch holds back no other, and their file work overlaps on
    // the thread pool. (Each task is named before it is awaited, as
    // AgentCollector.h explains.)
    std::vector<QCoro::Task<ProviderReport>> tasks;
    tasks.reserve(collectors.size());
    for (const auto& collector : collectors)
        tasks.push_back(collector->collect(context));
    for (auto& task : tasks)
        reports.append(co_await std::move(task));
    if (!self)
        co_return;
    // Watched before the deck shows this pass, so that a change made by
    // someone who saw it is never missed.
    if (m_watcher) {
        QStringList paths;
        for (const auto& collector : collectors)
            paths += collector->watchPaths();
        m_watcher->watch(paths);
    }
    apply(reports);
}

void CollectorHub::apply(const QList<ProviderReport>& reports)
{
    m_attentionKeys.clear();
    QList<Agent> agents;
    QList<ProviderUsage> usage;
    const Timestamp now = m_clock();
    QHash<QString, Timestamp> sessionWorkingSince;
    for (size_t i = 0; i < m_collectors.size() && i < static_cast<size_t>(reports.size()); ++i) {
        const auto& collector = m_collectors[i];
        const ProviderReport& report = reports[static_cast<qsizetype>(i)];
        const QString id = collector->providerID();

        QStringList keys;
        bool working = false;
        for (const auto& s : report.sessions) {
            if (s.state == SessionState::attention)
                keys << s.key;
            working = working || s.state == SessionState::working;
        }
        m_attentionKeys.insert(id, keys);

        if (report.installed && working) {
            if (!m_workingSince.contains(id))
                m_workingSince.insert(id, now);
        } else {
            m_workingSince.remove(id);
        }

        std::optional<Timestamp> startedAt;
        if (auto it = m_workingSince.constFind(id); it != m_workingSince.constEnd())
            startedAt = *it;
        MappedProvider mapped = mapReport(id, collector->displayName(), report, startedAt);
        if (report.installed) {
            for (const auto& s : report.sessions) {
                if (s.state == SessionState::working)
                    sessionWorkingSince.insert(s.key, m_sessionWorkingSince.value(s.key, now));
            }
        }
        // A working row counts from when its session began working, not from
        // its last activity.
        for (AgentSession& row : mapped.agent.openSessions) {
            if (row.state == AgentSession::State::working && sessionWorkingSince.contains(row.id))
                row.since = sessionWorkingSince.value(row.id);
        }
        agents.append(mapped.agent);
        usage.append(mapped.usage);
    }

    m_sessionWorkingSince = std::move(sessionWorkingSince);

    if (m_model)
        m_model->update(agents, usage);
    const DeckSnapshot snapshot = DeckSnapshot::from(agents, usage, now);
    if (m_sync)
        m_sync->publish(snapshot);
    emit passApplied(snapshot);
}

void CollectorHub::acknowledge(const QString& providerID)
{
    const Timestamp now = m_clock();
    for (const QString& key : m_attentionKeys.value(providerID))
        m_acknowledged.insert(key, now);
    const Timestamp cutoff = now - kAcknowledgementLifetime;
    for (auto it = m_acknowledged.begin(); it != m_acknowledged.end();) {
        if (!(it.value() > cutoff))
            it = m_acknowledged.erase(it);
        else
            ++it;
    }
    saveAcknowledged();
    requestPass();
}

void CollectorHub::loadAcknowledged()
{
    m_acknowledged.clear();
    const auto stored = m_preferences.dictionary(QString::fromLatin1(kAcknowledgedKey));
    if (!stored)
        return;
    QHash<QString, Timestamp> loaded;
    for (auto it = stored->constBegin(); it != stored->constEnd(); ++it) {
        if (!it.value().isDouble())
            return; // one bad value discards the whole map
        loaded.insert(it.key(), Timestamp::fromSeconds(it.value().toDouble()));
    }
    m_acknowledged = std::move(loaded);
}

void CollectorHub::saveAcknowledged()
{
    QMap<QString, double> out;
    for (auto it = m_acknowledged.cbegin(); it != m_acknowledged.cend(); ++it)
        out.insert(it.key(), it.value().seconds());
    m_preferences.setDoubleDictionary(QString::fromLatin1(kAcknowledgedKey), out);
}

} // namespace vexlor
