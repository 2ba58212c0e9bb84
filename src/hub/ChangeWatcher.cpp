#include "ChangeWatcher.h"

#include "collection/Logging.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace vexlor {

namespace {

bool exists(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

ChangeWatcher::ChangeWatcher(QObject* parent)
    : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setTimerType(Qt::PreciseTimer);
    m_settle.setInterval(kSettle);
    connect(&m_settle, &QTimer::timeout, this, &ChangeWatcher::settle);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this,
            [this](const QString& path) { noteChange(path, false); });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
            [this](const QString& path) { noteChange(path, true); });
}

QStringList ChangeWatcher::watched() const
{
    return m_watcher.files() + m_watcher.directories();
}

void ChangeWatcher::watch(const QStringList& paths)
{
    QStringList wanted;
    QSet<QString> wantedSet;
    for (const QString& raw : paths) {
        if (raw.isEmpty() || wanted.size() >= kMaxPaths)
            continue;
        const QString path = QDir::cleanPath(raw);
        if (!wantedSet.contains(path)) {
            wantedSet.insert(path);
            wanted.append(path);
        }
    }

    const QStringList current = watched();
    QStringList dropped;
    for (const QString& path : current)
        if (!wantedSet.contains(path))
            dropped.append(path);
    if (!dropped.isEmpty())
        m_watcher.removePaths(dropped);

    if (!m_retryAt.hasExpired())
        return;
    const QSet<QString> currentSet(current.cbegin(), current.cend());
    QStringList added;
    for (const QString& path : wanted)
        if (!currentSet.contains(path) && exists(path))
            added.append(path);
    if (added.isEmpty())
        return;
    QStringList refused;
    for (const QString& path : m_watcher.addPaths(added))
        if (exists(path)) // one that vanished in between was not refused
            refused.append(path);
    if (refused.isEmpty())
        return;
    m_retryAt.setRemainingTime(kRetryAfterRefusal);
    if (!m_refusalLogged) {
        m_refusalLogged = true;
        qCWarning(lcHub, "[Watch] cannot watch %s (and %lld more); changes there are noticed by polling",
                 qPrintable(refused.first()), static_cast<long long>(refused.size() - 1));
    }
}

void ChangeWatcher::noteChange(const QString& path, bool folder)
{
    if (!folder)
        m_changedFiles.insert(path);
    // Counted from the first change of a burst, not the last: a file written
    // without pause still brings a pass every settle time.
    if (!m_settle.isActive())
        m_settle.start();
}

void ChangeWatcher::settle()
{
    // A file replaced by a rename keeps its path but not its watch, which
    // would stay on the old file: watch each changed file afresh.
    const QStringList files(m_changedFiles.cbegin(), m_changedFiles.cend());
    const QStringList watchedFiles = m_watcher.files();
    QStringList renewed;
    for (const QString& path : files)
        if (watchedFiles.contains(path))
            renewed.append(path);
    if (!renewed.isEmpty()) {
        m_watcher.removePaths(renewed);
        QStringList present;
        for (const QString& path : renewed)
            if (exists(path))
                present.append(path);
        if (!present.isEmpty())
            m_watcher.addPaths(present);
    }
    m_changedFiles.clear();
    emit changed();
}

} // namespace vexlor
