#pragma once
// An SQLite VFS that wraps the default one and never creates, opens for
// writing or deletes a database, journal or write-ahead log. Connections made
// through it can only read what is already on disk.

namespace vexlor {

// The VFS's registered name; registers it on first use. Never the default.
[[nodiscard]] const char* noCreateVfsName();

} // namespace vexlor
