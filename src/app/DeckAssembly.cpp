#include "DeckAssembly.h"

#include "deck/AppSettings.h"
#include "deck/DeckModel.h"
#include "hub/CollectorHub.h"
#include "providers/claude/ClaudeCollector.h"
#include "providers/codex/CodexCollector.h"
#include "providers/kimi/KimiCodeCollector.h"
#include "providers/opencode/OpenCodeCollector.h"
#include "sync/DeckSyncFanOut.h"
#include "sync/DeckSyncService.h"
#include "sync/FleetLink.h"
#include "sync/FolderFleet.h"

namespace vexlor {

std::vector<std::unique_ptr<AgentCollector>> DeckAssembly::agentCollectors()
{
    std::vector<std::unique_ptr<AgentCollector>> list;
    list.push_back(std::make_unique<ClaudeCollector>());
    list.push_back(std::make_unique<CodexCollector>());
    list.push_back(std::make_unique<OpenCodeCollector>());
    list.push_back(std::make_unique<KimiCodeCollector>());
    return list;
}

DeckAssembly::DeckAssembly(PreferencesStore& store, AppSettings& settings, Options options)
    : m_model(DeckModel::placeholder(store))
    , m_sync(DeckSyncService::createDefault())
    , m_fleet(std::move(options.fleet))
{
    DeckSyncPublishing* publisher = m_sync.get();
    if (auto* link = qobject_cast<FleetLink*>(m_fleet.get())) {
        m_fanOut = std::make_unique<DeckSyncFanOut>(std::vector<DeckSyncPublishing*>{m_sync.get(), link});
        publisher = m_fanOut.get();
    }
    if (auto* folder = qobject_cast<FolderFleet*>(m_fleet.get())) {
        // Its own key, so that hosts sharing the folder never write one
        // file; rewritten now and then so the others can tell it is alive.
        m_sync->setKey(FolderFleet::deckKey(folder->hostName()));
        m_sync->setRewriteUnchangedAfter(FleetSource::republishAfterSeconds);
    }
    CollectorHub::Options hubOptions;
    hubOptions.collectors = options.collectors.empty() ? agentCollectors() : std::move(options.collectors);
    hubOptions.interval = options.interval;
    hubOptions.allowNetwork = [&settings] { return settings.onlineAccess(); };
    m_hub = std::make_unique<CollectorHub>(m_model.get(), store, publisher, std::move(hubOptions));
    if (m_fleet) {
        QObject::connect(m_fleet.get(), &FleetSource::acknowledgeRequested, m_hub.get(), &CollectorHub::acknowledge);
        m_fleet->start();
    }
}

DeckAssembly::~DeckAssembly() = default;

} // namespace vexlor
