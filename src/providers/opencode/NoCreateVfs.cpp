#include "NoCreateVfs.h"

#include <sqlite3.h>

namespace vexlor {

namespace {

constexpr const char* vfsName = "vexlor-no-create";

sqlite3_vfs* baseOf(sqlite3_vfs* vfs)
{
    return static_cast<sqlite3_vfs*>(vfs->pAppData);
}

int openReadOnly(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags)
{
    // Files that live beside a database are opened read-only and only if
    // they exist. Nameless temporary files (sorting, for example) are
    // private to SQLite and keep their flags.
    constexpr int besideDatabase =
        SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_WAL | SQLITE_OPEN_SUPER_JOURNAL;
    if (name != nullptr && (flags & besideDatabase) != 0) {
        flags &= ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_DELETEONCLOSE | SQLITE_OPEN_EXCLUSIVE);
        flags |= SQLITE_OPEN_READONLY;
    }
    sqlite3_vfs* base = baseOf(vfs);
    return base->xOpen(base, name, file, flags, outFlags);
}

int refuseDelete(sqlite3_vfs*, const char*, int)
{
    return SQLITE_OK; // nothing is ever removed
}

sqlite3_vfs* makeVfs()
{
    sqlite3_initialize();
    sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
    if (!base)
        return nullptr;
    static sqlite3_vfs vfs = *base;
    vfs.pNext = nullptr;
    vfs.zName = vfsName;
    vfs.pAppData = base;
    vfs.xOpen = openReadOnly;
    vfs.xDelete = refuseDelete;
    if (sqlite3_vfs_register(&vfs, 0) != SQLITE_OK)
        return nullptr;
    return &vfs;
}

} // namespace

const char* noCreateVfsName()
{
    static sqlite3_vfs* vfs = makeVfs(); // thread-safe one-time registration
    return vfs ? vfsName : nullptr;
}

} // namespace vexlor
