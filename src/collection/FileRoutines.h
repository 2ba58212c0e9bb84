#pragma once
// Small stateless file routines the collectors share: a recursive listing of
// ".jsonl" files, bounded reads from the end of a file, and title cleaning.
// All of them run on any thread and never fail: problems give an empty result.

#include "Records.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace vexlor {

// Every regular, non-hidden "*.jsonl" file below `directory` (hidden
// directories are not entered, symbolic links are not followed), with its
// modification time and size from the same walk, in walk order.
[[nodiscard]] QList<FileStamp> jsonlFiles(const QString& directory);

// The last `maxBytes` bytes of a regular file, decoded as UTF-8 with invalid
// sequences replaced by U+FFFD. Missing, unreadable or non-regular files
// (FIFOs, devices) give the empty text and never block.
[[nodiscard]] QString readTail(const QString& path, qint64 maxBytes);
// The same bytes, undecoded.
[[nodiscard]] QByteArray readTailBytes(const QString& path, qint64 maxBytes);

// A whole regular file, refused (no value) when it is larger than `maxBytes`.
[[nodiscard]] std::optional<QByteArray> readSmallFile(const QString& path, qint64 maxBytes);

// A session title fit for a key: line feeds become spaces, spaces and tabs are
// trimmed, placeholder titles give no value, and anything longer than
// `maxLength` user-perceived characters is cut and ends in "…".
[[nodiscard]] std::optional<QString> cleanTitle(const std::optional<QString>& text, qsizetype maxLength);

// "~" and "~/..." expanded against the user's home directory.
[[nodiscard]] QString expandTilde(const QString& path);
// An environment variable's value, or no value when unset or empty.
[[nodiscard]] std::optional<QString> environmentValue(const char* name);

} // namespace vexlor
