#pragma once
// The plain value records a collector hands to the hub on every pass. They are
// rebuilt on each pass, copied freely and never refer back to a collector.

#include "Timestamp.h"

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace vexlor {

// One file found by a directory scan.
struct FileStamp {
    QString path;
    Timestamp mtime = Timestamp::distantPast();
    qint64 size = 0;
    bool operator==(const FileStamp&) const = default;
};

enum class SessionState { working, attention, idle };

[[nodiscard]] QString toString(SessionState state);

struct SessionSnapshot {
    QString key; // provider id, ':' and the session id
    QString id;
    SessionState state = SessionState::idle;
    bool isOpen = false;
    Timestamp activityAt = Timestamp::distantPast();
    std::optional<Timestamp> completionAt; // only when state is attention
    std::optional<QString> model;
    std::optional<QString> title;
    bool operator==(const SessionSnapshot&) const = default;
};

struct UsageWindowSnapshot {
    QString label;
    std::optional<double> percent; // used share, 0..1
    std::optional<double> tokens;
    std::optional<Timestamp> resetsAt;
    std::optional<double> periodSeconds;
    bool operator==(const UsageWindowSnapshot&) const = default;
};

// Why a usage snapshot carries an error instead of figures.
enum class UsageFailure {
    failed,               // the figures could not be had
    onlineAccessDisabled, // the user keeps online access off
};

struct UsageSnapshot {
    QList<UsageWindowSnapshot> windows;
    std::optional<double> costUSD;
    std::optional<Timestamp> updatedAt;
    // Translated text for people; `failure` says what it means.
    std::optional<QString> error;
    UsageFailure failure = UsageFailure::failed;
    bool operator==(const UsageSnapshot&) const = default;

    [[nodiscard]] static UsageSnapshot failed(const QString& message, std::optional<Timestamp> at = std::nullopt,
                                              UsageFailure failure = UsageFailure::failed)
    {
        UsageSnapshot u;
        u.updatedAt = at;
        u.error = message;
        u.failure = failure;
        return u;
    }
};

// Claude token spend of the last 24 hours and 7 days.
struct SpendSnapshot {
    double tokens24h = 0;
    double cost24h = 0;
    double tokens7d = 0;
    double cost7d = 0;
    std::optional<Timestamp> updatedAt; // absent only before the first scan
    bool operator==(const SpendSnapshot&) const = default;
};

struct ProviderReport {
    bool installed = false;
    QList<SessionSnapshot> sessions;
    UsageSnapshot usage;
    std::optional<SpendSnapshot> spend;
    bool operator==(const ProviderReport&) const = default;
};

// What the hub hands every collector on one pass.
struct CollectorContext {
    Timestamp attentionSince = Timestamp::distantPast();
    QHash<QString, Timestamp> acknowledged; // session key -> acknowledged at
    bool allowNetwork = false;

    // True when a completion at `completion` of session `key` still needs the
    // user: later than the hub's start and not acknowledged at or after it.
    [[nodiscard]] bool needsAttention(const QString& key, Timestamp completion) const
    {
        if (!(completion > attentionSince))
            return false;
        const auto it = acknowledged.constFind(key);
        return it == acknowledged.constEnd() || *it < completion;
    }
};

} // namespace vexlor
