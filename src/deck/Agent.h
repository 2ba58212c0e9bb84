#pragma once
// One agent tile of the deck: a provider's status, its open sessions and the
// texts every view shows for it (translated at the moment they are read).

#include "AgentSession.h"

#include <QList>
#include <QStringList>
#include <QVariantList>

namespace vexlor {

enum class AgentStatus { working, needsYou, idle, offline };

// "working", "needsYou", "idle", "offline".
[[nodiscard]] QString toString(AgentStatus status);
// Exact, case-sensitive; unknown strings give no value.
[[nodiscard]] std::optional<AgentStatus> agentStatusFromString(QStringView text);

struct Agent {
    Q_GADGET
    Q_PROPERTY(QString id READ agentId)
    Q_PROPERTY(QString name READ agentName)
    // "working", "needsYou", "idle" or "offline".
    Q_PROPERTY(QString status READ statusName)
    Q_PROPERTY(int sessions READ sessionCount)
    // Seconds since 1970, or undefined when not working.
    Q_PROPERTY(QVariant startedAt READ startedAtSeconds)
    Q_PROPERTY(QStringList models READ modelNames)
    // AgentSession values, needs-you first.
    Q_PROPERTY(QVariantList openSessions READ openSessionList)
    Q_PROPERTY(QVariantList attentionSessions READ attentionSessionList)
    Q_PROPERTY(QString statusLabel READ statusLabel)
    Q_PROPERTY(QString countLine READ countLine)
    Q_PROPERTY(QString detailLine READ detailLine)

public:
    QString id;   // provider id: "claude", "codex", "opencode", "kimi"
    QString name; // display name: "CLAUDE", ...
    AgentStatus status = AgentStatus::idle;
    int sessions = 0; // open sessions
    std::optional<Timestamp> startedAt;
    QStringList models;               // up to 3, most recent first
    QList<AgentSession> openSessions; // up to 12

    // "WORKING", "NEED YOU", "IDLE", "NOT FOUND".
    [[nodiscard]] QString statusLabel() const;
    // Open sessions in `state`; `sessions` when there are none.
    [[nodiscard]] int count(AgentSession::State state) const;
    // The open sessions in the attention state, in row order.
    [[nodiscard]] QList<AgentSession> attentionSessions() const;
    // "3 active", "1 attention", "2 open", or empty when offline.
    [[nodiscard]] QString countLine() const;
    // "not installed", "waiting for you", "live backend", or the first
    // relevant session's title with " +N" for the others.
    [[nodiscard]] QString detailLine() const;

    [[nodiscard]] QString agentId() const { return id; }
    [[nodiscard]] QString agentName() const { return name; }
    [[nodiscard]] QString statusName() const { return toString(status); }
    [[nodiscard]] int sessionCount() const { return sessions; }
    [[nodiscard]] QVariant startedAtSeconds() const { return startedAt ? QVariant(startedAt->seconds()) : QVariant(); }
    [[nodiscard]] QStringList modelNames() const { return models; }
    [[nodiscard]] QVariantList openSessionList() const;
    [[nodiscard]] QVariantList attentionSessionList() const;

    bool operator==(const Agent&) const = default;
};

} // namespace vexlor
