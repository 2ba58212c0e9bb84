#include "FleetLink.h"

#include "LineLog.h"
#include "SnapshotJson.h"
#include "collection/Logging.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;
using SteadyClock = std::chrono::steady_clock;

namespace vexlor {
namespace {

constexpr auto kDecodeSpacing = std::chrono::seconds(1);
constexpr auto kPublishSpacing = std::chrono::seconds(1);
constexpr auto kLogSpacing = std::chrono::minutes(1);
constexpr int kMaximumBackoffSeconds = 60;
constexpr qsizetype kMaximumAckBytes = 1024;
constexpr qsizetype kMaximumQueuedAcks = 16;

const QStringList& providerIDs()
{
    static const QStringList ids = {u"claude"_s, u"codex"_s, u"opencode"_s, u"kimi"_s};
    return ids;
}

bool spacedEnough(std::optional<SteadyClock::time_point>& last, SteadyClock::duration spacing)
{
    const auto now = SteadyClock::now();
    if (last && now - *last < spacing)
        return false;
    last = now;
    return true;
}

} // namespace

// The client thread and what it shares with the main thread. Everything below
// `mutex` is guarded by it; libmosquitto's own calls are thread-safe once the
// client is marked as threaded.
struct FleetLink::Transport {
    FleetLink* owner = nullptr;
    mosquitto* mosq = nullptr;
    BrokerAddress address;
    QByteArray host;
    QByteArray deckTopic, onlineTopic, ackTopic, deckFilter, onlineFilter, prefixSlash;
    std::thread thread;
    std::atomic<bool> connected{false};

    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool finished = false;
    QByteArray deck; // newest own deck, sent again after every connect
    // Inbox for the main thread: the newest message per host and topic.
    QHash<QString, QByteArray> decks;
    QHash<QString, QByteArray> flags;
    QStringList oversized;
    QList<QByteArray> acks;
    QList<std::pair<QString, bool>> states;
    bool posted = false;
    // Set by the connect callback: why the broker refused, if it did.
    QString refusal;
    bool accepted = false;

    void post()
    {
        // mutex held
        if (posted || !owner)
            return;
        posted = true;
        QMetaObject::invokeMethod(owner, [o = owner] { o->drainInbox(); }, Qt::QueuedConnection);
    }

    void postState(const QString& text, bool up)
    {
        std::lock_guard lock(mutex);
        if (states.size() < 8)
            states.append({text, up});
        post();
    }

    void run();
    bool sleepFor(int seconds)
    {
        std::unique_lock lock(mutex);
        return !wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping; });
    }
    bool isStopping()
    {
        std::lock_guard lock(mutex);
        return stopping;
    }

    static void onConnect(mosquitto* mosq, void* self, int rc);
    static void onDisconnect(mosquitto* mosq, void* self, int rc);
    static void onMessage(mosquitto* mosq, void* self, const mosquitto_message* message);
};

void FleetLink::Transport::run()
{
    int backoff = 1;
    const QString where = address.display();
    while (!isStopping()) {
        {
            std::lock_guard lock(mutex);
            refusal.clear();
            accepted = false;
        }
        int rc = mosquitto_connect(mosq, address.host.toUtf8().constData(), address.port, address.keepAliveSeconds);
        if (rc == MOSQ_ERR_SUCCESS) {
            while (rc == MOSQ_ERR_SUCCESS && !isStopping())
                rc = mosquitto_loop(mosq, 1000, 1);
        }
        if (isStopping())
            break;
        bool wasAccepted = false;
        QString refused;
        {
            std::lock_guard lock(mutex);
            wasAccepted = accepted;
            refused = refusal;
        }
        if (wasAccepted)
            backoff = 1;
        QString reason = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                              : QString::fromUtf8(mosquitto_strerror(rc));
        if (!refused.isEmpty())
            postState(u"the broker at %1 refused the connection: %2"_s.arg(where, refused), false);
        else if (wasAccepted)
            postState(u"lost the connection to %1 (%2); reconnecting"_s.arg(where, reason), false);
        else
            postState(u"cannot connect to %1 (%2); retrying every 1 to 60 s"_s.arg(where, reason), false);
        if (!sleepFor(backoff))
            break;
        backoff = std::min(backoff * 2, kMaximumBackoffSeconds);
    }
    std::lock_guard lock(mutex);
    finished = true;
    wake.notify_all();
}

void FleetLink::Transport::onConnect(mosquitto* mosq, void* self, int rc)
{
    auto* t = static_cast<Transport*>(self);
    if (rc != 0) {
        {
            std::lock_guard lock(t->mutex);
            t->refusal = QString::fromUtf8(mosquitto_connack_string(rc));
        }
        mosquitto_disconnect(mosq);
        return;
    }
    t->connected = true;
    QByteArray deck;
    {
        std::lock_guard lock(t->mutex);
        t->accepted = true;
        deck = t->deck;
    }
    mosquitto_subscribe(mosq, nullptr, t->deckFilter.constData(), 1);
    mosquitto_subscribe(mosq, nullptr, t->onlineFilter.constData(), 1);
    mosquitto_subscribe(mosq, nullptr, t->ackTopic.constData(), 1);
    if (!deck.isEmpty())
        mosquitto_publish(mosq, nullptr, t->deckTopic.constData(), int(deck.size()), deck.constData(), 1, true);
    mosquitto_publish(mosq, nullptr, t->onlineTopic.constData(), 1, "1", 1, true);
    t->postState(u"connected to %1"_s.arg(t->address.display()), true);
}

void FleetLink::Transport::onDisconnect(mosquitto*, void* self, int)
{
    auto* t = static_cast<Transport*>(self);
    t->connected = false;
    t->postState(QString(), false);
}

void FleetLink::Transport::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* t = static_cast<Transport*>(self);
    const QByteArray topic(message->topic);
    if (!topic.startsWith(t->prefixSlash))
        return;
    const QList<QByteArray> levels = topic.mid(t->prefixSlash.size()).split('/');
    if (levels.size() != 2)
        return;
    const QString host = QString::fromUtf8(levels[0]);
    const QByteArray& kind = levels[1];
    if (!FleetConfig::isValidHostName(host))
        return;
    const qsizetype length = message->payloadlen;
    const char* payload = static_cast<const char*>(message->payload);

    std::lock_guard lock(t->mutex);
    if (levels[0] == t->host) {
        if (kind == "ack" && t->acks.size() < kMaximumQueuedAcks)
            t->acks.append(length <= kMaximumAckBytes ? QByteArray(payload, length) : QByteArray("(too long)"));
        else
            return;
    } else if (kind == "deck") {
        if (!t->decks.contains(host) && t->decks.size() >= maximumHosts)
            return;
        if (length > maximumSnapshotBytes) {
            if (!t->oversized.contains(host))
                t->oversized.append(host);
            return;
        }
        t->decks.insert(host, QByteArray(payload, length));
    } else if (kind == "online") {
        if (length > 8 || (!t->flags.contains(host) && t->flags.size() >= maximumHosts))
            return;
        t->flags.insert(host, QByteArray(payload, length));
    } else {
        return;
    }
    t->post();
}

FleetLink::FleetLink(Options options, QObject* parent)
    : FleetSource(parent)
    , m_options(std::move(options))
    , m_transport(std::make_unique<Transport>())
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { mosquitto_lib_init(); });

    m_log = standardErrorLines();

    m_decodeTimer.setSingleShot(true);
    connect(&m_decodeTimer, &QTimer::timeout, this, &FleetLink::decodeDue);
    m_publishTimer.setSingleShot(true);
    connect(&m_publishTimer, &QTimer::timeout, this, &FleetLink::sendNewest);

    Transport& t = *m_transport;
    t.owner = this;
    t.address = m_options.address;
    t.host = m_options.hostName.toUtf8();
    const QByteArray prefix = m_options.address.prefix.toUtf8();
    t.prefixSlash = prefix + '/';
    t.deckTopic = t.prefixSlash + t.host + "/deck";
    t.onlineTopic = t.prefixSlash + t.host + "/online";
    t.ackTopic = t.prefixSlash + t.host + "/ack";
    t.deckFilter = t.prefixSlash + "+/deck";
    t.onlineFilter = t.prefixSlash + "+/online";

    t.mosq = mosquitto_new(nullptr, true, &t);
    if (!t.mosq)
        return;
    mosquitto_threaded_set(t.mosq, true);
    mosquitto_int_option(t.mosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(t.mosq, &Transport::onConnect);
    mosquitto_disconnect_callback_set(t.mosq, &Transport::onDisconnect);
    mosquitto_message_callback_set(t.mosq, &Transport::onMessage);
    mosquitto_will_set(t.mosq, t.onlineTopic.constData(), 1, "0", 1, true);
    if (!m_options.address.user.isEmpty() || m_options.password) {
        const QByteArray user = m_options.address.user.toUtf8();
        mosquitto_username_pw_set(t.mosq, user.isEmpty() ? nullptr : user.constData(),
                                  m_options.password ? m_options.password->constData() : nullptr);
    }
    if (m_options.address.tls) {
        // The system's CA store (OpenSSL's default paths, which honour
        // SSL_CERT_FILE and SSL_CERT_DIR); the broker's name is checked.
        mosquitto_int_option(t.mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        mosquitto_tls_set(t.mosq, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr);
    }
}

FleetLink::~FleetLink()
{
    Transport& t = *m_transport;
    if (!t.mosq)
        return;
    if (!t.thread.joinable()) {
        mosquitto_destroy(t.mosq);
        return;
    }
    {
        std::lock_guard lock(t.mutex);
        t.stopping = true;
        t.wake.notify_all();
    }
    if (t.connected) {
        mosquitto_publish(t.mosq, nullptr, t.onlineTopic.constData(), 1, "0", 1, true);
        mosquitto_disconnect(t.mosq);
    }
    std::unique_lock lock(t.mutex);
    if (t.wake.wait_for(lock, std::chrono::seconds(3), [&t] { return t.finished; })) {
        lock.unlock();
        t.thread.join();
        mosquitto_destroy(t.mosq);
        return;
    }
    // Stuck in a connection attempt: leave the thread and its state to the
    // process's end rather than hold up the exit.
    t.owner = nullptr;
    lock.unlock();
    t.thread.detach();
    (void)m_transport.release();
}

void FleetLink::start()
{
    Transport& t = *m_transport;
    if (!t.mosq || t.thread.joinable())
        return;
    if (m_options.address.insecure)
        log(u"warning: the link to %1 is not encrypted; the password and the deck travel in clear"_s
                .arg(m_options.address.host));
    t.thread = std::thread([&t] { t.run(); });
}

void FleetLink::setLogSink(LogSink sink)
{
    m_log = std::move(sink);
}

void FleetLink::log(const QString& line) const
{
    if (m_log)
        m_log(u"[Fleet] "_s + line);
}

bool FleetLink::isConnected() const
{
    return m_connected;
}

void FleetLink::publish(const DeckSnapshot& snapshot)
{
    const auto now = SteadyClock::now();
    const bool stale = m_sentAt && now - *m_sentAt >= std::chrono::duration<double>(republishAfterSeconds);
    if (m_sentContent && *m_sentContent == snapshot.content && !stale) {
        m_newest.reset();
        return;
    }
    m_newest = snapshot;
    if (!m_sentAt || now - *m_sentAt >= kPublishSpacing) {
        m_publishTimer.stop();
        sendNewest();
    } else if (!m_publishTimer.isActive()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*m_sentAt + kPublishSpacing - now);
        m_publishTimer.start(std::max(wait, std::chrono::milliseconds(1)));
    }
}

void FleetLink::sendNewest()
{
    if (!m_newest)
        return;
    const DeckSnapshot snapshot = std::move(*m_newest);
    m_newest.reset();
    const SnapshotEncoding encoded = SnapshotJson::encode(snapshot);
    if (!encoded.bytes) {
        log(u"encode failed: "_s + encoded.error);
        return;
    }
    if (encoded.bytes->size() > maximumSnapshotBytes)
        return;
    Transport& t = *m_transport;
    {
        std::lock_guard lock(t.mutex);
        t.deck = *encoded.bytes;
    }
    if (t.mosq && t.connected)
        mosquitto_publish(t.mosq, nullptr, t.deckTopic.constData(), int(encoded.bytes->size()),
                          encoded.bytes->constData(), 1, true);
    m_sentContent = snapshot.content;
    m_sentAt = SteadyClock::now();
}

void FleetLink::sendAck(const QString& host, const QString& providerID)
{
    Transport& t = *m_transport;
    if (!t.mosq || !t.connected || !FleetConfig::isValidHostName(host) || !providerIDs().contains(providerID))
        return;
    const QByteArray topic = t.prefixSlash + host.toUtf8() + "/ack";
    const QByteArray payload = QJsonDocument(QJsonObject{{u"provider"_s, providerID}}).toJson(QJsonDocument::Compact);
    mosquitto_publish(t.mosq, nullptr, topic.constData(), int(payload.size()), payload.constData(), 1, false);
}

void FleetLink::drainInbox()
{
    Transport& t = *m_transport;
    QHash<QString, QByteArray> decks, flags;
    QStringList oversized;
    QList<QByteArray> acks;
    QList<std::pair<QString, bool>> states;
    {
        std::lock_guard lock(t.mutex);
        decks.swap(t.decks);
        flags.swap(t.flags);
        oversized.swap(t.oversized);
        acks.swap(t.acks);
        states.swap(t.states);
        t.posted = false;
    }
    for (const auto& [text, up] : std::as_const(states))
        handleState(text, up);
    for (const QByteArray& ack : std::as_const(acks))
        handleAck(ack);

    const auto remoteFor = [this](const QString& host) -> Remote* {
        if (!m_remotes.contains(host) && m_remotes.size() >= maximumHosts)
            return nullptr;
        return &m_remotes[host];
    };
    bool changed = false;
    for (auto it = flags.cbegin(); it != flags.cend(); ++it) {
        Remote* remote = remoteFor(it.key());
        if (!remote || (it.value() != "1" && it.value() != "0"))
            continue;
        const bool flag = it.value() == "1";
        changed = changed || remote->flag != flag;
        remote->flag = flag;
    }
    for (const QString& host : std::as_const(oversized)) {
        if (Remote* remote = remoteFor(host); remote && spacedEnough(remote->loggedAt, kLogSpacing))
            log(u"ignoring a deck from %1 larger than %2 bytes"_s.arg(host).arg(maximumSnapshotBytes));
    }
    for (auto it = decks.begin(); it != decks.end(); ++it) {
        Remote* remote = remoteFor(it.key());
        if (!remote)
            continue;
        if (it.value().isEmpty()) {
            // A cleared retained deck: the host left the fleet.
            changed = changed || remote->snapshot.has_value();
            remote->snapshot.reset();
            remote->hasPending = false;
            remote->pending.clear();
            continue;
        }
        remote->pending = std::move(it.value());
        remote->hasPending = true;
    }
    if (changed)
        emit hostsChanged();
    decodeDue();
}

void FleetLink::decodeDue()
{
    const auto now = SteadyClock::now();
    std::optional<SteadyClock::time_point> next;
    bool changed = false;
    for (auto it = m_remotes.begin(); it != m_remotes.end(); ++it) {
        Remote& remote = it.value();
        if (!remote.hasPending)
            continue;
        if (remote.decodedAt && now - *remote.decodedAt < kDecodeSpacing) {
            const auto due = *remote.decodedAt + kDecodeSpacing;
            next = next ? std::min(*next, due) : due;
            continue;
        }
        const std::optional<DeckSnapshot> before = remote.snapshot;
        decode(it.key(), remote);
        changed = changed || remote.snapshot != before;
    }
    if (next && !m_decodeTimer.isActive())
        m_decodeTimer.start(std::max(std::chrono::ceil<std::chrono::milliseconds>(*next - now), std::chrono::milliseconds(1)));
    if (changed)
        emit hostsChanged();
}

void FleetLink::decode(const QString& host, Remote& remote)
{
    remote.decodedAt = SteadyClock::now();
    remote.hasPending = false;
    const QByteArray bytes = std::exchange(remote.pending, {});
    const SnapshotDecoding decoded = SnapshotJson::decode(bytes);
    const std::optional<qint64> version = decoded.snapshot ? std::optional(decoded.snapshot->version) : decoded.version;
    QString problem;
    if (version && *version > DeckSnapshot::currentVersion)
        problem = u"snapshot v%1; this build speaks v%2"_s.arg(*version).arg(DeckSnapshot::currentVersion);
    else if (!decoded.snapshot)
        problem = decoded.error;
    if (!problem.isEmpty()) {
        if (spacedEnough(remote.loggedAt, kLogSpacing))
            log(u"ignoring the deck from %1: %2"_s.arg(host, problem));
        return;
    }
    if (remote.snapshot && decoded.snapshot->capturedAt < remote.snapshot->capturedAt)
        return;
    remote.snapshot = decoded.snapshot;
    // For timing the way from a host's publish to this deck (bench/fleet-bench).
    qCDebug(lcFleet, "held %s", qPrintable(host));
}

void FleetLink::handleAck(const QByteArray& payload)
{
    const QJsonObject o = QJsonDocument::fromJson(payload).object();
    const QString provider = o.value(u"provider"_s).toString();
    if (o.size() == 1 && providerIDs().contains(provider)) {
        emit acknowledgeRequested(provider);
        return;
    }
    if (spacedEnough(m_ackLoggedAt, kLogSpacing))
        log(u"ignoring an acknowledgement request that is not {\"provider\":ID} with ID one of %1"_s.arg(
            providerIDs().join(u", "_s)));
}

void FleetLink::handleState(const QString& state, bool connected)
{
    if (!state.isEmpty() && state != m_loggedState) {
        m_loggedState = state;
        log(state);
    }
    if (connected != m_connected) {
        m_connected = connected;
        emit connectionChanged(connected);
    }
}

QList<FleetHost> FleetLink::hosts() const
{
    const Timestamp now = m_options.clock();
    QList<FleetHost> list;
    for (auto it = m_remotes.cbegin(); it != m_remotes.cend(); ++it) {
        const Remote& remote = it.value();
        if (!remote.snapshot)
            continue;
        FleetHost h;
        h.host = it.key();
        h.seenAt = remote.snapshot->capturedAt;
        h.online = remote.flag.value_or(true) && now - h.seenAt <= offlineAfterSeconds;
        h.content = remote.snapshot->content;
        list.append(std::move(h));
    }
    std::sort(list.begin(), list.end(), [](const FleetHost& a, const FleetHost& b) { return a.host < b.host; });
    return list;
}

} // namespace vexlor
