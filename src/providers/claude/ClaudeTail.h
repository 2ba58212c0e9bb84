#pragma once
// What the end of one Claude Code transcript says about its session: when the
// user last prompted, when a turn last ended, when the assistant last spoke,
// the latest activity, the model last named and the title the tool generated.

#include "collection/Timestamp.h"

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace vexlor {

struct ClaudeTail {
    Timestamp lastUser = Timestamp::distantPast();      // latest prompt (a user record without a tool result)
    Timestamp lastEnd = Timestamp::distantPast();       // latest assistant record that ended a turn
    Timestamp lastAssistant = Timestamp::distantPast(); // latest assistant record of any kind
    std::optional<Timestamp> activityAt;                // latest record of any kind; absent for no record
    std::optional<QString> lastModel;                   // last non-empty model name in text order
    std::optional<QString> aiTitle;                     // last "ai-title" record's title in text order
    bool operator==(const ClaudeTail&) const = default;
};

// Reads transcript lines (UTF-8, one JSON object per line; fragments and other
// lines are skipped). A record without a readable "timestamp" takes
// `fallback`, the transcript's modification time.
[[nodiscard]] ClaudeTail parseClaudeTail(QByteArrayView utf8, Timestamp fallback);

} // namespace vexlor
