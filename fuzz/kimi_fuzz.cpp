// Kimi Code's files over arbitrary bytes: the input is split at its first two
// NUL bytes into the session index, one session's state file and that
// session's wire log. "$DIR" in the index stands for the session folder the
// target writes the other two files into, so one input drives a whole pass.
// The wire-record search, which parses only lines that can hold a usage
// record, must find exactly what parsing every line finds.

#include "collection/Json.h"
#include "fixtures/Fixtures.h"
#include "providers/kimi/KimiCodeCollector.h"
#include "providers/kimi/KimiSession.h"
#include "providers/kimi/KimiWireUsage.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>

namespace {

const vexlor::Timestamp now = vexlor::Timestamp::fromSeconds(1.78e9);

bool sameNumber(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

// Every line parsed, without the search's shortcut.
QList<vexlor::KimiUsageRecord> allRecords(QByteArrayView lines)
{
    QList<vexlor::KimiUsageRecord> out;
    for (const auto& doc : vexlor::parseJSONLinesUtf8(lines)) {
        const auto root = doc.root();
        const auto time = vexlor::json::number(root, "time");
        const auto usage = vexlor::json::childObject(root, "usage");
        if (vexlor::json::string(root, "type") != std::string_view("usage.record") || !time || !usage)
            continue;
        double tokens = 0;
        for (const char* key : {"inputOther", "output", "inputCacheRead", "inputCacheCreation"})
            tokens += vexlor::json::number(*usage, key).value_or(0.0);
        out.append({*time, tokens});
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    qsizetype first = bytes.indexOf('\0');
    qsizetype second = first < 0 ? -1 : bytes.indexOf('\0', first + 1);
    const QByteArrayView index = first < 0 ? bytes : bytes.first(first);
    const QByteArrayView state = first < 0 ? QByteArrayView() : (second < 0 ? bytes.sliced(first + 1) : bytes.sliced(first + 1, second - first - 1));
    const QByteArrayView wire = second < 0 ? QByteArrayView() : bytes.sliced(second + 1);

    (void)vexlor::kimiSessionSnapshot(QStringLiteral("fuzz"), vexlor::parseKimiSessionState(state), now);

    const QList<vexlor::KimiUsageRecord> found = vexlor::kimiUsageRecords(wire);
    const QList<vexlor::KimiUsageRecord> expected = allRecords(wire);
    if (found.size() != expected.size())
        std::abort();
    for (qsizetype i = 0; i < found.size(); ++i)
        if (!sameNumber(found[i].timeMs, expected[i].timeMs) || !sameNumber(found[i].tokens, expected[i].tokens))
            std::abort();
    (void)vexlor::kimiUsageTotals(found, now);

    // A whole pass over the three files.
    static QTemporaryDir home;
    static const QString sessionDir = home.path() + QStringLiteral("/s");
    QByteArray indexBytes = index.toByteArray();
    indexBytes.replace("$DIR", sessionDir.toUtf8());
    using vexlor::fixtures::writeFile;
    if (!writeFile(home.path() + QStringLiteral("/session_index.jsonl"), indexBytes)
        || !writeFile(sessionDir + QStringLiteral("/state.json"), state.toByteArray())
        || !writeFile(sessionDir + QStringLiteral("/agents/main/wire.jsonl"), wire.toByteArray()))
        return 0;
    static vexlor::KimiCodeCollector collector({home.path(), [] { return now; }});
    const vexlor::ProviderReport report = collector.collectBlocking();
    if (!report.installed)
        std::abort();
    return 0;
}
