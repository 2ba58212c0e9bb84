// The Codex session-log tail parse and the rate-limit conversion over
// arbitrary bytes. Besides never crashing, a tail read in two pieces split at
// a line break and merged with fillFrom must equal the tail of the whole
// text (that is how the collector keeps values that moved out of reach), and
// every converted window must be well formed.

#include "providers/codex/CodexRateLimits.h"
#include "providers/codex/CodexTail.h"
#include "sync/SnapshotJson.h"

#include <QByteArrayView>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

void checkWindows(const std::optional<QList<vexlor::UsageWindowSnapshot>>& windows)
{
    if (!windows)
        return;
    if (windows->size() > 2)
        std::abort();
    for (const auto& w : *windows) {
        if (w.label.isEmpty())
            std::abort();
        if (w.percent && !(*w.percent >= 0 && *w.percent <= 1))
            std::abort();
        if (w.resetsAt)
            (void)vexlor::SnapshotJson::formatTimestamp(*w.resetsAt);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const vexlor::Timestamp mtime = vexlor::Timestamp::fromSeconds(1.78e9);

    const vexlor::CodexTail whole = vexlor::parseCodexTail(bytes, mtime);
    checkWindows(whole.rateLimits);
    if ((whole.model && whole.model->isEmpty()) || (whole.cwd && whole.cwd->isEmpty()))
        std::abort();

    // Split at the first line feed at or after a point chosen by the input.
    if (size > 0) {
        const qsizetype from = static_cast<qsizetype>(data[0]) * bytes.size() / 256;
        const qsizetype cut = bytes.indexOf('\n', from);
        if (cut >= 0) {
            vexlor::CodexTail merged = vexlor::parseCodexTail(bytes.sliced(cut + 1), mtime);
            merged.fillFrom(vexlor::parseCodexTail(bytes.first(cut), mtime));
            if (!(merged == whole))
                std::abort();
        }
    }

    // The label of any minute count, finite or not.
    if (size >= sizeof(double)) {
        double minutes;
        std::memcpy(&minutes, data, sizeof minutes);
        const QString label = vexlor::windowLabel(minutes);
        if (label.isEmpty())
            std::abort();
        if (std::isfinite(minutes) != (label != QLatin1String("limit")))
            std::abort();
        const double fraction = vexlor::usedFraction(minutes);
        if (!(fraction >= 0 && fraction <= 1))
            std::abort();
    }
    return 0;
}
