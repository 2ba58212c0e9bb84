#include "Agent.h"

#include <QCoreApplication>

namespace vexlor {

namespace {

// The context is the one the translation tools give Agent's members.
QString tr(const char* source, const char* disambiguation = nullptr, int n = -1)
{
    return QCoreApplication::translate("vexlor::Agent", source, disambiguation, n);
}

// "A" or "A +2": the first title and how many more there are.
QString titleWithMore(const QString& title, qsizetype total)
{
    if (total <= 1)
        return title;
    return tr("%1 +%2").arg(title).arg(total - 1);
}

} // namespace

QString AgentSession::toString(State state)
{
    switch (state) {
    case State::working:
        return QStringLiteral("working");
    case State::attention:
        return QStringLiteral("attention");
    case State::idle:
        break;
    }
    return QStringLiteral("idle");
}

QString toString(AgentStatus status)
{
    switch (status) {
    case AgentStatus::working:
        return QStringLiteral("working");
    case AgentStatus::needsYou:
        return QStringLiteral("needsYou");
    case AgentStatus::idle:
        return QStringLiteral("idle");
    case AgentStatus::offline:
        break;
    }
    return QStringLiteral("offline");
}

std::optional<AgentStatus> agentStatusFromString(QStringView text)
{
    for (AgentStatus s : {AgentStatus::working, AgentStatus::needsYou, AgentStatus::idle, AgentStatus::offline}) {
        if (text == toString(s))
            return s;
    }
    return std::nullopt;
}

QString Agent::statusLabel() const
{
    switch (status) {
    case AgentStatus::working:
        return tr("WORKING");
    case AgentStatus::needsYou:
        return tr("NEED YOU");
    case AgentStatus::idle:
        return tr("IDLE");
    case AgentStatus::offline:
        break;
    }
    return tr("NOT FOUND");
}

int Agent::count(AgentSession::State state) const
{
    const auto n = std::count_if(openSessions.cbegin(), openSessions.cend(),
                                 [state](const AgentSession& s) { return s.state == state; });
    return n == 0 ? sessions : static_cast<int>(n);
}

QList<AgentSession> Agent::attentionSessions() const
{
    QList<AgentSession> out;
    for (const AgentSession& s : openSessions) {
        if (s.state == AgentSession::State::attention)
            out.append(s);
    }
    return out;
}

QString Agent::countLine() const
{
    switch (status) {
    case AgentStatus::working: {
        const int n = count(AgentSession::State::working);
        return tr("%n active", nullptr, n);
    }
    case AgentStatus::needsYou: {
        const int n = count(AgentSession::State::attention);
        return tr("%n attention", nullptr, n);
    }
    case AgentStatus::idle:
        return tr("%n open", nullptr, sessions);
    case AgentStatus::offline:
        break;
    }
    return QString();
}

QString Agent::detailLine() const
{
    switch (status) {
    case AgentStatus::offline:
        return tr("not installed");
    case AgentStatus::needsYou: {
        const QList<AgentSession> waiting = attentionSessions();
        if (waiting.isEmpty())
            return tr("waiting for you");
        return titleWithMore(waiting.first().title, waiting.size());
    }
    case AgentStatus::working:
    case AgentStatus::idle:
        break;
    }
    if (openSessions.isEmpty())
        return tr("live backend");
    return titleWithMore(openSessions.first().title, openSessions.size());
}

QVariantList Agent::openSessionList() const
{
    QVariantList out;
    out.reserve(openSessions.size());
    for (const AgentSession& s : openSessions)
        out.append(QVariant::fromValue(s));
    return out;
}

QVariantList Agent::attentionSessionList() const
{
    QVariantList out;
    for (const AgentSession& s : attentionSessions())
        out.append(QVariant::fromValue(s));
    return out;
}

} // namespace vexlor
