#pragma once
// A DeckSource with plain fields, for the interface tests.

#include "DeckSource.h"

#include <QHash>
#include <QList>

namespace vexlor::test {

class FakeDeckSource : public DeckSource {
public:
    QHash<int, QString> assignments;
    QList<AgentFacts> agents;
    QList<UsageFacts> tiles;
    int pageIndex = 0;
    int pageCount = 1;
    int timerStarts = 0;
    QList<QPair<QString, int>> assigned;

    QString assignmentAt(int slot) const override { return assignments.value(slot, QStringLiteral("info")); }
    void assign(const QString& assignment, int slot) override
    {
        assigned.append({assignment, slot});
        assignments[slot] = assignment;
        emit changed();
    }
    QString pickerLabel(const QString& assignment) const override { return QStringLiteral("label:") + assignment; }
    std::optional<AgentFacts> agent(const QString& id) const override
    {
        for (const auto& a : agents)
            if (a.id == id)
                return a;
        return std::nullopt;
    }
    std::optional<UsageFacts> usage(const QString& id) const override
    {
        for (const auto& t : tiles)
            if (t.id == id)
                return t;
        return std::nullopt;
    }
    std::optional<UsageFacts> usageWithPrefix(const QString& prefix) const override
    {
        for (const auto& t : tiles)
            if (t.id.startsWith(prefix))
                return t;
        return std::nullopt;
    }
    // Pages as the model numbers them: summary, agents, then tiles.
    std::optional<int> pageIndexOfAgent(const QString& id) const override
    {
        for (int i = 0; i < agents.size(); ++i)
            if (agents[i].id == id)
                return 1 + i;
        return std::nullopt;
    }
    std::optional<int> pageIndexOfUsage(const QString& id) const override
    {
        for (int i = 0; i < tiles.size(); ++i)
            if (tiles[i].id == id)
                return 1 + int(agents.size()) + i;
        return std::nullopt;
    }
    std::optional<int> pageIndexOfUsagePrefix(const QString& prefix) const override
    {
        for (int i = 0; i < tiles.size(); ++i)
            if (tiles[i].id.startsWith(prefix))
                return 1 + int(agents.size()) + i;
        return std::nullopt;
    }
    int infoPageIndex() const override { return pageIndex; }
    void setInfoPageIndex(int index) override { pageIndex = index; }
    void advancePage(int step) override
    {
        const int n = 1 + int(agents.size() + tiles.size());
        pageIndex = (pageIndex + step + n) % n;
    }
    void startTimers() override { ++timerStarts; }
};

} // namespace vexlor::test
