#include "DirectoryKeyValueStore.h"

#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSet>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace vexlor {
namespace {

QString systemError(const QString& what, int error)
{
    return u"%1: %2"_s.arg(what, QString::fromLocal8Bit(std::strerror(error)));
}

// Writes all of `data` to `fd`, retrying short writes and interruptions.
bool writeAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

DirectoryKeyValueStore::DirectoryKeyValueStore(QString directory, QObject* parent)
    : KeyValueStore(parent)
    , m_directory(QDir::cleanPath(std::move(directory)))
{
}

DirectoryKeyValueStore::~DirectoryKeyValueStore() = default;

QString DirectoryKeyValueStore::defaultDirectory()
{
    const QString explicitDir = qEnvironmentVariable("VEXLOR_KVS_DIR");
    if (!explicitDir.isEmpty())
        return explicitDir;
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (!dataHome.isEmpty() && QDir::isAbsolutePath(dataHome))
        return dataHome + u"/vexlor/kvs"_s;
    return QDir::homePath() + u"/.local/share/vexlor/kvs"_s;
}

QString DirectoryKeyValueStore::pathOf(const QString& key) const
{
    return m_directory + u'/' + key;
}

KeyValueRead DirectoryKeyValueStore::value(const QString& key) const
{
    if (!isValidKey(key))
        return {std::nullopt, u"invalid key \"%1\""_s.arg(key.left(64))};
    QFile file(pathOf(key));
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, u"cannot read %1: %2"_s.arg(file.fileName(), file.errorString())};
    // Read one byte past the limit to tell "at the limit" from "over it"
    // without trusting a size that may change while reading.
    QByteArray data = file.read(maximumValueBytes + 1);
    if (data.size() > maximumValueBytes)
        return {std::nullopt, u"%1 is larger than %2 bytes"_s.arg(file.fileName()).arg(maximumValueBytes)};
    if (file.error() != QFileDevice::NoError)
        return {std::nullopt, u"cannot read %1: %2"_s.arg(file.fileName(), file.errorString())};
    return {std::move(data), QString()};
}

KeyValueWrite DirectoryKeyValueStore::setValue(const QString& key, const QByteArray& value)
{
    if (!isValidKey(key))
        return KeyValueWrite::failure(u"invalid key \"%1\""_s.arg(key.left(64)));
    if (value.size() > maximumValueBytes)
        return KeyValueWrite::failure(u"value is larger than %1 bytes"_s.arg(maximumValueBytes));
    if (!QDir().mkpath(m_directory))
        return KeyValueWrite::failure(u"cannot create the directory %1"_s.arg(m_directory));

    // A hidden name is never taken for a key, so a half-written temporary
    // file is invisible to readers of this store.
    QByteArray tempPath = QFile::encodeName(m_directory + u"/."_s + key + u".tmp-XXXXXX"_s);
    const int fd = ::mkstemp(tempPath.data());
    if (fd < 0)
        return KeyValueWrite::failure(systemError(u"cannot create a temporary file in "_s + m_directory, errno));

    const bool written = writeAll(fd, value);
    int error = errno;
    // Data first, rename second: otherwise a crash could leave the new name
    // pointing at an empty file.
    const bool synced = written && ::fsync(fd) == 0;
    if (written && !synced)
        error = errno;
    const bool closed = ::close(fd) == 0;
    if (written && synced && !closed)
        error = errno;
    if (!written || !synced || !closed) {
        ::unlink(tempPath.constData());
        return KeyValueWrite::failure(systemError(u"cannot write "_s + pathOf(key), error));
    }

    const QByteArray finalPath = QFile::encodeName(pathOf(key));
    if (::rename(tempPath.constData(), finalPath.constData()) != 0) {
        error = errno;
        ::unlink(tempPath.constData());
        return KeyValueWrite::failure(systemError(u"cannot replace "_s + pathOf(key), error));
    }
    // Remember what this write left, so the watcher does not report it.
    if (m_observing) {
        if (const auto stamp = stampOf(pathOf(key)))
            m_known.insert(key, *stamp);
        if (m_watcher)
            rewatch(key);
    }
    return {};
}

KeyValueWrite DirectoryKeyValueStore::removeValue(const QString& key)
{
    if (!isValidKey(key))
        return KeyValueWrite::failure(u"invalid key \"%1\""_s.arg(key.left(64)));
    if (::unlink(QFile::encodeName(pathOf(key)).constData()) != 0 && errno != ENOENT)
        return KeyValueWrite::failure(systemError(u"cannot remove "_s + pathOf(key), errno));
    m_known.remove(key);
    return {};
}

QStringList DirectoryKeyValueStore::keys() const
{
    return scan().keys();
}

KeyValueWrite DirectoryKeyValueStore::synchronize()
{
    const int fd = ::open(QFile::encodeName(m_directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return KeyValueWrite::failure(systemError(u"cannot open "_s + m_directory, errno));
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!synced)
        return KeyValueWrite::failure(systemError(u"cannot sync "_s + m_directory, error));
    return {};
}

bool DirectoryKeyValueStore::hasIdentity()
{
    m_identityProblem.clear();
    errno = 0;
    if (!QDir().mkpath(m_directory)) {
        m_identityProblem = systemError(u"cannot create the sync folder "_s + m_directory, errno ? errno : EACCES);
        return false;
    }
    const QByteArray path = QFile::encodeName(m_directory);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        m_identityProblem = systemError(u"cannot use the sync folder "_s + m_directory, errno ? errno : ENOTDIR);
        return false;
    }
    if (::access(path.constData(), W_OK | X_OK) != 0) {
        m_identityProblem = systemError(u"cannot write to the sync folder "_s + m_directory, errno);
        return false;
    }
    return true;
}

bool DirectoryKeyValueStore::startObserving()
{
    if (!QDir().mkpath(m_directory))
        return false;
    if (!m_observing) {
        m_observing = true;
        // What is there now is the starting point, not a change.
        m_known = scan();
        m_rescanTimer = std::make_unique<QTimer>();
        m_rescanTimer->setSingleShot(true);
        m_rescanTimer->setInterval(250);
        connect(m_rescanTimer.get(), &QTimer::timeout, this, &DirectoryKeyValueStore::rescan);
    }
    if (!m_watcher) {
        m_watcher = std::make_unique<QFileSystemWatcher>();
        connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this, &DirectoryKeyValueStore::scheduleRescan);
        // Files are watched too, for writers that change a file in place.
        connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, this, &DirectoryKeyValueStore::scheduleRescan);
    }
    if (m_watcher->directories().isEmpty()) {
        if (!m_watcher->addPath(m_directory))
            return false; // checkForChanges() still works
        for (auto it = m_known.cbegin(); it != m_known.cend(); ++it)
            rewatch(it.key());
    }
    return true;
}

void DirectoryKeyValueStore::checkForChanges()
{
    rescan();
}

void DirectoryKeyValueStore::scheduleRescan()
{
    if (m_rescanTimer && !m_rescanTimer->isActive())
        m_rescanTimer->start();
}

void DirectoryKeyValueStore::rewatch(const QString& key)
{
    // A watch follows the file it was set on; a file replaced by a rename is
    // a different file, so the watch is set again on the current one.
    const QString path = pathOf(key);
    m_watcher->removePath(path);
    m_watcher->addPath(path);
}

std::optional<FileIdentity> DirectoryKeyValueStore::stampOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileIdentity::of(st);
}

QHash<QString, FileIdentity> DirectoryKeyValueStore::scan() const
{
    QHash<QString, FileIdentity> found;
    const QStringList names = QDir(m_directory).entryList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!isValidKey(name))
            continue;
        if (const auto stamp = stampOf(pathOf(name)))
            found.insert(name, *stamp);
    }
    return found;
}

void DirectoryKeyValueStore::rescan()
{
    if (!m_observing)
        return;
    m_rescanTimer->stop();
    const QHash<QString, FileIdentity> now = scan();
    QStringList changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        const auto before = m_known.constFind(it.key());
        if (before == m_known.cend() || !(before.value() == it.value()))
            changed.append(it.key());
    }
    for (auto it = m_known.cbegin(); it != m_known.cend(); ++it) {
        if (!now.contains(it.key()))
            changed.append(it.key());
    }
    m_known = now;

    // The directory watch is renewed if the directory was recreated.
    if (m_watcher && m_watcher->directories().isEmpty() && QDir(m_directory).exists())
        m_watcher->addPath(m_directory);
    if (m_watcher && !m_watcher->directories().isEmpty()) {
        const QStringList files = m_watcher->files();
        const QSet<QString> watched(files.cbegin(), files.cend());
        const QSet<QString> touched(changed.cbegin(), changed.cend());
        for (auto it = now.cbegin(); it != now.cend(); ++it) {
            if (touched.contains(it.key()) || !watched.contains(pathOf(it.key())))
                rewatch(it.key());
        }
    }

    if (!changed.isEmpty()) {
        changed.sort();
        emit changedExternally(changed);
    }
}

} // namespace vexlor
