#pragma once
// How an SQLite database and the files beside it look on disk (identity,
// size and times), to tell whether anything changed between two looks.

#include "collection/FileIdentity.h"

#include <QByteArray>
#include <QtGlobal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexlor {

struct FileState {
    bool exists = false;
    FileIdentity file;
    qint64 ctimeNs = 0;
    bool operator==(const FileState&) const = default;

    // Same file, size and modification time. The change time is left out:
    // SQLite running as root re-applies the owner of "-wal" and "-shm" when
    // it opens them, which moves their change time and nothing else.
    [[nodiscard]] bool sameContentAs(const FileState& other) const
    {
        return exists == other.exists && file == other.file;
    }

    [[nodiscard]] static FileState of(const QByteArray& path)
    {
        struct stat st {};
        if (::stat(path.constData(), &st) != 0)
            return {};
        return {true, FileIdentity::of(st), qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
    }
};

// The first `count` bytes of a file (fewer when it is shorter, none when it
// cannot be read).
[[nodiscard]] inline QByteArray leadingBytes(const QByteArray& path, qsizetype count)
{
    QByteArray out;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return out;
    out.resize(count);
    const ssize_t n = pread(fd, out.data(), size_t(count), 0);
    ::close(fd);
    out.resize(n > 0 ? qsizetype(n) : 0);
    return out;
}

struct DatabaseFiles {
    FileState database;
    FileState log;    // "-wal"
    FileState shared; // "-shm"
    bool operator==(const DatabaseFiles&) const = default;

    [[nodiscard]] static DatabaseFiles of(const QByteArray& path)
    {
        return {FileState::of(path), FileState::of(path + "-wal"), FileState::of(path + "-shm")};
    }
};

} // namespace vexlor
