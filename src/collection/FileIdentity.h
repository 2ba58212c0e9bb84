#pragma once
// Which file a path names and how it looked at one stat(): device and inode
// say which file; size and modification time (to the nanosecond) say whether
// its bytes may have changed since another look. The readers' caches compare
// identities to skip files nobody wrote.

#include <QString>
#include <QtGlobal>
#include <optional>
#include <sys/stat.h>

namespace vexlor {

struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    bool operator==(const FileIdentity&) const = default;

    // The same file, whatever its bytes are now.
    [[nodiscard]] bool sameFileAs(const FileIdentity& other) const
    {
        return device == other.device && inode == other.inode;
    }

    [[nodiscard]] static FileIdentity of(const struct stat& st)
    {
        return {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino), static_cast<qint64>(st.st_size),
                static_cast<qint64>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
    }
};

} // namespace vexlor
