#include "TestSupport.h"

#include <QDir>
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
