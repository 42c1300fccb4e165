#pragma once

// A temporary folder tree for file-system tests. Paths are raw bytes, so names need not be
// valid UTF-8. A setup step that fails aborts the run.
#include <QByteArrayList>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

class TestTree
{
    QTemporaryDir m_dir; // before `root`, which is made from it

public:
    const QByteArray root = QFile::encodeName(m_dir.path());

    TestTree() { check(m_dir.isValid(), "temporary folder"); }
    // QTemporaryDir cannot remove names that are not valid UTF-8.
    ~TestTree() { ::nftw(root, [](const char *p, const struct stat *, int, FTW *) { return ::remove(p); }, 8, FTW_DEPTH | FTW_PHYS); }

    QByteArray path(const QByteArray &relative) const { return root + '/' + relative; }
    // Makes each "folder/", "link -> target", "fifo|", "socket=" or "file" (holding `bytes`),
    // and the folders they lie in. Returns the last one's path.
    QByteArray make(const QByteArrayList &entries, const QByteArray &bytes = {}) const
    {
        QByteArray p;
        for (const QByteArray &entry : entries) {
            const qsizetype arrow = entry.indexOf(" -> ");
            p = path(arrow < 0 ? entry : entry.left(arrow));
            for (qsizetype slash = root.size(); (slash = p.indexOf('/', slash + 1)) > 0;)
                check(::mkdir(p.left(slash), 0755) == 0 || errno == EEXIST, p);
            if (arrow >= 0) {
                check(::symlink(entry.mid(arrow + 4), p) == 0, p);
            } else if (entry.endsWith('|') || entry.endsWith('=')) {
                p.chop(1);
                check(::mknod(p, (entry.endsWith('|') ? S_IFIFO : S_IFSOCK) | 0644, 0) == 0, p);
            } else if (!entry.endsWith('/')) {
                const int fd = ::open(p, O_WRONLY | O_CREAT | O_TRUNC, 0644);
                check(fd >= 0 && ::write(fd, bytes, size_t(bytes.size())) == bytes.size(), p);
                ::close(fd);
            }
        }
        return p;
    }

    // The names in `dir` in the file system's own (unsorted) order.
    static QByteArrayList list(const QByteArray &dir)
    {
        QByteArrayList names;
        for (const auto &entry : std::filesystem::directory_iterator(dir.toStdString()))
            names << QByteArray::fromStdString(entry.path().filename().native());
        return names;
    }

private:
    static void check(bool ok, const QByteArray &what) { if (!ok) qFatal("TestTree: %s: %s", what.constData(), strerror(errno)); }
};

// What stat tells of `path` (following links), all zero when it cannot.
inline struct stat statOf(const QByteArray &path) { struct stat st{}; return ::stat(path, &st) == 0 ? st : decltype(st){}; }
inline uint modeOf(const QByteArray &path) { return statOf(path).st_mode & 07777; }

// A file's bytes, or "<missing>". Opened by its byte path, which need not be valid UTF-8.
inline QByteArray fileBytes(const QByteArray &path)
{
    QFile file;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return "<missing>";
    return file.readAll();
}
