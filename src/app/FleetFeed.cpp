#include "FleetFeed.h"

#include "collection/FileRoutines.h"
#include "collection/ProviderCatalog.h"
#include "deck/DeckModel.h"
#include "sync/FleetSource.h"

#include <algorithm>
#include <cmath>

namespace vexlor {

namespace {

// The lengths the deck's own collectors cut to.
constexpr qsizetype kTitleLength = 60;
constexpr qsizetype kModelLength = 40;
constexpr qsizetype kLabelLength = 24;
constexpr int kMostModels = 3;
constexpr int kMostSessions = 99999;

QString cut(const QString& text, qsizetype length)
{
    return cleanTitle(text, length).value_or(QString());
}

double finiteOrZero(double value, double high)
{
    return std::isfinite(value) ? std::clamp(value, 0.0, high) : 0;
}

AgentStatus statusOf(SnapshotAgentStatus status)
{
    switch (status) {
    case SnapshotAgentStatus::working: return AgentStatus::working;
    case SnapshotAgentStatus::needsYou: return AgentStatus::needsYou;
    case SnapshotAgentStatus::idle: return AgentStatus::idle;
    case SnapshotAgentStatus::offline: break;
    }
    return AgentStatus::offline;
}

AgentSession::State stateOf(SnapshotAgentSession::State state)
{
    switch (state) {
    case SnapshotAgentSession::State::working: return AgentSession::State::working;
    case SnapshotAgentSession::State::attention: return AgentSession::State::attention;
    case SnapshotAgentSession::State::idle: break;
    }
    return AgentSession::State::idle;
}

Agent agentOf(const SnapshotAgent& remote, const ProviderInfo& provider)
{
    Agent a;
    a.id = provider.id;
    a.name = provider.displayName;
    a.status = statusOf(remote.status);
    a.sessions = static_cast<int>(std::clamp<qint64>(remote.sessions, 0, kMostSessions));
    a.startedAt = remote.startedAt;
    for (const QString& model : remote.models) {
        if (a.models.size() >= kMostModels)
            break;
        if (const QString name = cut(model, kModelLength); !name.isEmpty())
            a.models.append(name);
    }
    for (const SnapshotAgentSession& row : remote.openSessions.value_or(QList<SnapshotAgentSession>())) {
        if (a.openSessions.size() >= fleet::maximumRows)
            break;
        AgentSession s;
        s.id = row.id.left(200);
        s.title = cleanTitle(row.title, kTitleLength).value_or(QStringLiteral("session"));
        s.state = stateOf(row.state);
        s.since = row.since;
        a.openSessions.append(s);
    }
    return a;
}

ProviderUsage usageOf(const SnapshotUsage& remote, const ProviderInfo& provider)
{
    if (const auto* none = std::get_if<SnapshotUsage::Unavailable>(&remote.kind))
        return ProviderUsage::captionTile(remote.id.left(kLabelLength), provider.displayName,
                                          cut(none->caption, kLabelLength));
    ProviderUsage u;
    u.id = remote.id.left(kLabelLength);
    u.name = provider.displayName;
    u.tint = provider.palette.tint;
    u.tileBackground = provider.palette.tileBackground;
    if (const auto* p = std::get_if<SnapshotUsage::Percent>(&remote.kind))
        u.kind = ProviderUsage::Percent{finiteOrZero(p->fraction, 1.0), cut(p->window, 8)};
    else if (const auto* t = std::get_if<SnapshotUsage::Tokens>(&remote.kind))
        u.kind = ProviderUsage::Tokens{finiteOrZero(t->count, 1e15), finiteOrZero(t->cost, 1e9), cut(t->window, 8)};
    if (remote.secondaryText)
        u.secondaryText = cut(*remote.secondaryText, kLabelLength);
    u.resetsAt = remote.resetsAt;
    return u;
}

} // namespace

FleetHostView FleetFeed::hostView(const FleetHost& host)
{
    FleetHostView view;
    view.host = host.host;
    view.online = host.online;
    view.seenAt = host.seenAt;
    for (const SnapshotAgent& remote : host.content.agents) {
        const ProviderInfo* provider = findProvider(remote.id);
        const bool seen = std::any_of(view.agents.cbegin(), view.agents.cend(),
                                      [&](const Agent& a) { return a.id == remote.id; });
        if (provider && !seen)
            view.agents.append(agentOf(remote, *provider));
    }
    for (const SnapshotUsage& remote : host.content.usage) {
        if (const ProviderInfo* provider = providerOfTile(remote.id))
            view.usage.append(usageOf(remote, *provider));
    }
    return view;
}

FleetFeed::FleetFeed(FleetSource& source, DeckModel& model, QObject* parent)
    : QObject(parent)
    , m_source(&source)
    , m_model(&model)
{
    connect(&source, &FleetSource::hostsChanged, this, &FleetFeed::refresh);
    connect(&model, &DeckModel::remoteAcknowledgeRequested, this, [this](const QString& host, const QString& id) {
        if (m_source)
            m_source->sendAck(host, id);
    });
    m_ageTimer.setInterval(30'000);
    m_ageTimer.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_ageTimer, &QTimer::timeout, this, &FleetFeed::refresh);
    m_ageTimer.start();
    refresh();
}

void FleetFeed::refresh()
{
    if (!m_source || !m_model)
        return;
    QList<FleetHostView> hosts;
    for (const FleetHost& host : m_source->hosts())
        hosts.append(hostView(host));
    m_model->setFleet(m_source->hostName(), std::move(hosts));
}

} // namespace vexlor
