#include "ClaudeStatusFile.h"

#include "collection/FileRoutines.h"
#include "collection/Json.h"
#include "collection/TextPrefix.h"

#include <QCoreApplication>

#include <limits>

namespace vexlor {

namespace {

std::optional<Timestamp> millisecondsMember(json::object o, std::string_view key)
{
    if (const auto ms = json::number(o, key))
        return Timestamp::fromMilliseconds(*ms);
    return std::nullopt;
}

// The last component of a path; trailing slashes do not count, and a path of
// slashes only is "/".
QString lastPathComponent(const QString& path)
{
    qsizetype end = path.size();
    while (end > 0 && path[end - 1] == u'/')
        --end;
    if (end == 0)
        return QStringLiteral("/");
    const qsizetype slash = path.lastIndexOf(u'/', end - 1);
    return path.mid(slash + 1, end - slash - 1);
}

} // namespace

std::optional<ClaudeStatusFile> parseClaudeStatusFile(QByteArrayView utf8)
{
    const auto doc = json::Document::parseObject(utf8);
    if (!doc)
        return std::nullopt;
    const json::object o = doc->root();
    const auto sessionId = json::qstring(o, "sessionId");
    const auto pid = json::integer(o, "pid");
    // kill() with 0 or a negative pid signals whole process groups, and a pid
    // beyond pid_t cannot be probed at all: such files are skipped.
    if (!sessionId || !pid || *pid <= 0 || *pid > std::numeric_limits<pid_t>::max())
        return std::nullopt;

    ClaudeStatusFile status;
    status.sessionId = *sessionId;
    status.pid = static_cast<pid_t>(*pid);
    status.status = json::qstring(o, "status").value_or(QStringLiteral("idle")).toLower();
    status.updatedAt = millisecondsMember(o, "updatedAt");
    status.statusUpdatedAt = millisecondsMember(o, "statusUpdatedAt");
    status.name = json::qstring(o, "name");
    status.nameSource = json::qstring(o, "nameSource");
    status.cwd = json::qstring(o, "cwd");
    return status;
}

QString claudeSessionTitle(const ClaudeStatusFile& status, const std::optional<QString>& generatedTitle)
{
    const std::optional<QString> name = cleanTitle(status.name, 60);
    if (name && status.nameSource != u"derived")
        return *name;
    if (const auto generated = cleanTitle(generatedTitle, 60))
        return *generated;
    if (status.cwd && !status.cwd->isEmpty())
        return lastPathComponent(*status.cwd);
    if (name)
        return *name;
    return QCoreApplication::translate("ClaudeCollector", "session %1").arg(leadingCharacters(status.sessionId, 6));
}

QString claudeProjectFolder(const QString& cwd)
{
    QString folder = cwd;
    for (QChar& c : folder) {
        const char16_t u = c.unicode();
        const bool keep = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9');
        if (!keep)
            c = u'-';
    }
    return folder;
}

} // namespace vexlor
