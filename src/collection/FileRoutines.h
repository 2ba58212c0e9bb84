#pragma once
// Small stateless file routines the collectors share: a recursive listing of
// ".jsonl" files, bounded reads, and title cleaning.
// All of them run on any thread and never fail: problems give an empty result.

#include "Records.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

struct stat;

namespace vexlor {

// Every regular, non-hidden "*.jsonl" file below `directory` (hidden
// directories are not entered, symbolic links are not followed), with its
// modification time and size from the same walk, in walk order.
[[nodiscard]] QList<FileStamp> jsonlFiles(const QString& directory);

// Whether `path` names anything stat() can see (symbolic links followed).
[[nodiscard]] bool pathExists(const QString& path);
// A stat result's modification time, to the nanosecond.
[[nodiscard]] Timestamp mtimeOf(const struct stat& st);

// One bounded read of a regular file, never blocking: the whole file when it
// holds at most `maxBytes`; a larger one is refused (`Overflow::refuse`, error
// EFBIG) or read from its last `maxBytes` bytes (`Overflow::keepTail`).
// Directories (EISDIR), FIFOs and devices (EINVAL) and failures (their errno)
// give no bytes.
enum class Overflow { refuse, keepTail };
struct BoundedRead {
    std::optional<QByteArray> bytes;
    int error = 0;
};
[[nodiscard]] BoundedRead readBounded(const QString& path, qint64 maxBytes, Overflow overflow);

// Spaces and tabs removed at both ends; line breaks stay.
[[nodiscard]] QString trimSpacesAndTabs(const QString& text);

// A session title fit for a key: line feeds become spaces, spaces and tabs are
// trimmed, placeholder titles give no value, and anything longer than
// `maxLength` user-perceived characters is cut and ends in "…".
[[nodiscard]] std::optional<QString> cleanTitle(const std::optional<QString>& text, qsizetype maxLength);

// "~" and "~/..." expanded against the user's home directory.
[[nodiscard]] QString expandTilde(const QString& path);
// An environment variable's value, or no value when unset or empty.
[[nodiscard]] std::optional<QString> environmentValue(const char* name);

} // namespace vexlor
