#include "DeckSnapshot.h"

#include "SnapshotJson.h"
#include "deck/Agent.h"
#include "deck/ProviderUsage.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vexlor {
namespace {

SnapshotAgentStatus snapshotStatus(AgentStatus status)
{
    switch (status) {
    case AgentStatus::working: return SnapshotAgentStatus::working;
    case AgentStatus::needsYou: return SnapshotAgentStatus::needsYou;
    case AgentStatus::idle: return SnapshotAgentStatus::idle;
    case AgentStatus::offline: return SnapshotAgentStatus::offline;
    }
    return SnapshotAgentStatus::offline;
}

SnapshotAgentSession::State snapshotState(AgentSession::State state)
{
    switch (state) {
    case AgentSession::State::working: return SnapshotAgentSession::State::working;
    case AgentSession::State::attention: return SnapshotAgentSession::State::attention;
    case AgentSession::State::idle: return SnapshotAgentSession::State::idle;
    }
    return SnapshotAgentSession::State::idle;
}

// The values come from agent files and usage answers: a reset time of year
// 40000 or a token sum that overflowed must not make the whole snapshot
// unencodable, so nothing would ever be published. A time the JSON form
// cannot hold is left out; a number JSON cannot hold becomes the nearest one
// it can (NaN, which has none, becomes 0).
std::optional<Timestamp> publishable(std::optional<Timestamp> time)
{
    if (time && !SnapshotJson::formatTimestamp(*time))
        return std::nullopt;
    return time;
}

double publishable(double value)
{
    if (std::isnan(value))
        return 0;
    return std::clamp(value, std::numeric_limits<double>::lowest(), std::numeric_limits<double>::max());
}

SnapshotUsage::Kind snapshotKind(const ProviderUsage::Kind& kind)
{
    if (const auto* p = std::get_if<ProviderUsage::Percent>(&kind))
        return SnapshotUsage::Percent{publishable(p->fraction), p->window};
    if (const auto* t = std::get_if<ProviderUsage::Tokens>(&kind))
        return SnapshotUsage::Tokens{publishable(t->count), publishable(t->cost), t->window};
    return SnapshotUsage::Unavailable{std::get<ProviderUsage::Unavailable>(kind).caption};
}

} // namespace

DeckSnapshot DeckSnapshot::from(const QList<Agent>& agents, const QList<ProviderUsage>& usage, Timestamp capturedAt)
{
    DeckSnapshot snapshot;
    snapshot.version = currentVersion;
    snapshot.capturedAt = capturedAt;
    snapshot.content.agents.reserve(agents.size());
    for (const Agent& agent : agents) {
        SnapshotAgent a;
        a.id = agent.id;
        a.name = agent.name;
        a.status = snapshotStatus(agent.status);
        a.sessions = agent.sessions;
        a.startedAt = publishable(agent.startedAt);
        a.models = agent.models;
        // Always a list, empty when nothing is open.
        QList<SnapshotAgentSession> rows;
        rows.reserve(agent.openSessions.size());
        for (const AgentSession& s : agent.openSessions)
            rows.append({s.id, s.title, snapshotState(s.state), publishable(s.since)});
        a.openSessions = std::move(rows);
        snapshot.content.agents.append(std::move(a));
    }
    snapshot.content.usage.reserve(usage.size());
    for (const ProviderUsage& tile : usage) {
        SnapshotUsage u;
        u.id = tile.id;
        u.name = tile.name;
        u.kind = snapshotKind(tile.kind);
        u.palette = SnapshotUsage::paletteFor(u.id, u.kind);
        u.secondaryText = tile.secondaryText;
        u.resetsAt = publishable(tile.resetsAt);
        snapshot.content.usage.append(std::move(u));
    }
    return snapshot;
}

} // namespace vexlor
