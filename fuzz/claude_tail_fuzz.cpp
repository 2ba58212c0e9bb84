// The Claude Code transcript tail parse over arbitrary bytes. A text split at
// a line break must give the tail of its two pieces combined (latest times,
// last model), so the result never depends on where a read began.

#include "providers/claude/ClaudeTail.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const vexlor::Timestamp mtime = vexlor::Timestamp::fromSeconds(1.78e9);
    const vexlor::ClaudeTail whole = vexlor::parseClaudeTail(bytes, mtime);
    if (whole.lastModel && whole.lastModel->isEmpty())
        std::abort();
    if (whole.activityAt && (*whole.activityAt < whole.lastUser || *whole.activityAt < whole.lastAssistant))
        std::abort();
    if (whole.lastEnd > whole.lastAssistant)
        std::abort();

    if (size == 0)
        return 0;
    const qsizetype cut = bytes.indexOf('\n', static_cast<qsizetype>(data[0]) * bytes.size() / 256);
    if (cut < 0)
        return 0;
    const vexlor::ClaudeTail a = vexlor::parseClaudeTail(bytes.first(cut), mtime);
    const vexlor::ClaudeTail b = vexlor::parseClaudeTail(bytes.sliced(cut + 1), mtime);
    vexlor::ClaudeTail merged;
    merged.lastUser = std::max(a.lastUser, b.lastUser);
    merged.lastEnd = std::max(a.lastEnd, b.lastEnd);
    merged.lastAssistant = std::max(a.lastAssistant, b.lastAssistant);
    merged.activityAt = b.activityAt ? (a.activityAt ? std::max(*a.activityAt, *b.activityAt) : *b.activityAt) : a.activityAt;
    merged.lastModel = b.lastModel ? b.lastModel : a.lastModel;
    if (!(merged == whole))
        std::abort();
    return 0;
}
