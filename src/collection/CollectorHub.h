#pragma once
// Drives collection: owns the four provider collectors, runs one pass every
// few seconds, hands every collector the same context, turns the reports into
// the deck's agents and usage tiles, writes them into the deck model and gives
// each new deck to the sync publisher. Between passes it remembers since when
// each provider has been working, which sessions need the user, and which the
// user acknowledged (persisted in the preferences). Main thread only.

#include "collection/AgentCollector.h"
#include "sync/DeckSnapshot.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace vexlor {

class DeckModel;
class DeckSyncPublishing;
class KVSDeckSyncService;
class PreferencesStore;

class CollectorHub : public QObject {
    Q_OBJECT

public:
    static constexpr auto kAcknowledgedKey = "CollectorAcknowledged";
    static constexpr double kAcknowledgementLifetime = 1209600; // 14 days

    struct Options {
        // Empty: the four real collectors in their fixed order.
        std::vector<std::unique_ptr<AgentCollector>> collectors;
        Clock clock = systemClock();
        // Null: the shared preferences store.
        PreferencesStore* preferences = nullptr;
        // Null: the shared settings' online-access switch, read on every pass.
        std::function<bool()> allowNetwork;
        std::chrono::milliseconds interval{3000};
    };

    // `sync` null: a sync service on the default key-value store, owned here.
    explicit CollectorHub(DeckModel* model, DeckSyncPublishing* sync = nullptr, QObject* parent = nullptr);
    CollectorHub(DeckModel* model, DeckSyncPublishing* sync, Options options, QObject* parent = nullptr);
    ~CollectorHub() override;

    // Starts the polling loop once; later calls do nothing.
    void start();
    // One pass: collect, map, write into the model, publish.
    QCoro::Task<void> refresh();
    // Acknowledges every session of `providerID` that was in attention on the
    // last applied pass, prunes old entries, saves, and runs a pass at once.
    void acknowledge(const QString& providerID);

    [[nodiscard]] Timestamp attentionSince() const { return m_attentionSince; }
    [[nodiscard]] const QHash<QString, Timestamp>& acknowledged() const { return m_acknowledged; }
    [[nodiscard]] const QHash<QString, Timestamp>& workingSince() const { return m_workingSince; }
    [[nodiscard]] const QHash<QString, QStringList>& attentionKeys() const { return m_attentionKeys; }
    [[nodiscard]] bool isRunning() const { return m_running; }

signals:
    // After every applied pass, with the snapshot handed to the publisher.
    void passApplied(const vexlor::DeckSnapshot& snapshot);

private:
    void pollOnce();
    void apply(const QList<ProviderReport>& reports);
    void loadAcknowledged();
    void saveAcknowledged();
    [[nodiscard]] PreferencesStore& preferences() const;

    QPointer<DeckModel> m_model;
    std::vector<std::shared_ptr<AgentCollector>> m_collectors;
    Clock m_clock;
    PreferencesStore* m_preferences = nullptr;
    std::function<bool()> m_allowNetwork;
    std::chrono::milliseconds m_interval;
    std::unique_ptr<KVSDeckSyncService> m_ownedSync;
    DeckSyncPublishing* m_sync = nullptr;

    Timestamp m_attentionSince;
    QHash<QString, Timestamp> m_acknowledged;
    QHash<QString, Timestamp> m_workingSince;
    QHash<QString, QStringList> m_attentionKeys;
    QTimer m_pollTimer;
    bool m_running = false;
};

} // namespace vexlor
