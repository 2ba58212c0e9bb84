#include "CodexTail.h"

#include "CodexRateLimits.h"
#include "collection/Json.h"

namespace vexlor {

namespace {

std::optional<QString> nonEmptyString(json::object o, std::string_view key)
{
    const auto s = json::string(o, key);
    if (!s || s->empty())
        return std::nullopt;
    return json::toQString(*s);
}

// The first text part of a completed user message item.
std::optional<QString> userMessageText(json::object payload)
{
    const auto item = json::childObject(payload, "item");
    if (!item || json::string(*item, "type") != std::optional<std::string_view>("UserMessage"))
        return std::nullopt;
    const auto content = json::childArray(*item, "content");
    if (!content)
        return std::nullopt;
    for (const json::element part : *content) {
        json::object o;
        if (part.get(o) != simdjson::SUCCESS)
            continue;
        if (auto text = nonEmptyString(o, "text"))
            return text;
    }
    return std::nullopt;
}

std::optional<CodexLifeEvent> lifeEvent(std::string_view type)
{
    if (type == "task_started")
        return CodexLifeEvent::taskStarted;
    if (type == "task_complete")
        return CodexLifeEvent::taskComplete;
    if (type == "turn_aborted")
        return CodexLifeEvent::turnAborted;
    return std::nullopt;
}

void apply(json::object record, Timestamp fileMtime, CodexTail& tail)
{
    const auto payload = json::childObject(record, "payload");
    if (!payload)
        return; // every field below lives in the payload
    if (auto model = nonEmptyString(*payload, "model"))
        tail.model = std::move(model);

    const auto type = json::string(record, "type");
    if (!type)
        return;
    if (*type == "session_meta") {
        if (auto cwd = nonEmptyString(*payload, "cwd"))
            tail.cwd = std::move(cwd);
    } else if (*type == "event_msg") {
        const auto payloadType = json::string(*payload, "type");
        if (!payloadType)
            return;
        if (auto event = lifeEvent(*payloadType)) {
            tail.life = event;
            tail.lifeAt = parseISODate(json::member(record, "timestamp"), fileMtime);
        } else if (*payloadType == "item_completed") {
            if (!tail.firstPrompt)
                tail.firstPrompt = userMessageText(*payload);
        } else if (*payloadType == "token_count") {
            if (auto rateLimits = json::childObject(*payload, "rate_limits")) {
                const Timestamp eventAt = parseISODate(json::member(record, "timestamp"), fileMtime);
                tail.rateLimits = rateLimitWindows(*rateLimits, eventAt);
            }
        }
    }
}

} // namespace

void CodexTail::fillFrom(const CodexTail& older)
{
    if (!life) {
        life = older.life;
        lifeAt = older.lifeAt;
    }
    if (!rateLimits)
        rateLimits = older.rateLimits;
    if (!model)
        model = older.model;
    if (!cwd)
        cwd = older.cwd;
    if (older.firstPrompt)
        firstPrompt = older.firstPrompt;
}

CodexTail parseCodexTail(QByteArrayView utf8, Timestamp fileMtime)
{
    CodexTail tail;
    // Line by line, so that only one parsed record is alive at a time.
    forEachJSONLine(utf8, [&](const json::Document& doc) { apply(doc.root(), fileMtime, tail); });
    return tail;
}

} // namespace vexlor
