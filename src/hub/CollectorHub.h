#pragma once
// Drives collection: owns the provider collectors it is given, runs a pass when a
// file the collectors read changes and every few seconds besides, hands every
// collector the same context, turns the reports into the deck's agents and
// usage tiles, writes them into the deck model and gives each new deck to the
// sync publisher. Passes run one at a time: one requested while another runs
// (by a change, an acknowledgement or the poll) runs once, right after it, so
// the deck always shows the newest pass. Between passes it remembers since
// when each provider has been working, which sessions need the user, and which
// the user acknowledged (persisted in the preferences). Main thread only.

#include "collection/AgentCollector.h"
#include "sync/DeckSnapshot.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <coroutine>
#include <functional>
#include <memory>
#include <vector>

namespace vexlor {

class ChangeWatcher;
class DeckModel;
class DeckSyncPublishing;
class PreferencesStore;

class CollectorHub : public QObject {
    Q_OBJECT

public:
    static constexpr auto kAcknowledgedKey = "CollectorAcknowledged";
    static constexpr double kAcknowledgementLifetime = 1209600; // 14 days

    struct Options {
        // Run in this order on every pass.
        std::vector<std::unique_ptr<AgentCollector>> collectors;
        Clock clock = systemClock();
        // Whether collectors may go online, read on every pass (null: never).
        std::function<bool()> allowNetwork;
        std::chrono::milliseconds interval{3000};
        // Runs a pass when a path a collector named changes.
        bool watchFiles = true;
    };

    // Acknowledgements are kept in `preferences`; every applied deck goes to
    // `sync` unless it is null. Both must outlive the hub.
    CollectorHub(DeckModel* model, PreferencesStore& preferences, DeckSyncPublishing* sync, Options options,
                 QObject* parent = nullptr);
    ~CollectorHub() override;

    // Starts the polling loop once; later calls do nothing.
    void start();
    // Asks for a pass: starts one at once, or, while one runs, once after it
    // (any number of requests meanwhile make one pass).
    void requestPass();
    // Requests a pass and ends when a pass started after the request has
    // been applied (collect, map, write into the model, publish).
    QCoro::Task<void> refresh();
    // Acknowledges every session of `providerID` that was in attention on the
    // last applied pass, prunes old entries, saves, and requests a pass.
    void acknowledge(const QString& providerID);

    [[nodiscard]] Timestamp attentionSince() const { return m_attentionSince; }
    [[nodiscard]] const QHash<QString, Timestamp>& acknowledged() const { return m_acknowledged; }
    [[nodiscard]] const QHash<QString, Timestamp>& workingSince() const { return m_workingSince; }
    [[nodiscard]] const QHash<QString, QStringList>& attentionKeys() const { return m_attentionKeys; }
    [[nodiscard]] bool isRunning() const { return m_running; }
    // The paths watched for changes now (empty without watching).
    [[nodiscard]] QStringList watchedPaths() const;

signals:
    // After every applied pass, with the snapshot handed to the publisher.
    void passApplied(const vexlor::DeckSnapshot& snapshot);
    // After every pass, applied or not.
    void passFinished();

private:
    void startPass();
    void passEnded();
    QCoro::Task<void> runPass();
    void apply(const QList<ProviderReport>& reports);
    void loadAcknowledged();
    void saveAcknowledged();

    QPointer<DeckModel> m_model;
    std::vector<std::shared_ptr<AgentCollector>> m_collectors;
    Clock m_clock;
    PreferencesStore& m_preferences;
    std::function<bool()> m_allowNetwork;
    std::chrono::milliseconds m_interval;
    DeckSyncPublishing* m_sync = nullptr;

    Timestamp m_attentionSince;
    QHash<QString, Timestamp> m_acknowledged;
    QHash<QString, Timestamp> m_workingSince;
    // Since when each working session (by key) has been working without a
    // break; its row's time, so that a lone working session reads the same
    // as its provider's working time.
    QHash<QString, Timestamp> m_sessionWorkingSince;
    QHash<QString, QStringList> m_attentionKeys;
    QTimer m_pollTimer;
    bool m_running = false;
    bool m_passRunning = false;
    bool m_passPending = false;
    quint64 m_passesStarted = 0;
    quint64 m_passesFinished = 0;
    std::unique_ptr<ChangeWatcher> m_watcher;
    // refresh() calls waiting for a pass: the number of the pass that
    // answers each, resumed when it has finished.
    QList<std::pair<quint64, std::coroutine_handle<>>> m_waiters;
};

} // namespace vexlor
