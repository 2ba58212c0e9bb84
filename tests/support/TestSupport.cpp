#include "TestSupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sys/stat.h>
#include <fcntl.h>
#include <ctime>
#include <cmath>

namespace vexlor::test {

QString writeFile(const QString& dir, const QString& relative, const QByteArray& content)
{
    const QString path = dir + u'/' + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write fixture %s", qPrintable(path));
    f.write(content);
    f.close();
    return QFileInfo(path).absoluteFilePath();
}

void appendFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        qFatal("cannot append fixture %s", qPrintable(path));
    f.write(content);
}

void setMtime(const QString& path, Timestamp when)
{
    struct timespec times[2];
    const double secs = std::floor(when.seconds());
    times[0].tv_sec = static_cast<time_t>(secs);
    times[0].tv_nsec = static_cast<long>((when.seconds() - secs) * 1e9);
    times[1] = times[0];
    utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
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

QString isoNow(double offsetSeconds)
{
    return QDateTime::currentDateTimeUtc().addMSecs(static_cast<qint64>(offsetSeconds * 1000)).toString(Qt::ISODateWithMs);
}

void HeadlessHome::writeClaudeStatus(const QString& id, const QString& status, const QString& name,
                                     double statusUpdatedAtMs) const
{
    QJsonObject o{{QStringLiteral("sessionId"), id},
                  {QStringLiteral("pid"), QCoreApplication::applicationPid()},
                  {QStringLiteral("status"), status},
                  {QStringLiteral("name"), name}};
    if (statusUpdatedAtMs > 0)
        o.insert(QStringLiteral("statusUpdatedAt"), statusUpdatedAtMs);
    writeFile(claude(), QStringLiteral("sessions/%1.json").arg(id), QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QProcessEnvironment HeadlessHome::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CLAUDE_CONFIG_DIR"), claude());
    env.insert(QStringLiteral("CODEX_HOME"), dir.path() + u"/codex");
    env.insert(QStringLiteral("KIMI_CODE_DATA_DIR"), dir.path() + u"/kimi");
    env.insert(QStringLiteral("OPENCODE_DATA_DIR"), dir.path() + u"/opencode");
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), prefsBase());
    env.insert(QStringLiteral("VEXLOR_KVS_DIR"), kvs());
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

} // namespace vexlor::test
