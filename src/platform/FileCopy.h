#pragma once

#include "model/PhotoItem.h"

#include <QString>

#include <sys/types.h>

// Low-level file transfers that never replace an existing entry. Each returns 0 on
// success or the errno value of the step that failed.

// Creates `path` and its missing parents with `mode` (an existing folder is fine).
int makeDirectories(const FilePath &path, mode_t mode);

// Renames `from` to `to`, failing with EEXIST when `to` exists. Where the file system
// cannot rename without replacing, a hard link and an unlink do the same.
int renameNoReplace(const FilePath &from, const FilePath &to);

// Creates `destination` (which must not exist) as a copy of the regular file `source`,
// with its contents, permission bits and modification time. With `flush` the copy is on
// disk before this returns. On failure nothing is left at `destination`.
int copyToNewFile(const FilePath &source, const FilePath &destination, bool flush);

// Flushes the folder's entries to disk, so a new name in it survives a crash.
int syncDirectory(const FilePath &dir);

// The system's description of an errno value, e.g. "File exists".
QString errorText(int error);
