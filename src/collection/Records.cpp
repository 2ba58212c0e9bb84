#include "Records.h"

namespace vexlor {

QString toString(SessionState state)
{
    switch (state) {
    case SessionState::working:
        return QStringLiteral("working");
    case SessionState::attention:
        return QStringLiteral("attention");
    case SessionState::idle:
        return QStringLiteral("idle");
    }
    return {};
}

std::optional<SessionState> sessionStateFromString(QStringView text)
{
    if (text == u"working")
        return SessionState::working;
    if (text == u"attention")
        return SessionState::attention;
    if (text == u"idle")
        return SessionState::idle;
    return std::nullopt;
}

} // namespace vexlor
