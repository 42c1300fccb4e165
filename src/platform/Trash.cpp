#include "platform/Trash.h"

#include "platform/FileCopy.h"
#include "platform/FileSystem.h"
#include "platform/Home.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// A name taken in the trash gets ".2", ".3", ... appended; this many are tried.
constexpr int maxNameAttempts = 10000;
constexpr char infoSuffix[] = ".trashinfo";

TrashResult failure(const QString &error)
{
    return {false, error, {}};
}

const QString noMount = u"Cannot tell which mount holds the file"_s;

FilePath readProcFile(const FilePath &path)
{
    FilePath contents;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return contents;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        contents.append(buffer, got);
    ::close(fd);
    return contents;
}

// The id of the mount that `path` is reached through (or, while it does not exist, its
// nearest existing folder); a rename never leaves a mount, even for the same file system.
std::optional<quint64> mountIdOf(FilePath path)
{
    for (;;) {
        const int fd = ::open(path.constData(), O_PATH | O_CLOEXEC);
        if (fd >= 0) {
            const FilePath info = readProcFile("/proc/self/fdinfo/" + FilePath::number(fd));
            ::close(fd);
            const qsizetype at = info.indexOf("\nmnt_id:");
            const FilePath value = at < 0 ? FilePath() : info.mid(at + 8);
            bool ok = false;
            const quint64 id = value.left(value.indexOf('\n')).trimmed().toULongLong(&ok);
            return ok ? std::optional(id) : std::nullopt;
        }
        if (errno != ENOENT || path == "/")
            return std::nullopt;
        path = parentPath(path);
    }
}

// Where the mount `id` is mounted, as this process sees it.
std::optional<FilePath> mountPoint(quint64 id)
{
    for (const FilePath &line : readProcFile("/proc/self/mountinfo").split('\n')) {
        // "36 35 98:0 /root /mount/point options...": "\ooo" escapes space, tab, newline and "\".
        const QList<FilePath> fields = line.split(' ');
        if (fields.size() < 5 || fields[0].toULongLong() != id)
            continue;
        FilePath point = fields[4];
        point.replace("\\040", " ").replace("\\011", "\t").replace("\\012", "\n").replace("\\134", "\\");
        return point;
    }
    return std::nullopt;
}

// Makes `dir` if missing; 0 when it is then a real folder of ours, else an errno value.
int ownFolder(const FilePath &dir, uint uid)
{
    if (::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST)
        return errno;
    struct stat st;
    if (::lstat(dir.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) && st.st_uid == uid ? 0 : EPERM;
}

// The trash on the file system mounted at `top`: .Trash/$uid when .Trash is a real folder
// with the sticky bit (anyone could have made a plain one), else .Trash-$uid.
int mountTrash(const FilePath &top, uint uid, FilePath &trash)
{
    const FilePath shared = appendPathComponent(top, ".Trash");
    struct stat st;
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        trash = appendPathComponent(shared, FilePath::number(uid));
        if (ownFolder(trash, uid) == 0)
            return 0;
    }
    trash = appendPathComponent(top, FilePath(".Trash-" + FilePath::number(uid)));
    return ownFolder(trash, uid);
}

FilePath deletionDate()
{
    const std::time_t now = std::time(nullptr);
    struct tm local;
    char text[32];
    ::localtime_r(&now, &local);
    return FilePath(text, qsizetype(std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local)));
}

int writeNewFile(const FilePath &path, const FilePath &contents)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    const ssize_t written = ::write(fd, contents.constData(), size_t(contents.size()));
    int error = written < 0 ? errno : (written != contents.size() ? EIO : 0);
    if (::close(fd) != 0 && !error)
        error = errno;
    if (error)
        ::unlink(path.constData());
    return error;
}

} // namespace

TrashEnvironment TrashEnvironment::current()
{
    TrashEnvironment env;
    env.dataHome = qgetenv("XDG_DATA_HOME");
    if (!env.dataHome.startsWith('/'))
        env.dataHome = appendPathComponent(homeDirectory(), ".local/share");
    // One spelling of the path ("/a//b/" is "/a/b"), so that it compares with walked paths.
    while (env.dataHome.contains("//"))
        env.dataHome.replace("//", "/");
    while (env.dataHome.size() > 1 && env.dataHome.endsWith('/'))
        env.dataHome.chop(1);
    env.uid = ::getuid();
    return env;
}

bool isTrashFolderName(QByteArrayView name)
{
    if (name == ".Trash")
        return true;
    if (!name.startsWith(".Trash-") || name.size() == 7)
        return false;
    for (const char c : name.sliced(7)) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

TrashResult moveToTrash(const FilePath &path, const TrashEnvironment &env)
{
    FilePath absolute = path;
    if (!absolute.startsWith('/')) {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd))
            return failure(errorText(errno));
        absolute = appendPathComponent(FilePath(cwd), path);
    }
    struct stat st;
    if (::lstat(absolute.constData(), &st) != 0)
        return failure(errorText(errno));
    const FilePath name = lastPathComponent(absolute).toByteArray();

    // Where it goes, and its original path as the info file records it: absolute in the
    // home trash, relative to the mount point in a per-mount one. The trash is chosen by
    // the mount the file is reached through.
    FilePath trash = env.homeTrash();
    FilePath original = absolute;
    const std::optional<quint64> mount = mountIdOf(parentPath(absolute));
    if (!mount)
        return failure(noMount);
    if (mountIdOf(trash) != mount) {
        char *real = ::realpath(parentPath(absolute).constData(), nullptr);
        if (!real)
            return failure(errorText(errno));
        const FilePath folder(real);
        std::free(real);
        const std::optional<FilePath> top = mountPoint(*mount);
        if (!top)
            return failure(noMount);
        if (const int error = mountTrash(*top, env.uid, trash))
            return failure(u"No usable trash folder on this file system: "_s + errorText(error));
        original = appendPathComponent(folder, name);
        if (*top == "/" || original.startsWith(FilePath(*top + '/')))
            original = original.mid(*top == "/" ? 1 : top->size() + 1);
    }
    const FilePath files = appendPathComponent(trash, "files");
    const FilePath info = appendPathComponent(trash, "info");
    for (const FilePath &dir : {files, info}) {
        if (const int error = makeDirectories(dir, 0700))
            return failure(errorText(error));
    }

    const FilePath contents = "[Trash Info]\nPath=" + original.toPercentEncoding("/!*'()")
                              + "\nDeletionDate=" + deletionDate() + '\n';
    // The name in the trash: the file's own, ".2", ".3", ... appended when taken, its base
    // shortened (on a character boundary) where the info file's name would be too long.
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArrayView base = dot < 0 ? QByteArrayView(name) : QByteArrayView(name).first(dot);
    const FilePath extension = dot < 0 ? FilePath() : name.mid(dot);
    for (int n = 1; n <= maxNameAttempts; ++n) {
        const FilePath entry = fitName(base, n == 1 ? extension : FilePath(extension + '.' + FilePath::number(n)),
                                       NAME_MAX - qsizetype(sizeof infoSuffix - 1));
        const FilePath infoFile = appendPathComponent(info, FilePath(entry + infoSuffix));
        if (const int error = writeNewFile(infoFile, contents)) {
            if (error == EEXIST)
                continue;
            return failure(errorText(error));
        }
        const FilePath target = appendPathComponent(files, entry);
        const int error = renameNoReplace(absolute, target);
        if (error == 0)
            return {true, {}, target};
        ::unlink(infoFile.constData());
        if (error != EEXIST)
            return failure(errorText(error));
    }
    return failure(errorText(EEXIST));
}
