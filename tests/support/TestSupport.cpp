#include "TestSupport.h"

#include "fixtures/Fixtures.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QStringList>

namespace vexlor::test {

QString writeFile(const QString& dir, const QString& relative, const QByteArray& content)
{
    const QString path = dir + u'/' + relative;
    if (!fixtures::writeFile(path, content))
        qFatal("cannot write fixture %s", qPrintable(path));
    return QFileInfo(path).absoluteFilePath();
}

void appendFile(const QString& path, const QByteArray& content)
{
    if (!fixtures::appendFile(path, content))
        qFatal("cannot append fixture %s", qPrintable(path));
}

void setMtime(const QString& path, Timestamp when)
{
    fixtures::setMtime(path, when.seconds());
}

ProviderReport pass(AgentCollector& collector, const CollectorContext& context)
{
    auto report = runTask(collector.collect(context));
    if (!report)
        qFatal("collect() did not finish");
    return *report;
}

QStringList sessionIds(const ProviderReport& report)
{
    QStringList out;
    for (const auto& s : report.sessions)
        out << s.id;
    return out;
}

ScopedEnv::ScopedEnv(const char* name, std::optional<QByteArray> value)
    : m_name(name)
{
    if (qEnvironmentVariableIsSet(name))
        m_saved = qgetenv(name);
    if (value)
        qputenv(name, *value);
    else
        qunsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (m_saved)
        qputenv(m_name.constData(), *m_saved);
    else
        qunsetenv(m_name.constData());
}

QString vexlorBinary()
{
    return QCoreApplication::applicationDirPath() + u"/../vexlor";
}

void HeadlessHome::writeClaudeStatus(const QString& id, const QString& status, const QString& name,
                                     double statusUpdatedAtMs) const
{
    writeFile(claude(), QStringLiteral("sessions/%1.json").arg(id),
              fixtures::claudeStatus(id, QCoreApplication::applicationPid(), status, name, {}, std::nullopt,
                                     statusUpdatedAtMs > 0 ? std::optional(statusUpdatedAtMs) : std::nullopt));
}

QProcessEnvironment HeadlessHome::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, folder] : fixtures::Home{dir.path()}.variables())
        env.insert(QString::fromLatin1(name), folder);
    env.remove(QStringLiteral("CLAUDE_CODE_OAUTH_TOKEN"));
    return env;
}

QString treeFingerprint(const QString& root)
{
    QStringList lines;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo fi = it.fileInfo();
        lines << QStringLiteral("%1 %2 %3 %4")
                     .arg(fi.filePath())
                     .arg(fi.isDir() ? -1 : fi.size())
                     .arg(fi.lastModified().toMSecsSinceEpoch())
                     .arg(fi.permissions());
    }
    lines.sort();
    return lines.join(u'\n');
}

Agent deckAgent(const QString& id, AgentStatus status, int sessions, QList<AgentSession> rows, QStringList models)
{
    Agent a;
    a.id = id;
    a.name = id.toUpper();
    a.status = status;
    a.sessions = sessions;
    a.openSessions = std::move(rows);
    a.models = std::move(models);
    return a;
}

AgentSession sessionRow(const QString& title, AgentSession::State state, std::optional<double> since)
{
    AgentSession row;
    row.id = QStringLiteral("x:") + title;
    row.title = title;
    row.state = state;
    if (since)
        row.since = Timestamp::fromSeconds(*since);
    return row;
}

} // namespace vexlor::test
