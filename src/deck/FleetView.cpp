#include "FleetView.h"

#include "VariantList.h"

#include <algorithm>
#include <numeric>

namespace vexlor {

namespace {

// Lower is more urgent.
int urgency(AgentStatus status)
{
    switch (status) {
    case AgentStatus::needsYou:
        return 0;
    case AgentStatus::working:
        return 1;
    case AgentStatus::idle:
        return 2;
    case AgentStatus::offline:
        break;
    }
    return 3;
}

int rowPriority(AgentSession::State state)
{
    switch (state) {
    case AgentSession::State::attention:
        return 0;
    case AgentSession::State::working:
        return 1;
    case AgentSession::State::idle:
        break;
    }
    return 2;
}

// The agent's last sign of activity: its start, or the newest time of any
// of its rows; none when nothing is known.
std::optional<Timestamp> lastActive(const Agent& agent)
{
    std::optional<Timestamp> latest = agent.startedAt;
    for (const AgentSession& row : agent.openSessions) {
        if (row.since && !row.since->isDistantPast() && (!latest || *row.since > *latest))
            latest = row.since;
    }
    return latest;
}

bool waitsForUser(const Agent& agent)
{
    return agent.status == AgentStatus::needsYou
           || std::any_of(agent.openSessions.cbegin(), agent.openSessions.cend(),
                          [](const AgentSession& row) { return row.state == AgentSession::State::attention; });
}

const Agent* findAgent(const QList<Agent>& agents, const QString& id)
{
    const auto it = std::find_if(agents.cbegin(), agents.cend(), [&](const Agent& a) { return a.id == id; });
    return it == agents.cend() ? nullptr : &*it;
}

struct Contribution {
    QString host;
    const Agent* agent;
};

Agent merged(const Agent& local, const QList<Contribution>& parts)
{
    Agent out = local;
    out.sessions = 0;
    out.openSessions.clear();
    for (const Contribution& part : parts) {
        const Agent& a = *part.agent;
        if (urgency(a.status) < urgency(out.status))
            out.status = a.status;
        out.sessions += std::max(0, a.sessions);
    }

    // Since when the merged status holds: the earliest start among the
    // hosts that are in it.
    out.startedAt.reset();
    for (const Contribution& part : parts) {
        const Agent& a = *part.agent;
        if (a.status == out.status && a.startedAt && (!out.startedAt || *a.startedAt < *out.startedAt))
            out.startedAt = a.startedAt;
    }

    // The models of the host that was active last lead; the others follow
    // as far as there is room.
    const Contribution* newest = nullptr;
    std::optional<Timestamp> newestAt;
    for (const Contribution& part : parts) {
        if (part.agent->models.isEmpty())
            continue;
        const auto at = lastActive(*part.agent);
        if (!newest || (at && (!newestAt || *at > *newestAt))) {
            newest = &part;
            newestAt = at;
        }
    }
    out.models.clear();
    if (newest)
        out.models = newest->agent->models;
    for (const Contribution& part : parts) {
        for (const QString& model : part.agent->models) {
            if (!out.models.contains(model))
                out.models.append(model);
        }
    }
    out.models = out.models.mid(0, 3);

    // Every host's rows, this machine's first; when there are more than the
    // sheet holds, idle rows give way first, then working ones.
    QList<AgentSession> rows;
    for (const Contribution& part : parts) {
        for (AgentSession row : part.agent->openSessions) {
            row.title = part.host + QStringLiteral(" · ") + row.title;
            if (&part != &parts.first())
                row.id = part.host + u'/' + row.id;
            rows.append(row);
        }
    }
    if (rows.size() > fleet::maximumRows) {
        QList<qsizetype> order(rows.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
            return rowPriority(rows.at(a).state) < rowPriority(rows.at(b).state);
        });
        order.resize(fleet::maximumRows);
        std::sort(order.begin(), order.end());
        QList<AgentSession> kept;
        for (qsizetype i : order)
            kept.append(rows.at(i));
        rows = kept;
    }
    out.openSessions = rows;
    return out;
}

} // namespace

bool FleetHostView::needsYou() const
{
    return online && std::any_of(agents.cbegin(), agents.cend(),
                                 [](const Agent& a) { return a.status == AgentStatus::needsYou; });
}

QVariantList FleetHostView::agentList() const
{
    return toVariantList(agents);
}

QVariantList FleetHostView::usageList() const
{
    return toVariantList(usage);
}

namespace fleet {

QList<Agent> mergeAgents(const QList<Agent>& local, const QString& localHost, const QList<FleetHostView>& hosts)
{
    const bool anyOnline
        = std::any_of(hosts.cbegin(), hosts.cend(), [](const FleetHostView& h) { return h.online; });
    if (!anyOnline)
        return local;
    QList<Agent> out;
    out.reserve(local.size());
    for (const Agent& agent : local) {
        QList<Contribution> parts{{localHost, &agent}};
        for (const FleetHostView& host : hosts) {
            if (!host.online)
                continue;
            if (const Agent* remote = findAgent(host.agents, agent.id))
                parts.append({host.host, remote});
        }
        out.append(merged(agent, parts));
    }
    return out;
}

QStringList acknowledgeTargets(const QString& providerID, const QList<FleetHostView>& hosts)
{
    QStringList targets;
    for (const FleetHostView& host : hosts) {
        if (!host.online)
            continue;
        if (const Agent* remote = findAgent(host.agents, providerID); remote && waitsForUser(*remote))
            targets.append(host.host);
    }
    return targets;
}

Counts counts(const QList<Agent>& local, const QList<FleetHostView>& hosts)
{
    Counts c;
    c.online = 1;
    c.needYou = std::any_of(local.cbegin(), local.cend(),
                            [](const Agent& a) { return a.status == AgentStatus::needsYou; })
                    ? 1
                    : 0;
    for (const FleetHostView& host : hosts) {
        if (!host.online)
            continue;
        ++c.online;
        if (host.needsYou())
            ++c.needYou;
    }
    return c;
}

} // namespace fleet

} // namespace vexlor
