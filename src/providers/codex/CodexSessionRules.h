#pragma once
// The small rules that turn a session log's name and tail into a session:
// the id found in the file name, the state, and the title.

#include "CodexTail.h"
#include "collection/Records.h"

#include <QByteArrayView>
#include <QHash>
#include <QStringView>
#include <optional>

namespace vexlor {

// The first UUID (8-4-4-4-12 hexadecimal digits, either case) in a file name,
// in lower case; no value when there is none.
[[nodiscard]] std::optional<QString> codexSessionId(QStringView fileName);

struct CodexSessionStatus {
    SessionState state = SessionState::idle;
    bool isOpen = false;
    std::optional<Timestamp> completionAt; // only for attention
    bool operator==(const CodexSessionStatus&) const = default;
};

// A task started less than this many seconds before the file last changed
// still counts as working.
inline constexpr double codexWorkingSeconds = 600;

// Working while a started task's file changed in the last ten minutes;
// attention after a completion or abort later than the hub's start and not
// acknowledged at or after it; otherwise idle and closed.
[[nodiscard]] CodexSessionStatus classifyCodexSession(const CodexTail& tail, Timestamp fileMtime, Timestamp now,
                                                      const CollectorContext& context, const QString& key);

// The thread name Codex keeps for the session, else its first prompt, each
// cut as titles are; else the last path component of the working directory,
// else "session " and the first six characters of the id.
[[nodiscard]] QString codexSessionTitle(const CodexTail& tail, const QString& id,
                                        const std::optional<QString>& threadName = std::nullopt);

// Session id (lower case) -> "thread_name" from the lines of Codex's
// "session_index.jsonl"; a later line for the same id wins.
[[nodiscard]] QHash<QString, QString> codexThreadNames(QByteArrayView utf8);

} // namespace vexlor
