#include "DeckAssembly.h"

#include "deck/AppSettings.h"
#include "deck/DeckModel.h"
#include "hub/CollectorHub.h"
#include "providers/claude/ClaudeCollector.h"
#include "providers/codex/CodexCollector.h"
#include "providers/kimi/KimiCodeCollector.h"
#include "providers/opencode/OpenCodeCollector.h"
#include "sync/DeckSyncService.h"

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
{
    CollectorHub::Options hubOptions;
    hubOptions.collectors = options.collectors.empty() ? agentCollectors() : std::move(options.collectors);
    hubOptions.interval = options.interval;
    hubOptions.allowNetwork = [&settings] { return settings.onlineAccess(); };
    m_hub = std::make_unique<CollectorHub>(m_model.get(), store, m_sync.get(), std::move(hubOptions));
}

DeckAssembly::~DeckAssembly() = default;

} // namespace vexlor
