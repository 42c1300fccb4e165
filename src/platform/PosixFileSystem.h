#pragma once

#include "platform/FileSystem.h"

// The real file system, through readdir, statx and the calls of FileCopy.h.
class PosixFileSystem : public FileSystem
{
public:
    std::optional<std::vector<DirEntry>> listDirectory(const FilePath &dir) const override;
    std::optional<ItemAttributes> attributes(const FilePath &path) const override;
    bool isDirectory(const FilePath &path, bool followLinks) const override;
    bool statPath(const FilePath &path, struct stat &st) const override;
    bool statOpen(int fd, struct stat &st) const override;
    int openUnnamed(const FilePath &dir) const override;
    int flush(int fd) const override;
    int renameNoReplace(const FilePath &from, const FilePath &to) const override;
};
