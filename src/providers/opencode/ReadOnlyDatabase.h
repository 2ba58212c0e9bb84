#pragma once
// Read-only access to an SQLite database that another program owns and may be
// writing at the same moment, without ever creating, changing or removing a
// file beside it.
//
// A database in write-ahead-log mode is read one of two ways:
// - live: while its "-wal" log exists (its owner has it open, or left it
//   behind), through the owner's shared-memory index mapped read-only (or an
//   index built in private memory when no owner holds it), so committed
//   transactions still in the log are seen and readers and the writer
//   coordinate through the usual locks;
// - snapshot: when there is no log (the owner closed it cleanly), the main
//   file holds every committed transaction and is read as an immutable file.
//   The file and its neighbours are checked before and after the read; if a
//   writer appeared meanwhile the read is repeated, so a torn read is never
//   returned.
// Other databases (rollback journal) are read with ordinary shared locks.
// Every connection goes through a VFS that cannot create or write files.

#include "SqlRow.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

struct sqlite3;

namespace vexlor {

struct SqlQueryResult {
    enum class Status {
        ok,
        openFailed,    // missing, unreadable or not a database
        prepareFailed, // for example a missing table or column
    };
    Status status = Status::ok;
    QString errorMessage; // SQLite's message when not ok
    // Rows until the first step that was not a row (done, busy after the
    // busy timeout, or an error): the rows read so far are kept.
    QList<SqlRow> rows;
};

// One connection, closed when the object goes away.
class ReadOnlyDatabase {
public:
    enum class Access { live, snapshot, locked };

    ReadOnlyDatabase(const QString& path, Access access, int busyTimeoutMs);
    ~ReadOnlyDatabase();
    ReadOnlyDatabase(const ReadOnlyDatabase&) = delete;
    ReadOnlyDatabase& operator=(const ReadOnlyDatabase&) = delete;

    [[nodiscard]] bool isOpen() const { return m_open; }
    [[nodiscard]] QString errorMessage() const;
    // Prepares the whole text and steps through its rows.
    [[nodiscard]] SqlQueryResult query(const char* sql);

private:
    sqlite3* m_db = nullptr;
    bool m_open = false;
};

// Runs one statement on its own connection, picking the access above from
// the files on disk. Never creates, changes or removes a file. `afterRead`,
// when given, runs after each read attempt, before the files are looked at
// again (tests use it to play a writer that comes and goes).
[[nodiscard]] SqlQueryResult queryReadOnly(const QString& path, const char* sql, int busyTimeoutMs = 5000,
                                           const std::function<void()>& afterRead = {});

// "file:" URI of a path, percent-encoded, with the given query string.
[[nodiscard]] QByteArray sqliteFileUri(const QString& path, const QByteArray& query);

} // namespace vexlor
