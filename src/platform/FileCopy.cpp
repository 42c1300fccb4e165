#include "platform/FileCopy.h"

#include "platform/FileSystem.h"

#include <QtGlobal>

#include <fcntl.h>
#include <linux/fs.h>
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
    int release()
    {
        const int result = ::close(fd);
        fd = -1;
        return result;
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
    // Where links are not supported either (some FUSE mounts), the caller's copy takes over.
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

// Contents, times and mode of `in` into `out`, then a check that `in` did not change
// meanwhile (a photo still being written would otherwise be copied in part).
int fillCopy(int in, const struct stat &st, int out, bool flush)
{
    if (const int error = copyContents(in, out))
        return error;
    struct stat after, written;
    if (::fstat(in, &after) != 0 || ::fstat(out, &written) != 0)
        return errno;
    if (after.st_size != st.st_size || written.st_size != st.st_size || after.st_mtim.tv_sec != st.st_mtim.tv_sec
        || after.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
        return EIO;
    // Best effort, as some file systems (FAT) keep no permission bits.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
    ::fchmod(out, st.st_mode & 0777);
    if (flush && ::fsync(out) != 0)
        return errno;
    return 0;
}

} // namespace

int copyToNewFile(const FilePath &source, const FilePath &destination, bool flush)
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

    // The copy is made nameless and only named once complete, so a run cut short (a crash,
    // a power cut) never leaves part of a photo under its name. The name is given by a
    // link, which fails rather than replace.
    FileDescriptor unnamed{::open(parentPath(destination).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600)};
    if (unnamed.fd >= 0) {
        if (const int error = fillCopy(in.fd, st, unnamed.fd, flush))
            return error;
        const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(unnamed.fd);
        if (::linkat(AT_FDCWD, procPath.constData(), AT_FDCWD, destination.constData(), AT_SYMLINK_FOLLOW) == 0)
            return unnamed.release() != 0 ? errno : 0;
        if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0)
            return errno;
        // No /proc: fall back to a named copy.
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return errno;
    }
    if (::lseek(in.fd, 0, SEEK_SET) != 0)
        return errno;
    FileDescriptor out{::open(destination.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)};
    if (out.fd < 0)
        return errno;
    int error = fillCopy(in.fd, st, out.fd, flush);
    if (out.release() != 0 && !error)
        error = errno;
    if (error)
        ::unlink(destination.constData());
    return error;
}

int syncDirectory(const FilePath &dir)
{
    FileDescriptor fd{::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (fd.fd < 0 || ::fsync(fd.fd) != 0)
        return errno;
    return 0;
}

QString errorText(int error)
{
    return qt_error_string(error);
}
