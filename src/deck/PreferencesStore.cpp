#include "PreferencesStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>
#include <QSaveFile>

#include <cmath>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace vexlor {

namespace {

// A preferences document is a few kilobytes; anything far larger is not ours.
constexpr qint64 kMaxFileBytes = 8 * 1024 * 1024;
// Another instance holds the lock only for one read-modify-write.
constexpr int kLockWaitMs = 1000;

QString lockPath(const QString& path)
{
    return path + u".lock";
}

// Makes a finished rename durable: the new directory entry reaches the disk.
void syncDirectory(const QString& dir)
{
    const QByteArray native = QFile::encodeName(dir);
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

PreferencesStore::PreferencesStore(QString path)
    : m_path(std::move(path))
{
    reload();
}

QString PreferencesStore::defaultPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + u"/.config";
    return base + u"/vexlor/preferences.json";
}

PreferencesStore& PreferencesStore::shared()
{
    static PreferencesStore store(defaultPath());
    return store;
}

PreferencesStore::ReadResult PreferencesStore::readFile(QJsonObject& out) const
{
    QFile file(m_path);
    if (!file.exists())
        return ReadResult::missing;
    if (!file.open(QIODevice::ReadOnly))
        return ReadResult::unreadable;
    if (file.size() > kMaxFileBytes)
        return ReadResult::corrupt;
    const QByteArray data = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return ReadResult::unreadable;
    if (data.size() > kMaxFileBytes)
        return ReadResult::corrupt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return ReadResult::corrupt;
    out = doc.object();
    return ReadResult::ok;
}

bool PreferencesStore::moveAside() const
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString base = m_path + u".corrupt-" + stamp;
    // QFile::rename never replaces an existing file, so an earlier copy set
    // aside in the same second survives.
    for (int n = 1; n <= 100; ++n) {
        const QString target = n == 1 ? base : base + u'-' + QString::number(n);
        if (QFile::exists(target))
            continue;
        if (QFile::rename(m_path, target))
            return true;
        if (!QFile::exists(m_path))
            return true; // someone else moved it first
    }
    return false;
}

void PreferencesStore::reload()
{
    QJsonObject disk;
    ReadResult result = readFile(disk);
    if (result == ReadResult::corrupt) {
        // Decide again under the lock: another instance may have just replaced
        // the file with a good one.
        QLockFile lock(lockPath(m_path));
        if (lock.tryLock(kLockWaitMs)) {
            result = readFile(disk);
            if (result == ReadResult::corrupt)
                moveAside();
        }
    }
    if (result == ReadResult::ok)
        m_values = disk;
    // Without a readable file the store carries on with what it knew.
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it)
        m_values.insert(it.key(), it.value());
}

bool PreferencesStore::boolValue(const QString& key) const
{
    const QJsonValue v = m_values.value(key);
    return v.isBool() && v.toBool();
}

int PreferencesStore::integerValue(const QString& key) const
{
    const QJsonValue v = m_values.value(key);
    if (!v.isDouble())
        return 0;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::trunc(d) || d < std::numeric_limits<int>::min()
        || d > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(d);
}

std::optional<QJsonValue> PreferencesStore::value(const QString& key) const
{
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return std::nullopt;
    return it.value();
}

std::optional<QStringList> PreferencesStore::stringArray(const QString& key) const
{
    const QJsonValue v = m_values.value(key);
    if (!v.isArray())
        return std::nullopt;
    QStringList out;
    const QJsonArray array = v.toArray();
    out.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (!element.isString())
            return std::nullopt;
        out.append(element.toString());
    }
    return out;
}

std::optional<QJsonObject> PreferencesStore::dictionary(const QString& key) const
{
    const QJsonValue v = m_values.value(key);
    if (!v.isObject())
        return std::nullopt;
    return v.toObject();
}

void PreferencesStore::setBool(const QString& key, bool value)
{
    write(key, QJsonValue(value));
}

void PreferencesStore::setInteger(const QString& key, int value)
{
    write(key, QJsonValue(value));
}

void PreferencesStore::setStringArray(const QString& key, const QStringList& value)
{
    write(key, QJsonArray::fromStringList(value));
}

void PreferencesStore::setString(const QString& key, const QString& value)
{
    write(key, value);
}

void PreferencesStore::setDoubleDictionary(const QString& key, const QMap<QString, double>& value)
{
    QJsonObject object;
    for (auto it = value.cbegin(); it != value.cend(); ++it) {
        if (std::isfinite(it.value()))
            object.insert(it.key(), it.value());
    }
    write(key, object);
}

void PreferencesStore::write(const QString& key, const QJsonValue& value)
{
    m_values.insert(key, value);
    m_pending.insert(key, value);
    save();
}

bool PreferencesStore::save()
{
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath()))
        return false;

    QLockFile lock(lockPath(m_path));
    if (!lock.tryLock(kLockWaitMs))
        return false;

    // Start from what is on disk now, so keys another process wrote since we
    // last looked survive, then lay our own changes over it.
    QJsonObject merged;
    switch (readFile(merged)) {
    case ReadResult::ok:
        break;
    case ReadResult::missing:
        merged = m_values;
        break;
    case ReadResult::corrupt:
        if (!moveAside())
            return false;
        merged = m_values;
        break;
    case ReadResult::unreadable:
        // Replacing a file we cannot read could throw away what it holds.
        return false;
    }
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it)
        merged.insert(it.key(), it.value());

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = QJsonDocument(merged).toJson(QJsonDocument::Indented);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    // commit() flushes, syncs the temporary file and renames it into place.
    if (!file.commit())
        return false;
    // The entry that changed is in the folder of the real file when the
    // preferences are a symbolic link (QSaveFile writes through links).
    const QString real = QFileInfo(m_path).canonicalFilePath();
    syncDirectory(real.isEmpty() ? info.absolutePath() : QFileInfo(real).absolutePath());

    m_values = merged;
    m_pending.clear();
    return true;
}

} // namespace vexlor
