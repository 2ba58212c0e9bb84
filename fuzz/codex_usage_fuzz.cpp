// The Codex usage endpoint's answer body over arbitrary bytes: when it gives
// a snapshot, that holds one or two well-formed windows and no error.

#include "providers/codex/CodexUsageFetcher.h"
#include "sync/SnapshotJson.h"

#include <QByteArrayView>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto usage = vexlor::parseCodexUsage(bytes, vexlor::Timestamp::fromSeconds(1.78e9));
    if (!usage)
        return 0;
    if (usage->windows.isEmpty() || usage->windows.size() > 2 || usage->error)
        std::abort();
    for (const auto& w : usage->windows) {
        if (w.label.isEmpty())
            std::abort();
        if (w.percent && !(*w.percent >= 0 && *w.percent <= 1))
            std::abort();
        if (w.resetsAt)
            (void)vexlor::SnapshotJson::formatTimestamp(*w.resetsAt);
    }
    return 0;
}
