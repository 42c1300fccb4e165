#include "platform/FileCopy.h"

#include "platform/FileSystem.h"

#include <QList>
#include <QtGlobal>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace {

#if defined(__GLIBC__) && (__GLIBC__ < 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ < 28))
// Older C libraries have no wrapper for the system call.
int renameat2(int oldDir, const char *oldPath, int newDir, const char *newPath, unsigned flags)
{
    return int(::syscall(SYS_renameat2, oldDir, oldPath, newDir, newPath, flags));
}
#else
using ::renameat2;
#endif

struct FileDescriptor
{
    int fd;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

int writeAll(int out, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(out, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        data += written;
        size -= size_t(written);
    }
    return 0;
}

// The rest of `in` to `out`: shared extents where the file system can (a reflink), else
// a copy inside the kernel, else read and write.
int copyContents(int in, int out)
{
    if (::ioctl(out, FICLONE, in) == 0)
        return 0;
    for (;;) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (copied == 0)
            return 0;
        if (copied > 0 || errno == EINTR)
            continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF)
            return errno;
        break; // not between these two file systems: go on from the current offsets
    }
    std::vector<char> buffer(size_t(256) << 10);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0)
            return 0;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (const int error = writeAll(out, buffer.data(), size_t(got)))
            return error;
    }
}

} // namespace

int makeDirectories(const FilePath &path, mode_t mode)
{
    struct stat st;
    if (::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return 0;
    for (qsizetype slash = 0; slash >= 0;) {
        slash = path.indexOf('/', slash + 1);
        const FilePath part = slash < 0 ? path : path.left(slash);
        if (part.isEmpty() || ::mkdir(part.constData(), mode) == 0 || errno == EEXIST)
            continue;
        return errno;
    }
    if (::stat(path.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int renameNoReplace(const FilePath &from, const FilePath &to)
{
    if (renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    const int renameError = errno;
    if (renameError != EINVAL && renameError != ENOSYS)
        return renameError;
    // No RENAME_NOREPLACE here (or a folder moved into itself): link() never replaces either.
    // Where links are not supported either (some FUSE mounts), the caller copies instead.
    if (::link(from.constData(), to.constData()) != 0)
        return errno == EPERM || errno == ENOSYS || errno == EOPNOTSUPP ? EXDEV : errno;
    if (::unlink(from.constData()) != 0) {
        const int error = errno;
        ::unlink(to.constData());
        return error;
    }
    return 0;
}

namespace {

// A copy written under a name of its own: ".lumisort-XXXXXX.part" in the destination.
constexpr char temporaryPrefix[] = ".lumisort-";
constexpr char temporarySuffix[] = ".part";
constexpr qsizetype temporaryLength = sizeof temporaryPrefix - 1 + 6 + sizeof temporarySuffix - 1;

// Contents, times and mode of `in` into `out` (with `flush`, on disk); then a check that
// `in` did not change meanwhile (a photo still being written would otherwise be copied in
// part).
int fillCopy(const FileSystem &fs, int in, const struct stat &st, int out, bool flush)
{
    if (const int error = copyContents(in, out))
        return error;
    // Best effort, as some file systems (FAT) keep no permission bits.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
    ::fchmod(out, st.st_mode & 0777);
    if (const int error = flush ? fs.flush(out) : 0)
        return error;
    struct stat after, written;
    if (::fstat(in, &after) != 0 || ::fstat(out, &written) != 0)
        return errno;
    if (!sameState(after, st))
        return fileChanged;
    return written.st_size == st.st_size ? 0 : EIO;
}

// Gives the finished temporary its name without replacing anything. Where the file
// system neither renames without replacing nor links (some FUSE file systems), an empty
// file of ours takes the name first, and only that is replaced.
int nameTemporary(const FileSystem &fs, const FilePath &temporary, const FilePath &destination)
{
    const int error = fs.renameNoReplace(temporary, destination);
    if (error != EXDEV)
        return error;
    const int reserved = ::open(destination.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (reserved < 0)
        return errno;
    ::close(reserved);
    if (::rename(temporary.constData(), destination.constData()) == 0)
        return 0;
    const int renameError = errno;
    ::unlink(destination.constData());
    return renameError;
}

// Where the file system makes no nameless files (FAT, FUSE, network file systems): a
// hidden temporary beside the destination, locked while it is written so that a later run
// can tell one that a killed run left behind, and on disk before it is named (FAT keeps
// no order between a name and the contents).
int copyThroughTemporary(const FileSystem &fs, int in, const struct stat &st, const FilePath &destination)
{
    FilePath temporary = appendPathComponent(parentPath(destination), temporaryPrefix) + "XXXXXX" + temporarySuffix;
    FileDescriptor out{::mkostemps(temporary.data(), int(sizeof temporarySuffix - 1), O_CLOEXEC)};
    if (out.fd < 0)
        return errno;
    ::flock(out.fd, LOCK_EX);
    int error = fillCopy(fs, in, st, out.fd, true);
    if (!error)
        error = nameTemporary(fs, temporary, destination);
    if (error)
        ::unlink(temporary.constData());
    return error;
}

} // namespace

int copyToNewFile(const FileSystem &fs, const FilePath &source, const FilePath &destination, bool flush,
                  struct stat *copied)
{
    // Non-blocking, so a FIFO named like a photo cannot hang the run.
    FileDescriptor in{::open(source.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (in.fd < 0)
        return errno;
    struct stat st;
    if (::fstat(in.fd, &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    if (copied)
        *copied = st;

    // The copy is made nameless and only named once complete, so a run cut short never
    // leaves part of a photo under its name. The name is given by a link, which fails
    // rather than replace.
    FileDescriptor unnamed{fs.openUnnamed(parentPath(destination))};
    if (unnamed.fd >= 0) {
        if (const int error = fillCopy(fs, in.fd, st, unnamed.fd, flush))
            return error;
        const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(unnamed.fd);
        if (::linkat(AT_FDCWD, procPath.constData(), AT_FDCWD, destination.constData(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0)
            return errno;
        // No /proc: copy again, through a temporary.
        if (::lseek(in.fd, 0, SEEK_SET) != 0)
            return errno;
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return errno;
    }
    return copyThroughTemporary(fs, in.fd, st, destination);
}

void removeLeftoverCopies(const FilePath &dir)
{
    DIR *handle = ::opendir(dir.constData());
    if (!handle)
        return;
    QList<FilePath> names;
    while (const dirent *entry = ::readdir(handle)) {
        const QByteArrayView name(entry->d_name);
        if (name.size() == temporaryLength && name.startsWith(temporaryPrefix) && name.endsWith(temporarySuffix))
            names.append(name.toByteArray());
    }
    for (const FilePath &name : names) {
        // A copy still being written holds its lock; a killed one's died with it. Opened
        // for writing, as over NFS an exclusive lock needs that.
        FileDescriptor fd{::openat(::dirfd(handle), name.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)};
        struct stat opened, named;
        if (fd.fd >= 0 && ::flock(fd.fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd.fd, &opened) == 0
            && ::fstatat(::dirfd(handle), name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
            && sameState(opened, named))
            ::unlinkat(::dirfd(handle), name.constData(), 0);
    }
    ::closedir(handle);
}

int syncDirectory(const FileSystem &fs, const FilePath &dir)
{
    FileDescriptor fd{::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    return fd.fd < 0 ? errno : fs.flush(fd.fd);
}

bool sameState(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size
           && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec
           && a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

FilePath fitName(QByteArrayView head, QByteArrayView tail, qsizetype limit)
{
    qsizetype keep = qBound(qsizetype(0), limit - tail.size(), head.size());
    // Back over at most three UTF-8 continuation bytes (10xxxxxx) to the start of a character.
    for (int i = 0; i < 3 && keep > 0 && keep < head.size() && (uchar(head[keep]) & 0xc0) == 0x80; ++i)
        --keep;
    return head.first(keep).toByteArray() + tail;
}

QString errorText(int error)
{
    if (error == fileChanged)
        return QStringLiteral("The file changed while it was copied");
    return qt_error_string(error);
}
