#include "FileRoutines.h"

#include <QDir>
#include <QTextBoundaryFinder>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexlor {

namespace {

Timestamp mtimeOf(const struct stat& st)
{
    return Timestamp::fromSeconds(static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9);
}

bool hasJsonlExtension(const char* name, size_t len)
{
    constexpr std::string_view ext = ".jsonl";
    return len > ext.size() && std::string_view(name + len - ext.size(), ext.size()) == ext;
}

// Depth-first walk with openat/fstatat: one stat per entry, symbolic links are
// never followed (no loops), and a directory that cannot be opened is skipped.
void walk(int dirFd, const QByteArray& dirPath, QList<FileStamp>& out, int depth)
{
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (struct dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.')
            continue; // hidden, "." and ".."
        struct stat st {};
        if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const size_t len = strlen(name);
        if (S_ISDIR(st.st_mode)) {
            if (depth >= 64)
                continue;
            const int child = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                walk(child, dirPath + '/' + QByteArray(name, static_cast<qsizetype>(len)), out, depth + 1);
        } else if (S_ISREG(st.st_mode) && hasJsonlExtension(name, len)) {
            FileStamp stamp;
            stamp.path = QString::fromLocal8Bit(dirPath + '/' + QByteArray(name, static_cast<qsizetype>(len)));
            stamp.mtime = mtimeOf(st);
            stamp.size = static_cast<qint64>(st.st_size);
            out.append(std::move(stamp));
        }
    }
    closedir(dir); // also closes dirFd
}

} // namespace

QList<FileStamp> jsonlFiles(const QString& directory)
{
    QList<FileStamp> out;
    if (directory.isEmpty())
        return out;
    QByteArray root = QFile::encodeName(directory);
    while (root.size() > 1 && root.endsWith('/'))
        root.chop(1);
    const int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return out;
    walk(fd, root, out, 0);
    return out;
}

QByteArray readTailBytes(const QString& path, qint64 maxBytes)
{
    if (maxBytes <= 0)
        return {};
    // O_NONBLOCK so that a FIFO named like a transcript cannot stall the pass.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray out;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const qint64 size = static_cast<qint64>(st.st_size);
        const qint64 start = size > maxBytes ? size - maxBytes : 0;
        const qint64 want = size - start;
        out.resize(static_cast<qsizetype>(want));
        qint64 got = 0;
        while (got < want) {
            const ssize_t n = pread(fd, out.data() + got, static_cast<size_t>(want - got), static_cast<off_t>(start + got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break; // error, or the file shrank meanwhile
            got += n;
        }
        out.resize(got);
    }
    ::close(fd);
    return out;
}

QString readTail(const QString& path, qint64 maxBytes)
{
    return QString::fromUtf8(readTailBytes(path, maxBytes));
}

std::optional<QByteArray> readSmallFile(const QString& path, qint64 maxBytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> result;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxBytes) {
        QByteArray out;
        out.resize(static_cast<qsizetype>(st.st_size));
        qint64 got = 0;
        bool failed = false;
        while (got < out.size()) {
            const ssize_t n = pread(fd, out.data() + got, static_cast<size_t>(out.size() - got), static_cast<off_t>(got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                failed = true;
            if (n <= 0)
                break;
            got += n;
        }
        if (!failed) {
            out.resize(got);
            result = std::move(out);
        }
    }
    ::close(fd);
    return result;
}

std::optional<QString> cleanTitle(const std::optional<QString>& text, qsizetype maxLength)
{
    auto trimSpacesAndTabs = [](QString s) {
        qsizetype b = 0, e = s.size();
        while (b < e && (s[b] == u' ' || s[b] == u'\t'))
            ++b;
        while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t'))
            --e;
        return s.mid(b, e - b);
    };
    QString s = text.value_or(QString());
    s.replace(u'\n', u' ');
    s = trimSpacesAndTabs(s);
    if (s.isEmpty())
        return std::nullopt;
    const QString lower = s.toLower();
    if (lower == u"new session" || lower == u"untitled" || lower == u"untitled session")
        return std::nullopt;

    // Count grapheme clusters, remembering where the maxLength-th one ends.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    qsizetype count = 0;
    qsizetype cutAt = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
        if (count == maxLength)
            cutAt = finder.position();
        if (count > maxLength)
            break;
    }
    if (count <= maxLength)
        return s;
    return trimSpacesAndTabs(s.left(maxLength > 0 ? cutAt : 0)) + QChar(0x2026);
}

QString expandTilde(const QString& path)
{
    if (path == u"~")
        return QDir::homePath();
    if (path.startsWith(u"~/"))
        return QDir::homePath() + path.mid(1);
    return path;
}

std::optional<QString> environmentValue(const char* name)
{
    const QString v = qEnvironmentVariable(name);
    if (v.isEmpty())
        return std::nullopt;
    return v;
}

} // namespace vexlor
