#pragma once
// The pure rules that turn a Claude Code status file and its transcript tail
// into a session: the transcript index, the activity and status times, and
// the working / attention / idle classification.

#include "ClaudeStatusFile.h"
#include "ClaudeTail.h"
#include "collection/Records.h"

#include <QHash>
#include <QList>
#include <QString>

namespace vexlor {

// Session id (a transcript's base name) -> its newest transcript. On equal
// modification times the file listed first is kept.
[[nodiscard]] QHash<QString, FileStamp> claudeTranscriptIndex(const QList<FileStamp>& listing);

struct ClaudeClassification {
    SessionState state = SessionState::idle;
    std::optional<Timestamp> completionAt; // only for attention
    bool operator==(const ClaudeClassification&) const = default;
};

// Everything the classification looks at for one live session.
struct ClaudeSessionFacts {
    QString key;                              // "claude:" and the session id
    QString status;                           // the lower-cased status word
    ClaudeTail tail;
    Timestamp activityAt = Timestamp::distantPast();
    Timestamp statusAt = Timestamp::distantPast();
};

// The latest of the status file's update, the tail's activity and the
// transcript's modification time, whichever are known.
[[nodiscard]] Timestamp claudeActivityTime(const ClaudeStatusFile& status, const ClaudeTail& tail,
                                           std::optional<Timestamp> transcriptMtime);
// The later of the activity time and the status word's last change.
[[nodiscard]] Timestamp claudeStatusTime(const ClaudeStatusFile& status, Timestamp activityAt);

// Working when the status word says so; attention when it asks for the user
// and that was not acknowledged; working when a turn is in flight (a prompt or
// tool call after the last end of turn, with activity under 300 seconds before
// `now`); attention when a turn ended after the hub started, unless
// acknowledged; idle otherwise.
[[nodiscard]] ClaudeClassification classifyClaudeSession(const ClaudeSessionFacts& facts,
                                                         const CollectorContext& context, Timestamp now);

} // namespace vexlor
