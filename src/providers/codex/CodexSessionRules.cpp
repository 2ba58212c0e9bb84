#include "CodexSessionRules.h"

#include "collection/FileRoutines.h"
#include "collection/Json.h"

namespace vexlor {

namespace {

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

bool isUuidAt(QStringView text, qsizetype at)
{
    static constexpr qsizetype groups[] = {8, 4, 4, 4, 12};
    qsizetype i = at;
    for (qsizetype g = 0; g < 5; ++g) {
        if (g > 0) {
            if (text[i] != u'-')
                return false;
            ++i;
        }
        for (qsizetype k = 0; k < groups[g]; ++k, ++i) {
            if (!isHexDigit(text[i]))
                return false;
        }
    }
    return true;
}

} // namespace

std::optional<QString> codexSessionId(QStringView fileName)
{
    constexpr qsizetype uuidLength = 36;
    for (qsizetype at = 0; at + uuidLength <= fileName.size(); ++at) {
        if (isUuidAt(fileName, at))
            return fileName.mid(at, uuidLength).toString().toLower();
    }
    return std::nullopt;
}

CodexSessionStatus classifyCodexSession(const CodexTail& tail, Timestamp fileMtime, Timestamp now,
                                        const CollectorContext& context, const QString& key)
{
    if (!tail.life)
        return {};
    if (*tail.life == CodexLifeEvent::taskStarted && now - fileMtime < codexWorkingSeconds)
        return {SessionState::working, true, std::nullopt};
    if (*tail.life != CodexLifeEvent::taskStarted && context.needsAttention(key, tail.lifeAt))
        return {SessionState::attention, true, tail.lifeAt};
    return {};
}

QString codexSessionTitle(const CodexTail& tail, const QString& id, const std::optional<QString>& threadName)
{
    if (auto name = cleanTitle(threadName, 60))
        return *name;
    if (auto prompt = cleanTitle(tail.firstPrompt, 60))
        return *prompt;
    if (tail.cwd) {
        QStringView path(*tail.cwd);
        while (path.size() > 1 && path.endsWith(u'/'))
            path.chop(1);
        const qsizetype slash = path.lastIndexOf(u'/');
        if (path.size() > 1 && slash >= 0)
            path = path.sliced(slash + 1);
        return path.toString();
    }
    return QStringLiteral("session ") + id.left(6);
}

QHash<QString, QString> codexThreadNames(QByteArrayView utf8)
{
    QHash<QString, QString> names;
    forEachJSONLine(utf8, [&](const json::Document& doc) {
        const auto id = json::qstring(doc.root(), "id");
        const auto name = json::qstring(doc.root(), "thread_name");
        if (id && name)
            names.insert(id->toLower(), *name);
    });
    return names;
}

} // namespace vexlor
