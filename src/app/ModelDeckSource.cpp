#include "ModelDeckSource.h"

#include "deck/DeckModel.h"

namespace vexlor {

namespace {
UsageFacts factsOf(const ProviderUsage& tile)
{
    UsageFacts facts;
    facts.id = tile.id;
    facts.tileBackground = QColor::fromRgbF(float(tile.tileBackground.r), float(tile.tileBackground.g),
                                            float(tile.tileBackground.b), float(tile.tileBackground.a));
    if (const auto* none = std::get_if<ProviderUsage::Unavailable>(&tile.kind)) {
        facts.unavailable = true;
        facts.caption = none->caption;
    }
    return facts;
}
} // namespace

ModelDeckSource::ModelDeckSource(DeckModel& model, QObject* parent)
    : DeckSource(parent)
    , m_model(model)
{
    connect(&model, &DeckModel::agentsChanged, this, &DeckSource::changed);
    connect(&model, &DeckModel::usageChanged, this, &DeckSource::changed);
    connect(&model, &DeckModel::keyAssignmentsChanged, this, &DeckSource::changed);
}

QString ModelDeckSource::assignmentAt(int slot) const
{
    return toString(m_model.assignmentAt(slot));
}

void ModelDeckSource::assign(const QString& assignment, int slot)
{
    if (const auto value = keyAssignmentFromString(assignment))
        m_model.assign(*value, slot);
}

QString ModelDeckSource::pickerLabel(const QString& assignment) const
{
    const auto value = keyAssignmentFromString(assignment);
    return value ? vexlor::pickerLabel(*value) : assignment;
}

std::optional<AgentFacts> ModelDeckSource::agent(const QString& id) const
{
    const auto found = m_model.agent(id);
    if (!found)
        return std::nullopt;
    return AgentFacts{found->id, toString(found->status), int(found->openSessions.size())};
}

std::optional<UsageFacts> ModelDeckSource::usage(const QString& id) const
{
    const auto tile = m_model.usageTile(id);
    return tile ? std::optional(factsOf(*tile)) : std::nullopt;
}

std::optional<UsageFacts> ModelDeckSource::usageWithPrefix(const QString& prefix) const
{
    const auto tile = m_model.usageTileWithPrefix(prefix);
    return tile ? std::optional(factsOf(*tile)) : std::nullopt;
}

std::optional<int> ModelDeckSource::pageIndexOfAgent(const QString& id) const
{
    return m_model.pageIndexForAgent(id);
}

std::optional<int> ModelDeckSource::pageIndexOfUsage(const QString& id) const
{
    return m_model.pageIndexForUsage(id);
}

std::optional<int> ModelDeckSource::pageIndexOfUsagePrefix(const QString& prefix) const
{
    return m_model.pageIndexForUsagePrefix(prefix);
}

int ModelDeckSource::infoPageIndex() const
{
    return m_model.infoPageIndex();
}

void ModelDeckSource::setInfoPageIndex(int index)
{
    m_model.setInfoPageIndex(index);
}

void ModelDeckSource::advancePage(int step)
{
    m_model.advancePage(step);
}

void ModelDeckSource::startTimers()
{
    m_model.startTimers();
}

} // namespace vexlor
