#pragma once
// What the end of one Codex session log says: the last lifecycle event, the
// last recorded rate limits, the model, the working directory and the first
// prompt. Parsing is
// pure, so a tail can be cached by the file's size and modification time.

#include "collection/Records.h"

#include <QByteArrayView>
#include <optional>

namespace vexlor {

enum class CodexLifeEvent { taskStarted, taskComplete, turnAborted };

struct CodexTail {
    std::optional<CodexLifeEvent> life;
    Timestamp lifeAt = Timestamp::distantPast();
    // The windows of the last "rate_limits" object seen, converted as soon as
    // it is read (the conversion depends only on the record). An object with
    // neither window still counts as seen and gives an empty list.
    std::optional<QList<UsageWindowSnapshot>> rateLimits;
    std::optional<QString> model;
    std::optional<QString> cwd;
    // The text of the first user message seen ("item_completed" of a
    // "UserMessage").
    std::optional<QString> firstPrompt;
    bool operator==(const CodexTail&) const = default;

    // Keeps what this tail found and takes the rest from `older`, the tail of
    // an earlier, shorter state of the same file whose start may since have
    // moved out of reach. The lifecycle event and its time go together; the
    // first prompt is the older tail's whenever it has one, since it reached
    // further back.
    void fillFrom(const CodexTail& older);
};

// Parses the last bytes of a session log (UTF-8, one JSON object per line;
// a cut first line, broken lines and non-objects are skipped). Records carry
// their own "timestamp"; `fileMtime` stands in where it is missing.
[[nodiscard]] CodexTail parseCodexTail(QByteArrayView utf8, Timestamp fileMtime);

} // namespace vexlor
