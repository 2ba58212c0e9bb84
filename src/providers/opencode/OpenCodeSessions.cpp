#include "OpenCodeSessions.h"

#include "collection/FileRoutines.h"
#include "collection/TextPrefix.h"

using namespace Qt::Literals::StringLiterals;

namespace vexlor::opencode {

SessionSnapshot sessionSnapshot(const SqlRow& row, Timestamp now, const CollectorContext& context)
{
    SessionSnapshot s;
    s.id = row.text(u"id"_s).value_or(QString());
    s.key = u"opencode:"_s + s.id;

    const double activityMs =
        row.number(u"message_at"_s).value_or(row.number(u"time_updated"_s).value_or(0));
    const Timestamp activity = Timestamp::fromMilliseconds(activityMs);
    const double elapsed = now - activity;
    s.activityAt = activity;

    const auto role = row.text(u"role"_s);
    const auto finish = row.text(u"finish"_s);
    // Any "error" member counts, JSON null included.
    const bool hasError = row.contains(u"error_type"_s);
    const bool streamingOrCallingTools = !finish || *finish == u"tool-calls";

    if (!role) {
        // No message at all.
        s.state = SessionState::idle;
        s.isOpen = false;
    } else if (elapsed < workingSeconds
               && (*role == u"user" || (*role == u"assistant" && streamingOrCallingTools && !hasError))) {
        s.state = SessionState::working;
        s.isOpen = true;
    } else if (*role != u"assistant") {
        s.state = SessionState::idle;
        s.isOpen = false;
    } else if ((finish && *finish == u"stop") || hasError) {
        // A finished turn (or one that failed) is a completion at its time.
        if (context.needsAttention(s.key, activity)) {
            s.state = SessionState::attention;
            s.isOpen = true;
            s.completionAt = activity;
        } else {
            s.state = SessionState::idle;
            s.isOpen = false;
        }
    } else {
        s.state = SessionState::idle;
        s.isOpen = false;
    }

    s.model = row.text(u"model_id"_s);
    s.title = cleanTitle(row.text(u"title"_s), 60).value_or(u"session "_s + leadingCharacters(s.id, 6));
    return s;
}

UsageSnapshot usageSnapshot(const QList<SqlRow>& rows, Timestamp now)
{
    UsageSnapshot usage;
    for (const SqlRow& row : rows) {
        UsageWindowSnapshot window;
        window.label = row.text(u"period"_s).value_or(u"?"_s);
        window.tokens = row.number(u"tokens"_s);
        usage.windows.append(window);
    }
    for (const SqlRow& row : rows) {
        if (row.text(u"period"_s) == u"7d"_s) {
            usage.costUSD = row.number(u"cost_usd"_s);
            break;
        }
    }
    usage.updatedAt = now;
    return usage;
}

} // namespace vexlor::opencode
