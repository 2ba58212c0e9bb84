#include "KimiSession.h"

#include "collection/FileRoutines.h"
#include "collection/Json.h"
#include "collection/TextPrefix.h"

using namespace Qt::Literals::StringLiterals;

namespace vexlor {

namespace {

std::optional<QString> nonEmpty(const std::optional<QString>& text)
{
    if (text && !text->isEmpty())
        return text;
    return std::nullopt;
}

// The last component of a directory path, ignoring trailing slashes; "/" for
// the root itself.
QString lastPathComponent(const QString& path)
{
    qsizetype end = path.size();
    while (end > 1 && path[end - 1] == u'/')
        --end;
    const QString trimmed = path.left(end);
    if (trimmed == u"/")
        return trimmed;
    return trimmed.mid(trimmed.lastIndexOf(u'/') + 1);
}

// The state file names no model; its title, else the start of the last
// prompt, stands in for one.
std::optional<QString> modelText(const KimiSessionState& state)
{
    if (auto title = nonEmpty(state.title))
        return title;
    if (auto prompt = nonEmpty(state.lastPrompt))
        return leadingCharacters(*prompt, 40);
    return std::nullopt;
}

QString titleText(const QString& sessionId, const KimiSessionState& state)
{
    if (auto t = cleanTitle(state.title, 60))
        return *t;
    if (auto t = cleanTitle(state.lastPrompt, 60))
        return *t;
    if (auto dir = nonEmpty(state.workDir))
        return lastPathComponent(*dir);
    return u"session "_s + leadingCharacters(sessionId, 6);
}

} // namespace

KimiSessionState parseKimiSessionState(QByteArrayView stateJson)
{
    KimiSessionState state;
    const auto doc = json::Document::parseObject(stateJson);
    if (!doc)
        return state;
    const json::object root = doc->root();
    state.updatedAt = parseISODate(json::member(root, "updatedAt"), Timestamp::distantPast());
    state.title = json::qstring(root, "title");
    state.lastPrompt = json::qstring(root, "lastPrompt");
    state.workDir = json::qstring(root, "workDir");
    return state;
}

SessionSnapshot kimiSessionSnapshot(const QString& sessionId, const KimiSessionState& state, Timestamp now)
{
    SessionSnapshot s;
    s.key = u"kimi:"_s + sessionId;
    s.id = sessionId;
    s.state = (now - state.updatedAt) < kimiWorkingSeconds ? SessionState::working : SessionState::idle;
    s.isOpen = true;
    s.activityAt = state.updatedAt;
    s.model = modelText(state);
    s.title = titleText(sessionId, state);
    return s;
}

} // namespace vexlor
