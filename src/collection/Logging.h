#pragma once
// One logging category per subsystem ("vexlor.hub", "vexlor.sync", ...), so
// that QT_LOGGING_RULES can quieten or widen one part. Qt writes these lines
// to standard error; standard output carries only what a mode prints on
// purpose (headless snapshot lines, --help, --version).

#include <QLoggingCategory>

namespace vexlor {

Q_DECLARE_LOGGING_CATEGORY(lcCollection)
Q_DECLARE_LOGGING_CATEGORY(lcClaude)
Q_DECLARE_LOGGING_CATEGORY(lcCodex)
Q_DECLARE_LOGGING_CATEGORY(lcOpenCode)
Q_DECLARE_LOGGING_CATEGORY(lcKimi)
Q_DECLARE_LOGGING_CATEGORY(lcDeck)
Q_DECLARE_LOGGING_CATEGORY(lcSync)
Q_DECLARE_LOGGING_CATEGORY(lcFleet)
Q_DECLARE_LOGGING_CATEGORY(lcHub)
Q_DECLARE_LOGGING_CATEGORY(lcInterface)
Q_DECLARE_LOGGING_CATEGORY(lcApp)

} // namespace vexlor
