#include "KeyRules.h"

#include "collection/ProviderCatalog.h"
#include "deck/KeyAssignment.h"

namespace vexlor {

namespace palette {
QColor workingTile() { return QColor::fromRgbF(0.09f, 0.23f, 0.15f); }
QColor attentionTile() { return QColor::fromRgbF(0.29f, 0.20f, 0.05f); }
QColor idleTile() { return QColor::fromRgbF(0.15f, 0.16f, 0.19f); }
QColor offlineTile() { return QColor::fromRgbF(0.10f, 0.10f, 0.12f); }
QColor overviewTile() { return QColor::fromRgbF(0.26f, 0.19f, 0.04f); }
QColor infoTile() { return QColor::fromRgbF(0.18f, 0.13f, 0.30f); }
} // namespace palette

namespace {

QColor statusTile(AgentStatus status)
{
    switch (status) {
    case AgentStatus::working:
        return palette::workingTile();
    case AgentStatus::needsYou:
        return palette::attentionTile();
    case AgentStatus::offline:
        return palette::offlineTile();
    case AgentStatus::idle:
        break;
    }
    return palette::idleTile();
}

QColor colourOf(const Rgba& c)
{
    return QColor::fromRgbF(float(c.r), float(c.g), float(c.b), float(c.a));
}

// The caption of an unavailable tile; empty for a tile with figures.
QString unavailableCaption(const ProviderUsage& tile)
{
    const auto* none = std::get_if<ProviderUsage::Unavailable>(&tile.kind);
    return none ? none->caption : QString();
}

// The page to move to, only when it exists and differs from the current one.
std::optional<int> pageChange(std::optional<int> page, const DeckModel& deck)
{
    if (page && *page != deck.infoPageIndex())
        return page;
    return std::nullopt;
}

// The tile a usage key shows, if the deck has it.
std::optional<ProviderUsage> tileOf(const KeyAssignment& key, const DeckModel& deck)
{
    if (key.shows() == KeyAssignment::Shows::mainTile)
        return deck.usageTileWithPrefix(key.provider()->id);
    return deck.usageTile(key.tileID());
}

} // namespace

bool isChromeless(const QString& assignment)
{
    return assignment == QLatin1String("spacer");
}

QColor keyBackground(const QString& assignment, const DeckModel& deck)
{
    const auto key = keyAssignmentFromString(assignment);
    if (!key)
        return palette::idleTile();
    using Shows = KeyAssignment::Shows;
    switch (key->shows()) {
    case Shows::agent: {
        const auto agent = deck.agent(key->provider()->id);
        return agent ? statusTile(agent->status) : palette::idleTile();
    }
    case Shows::mainTile:
    case Shows::tile: {
        const auto tile = tileOf(*key, deck);
        return tile ? colourOf(tile->tileBackground) : palette::idleTile();
    }
    case Shows::allAgents:
        return palette::overviewTile();
    case Shows::fleet:
        return deck.fleetNeedsYouCount() > 0 ? palette::attentionTile() : palette::idleTile();
    case Shows::info:
    case Shows::clock:
        return palette::infoTile();
    case Shows::nothing:
        break;
    }
    return QColor(0, 0, 0, 0);
}

TapEffect tapEffect(const QString& assignment, const DeckModel& deck)
{
    TapEffect effect;
    const auto key = keyAssignmentFromString(assignment);
    if (!key)
        return effect;
    using Shows = KeyAssignment::Shows;
    switch (key->shows()) {
    case Shows::agent: {
        const auto agent = deck.agent(key->provider()->id);
        if (!agent)
            break;
        effect.infoPageIndex = pageChange(deck.pageIndexForAgent(agent->id), deck);
        if (!agent->openSessions.isEmpty())
            effect.sheetAgentID = agent->id;
        break;
    }
    case Shows::allAgents:
        effect.infoPageIndex = pageChange(0, deck);
        effect.showAgentList = true;
        break;
    case Shows::mainTile: {
        const QString& prefix = key->provider()->id;
        const auto tile = deck.usageTileWithPrefix(prefix);
        if (tile && unavailableCaption(*tile) == QLatin1String("online off"))
            effect.showOnlinePrompt = true;
        else
            effect.infoPageIndex = pageChange(deck.pageIndexForUsagePrefix(prefix), deck);
        break;
    }
    case Shows::tile:
        effect.infoPageIndex = pageChange(deck.pageIndexForUsage(key->tileID()), deck);
        break;
    case Shows::info:
        effect.advancePage = true;
        break;
    case Shows::fleet:
        effect.infoPageIndex = pageChange(deck.pageIndexForFleet(), deck);
        break;
    case Shows::clock:
    case Shows::nothing:
        break;
    }
    return effect;
}

} // namespace vexlor
