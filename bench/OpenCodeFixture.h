#pragma once
// The synthetic OpenCode database the benchmarks share: 200 sessions and
// 50,000 messages spread over the last 14 days, written in WAL mode.

#include "fixtures/Fixtures.h"

#include <QDir>
#include <QFileInfo>

namespace vexlor::bench {

// Writes the database at `path`; `nowMs` is "now" in milliseconds.
inline void writeOpenCodeRows(const QString& path, double nowMs, bool withIndex)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    fixtures::OpenCodeDatabase db(path);
    if (withIndex)
        db.exec("CREATE INDEX message_session ON message(session_id);");
    db.exec("BEGIN;");
    for (int s = 0; s < 200; ++s)
        db.session("ses_" + QByteArray::number(s).rightJustified(4, '0'), "Session " + QByteArray::number(s),
                   nowMs - s * 3600000.0);
    for (int m = 0; m < 50000; ++m) {
        const QByteArray data = m % 2 == 0 ? QByteArray("{\"role\":\"user\",\"time\":{\"created\":1}}")
                                           : fixtures::openCodeAnswer("stop", m % 700, m % 300, 0.0012, "model-x");
        db.message("msg_" + QByteArray::number(m).rightJustified(6, '0'), "ses_" + QByteArray::number(m % 200).rightJustified(4, '0'),
                   nowMs - (50000 - m) * (14.0 * 86400000.0 / 50000), data);
    }
    if (!db.exec("COMMIT;"))
        qFatal("cannot write the OpenCode database %s", qPrintable(path));
}

} // namespace vexlor::bench
