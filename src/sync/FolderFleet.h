#pragma once
// A fleet over a folder that a file-sync tool (Syncthing and the like) keeps
// in step across machines: the key-value folder of deck sync, shared. Each
// host's snapshot lives under a key of its own,
//   <host>@deck.snapshot.v1
// which the deck sync service writes with its 30-second throttle, and again
// every five minutes when nothing changed. Host names cannot hold "@", so no
// host's key is ever the plain "deck.snapshot.v1" of a deck outside a fleet.
// A host counts as online while its newest snapshot is at most ten minutes
// old (keep the machines' clocks in step).
//
// Acknowledgement requests travel as files too, one per target and sender so
// that each has a single writer:
//   <target>@ack.<sender>.v1   {"claude":"2026-12-07T10:15:00Z", ...}
// holding, per provider, when the sender last asked (the sender keeps the
// requests of the last ten minutes in it). The target acts on a provider when
// that time is newer than the last it acted on from that sender, is at most
// ten minutes old and is not before the target started; then it removes the
// file. A file that a sync tool brings back, or a sender that writes old
// times again, so acknowledges nothing twice.
//
// Reading is cheap and bounded: the folder store's watcher says which keys
// changed, with a slow poll behind it for changes a watcher misses; a file is
// read only when it changed, each host's at most once a second; a deck over
// 900,000 bytes is dropped before decoding, an acknowledgement file over 4 KiB
// likewise; at most 1,000 hosts and 1,000 senders are tracked. A file that is
// half written, not JSON, of a newer version or gone between the report and
// the read leaves the host's last good snapshot in place (or no host), with
// at most one "[Fleet] " line per host a minute on standard error. Other
// names in the folder (the plain deck key, temporary files, a sync tool's
// conflict copies) are left alone.
//
// Main thread only.

#include "FleetSource.h"
#include "KeyValueStore.h"

#include <QHash>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace vexlor {

class FolderFleet final : public FleetSource {
    Q_OBJECT

public:
    static constexpr qsizetype maximumSnapshotBytes = 900000;
    static constexpr qsizetype maximumAckBytes = 4096;
    // Requests older than this are not acted on.
    static constexpr double ackLifetimeSeconds = 600;
    static constexpr std::chrono::seconds pollInterval{15};

    struct Options {
        QString hostName;
        Clock clock = systemClock();
    };
    using LogSink = std::function<void(const QString& line)>;

    // `store` is the shared folder; this fleet only reads decks from it and
    // writes and removes acknowledgement files.
    FolderFleet(std::unique_ptr<KeyValueStore> store, Options options, QObject* parent = nullptr);
    ~FolderFleet() override;

    [[nodiscard]] static QString deckKey(const QString& host);
    [[nodiscard]] static QString ackKey(const QString& target, const QString& sender);
    // The host whose deck `key` holds, if it is a fleet deck key.
    [[nodiscard]] static std::optional<QString> hostOfDeckKey(const QString& key);

    void setLogSink(LogSink sink);

    // Observes the folder and reads what is there now.
    void start() override;
    [[nodiscard]] QString hostName() const override { return m_options.hostName; }
    [[nodiscard]] QList<FleetHost> hosts() const override;
    // Writes the request for `host` to find; dropped for a host this fleet
    // has no deck from.
    void sendAck(const QString& host, const QString& providerID) override;

private:
    using SteadyTime = std::chrono::steady_clock::time_point;
    // What is known of one key's file: a host's deck or a sender's requests.
    struct Reader {
        bool pending = false;
        std::optional<SteadyTime> readAt;
        std::optional<SteadyTime> loggedAt;
    };
    struct Remote : Reader {
        std::optional<DeckSnapshot> snapshot;
    };
    struct Sender : Reader {
        QHash<QString, Timestamp> handled; // provider -> newest time acted on
    };

    void keysChanged(const QStringList& keys);
    void readDue();
    // False when the deck's file is gone.
    bool readDeck(const QString& host, Remote& remote);
    void readAcks(const QString& sender, Sender& state);
    void checkLiveness();
    void logLimited(Reader& reader, const QString& line);
    [[nodiscard]] QHash<QString, bool> liveness() const;

    std::unique_ptr<KeyValueStore> m_store;
    Options m_options;
    LogSink m_log;
    Timestamp m_startedAt;
    QHash<QString, Remote> m_remotes;
    QHash<QString, Sender> m_senders;
    QHash<QString, QHash<QString, Timestamp>> m_sent; // target -> provider -> time
    QHash<QString, bool> m_lastLiveness;
    QTimer m_readTimer;
    QTimer m_pollTimer;
    std::optional<SteadyTime> m_sendLoggedAt;
};

} // namespace vexlor
