// From agent data to the published snapshot: the Codex tail's rate limits,
// the Claude and Codex usage bodies and Kimi's wire records (the input split
// at NUL bytes) become provider reports, are mapped to deck tiles and built
// into a snapshot, which must always encode. A value one agent file makes up
// must never stop the deck from being published.

#include "hub/ReportMapping.h"
#include "providers/claude/ClaudeUsageFetcher.h"
#include "providers/codex/CodexTail.h"
#include "providers/codex/CodexUsageFetcher.h"
#include "providers/kimi/KimiWireUsage.h"
#include "sync/DeckSnapshot.h"
#include "sync/SnapshotJson.h"

#include <QByteArrayView>

#include <cstdio>
#include <cstdlib>

namespace {

const vexlor::Timestamp now = vexlor::Timestamp::fromSeconds(1.78e9);

QByteArrayView piece(QByteArrayView bytes, int index)
{
    qsizetype start = 0;
    for (int i = 0; i < index; ++i) {
        const qsizetype nul = bytes.indexOf('\0', start);
        if (nul < 0)
            return {};
        start = nul + 1;
    }
    const qsizetype end = bytes.indexOf('\0', start);
    return bytes.sliced(start, (end < 0 ? bytes.size() : end) - start);
}

vexlor::ProviderReport reportWith(QList<vexlor::UsageWindowSnapshot> windows)
{
    vexlor::ProviderReport report;
    report.installed = true;
    report.usage.windows = std::move(windows);
    report.usage.updatedAt = now;
    return report;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QList<vexlor::Agent> agents;
    QList<vexlor::ProviderUsage> usage;
    auto add = [&](const char* id, const char* name, const vexlor::ProviderReport& report) {
        const vexlor::MappedProvider mapped = vexlor::mapReport(QLatin1String(id), QLatin1String(name), report, now);
        agents.append(mapped.agent);
        usage.append(mapped.usage);
    };

    add("codex", "CODEX", reportWith(vexlor::parseCodexTail(piece(bytes, 0), now).rateLimits.value_or(QList<vexlor::UsageWindowSnapshot>{})));
    add("claude", "CLAUDE", reportWith(vexlor::parseClaudeUsage(piece(bytes, 1), now)));
    if (const auto live = vexlor::parseCodexUsage(piece(bytes, 2), now))
        add("codex", "CODEX", reportWith(live->windows));
    const auto totals = vexlor::kimiUsageTotals(vexlor::kimiUsageRecords(piece(bytes, 3)), now);
    vexlor::UsageWindowSnapshot day{.label = QStringLiteral("24h"), .tokens = totals.last24h};
    vexlor::UsageWindowSnapshot week{.label = QStringLiteral("7d"), .tokens = totals.last7d};
    add("kimi", "KIMI", reportWith({day, week}));

    const vexlor::DeckSnapshot snapshot = vexlor::DeckSnapshot::from(agents, usage, now);
    const vexlor::SnapshotEncoding encoded = vexlor::SnapshotJson::encode(snapshot);
    if (!encoded.bytes) {
        std::fprintf(stderr, "encode failed: %s\n", qPrintable(encoded.error));
        std::abort();
    }
    return 0;
}
