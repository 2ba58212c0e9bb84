#include "Logging.h"

namespace vexlor {

Q_LOGGING_CATEGORY(lcCollection, "vexlor.collection", QtInfoMsg)
Q_LOGGING_CATEGORY(lcClaude, "vexlor.claude", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCodex, "vexlor.codex", QtInfoMsg)
Q_LOGGING_CATEGORY(lcOpenCode, "vexlor.opencode", QtInfoMsg)
Q_LOGGING_CATEGORY(lcKimi, "vexlor.kimi", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDeck, "vexlor.deck", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSync, "vexlor.sync", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFleet, "vexlor.fleet", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHub, "vexlor.hub", QtInfoMsg)
Q_LOGGING_CATEGORY(lcInterface, "vexlor.interface", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "vexlor.app", QtInfoMsg)

} // namespace vexlor
