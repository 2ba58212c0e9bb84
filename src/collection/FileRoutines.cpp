#include "FileRoutines.h"

#include <QDir>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexlor {

namespace {

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

bool pathExists(const QString& path)
{
    struct stat st {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

Timestamp mtimeOf(const struct stat& st)
{
    return Timestamp::fromSeconds(static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9);
}

BoundedRead readBounded(const QString& path, qint64 maxBytes, Overflow overflow)
{
    BoundedRead result;
    // O_NONBLOCK so that a FIFO named like a transcript cannot stall the pass.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0)
        result.error = errno;
    else if (S_ISDIR(st.st_mode))
        result.error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        result.error = EINVAL; // FIFOs and devices are never read
    else if (st.st_size > maxBytes && overflow == Overflow::refuse)
        result.error = EFBIG;
    if (result.error != 0) {
        ::close(fd);
        return result;
    }
    const qint64 size = st.st_size;
    const qint64 start = size > maxBytes ? size - std::max<qint64>(maxBytes, 0) : 0;
    QByteArray out;
    out.resize(size - start);
    qint64 got = 0;
    while (got < out.size()) {
        const ssize_t n = pread(fd, out.data() + got, static_cast<size_t>(out.size() - got), start + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            result.error = errno;
        if (n <= 0)
            break; // an error, or the file shrank meanwhile
        got += n;
    }
    ::close(fd);
    if (result.error == 0) {
        out.resize(got);
        result.bytes = std::move(out);
    }
    return result;
}

QString trimSpacesAndTabs(const QString& text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && (text[b] == u' ' || text[b] == u'\t'))
        ++b;
    while (e > b && (text[e - 1] == u' ' || text[e - 1] == u'\t'))
        --e;
    return text.mid(b, e - b);
}

std::optional<QString> cleanTitle(const std::optional<QString>& text, qsizetype maxLength)
{
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
