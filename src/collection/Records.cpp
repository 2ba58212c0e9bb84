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

} // namespace vexlor
