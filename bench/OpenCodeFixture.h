#pragma once
// The synthetic OpenCode database the benchmarks share: 200 sessions and
// 50,000 messages spread over the last 14 days, written in WAL mode.

#include <QByteArray>
#include <QtGlobal>
#include <sqlite3.h>

namespace vexlor::bench {

inline void execOrDie(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK)
        qFatal("%s", error);
}

// Fills an open, empty database; `nowMs` is "now" in milliseconds.
inline void writeOpenCodeRows(sqlite3* db, double nowMs, bool withIndex)
{
    execOrDie(db, "PRAGMA journal_mode=WAL;"
                  "CREATE TABLE session (id TEXT PRIMARY KEY, title TEXT, time_updated INTEGER, time_archived INTEGER);"
                  "CREATE TABLE message (id TEXT PRIMARY KEY, session_id TEXT, time_created INTEGER, data TEXT);");
    if (withIndex)
        execOrDie(db, "CREATE INDEX message_session ON message(session_id);");
    execOrDie(db, "BEGIN;");
    sqlite3_stmt* insertSession = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO session VALUES (?, ?, ?, NULL);", -1, &insertSession, nullptr);
    for (int s = 0; s < 200; ++s) {
        const QByteArray id = "ses_" + QByteArray::number(s).rightJustified(4, '0');
        const QByteArray title = "Session " + QByteArray::number(s);
        sqlite3_bind_text(insertSession, 1, id.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insertSession, 2, title.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insertSession, 3, qint64(nowMs) - s * 3600000LL);
        sqlite3_step(insertSession);
        sqlite3_reset(insertSession);
    }
    sqlite3_finalize(insertSession);
    sqlite3_stmt* insertMessage = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO message VALUES (?, ?, ?, ?);", -1, &insertMessage, nullptr);
    for (int m = 0; m < 50000; ++m) {
        const QByteArray id = "msg_" + QByteArray::number(m).rightJustified(6, '0');
        const QByteArray session = "ses_" + QByteArray::number(m % 200).rightJustified(4, '0');
        const qint64 created = qint64(nowMs) - qint64((50000 - m) * (14.0 * 86400000.0 / 50000));
        const QByteArray data = m % 2 == 0
            ? QByteArray("{\"role\":\"user\",\"time\":{\"created\":1}}")
            : "{\"role\":\"assistant\",\"finish\":\"stop\",\"modelID\":\"model-x\",\"tokens\":{\"input\":"
                + QByteArray::number(m % 700) + ",\"output\":" + QByteArray::number(m % 300)
                + ",\"reasoning\":0,\"cache\":{\"read\":100,\"write\":0}},\"cost\":0.0012}";
        sqlite3_bind_text(insertMessage, 1, id.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insertMessage, 2, session.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insertMessage, 3, created);
        sqlite3_bind_text(insertMessage, 4, data.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_step(insertMessage);
        sqlite3_reset(insertMessage);
    }
    sqlite3_finalize(insertMessage);
    execOrDie(db, "COMMIT;");
}

} // namespace vexlor::bench
