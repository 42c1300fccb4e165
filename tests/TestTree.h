#pragma once

// A throw-away folder tree for file-system tests. Paths are raw bytes so that names which
// are not valid UTF-8 can be made; a setup step that fails aborts the test run.
#include <QByteArrayList>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

class TestTree
{
    QTemporaryDir m_dir; // first: `root` is made from it

public:
    // QTemporaryDir cannot remove names that are not valid UTF-8.
    ~TestTree()
    {
        ::nftw(root.constData(), [](const char *p, const struct stat *, int, FTW *) { return ::remove(p); },
               16, FTW_DEPTH | FTW_PHYS);
    }

    const QByteArray root = QFile::encodeName(m_dir.path());

    QByteArray path(const QByteArray &relative) const { return root + '/' + relative; }

    // Makes the folder and any missing parents.
    QByteArray dir(const QByteArray &relative) const
    {
        for (qsizetype slash = 0; (slash = relative.indexOf('/', slash + 1)) > 0;)
            ::mkdir(path(relative.left(slash)).constData(), 0755);
        check(::mkdir(path(relative).constData(), 0755) == 0 || errno == EEXIST, relative);
        return path(relative);
    }
    QByteArray file(const QByteArray &relative, const QByteArray &bytes = {}) const
    {
        if (const qsizetype slash = relative.lastIndexOf('/'); slash > 0)
            dir(relative.left(slash));
        const int fd = ::open(path(relative).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        check(fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size(), relative);
        ::close(fd);
        return path(relative);
    }
    QByteArray link(const QByteArray &relative, const QByteArray &target) const
    {
        check(::symlink(target.constData(), path(relative).constData()) == 0, relative);
        return path(relative);
    }

    // The names in `dir` in the file system's own (unsorted) order.
    static QByteArrayList list(const QByteArray &dir)
    {
        QByteArrayList names;
        if (DIR *handle = ::opendir(dir.constData())) {
            while (const dirent *entry = ::readdir(handle))
                if (qstrcmp(entry->d_name, ".") != 0 && qstrcmp(entry->d_name, "..") != 0)
                    names.append(entry->d_name);
            ::closedir(handle);
        }
        return names;
    }

private:
    static void check(bool ok, const QByteArray &what)
    {
        if (!ok)
            qFatal("TestTree: cannot create %s: %s", what.constData(), strerror(errno));
    }
};
