#include "platform/PosixFileSystem.h"

#include "platform/FileCopy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

EntryType entryType(unsigned char dType)
{
    switch (dType) {
    case DT_REG:
        return EntryType::file;
    case DT_DIR:
        return EntryType::directory;
    case DT_LNK:
        return EntryType::symlink;
    case DT_UNKNOWN:
        return EntryType::unknown;
    default:
        return EntryType::other;
    }
}

Timestamp toTimestamp(const struct statx_timestamp &t)
{
    return Timestamp(std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec));
}

} // namespace

std::optional<std::vector<DirEntry>> PosixFileSystem::listDirectory(const FilePath &dir) const
{
    DIR *handle = ::opendir(dir.constData());
    if (!handle)
        return std::nullopt;
    std::vector<DirEntry> entries;
    for (;;) {
        errno = 0;
        const struct dirent *entry = ::readdir(handle);
        if (!entry)
            break;
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        entries.push_back({FilePath(name, qsizetype(std::strlen(name))), entryType(entry->d_type)});
    }
    const bool failed = errno != 0;
    ::closedir(handle);
    if (failed)
        return std::nullopt;
    return entries;
}

std::optional<ItemAttributes> PosixFileSystem::attributes(const FilePath &path) const
{
    struct statx st;
    if (::statx(AT_FDCWD, path.constData(), AT_STATX_SYNC_AS_STAT,
                STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME, &st) != 0)
        return std::nullopt;
    ItemAttributes result;
    result.isDirectory = S_ISDIR(st.stx_mode);
    if (st.stx_mask & STATX_SIZE)
        result.size = qint64(st.stx_size);
    if (st.stx_mask & STATX_MTIME)
        result.modified = toTimestamp(st.stx_mtime);
    // Some file systems report a zero birth time instead of leaving it out.
    if ((st.stx_mask & STATX_BTIME) && (st.stx_btime.tv_sec != 0 || st.stx_btime.tv_nsec != 0))
        result.created = toTimestamp(st.stx_btime);
    return result;
}

bool PosixFileSystem::isDirectory(const FilePath &path, bool followLinks) const
{
    struct stat st;
    const int rc = followLinks ? ::stat(path.constData(), &st) : ::lstat(path.constData(), &st);
    return rc == 0 && S_ISDIR(st.st_mode);
}

bool PosixFileSystem::statPath(const FilePath &path, struct stat &st) const
{
    return ::stat(path.constData(), &st) == 0;
}

bool PosixFileSystem::statOpen(int fd, struct stat &st) const
{
    return ::fstat(fd, &st) == 0;
}

int PosixFileSystem::openUnnamed(const FilePath &dir) const
{
    return ::open(dir.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
}

int PosixFileSystem::flush(int fd) const
{
    return ::fsync(fd) == 0 ? 0 : errno;
}

int PosixFileSystem::renameNoReplace(const FilePath &from, const FilePath &to) const
{
    return ::renameNoReplace(from, to);
}
