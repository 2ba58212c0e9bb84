#include "ReadOnlyDatabase.h"

#include "DatabaseFiles.h"
#include "NoCreateVfs.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexlor {

namespace {

// Whether the header marks a write-ahead-log database (read version 2).
bool headerSaysWal(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::array<unsigned char, 20> header{};
    const ssize_t n = pread(fd, header.data(), header.size(), 0);
    ::close(fd);
    static constexpr char magic[] = "SQLite format 3";
    return n == ssize_t(header.size()) && memcmp(header.data(), magic, sizeof magic) == 0 && header[19] == 2;
}

ReadOnlyDatabase::Access chooseAccess(const QByteArray& path, const DatabaseFiles& files)
{
    // A log with an index beside it, or with frames in it, may hold
    // committed transactions: read through it.
    if (files.log.exists && (files.shared.exists || files.log.file.size > 0))
        return ReadOnlyDatabase::Access::live;
    if (headerSaysWal(path))
        return ReadOnlyDatabase::Access::snapshot;
    return ReadOnlyDatabase::Access::locked;
}

bool isOpenFailure(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_CANTOPEN || primary == SQLITE_NOTADB;
}

} // namespace

QByteArray sqliteFileUri(const QString& path, const QByteArray& query)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    QByteArray uri = "file:";
    for (const char c : QFile::encodeName(path)) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || c == '/' || c == '-'
            || c == '.' || c == '_' || c == '~') {
            uri += c;
        } else {
            uri += '%';
            uri += hex[u >> 4];
            uri += hex[u & 0xf];
        }
    }
    if (!query.isEmpty())
        uri += '?' + query;
    return uri;
}

ReadOnlyDatabase::ReadOnlyDatabase(const QString& path, Access access, int busyTimeoutMs)
{
    const char* vfs = noCreateVfsName();
    if (!vfs)
        return; // without the guard no connection is made at all
    QByteArray query = "mode=ro";
    // readonly_shm maps the owner's index read-only; immutable reads the main
    // file alone, without locks (used only as the snapshot described above).
    query += access == Access::snapshot ? "&immutable=1" : "&readonly_shm=1";
    const QByteArray uri = sqliteFileUri(path, query);
    const int rc = sqlite3_open_v2(uri.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, vfs);
    m_open = rc == SQLITE_OK;
    if (m_open)
        sqlite3_busy_timeout(m_db, busyTimeoutMs);
}

ReadOnlyDatabase::~ReadOnlyDatabase()
{
    if (m_db)
        sqlite3_close(m_db);
}

QString ReadOnlyDatabase::errorMessage() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString();
}

SqlQueryResult ReadOnlyDatabase::query(const char* sql)
{
    SqlQueryResult result;
    if (!m_open) {
        result.status = SqlQueryResult::Status::openFailed;
        result.errorMessage = errorMessage();
        return result;
    }
    sqlite3_stmt* statement = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr);
    if (rc != SQLITE_OK || !statement) {
        // SQLite opens lazily: an unreadable file or one that is not a
        // database shows up here, not at open.
        result.status = isOpenFailure(sqlite3_extended_errcode(m_db)) ? SqlQueryResult::Status::openFailed
                                                                      : SqlQueryResult::Status::prepareFailed;
        result.errorMessage = errorMessage();
        sqlite3_finalize(statement);
        return result;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
        SqlRow row;
        const int columns = sqlite3_column_count(statement);
        for (int i = 0; i < columns; ++i) {
            const char* name = sqlite3_column_name(statement, i);
            if (!name)
                continue; // out of memory: the column is left out
            switch (sqlite3_column_type(statement, i)) {
            case SQLITE_INTEGER:
            case SQLITE_FLOAT:
                row.set(QString::fromUtf8(name), sqlite3_column_double(statement, i));
                break;
            case SQLITE_TEXT: {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
                if (text) // null only when out of memory: left out
                    row.set(QString::fromUtf8(name), QString::fromUtf8(text, sqlite3_column_bytes(statement, i)));
                break;
            }
            default:
                break; // NULL and BLOB are left out
            }
        }
        result.rows.append(std::move(row));
    }
    sqlite3_finalize(statement);
    return result;
}

SqlQueryResult queryReadOnly(const QString& path, const char* sql, int busyTimeoutMs,
                             const std::function<void()>& afterRead)
{
    // SQLite names the log and index after the resolved path.
    const QString resolved = QFileInfo(path).canonicalFilePath();
    if (resolved.isEmpty())
        return {SqlQueryResult::Status::openFailed, QString::fromUtf8(sqlite3_errstr(SQLITE_CANTOPEN)), {}};
    const QByteArray encoded = QFile::encodeName(resolved);

    constexpr int attempts = 3;
    SqlQueryResult result{SqlQueryResult::Status::openFailed, QString::fromUtf8(sqlite3_errstr(SQLITE_BUSY)), {}};
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const DatabaseFiles before = DatabaseFiles::of(encoded);
        if (!before.database.exists)
            return {SqlQueryResult::Status::openFailed, QString::fromUtf8(sqlite3_errstr(SQLITE_CANTOPEN)), {}};
        const ReadOnlyDatabase::Access access = chooseAccess(encoded, before);
        {
            ReadOnlyDatabase db(resolved, access, busyTimeoutMs);
            result = db.query(sql);
        }
        if (afterRead)
            afterRead();
        const bool changed = DatabaseFiles::of(encoded) != before;
        if (access == ReadOnlyDatabase::Access::snapshot && changed)
            continue; // a writer came and went during the read: read again
        if (access != ReadOnlyDatabase::Access::snapshot && result.status == SqlQueryResult::Status::openFailed
            && changed)
            continue; // the log appeared or went away meanwhile: choose again
        return result;
    }
    if (result.status == SqlQueryResult::Status::ok) {
        // Only a snapshot that kept changing gets here: its rows may be torn.
        result = {SqlQueryResult::Status::openFailed, QString::fromUtf8(sqlite3_errstr(SQLITE_BUSY)), {}};
    }
    return result;
}

} // namespace vexlor
