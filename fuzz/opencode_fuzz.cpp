// OpenCode's database over arbitrary content. With an even first byte the
// rest of the input, split at NUL bytes, fills a well-formed database: the
// first piece is the session title, each further piece one message's JSON
// "data" (the queries read role, finish, error, model, tokens and cost out of
// it). With an odd first byte the rest is the database file itself, so broken
// and hostile files reach the read-only layer. Every pass must end in a
// report, never a crash or a hang.

#include "providers/opencode/OpenCodeCollector.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <sqlite3.h>

namespace {

const vexlor::Timestamp now = vexlor::Timestamp::fromSeconds(1.78e9);

bool bind(sqlite3_stmt* statement, int column, QByteArrayView text)
{
    return sqlite3_bind_text(statement, column, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) == SQLITE_OK;
}

// A rollback-journal database (no log beside it) holding one session.
bool writeDatabase(const QString& path, QByteArrayView pieces)
{
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK
        && sqlite3_exec(db,
                        "PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY; BEGIN;"
                        "CREATE TABLE session (id TEXT PRIMARY KEY, title TEXT, time_updated INTEGER, time_archived INTEGER);"
                        "CREATE TABLE message (id TEXT PRIMARY KEY, session_id TEXT, time_created INTEGER, data TEXT);",
                        nullptr, nullptr, nullptr)
            == SQLITE_OK;
    sqlite3_stmt* session = nullptr;
    sqlite3_stmt* message = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO session VALUES ('ses_1', ?1, 1779999990000, NULL)", -1, &session, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, "INSERT INTO message VALUES (?1, 'ses_1', ?2, ?3)", -1, &message, nullptr) == SQLITE_OK;
    qsizetype start = 0;
    int n = 0;
    // Writing is the harness's cost, not the reader's: one transaction, and
    // no more messages than the sessions query ever looks at per session.
    while (ok && start <= pieces.size() && n <= 64) {
        qsizetype end = pieces.indexOf('\0', start);
        if (end < 0)
            end = pieces.size();
        const QByteArrayView piece = pieces.sliced(start, end - start);
        if (n == 0) {
            ok = bind(session, 1, piece) && sqlite3_step(session) == SQLITE_DONE;
        } else {
            const QByteArray id = "msg_" + QByteArray::number(n);
            ok = bind(message, 1, id) && sqlite3_bind_int64(message, 2, 1779999000000 + n) == SQLITE_OK
                && bind(message, 3, piece) && sqlite3_step(message) == SQLITE_DONE && sqlite3_reset(message) == SQLITE_OK;
        }
        ++n;
        start = end + 1;
    }
    sqlite3_finalize(session);
    sqlite3_finalize(message);
    ok = ok && sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static QTemporaryDir home;
    const QString path = home.path() + QStringLiteral("/opencode.db");
    QFile::remove(path);
    const QByteArrayView rest(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
    if (data[0] % 2 == 0) {
        if (!writeDatabase(path, rest))
            return 0;
    } else {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(rest.data(), rest.size()) != rest.size())
            return 0;
    }
    static vexlor::OpenCodeCollector collector({home.path(), [] { return now; }, 200});
    const vexlor::ProviderReport report = collector.collectBlocking({});
    if (!report.installed || report.sessions.size() > 50)
        std::abort();
    return 0;
}
