#pragma once
// The sync layer's log lines ("[DeckSync] ...", "[Fleet] ...") go to standard
// error as they are, without a logging category in front: scripts read them.

#include <QString>
#include <functional>

namespace vexlor {

using LineSink = std::function<void(const QString& line)>;

// Writes each message as one line (line breaks inside become spaces) and
// flushes, so lines from several threads and processes do not interleave.
[[nodiscard]] LineSink standardErrorLines();

} // namespace vexlor
