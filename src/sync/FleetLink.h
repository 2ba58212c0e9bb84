#pragma once
// One machine's link to a fleet of decks over an MQTT broker. Under the
// address's prefix it keeps, for this host:
//   <prefix>/<host>/deck    the deck snapshot, retained, QoS 1
//   <prefix>/<host>/online  "1" retained after connecting; the broker's last
//                           will and a clean exit set "0"
//   <prefix>/<host>/ack     {"provider":"claude"} asks this host to
//                           acknowledge that provider
// and it reads every other host's deck and online flag.
//
// The MQTT client (libmosquitto) runs on a thread of its own: connecting,
// reconnecting with a backoff of 1 to 60 seconds, and reading. Incoming
// messages are held there, the newest per host and topic, and handed to the
// main thread in one queued call; nothing on the main thread waits for the
// network. A remote deck over the size limit is dropped unread; each host's
// deck is decoded at most once a second; failures to decode are logged at
// most once a minute per host. Log lines ("[Fleet] ...") go to standard
// error, one per change of the connection's state.
//
// Publishing is at once on a change of content, at most once a second with
// the newest snapshot winning, and again every five minutes when nothing
// changed, so that readers can tell a quiet host from a gone one.

#include "DeckSyncContracts.h"
#include "FleetConfig.h"
#include "FleetSource.h"

#include <QHash>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace vexlor {

class FleetLink final : public FleetSource, public DeckSyncPublishing {
    Q_OBJECT

public:
    static constexpr qsizetype maximumSnapshotBytes = 900000;

    struct Options {
        BrokerAddress address;
        std::optional<QByteArray> password;
        QString hostName;
        Clock clock = systemClock();
    };
    using LogSink = std::function<void(const QString& line)>;

    explicit FleetLink(Options options, QObject* parent = nullptr);
    // A clean exit: publishes "0" as the online flag and disconnects, waiting
    // a few seconds at most.
    ~FleetLink() override;

    // Starts the client thread; the first connection is attempted at once.
    void start() override;
    void setLogSink(LogSink sink);

    // DeckSyncPublishing
    void publish(const DeckSnapshot& snapshot) override;
    // Dropped while not connected.
    void sendAck(const QString& host, const QString& providerID) override;

    [[nodiscard]] QString hostName() const override { return m_options.hostName; }
    [[nodiscard]] bool isConnected() const;
    [[nodiscard]] QList<FleetHost> hosts() const override;

signals:
    void connectionChanged(bool connected);

private:
    struct Transport;
    struct Remote {
        std::optional<bool> flag; // the online flag as last received
        std::optional<DeckSnapshot> snapshot;
        QByteArray pending;          // newest undecoded deck
        bool hasPending = false;
        std::optional<std::chrono::steady_clock::time_point> decodedAt;
        std::optional<std::chrono::steady_clock::time_point> loggedAt;
    };

    void drainInbox();
    void decodeDue();
    void decode(const QString& host, Remote& remote);
    void handleAck(const QByteArray& payload);
    void handleState(const QString& state, bool connected);
    void sendNewest();
    void log(const QString& line) const;

    Options m_options;
    std::unique_ptr<Transport> m_transport;
    LogSink m_log;
    QHash<QString, Remote> m_remotes;
    QTimer m_decodeTimer;
    QTimer m_publishTimer;
    std::optional<DeckSnapshot> m_newest;
    std::optional<DeckSnapshotContent> m_sentContent;
    std::optional<std::chrono::steady_clock::time_point> m_sentAt;
    QString m_loggedState;
    bool m_connected = false;
    std::optional<std::chrono::steady_clock::time_point> m_ackLoggedAt;
};

} // namespace vexlor
