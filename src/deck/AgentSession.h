#pragma once
// One open session row of an agent, as the deck shows it.

#include "collection/Timestamp.h"

#include <QObject>
#include <QString>
#include <QVariant>
#include <optional>

namespace vexlor {

struct AgentSession {
    Q_GADGET
    Q_PROPERTY(QString id READ sessionId)
    Q_PROPERTY(QString title READ sessionTitle)
    // "working", "attention" or "idle".
    Q_PROPERTY(QString state READ stateName)
    // Seconds since 1970, or undefined (also for a time nobody knew, which
    // the collectors give as the distant past).
    Q_PROPERTY(QVariant since READ sinceSeconds)

public:
    enum class State { working, attention, idle };
    Q_ENUM(State)

    QString id; // the session key ("codex:" + the provider's id)
    QString title;
    State state = State::idle;
    std::optional<Timestamp> since;

    [[nodiscard]] QString sessionId() const { return id; }
    [[nodiscard]] QString sessionTitle() const { return title; }
    [[nodiscard]] QString stateName() const { return toString(state); }
    [[nodiscard]] QVariant sinceSeconds() const
    {
        return since && !since->isDistantPast() ? QVariant(since->seconds()) : QVariant();
    }

    [[nodiscard]] static QString toString(State state);

    bool operator==(const AgentSession&) const = default;
};

} // namespace vexlor
