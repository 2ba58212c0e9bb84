#include "FolderFleet.h"

#include "FleetConfig.h"
#include "LineLog.h"
#include "SnapshotJson.h"
#include "collection/ProviderCatalog.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;
using SteadyClock = std::chrono::steady_clock;

namespace vexlor {
namespace {

constexpr auto kReadSpacing = std::chrono::seconds(1);
constexpr auto kLogSpacing = std::chrono::minutes(1);
const auto kDeckSuffix = u"@deck.snapshot.v1"_s;
const auto kAckInfix = u"@ack."_s;
const auto kAckSuffix = u".v1"_s;

// The sender of an acknowledgement file addressed to `target`, if `key` is one.
std::optional<QString> senderOfAckKey(const QString& key, const QString& target)
{
    const QString start = target + kAckInfix;
    if (!key.startsWith(start) || !key.endsWith(kAckSuffix))
        return std::nullopt;
    const QString sender = key.mid(start.size(), key.size() - start.size() - kAckSuffix.size());
    if (!FleetConfig::isValidHostName(sender))
        return std::nullopt;
    return sender;
}

// {"claude":"2026-12-07T10:15:00Z", ...} with known providers only, or none.
std::optional<QHash<QString, Timestamp>> parseAcks(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    QHash<QString, Timestamp> acks;
    const QJsonObject object = document.object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const std::optional<Timestamp> at
            = it.value().isString() ? SnapshotJson::parseTimestamp(it.value().toString()) : std::nullopt;
        if (!findProvider(it.key()) || !at)
            return std::nullopt;
        acks.insert(it.key(), *at);
    }
    return acks;
}

} // namespace

FolderFleet::FolderFleet(std::unique_ptr<KeyValueStore> store, Options options, QObject* parent)
    : FleetSource(parent)
    , m_store(std::move(store))
    , m_options(std::move(options))
    , m_startedAt(m_options.clock())
{
    m_log = standardErrorLines();
    m_readTimer.setSingleShot(true);
    connect(&m_readTimer, &QTimer::timeout, this, &FolderFleet::readDue);
    m_pollTimer.setInterval(pollInterval);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] {
        m_store->checkForChanges();
        checkLiveness();
    });
    connect(m_store.get(), &KeyValueStore::changedExternally, this, &FolderFleet::keysChanged);
}

FolderFleet::~FolderFleet() = default;

QString FolderFleet::deckKey(const QString& host)
{
    return host + kDeckSuffix;
}

QString FolderFleet::ackKey(const QString& target, const QString& sender)
{
    return target + kAckInfix + sender + kAckSuffix;
}

std::optional<QString> FolderFleet::hostOfDeckKey(const QString& key)
{
    if (!key.endsWith(kDeckSuffix))
        return std::nullopt;
    const QString host = key.chopped(kDeckSuffix.size());
    if (!FleetConfig::isValidHostName(host))
        return std::nullopt;
    return host;
}

void FolderFleet::setLogSink(LogSink sink)
{
    m_log = std::move(sink);
}

void FolderFleet::start()
{
    if (m_pollTimer.isActive())
        return;
    if (!m_store->startObserving())
        m_log(u"[Fleet] cannot watch the shared folder; looking for changes every %1 s"_s.arg(pollInterval.count()));
    m_pollTimer.start();
    keysChanged(m_store->keys());
}

void FolderFleet::keysChanged(const QStringList& keys)
{
    for (const QString& key : keys) {
        if (const std::optional<QString> host = hostOfDeckKey(key)) {
            if (*host == m_options.hostName || (!m_remotes.contains(*host) && m_remotes.size() >= maximumHosts))
                continue;
            m_remotes[*host].pending = true;
        } else if (const std::optional<QString> sender = senderOfAckKey(key, m_options.hostName)) {
            if (!m_senders.contains(*sender) && m_senders.size() >= maximumHosts)
                continue;
            m_senders[*sender].pending = true;
        }
    }
    readDue();
}

void FolderFleet::readDue()
{
    const auto now = SteadyClock::now();
    std::optional<SteadyTime> next;
    // Whether this reader may be read now; otherwise notes when it may.
    const auto due = [&](const Reader& reader) {
        if (!reader.pending)
            return false;
        if (reader.readAt && now - *reader.readAt < kReadSpacing) {
            const SteadyTime at = *reader.readAt + kReadSpacing;
            next = next ? std::min(*next, at) : at;
            return false;
        }
        return true;
    };

    bool changed = false;
    for (auto it = m_remotes.begin(); it != m_remotes.end();) {
        if (!due(it.value())) {
            ++it;
            continue;
        }
        const std::optional<DeckSnapshot> before = it.value().snapshot;
        if (!readDeck(it.key(), it.value())) {
            changed = changed || before.has_value();
            it = m_remotes.erase(it);
            continue;
        }
        changed = changed || it.value().snapshot != before;
        ++it;
    }
    for (auto it = m_senders.begin(); it != m_senders.end(); ++it) {
        if (due(it.value()))
            readAcks(it.key(), it.value());
    }
    if (next && !m_readTimer.isActive())
        m_readTimer.start(std::max(std::chrono::ceil<std::chrono::milliseconds>(*next - now), std::chrono::milliseconds(1)));
    if (changed) {
        m_lastLiveness = liveness();
        emit hostsChanged();
    }
}

bool FolderFleet::readDeck(const QString& host, Remote& remote)
{
    remote.readAt = SteadyClock::now();
    remote.pending = false;
    const KeyValueRead read = m_store->value(deckKey(host));
    if (!read.value && read.error.isEmpty())
        return false;
    QString problem = read.error;
    if (read.value && read.value->size() > maximumSnapshotBytes) {
        problem = u"larger than %1 bytes"_s.arg(maximumSnapshotBytes);
    } else if (read.value) {
        const SnapshotDecoding decoded = SnapshotJson::decode(*read.value);
        const std::optional<qint64> version
            = decoded.snapshot ? std::optional(decoded.snapshot->version) : decoded.version;
        if (version && *version > DeckSnapshot::currentVersion)
            problem = u"snapshot v%1; this build speaks v%2"_s.arg(*version).arg(DeckSnapshot::currentVersion);
        else if (!decoded.snapshot)
            problem = decoded.error;
        else
            remote.snapshot = decoded.snapshot;
    }
    if (!problem.isEmpty())
        logLimited(remote, u"ignoring the deck from %1: %2"_s.arg(host, problem));
    return true;
}

void FolderFleet::readAcks(const QString& sender, Sender& state)
{
    state.readAt = SteadyClock::now();
    state.pending = false;
    const QString key = ackKey(m_options.hostName, sender);
    const KeyValueRead read = m_store->value(key);
    if (!read.value) {
        if (!read.error.isEmpty())
            logLimited(state, u"ignoring acknowledgement requests from %1: %2"_s.arg(sender, read.error));
        return;
    }
    const std::optional<QHash<QString, Timestamp>> acks
        = read.value->size() <= maximumAckBytes ? parseAcks(*read.value) : std::nullopt;
    if (!acks) {
        logLimited(state, u"ignoring acknowledgement requests from %1 that are not {\"PROVIDER\":TIME, ...} "
                          "in %2 bytes or less"_s.arg(sender).arg(maximumAckBytes));
        return;
    }

    const Timestamp now = m_options.clock();
    const Timestamp startedAt = Timestamp::fromSeconds(std::floor(m_startedAt.seconds()));
    QStringList requested;
    for (auto it = acks->cbegin(); it != acks->cend(); ++it) {
        const Timestamp at = it.value();
        const auto handled = state.handled.constFind(it.key());
        if ((handled != state.handled.cend() && at <= handled.value()) || at < startedAt
            || std::abs(now - at) > ackLifetimeSeconds)
            continue;
        state.handled.insert(it.key(), at);
        requested.append(it.key());
    }
    // Taken: the file has done its work whatever it asked for.
    const KeyValueWrite removed = m_store->removeValue(key);
    if (!removed.ok)
        logLimited(state, u"cannot remove the acknowledgement requests from %1: %2"_s.arg(sender, removed.error));
    for (const QString& provider : std::as_const(requested))
        emit acknowledgeRequested(provider);
}

void FolderFleet::sendAck(const QString& host, const QString& providerID)
{
    const auto refuse = [this](const QString& why) {
        const auto now = SteadyClock::now();
        if (!m_sendLoggedAt || now - *m_sendLoggedAt >= kLogSpacing) {
            m_sendLoggedAt = now;
            m_log(u"[Fleet] "_s + why);
        }
    };
    if (!findProvider(providerID))
        return;
    if (const auto remote = m_remotes.constFind(host); remote == m_remotes.cend() || !remote->snapshot) {
        refuse(u"not asking %1 to acknowledge: no deck from such a host in the shared folder"_s.arg(host.left(64)));
        return;
    }
    // The times of the recent requests to that host, this one the newest:
    // each later request for a provider carries a later time.
    const Timestamp now = m_options.clock();
    QHash<QString, Timestamp>& sent = m_sent[host];
    for (auto it = sent.begin(); it != sent.end();)
        it = now - it.value() > ackLifetimeSeconds ? sent.erase(it) : std::next(it);
    Timestamp at = Timestamp::fromSeconds(std::floor(now.seconds()));
    if (const auto previous = sent.constFind(providerID); previous != sent.cend() && at <= previous.value())
        at = previous.value() + 1;
    sent.insert(providerID, at);

    QJsonObject object;
    for (auto it = sent.cbegin(); it != sent.cend(); ++it)
        object.insert(it.key(), SnapshotJson::formatTimestamp(it.value()).value_or(QString()));
    const KeyValueWrite written
        = m_store->setValue(ackKey(host, m_options.hostName), QJsonDocument(object).toJson(QJsonDocument::Compact));
    if (!written.ok)
        refuse(u"cannot ask %1 to acknowledge: %2"_s.arg(host, written.error));
}

void FolderFleet::logLimited(Reader& reader, const QString& line)
{
    const auto now = SteadyClock::now();
    if (reader.loggedAt && now - *reader.loggedAt < kLogSpacing)
        return;
    reader.loggedAt = now;
    m_log(u"[Fleet] "_s + line);
}

QHash<QString, bool> FolderFleet::liveness() const
{
    QHash<QString, bool> online;
    for (const FleetHost& h : hosts())
        online.insert(h.host, h.online);
    return online;
}

void FolderFleet::checkLiveness()
{
    QHash<QString, bool> now = liveness();
    if (now == m_lastLiveness)
        return;
    m_lastLiveness = std::move(now);
    emit hostsChanged();
}

QList<FleetHost> FolderFleet::hosts() const
{
    const Timestamp now = m_options.clock();
    QList<FleetHost> list;
    for (auto it = m_remotes.cbegin(); it != m_remotes.cend(); ++it) {
        if (!it.value().snapshot)
            continue;
        FleetHost h;
        h.host = it.key();
        h.seenAt = it.value().snapshot->capturedAt;
        h.online = now - h.seenAt <= offlineAfterSeconds;
        h.content = it.value().snapshot->content;
        list.append(std::move(h));
    }
    std::sort(list.begin(), list.end(), [](const FleetHost& a, const FleetHost& b) { return a.host < b.host; });
    return list;
}

} // namespace vexlor
