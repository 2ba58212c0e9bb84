// A Claude Code status file over arbitrary bytes, followed by what the
// collector does with one: the title, the activity and status times and the
// classification against a transcript tail (the bytes after the first NUL).

#include "providers/claude/ClaudeSessionRules.h"
#include "providers/claude/ClaudeStatusFile.h"
#include "providers/claude/ClaudeTail.h"

#include <QByteArrayView>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype nul = bytes.indexOf('\0');
    const QByteArrayView statusBytes = nul < 0 ? bytes : bytes.first(nul);
    const QByteArrayView transcript = nul < 0 ? QByteArrayView() : bytes.sliced(nul + 1);

    const auto status = vexlor::parseClaudeStatusFile(statusBytes);
    if (!status)
        return 0;
    if (status->pid <= 0 || status->status != status->status.toLower())
        std::abort();
    if (vexlor::claudeSessionTitle(*status).isEmpty())
        std::abort();

    const vexlor::Timestamp now = vexlor::Timestamp::fromSeconds(1.78e9);
    const vexlor::ClaudeTail tail = vexlor::parseClaudeTail(transcript, now - 30);
    vexlor::ClaudeSessionFacts facts;
    facts.key = QStringLiteral("claude:") + status->sessionId;
    facts.status = status->status;
    facts.tail = tail;
    facts.activityAt = vexlor::claudeActivityTime(*status, tail, now - 30);
    facts.statusAt = vexlor::claudeStatusTime(*status, facts.activityAt);
    if (facts.statusAt < facts.activityAt)
        std::abort();
    vexlor::CollectorContext context;
    context.attentionSince = now - 3600;
    const auto verdict = vexlor::classifyClaudeSession(facts, context, now);
    if (verdict.completionAt.has_value() != (verdict.state == vexlor::SessionState::attention))
        std::abort();
    return 0;
}
