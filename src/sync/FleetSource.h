#pragma once
// What the deck and the headless printer need from a fleet, whichever way
// the other hosts' snapshots arrive (an MQTT broker, or a folder that a sync
// tool keeps in step across machines).
#include "DeckSnapshot.h"
#include "collection/Timestamp.h"
#include <QList>
#include <QObject>
#include <QString>

namespace vexlor {

struct FleetHost {
    QString host;
    bool online = false;
    Timestamp seenAt; // capture time of its newest snapshot
    DeckSnapshotContent content;
};

class FleetSource : public QObject {
    Q_OBJECT

public:
    // A host whose newest snapshot is older than this counts as offline.
    static constexpr double offlineAfterSeconds = 600;
    // Members send their snapshot again this often when nothing changed, so
    // that a quiet host is never taken for a gone one.
    static constexpr double republishAfterSeconds = 300;
    // Hosts beyond this many are not tracked.
    static constexpr int maximumHosts = 1000;

    using QObject::QObject;

    // Begins reading the other hosts (and connecting, where there is
    // something to connect to); acknowledgement requests may follow.
    virtual void start() {}

    // This machine's name in the fleet.
    [[nodiscard]] virtual QString hostName() const = 0;
    // Every other host with a readable snapshot, sorted by name, with its
    // liveness as of now.
    [[nodiscard]] virtual QList<FleetHost> hosts() const = 0;
    // Asks `host` to acknowledge `providerID`; may be dropped when the host
    // cannot be reached.
    virtual void sendAck(const QString& host, const QString& providerID) = 0;

signals:
    // Someone asked this host to acknowledge a provider.
    void acknowledgeRequested(const QString& providerID);
    // A remote host's snapshot or liveness changed.
    void hostsChanged();
};

} // namespace vexlor
