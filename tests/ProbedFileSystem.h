#pragma once

// The real file system, counting the files a duplicate pass stats and opens. A file marked
// by its real inode is reported as inode 7 on device N ("N"), touched once it is open ("!"),
// or replaced by a copy once it is examined ("^").
#include "platform/PosixFileSystem.h"

#include <QFile>
#include <QHash>

#include <atomic>
#include <functional>

#include <sys/stat.h>

struct ProbedFileSystem : PosixFileSystem
{
    QHash<ino_t, QByteArray> marks;
    mutable std::atomic<int> opened = 0, statted = 0;
    mutable std::atomic<bool> openedOther = false; // a folder, FIFO or device
    std::function<void()> onOpen = [] {};

    bool statPath(const FilePath &path, struct stat &st) const override
    {
        const bool ok = PosixFileSystem::statPath(path, st);
        ++statted;
        const QByteArray copy = path + '~';
        if (ok && marks.value(st.st_ino) == "^" && !(QFile::copy(QFile::decodeName(path), QFile::decodeName(copy)) && ::rename(copy, path) == 0))
            qFatal("cannot replace %s", path.constData());
        return ok && remap(st);
    }
    bool statOpen(int fd, struct stat &st) const override
    {
        const bool ok = PosixFileSystem::statOpen(fd, st);
        const timespec past[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
        ++opened;
        openedOther = openedOther || (ok && !S_ISREG(st.st_mode));
        onOpen();
        return ok && (marks.value(st.st_ino) != "!" || ::futimens(fd, past) == 0) && remap(st);
    }
    bool remap(struct stat &st) const
    {
        if (const uint device = marks.value(st.st_ino).toUInt())
            std::tie(st.st_dev, st.st_ino) = std::pair<dev_t, ino_t>(device, 7);
        return true;
    }
};
