#pragma once
// One Claude Code status file ("sessions/<something>.json"): the running
// session's id, its process, its own status word and times, and what names it.

#include "collection/Timestamp.h"

#include <QByteArrayView>
#include <QString>
#include <optional>
#include <sys/types.h>

namespace vexlor {

struct ClaudeStatusFile {
    QString sessionId;
    pid_t pid = 0;                            // always > 0
    QString status;                           // lower-cased "status", or "idle"
    std::optional<Timestamp> updatedAt;       // "updatedAt", from milliseconds
    std::optional<Timestamp> statusUpdatedAt; // "statusUpdatedAt", from milliseconds
    std::optional<QString> name;
    std::optional<QString> nameSource;
    std::optional<QString> cwd;
    bool operator==(const ClaudeStatusFile&) const = default;
};

// No value unless the bytes hold one JSON object with a string "sessionId"
// and an integral "pid" that is positive and fits a process id.
[[nodiscard]] std::optional<ClaudeStatusFile> parseClaudeStatusFile(QByteArrayView utf8);

// The session's title: its name unless that was derived, else the title the
// tool generated for the transcript ("ai-title"), else the last component of
// its working directory, else the derived name, else "session " and the
// first six characters of the id.
[[nodiscard]] QString claudeSessionTitle(const ClaudeStatusFile& status,
                                         const std::optional<QString>& generatedTitle = std::nullopt);

// The folder below "projects" that holds the transcripts of sessions started
// in `cwd`: every character other than an ASCII letter or digit becomes "-".
[[nodiscard]] QString claudeProjectFolder(const QString& cwd);

} // namespace vexlor
