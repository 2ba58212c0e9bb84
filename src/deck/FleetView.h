#pragma once
// The other machines of a fleet as the deck shows them, and the rules that
// fold them into this machine's deck: every agent key shows its provider
// over all online hosts, the session sheet lists every host's rows, and an
// acknowledgement reaches each host that waits for the user.
//
// The records are plain deck values (whoever reads the fleet converts its
// snapshots into them, with their texts already cut and plain); a host that
// is offline keeps its page but counts for nothing else.

#include "Agent.h"
#include "ProviderUsage.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace vexlor {

struct FleetHostView {
    Q_GADGET
    Q_PROPERTY(QString host READ hostName)
    Q_PROPERTY(bool online READ isOnline)
    // Seconds since 1970: when its newest snapshot was taken.
    Q_PROPERTY(double seenAt READ seenAtSeconds)
    // Agent values, in the host's order.
    Q_PROPERTY(QVariantList agents READ agentList)
    // ProviderUsage values: its plan tiles, shown on its page only.
    Q_PROPERTY(QVariantList usage READ usageList)
    // Online, with an agent that needs the user.
    Q_PROPERTY(bool needsYou READ needsYou)

public:
    QString host;
    bool online = false;
    Timestamp seenAt;
    QList<Agent> agents;
    QList<ProviderUsage> usage;

    [[nodiscard]] bool needsYou() const;
    [[nodiscard]] QString hostName() const { return host; }
    [[nodiscard]] bool isOnline() const { return online; }
    [[nodiscard]] double seenAtSeconds() const { return seenAt.seconds(); }
    [[nodiscard]] QVariantList agentList() const;
    [[nodiscard]] QVariantList usageList() const;

    bool operator==(const FleetHostView&) const = default;
};

namespace fleet {

// The most rows one merged agent carries (as many as one machine's agent).
inline constexpr qsizetype maximumRows = 12;

// Each local agent, in order, merged with the agent of the same provider on
// every online host: the most urgent status (needs you, working, idle, not
// found), the sessions summed, the models of the host that was active last
// first, and the rows of every host titled "host · title", this machine's
// first. Without an online host the local agents come back unchanged.
[[nodiscard]] QList<Agent> mergeAgents(const QList<Agent>& local, const QString& localHost,
                                       const QList<FleetHostView>& hosts);

// The online hosts that have sessions waiting for the user under
// `providerID`, in the hosts' order.
[[nodiscard]] QStringList acknowledgeTargets(const QString& providerID, const QList<FleetHostView>& hosts);

struct Counts {
    int online = 0;  // hosts online, this one included
    int needYou = 0; // of those, hosts with an agent that needs the user
    bool operator==(const Counts&) const = default;
};
[[nodiscard]] Counts counts(const QList<Agent>& local, const QList<FleetHostView>& hosts);

} // namespace fleet

} // namespace vexlor
