// The Claude usage endpoint's answer body over arbitrary bytes: at most the
// "5h" and the "7d" window, in that order, each with a fraction from 0 to 1.

#include "providers/claude/ClaudeUsageFetcher.h"
#include "sync/SnapshotJson.h"

#include <QByteArrayView>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto windows = vexlor::parseClaudeUsage(bytes, vexlor::Timestamp::fromSeconds(1.78e9));
    if (windows.size() > 2)
        std::abort();
    for (qsizetype i = 0; i < windows.size(); ++i) {
        const auto& w = windows[i];
        if (w.label != QLatin1String("5h") && w.label != QLatin1String("7d"))
            std::abort();
        if (i == 1 && (windows[0].label != QLatin1String("5h") || w.label != QLatin1String("7d")))
            std::abort();
        if (w.percent && !(*w.percent >= 0 && *w.percent <= 1))
            std::abort();
        if (w.resetsAt)
            (void)vexlor::SnapshotJson::formatTimestamp(*w.resetsAt);
    }
    return 0;
}
