#include "ClaudeTail.h"

#include "collection/Json.h"

#include <algorithm>

namespace vexlor {

ClaudeTail parseClaudeTail(QByteArrayView utf8, Timestamp fallback)
{
    ClaudeTail tail;
    for (const json::Document& doc : parseJSONLinesUtf8(utf8)) {
        const json::object record = doc.root();
        const Timestamp t = parseISODate(json::member(record, "timestamp"), fallback);
        tail.activityAt = std::max(tail.activityAt.value_or(Timestamp::distantPast()), t);

        const auto type = json::string(record, "type");
        if (!type)
            continue;
        if (*type == "user") {
            if (!json::member(record, "toolUseResult"))
                tail.lastUser = std::max(tail.lastUser, t);
        } else if (*type == "ai-title") {
            if (const auto title = json::string(record, "aiTitle"); title && !title->empty())
                tail.aiTitle = json::toQString(*title);
        } else if (*type == "assistant") {
            tail.lastAssistant = std::max(tail.lastAssistant, t);
            const auto message = json::childObject(record, "message");
            if (!message)
                continue;
            if (const auto model = json::string(*message, "model"); model && !model->empty())
                tail.lastModel = json::toQString(*model);
            if (const auto stop = json::string(*message, "stop_reason"); stop && *stop != "tool_use")
                tail.lastEnd = std::max(tail.lastEnd, t);
        }
    }
    return tail;
}

} // namespace vexlor
