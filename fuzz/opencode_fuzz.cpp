// OpenCode's database over arbitrary content. With an even first byte the
// rest of the input, split at NUL bytes, fills a well-formed database: the
// first piece is the session title, each further piece one message's JSON
// "data" (the queries read role, finish, error, model, tokens and cost out of
// it). With an odd first byte the rest is the database file itself, so broken
// and hostile files reach the read-only layer. Every pass must end in a
// report, never a crash or a hang.

#include "fixtures/Fixtures.h"
#include "providers/opencode/OpenCodeCollector.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

const vexlor::Timestamp now = vexlor::Timestamp::fromSeconds(1.78e9);

// A rollback-journal database (no log beside it) holding one session.
bool writeDatabase(const QString& path, QByteArrayView pieces)
{
    vexlor::fixtures::OpenCodeDatabase db(path, vexlor::fixtures::OpenCodeDatabase::Journal::memory);
    db.exec("BEGIN;");
    qsizetype start = 0;
    int n = 0;
    // Writing is the harness's cost, not the reader's: one transaction, and
    // no more messages than the sessions query ever looks at per session.
    while (db.ok() && start <= pieces.size() && n <= 64) {
        qsizetype end = pieces.indexOf('\0', start);
        if (end < 0)
            end = pieces.size();
        const QByteArray piece = pieces.sliced(start, end - start).toByteArray();
        if (n == 0)
            db.session("ses_1", piece, 1779999990000);
        else
            db.message("msg_" + QByteArray::number(n), "ses_1", 1779999000000 + n, piece);
        ++n;
        start = end + 1;
    }
    return db.exec("COMMIT;");
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
    } else if (!vexlor::fixtures::writeFile(path, rest.toByteArray())) {
        return 0;
    }
    static vexlor::OpenCodeCollector collector({home.path(), [] { return now; }, 200});
    const vexlor::ProviderReport report = collector.collectBlocking({});
    if (!report.installed || report.sessions.size() > 50)
        std::abort();
    return 0;
}
