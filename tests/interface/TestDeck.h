#pragma once
// A deck model over a fresh preferences store, built from a few plain facts
// per agent and tile, for the interface tests.

#include "deck/DeckModel.h"

#include <QTemporaryDir>
#include <memory>

namespace vexlor::test {

struct AgentFacts {
    QString id;
    AgentStatus status = AgentStatus::idle;
    int openSessions = 0;
};

struct TileFacts {
    QString id;
    Rgba background;
    std::optional<QString> unavailableCaption; // none: a tile with figures
};

class TestDeck {
public:
    TestDeck(const QList<AgentFacts>& agents = {}, const QList<TileFacts>& tiles = {})
        : m_store(m_dir.filePath(QStringLiteral("preferences.json")))
    {
        QList<Agent> records;
        for (const auto& facts : agents) {
            Agent a;
            a.id = facts.id;
            a.name = facts.id.toUpper();
            a.status = facts.status;
            a.sessions = facts.openSessions;
            a.openSessions = QList<AgentSession>(facts.openSessions);
            records.append(a);
        }
        QList<ProviderUsage> usage;
        for (const auto& facts : tiles) {
            ProviderUsage tile;
            tile.id = facts.id;
            tile.tileBackground = facts.background;
            if (facts.unavailableCaption)
                tile.kind = ProviderUsage::Unavailable{*facts.unavailableCaption};
            else
                tile.kind = ProviderUsage::Percent{};
            usage.append(tile);
        }
        m_model = std::make_unique<DeckModel>(records, usage, m_store);
    }

    DeckModel& model() { return *m_model; }
    void assign(const QString& assignment, int slot) { m_model->assign(*keyAssignmentFromString(assignment), slot); }

private:
    QTemporaryDir m_dir;
    PreferencesStore m_store;
    std::unique_ptr<DeckModel> m_model;
};

} // namespace vexlor::test
