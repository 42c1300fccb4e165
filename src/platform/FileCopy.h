#pragma once

#include "model/PhotoItem.h"

#include <QByteArrayView>
#include <QString>

#include <climits>
#include <sys/types.h>

class FileSystem;
struct stat;

// Low-level file transfers that never replace an existing entry. Each returns 0 on
// success, the errno value of the step that failed, or fileChanged.

// Not an errno value: the source changed while it was copied.
constexpr int fileChanged = -1;

// Creates `path` and its missing parents with `mode` (an existing folder is fine).
int makeDirectories(const FilePath &path, mode_t mode);

// Renames `from` to `to`, failing with EEXIST when `to` exists. Where the file system
// cannot rename without replacing, a hard link and an unlink do the same; where it has
// no hard links either, EXDEV.
int renameNoReplace(const FilePath &from, const FilePath &to);

// Creates `destination` (which must not exist) as a copy of the regular file `source` (a
// link is followed), with its contents, permission bits and modification time, named only
// once complete; with `flush` (and always where it goes through a temporary) on disk before
// that. `copied`, when given, receives the state of the source that was copied. On failure
// nothing is left at `destination`.
int copyToNewFile(const FileSystem &fs, const FilePath &source, const FilePath &destination, bool flush,
                  struct stat *copied = nullptr);

// Removes from `dir` the temporaries of copies whose run was killed (copies still being
// written are kept).
void removeLeftoverCopies(const FilePath &dir);

// Flushes the folder's entries to disk, so a new name in it survives a crash.
int syncDirectory(const FileSystem &fs, const FilePath &dir);

// Whether two stats show the same file in the same state: device, inode, size,
// modification and status-change times.
bool sameState(const struct stat &a, const struct stat &b);

// `head`, cut on a UTF-8 character boundary so that `tail` still fits within `limit`
// bytes, followed by `tail`.
FilePath fitName(QByteArrayView head, QByteArrayView tail, qsizetype limit = NAME_MAX);

// The system's description of an errno value, e.g. "File exists", or of fileChanged.
QString errorText(int error);
