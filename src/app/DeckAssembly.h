#pragma once
// The program's working parts, made one way for the deck, the headless mode
// and the demonstration (which only points the agent folders elsewhere): the
// collectors, the model, the sync publisher and the hub, over the preferences
// and settings the caller owns. Nothing below this folder creates any of them.

#include "collection/AgentCollector.h"
#include "sync/FleetSource.h"

#include <chrono>
#include <memory>
#include <vector>

namespace vexlor {

class AppSettings;
class CollectorHub;
class DeckModel;
class DeckSyncFanOut;
class DeckSyncService;
class PreferencesStore;

class DeckAssembly {
public:
    struct Options {
        // Empty: the four agent tools' collectors in their fixed order.
        std::vector<std::unique_ptr<AgentCollector>> collectors;
        std::chrono::milliseconds interval{3000};
        // A fleet to join (null: none). Its acknowledgement requests go to
        // the hub. A broker link gets every snapshot besides the folder
        // store; a folder fleet has the folder store write this host's key.
        std::unique_ptr<FleetSource> fleet;
    };

    DeckAssembly(PreferencesStore& store, AppSettings& settings, Options options);
    ~DeckAssembly();

    // One collector per agent tool, in the deck's order.
    [[nodiscard]] static std::vector<std::unique_ptr<AgentCollector>> agentCollectors();

    [[nodiscard]] DeckModel& model() { return *m_model; }
    [[nodiscard]] DeckSyncService& sync() { return *m_sync; }
    [[nodiscard]] CollectorHub& hub() { return *m_hub; }
    [[nodiscard]] FleetSource* fleet() const { return m_fleet.get(); }

private:
    std::unique_ptr<DeckModel> m_model;
    std::unique_ptr<DeckSyncService> m_sync;
    std::unique_ptr<FleetSource> m_fleet;
    std::unique_ptr<DeckSyncFanOut> m_fanOut;
    std::unique_ptr<CollectorHub> m_hub;
};

} // namespace vexlor
