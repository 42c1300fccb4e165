#pragma once

#include "model/Enums.h"
#include "model/PhotoItem.h"
#include "platform/PosixFileSystem.h"

#include <QList>
#include <QSet>
#include <QString>

#include <atomic>
#include <functional>

// One photo of a copy, move or delete run: a snapshot taken on the GUI thread.
struct FileJob
{
    PhotoId id = 0;
    FilePath path;
    FilePath name;
};

struct FileOpProgress
{
    int done = 0;   // files copied, moved or trashed
    int errors = 0; // files that failed
    int total = 0;
};

struct FileOpOutcome
{
    int done = 0;
    int errors = 0;
    int total = 0;           // the files the run was given
    PhotoIdSet succeededIds; // the photos whose file really was copied, moved or trashed
    // It was stopped before it had been through every file.
    bool stopped() const { return done + errors < total; }
};

// Result of one file's copy or move.
struct FileTransfer
{
    bool ok = false;
    QString error;        // description of the failure when !ok
    FilePath destination; // the path written when ok
};

// `name` in `destDir` if free, else the first free "{base}_{n}.{ext}" for n = 1, 2, ...
// ({base} and {ext} split at the last "."; a name without one gets "{name}_{n}"; {base} is
// shortened where the name would grow too long).
FilePath freeDestinationPath(const FilePath &destDir, const FilePath &name);

// Copies `source` to the first free name for `name` in `destDir`. Never overwrites: a name
// taken between the check and the write fails the file. Keeps modification time and mode.
FileTransfer copyFileInto(const FilePath &source, const FilePath &name, const FilePath &destDir,
                          const FileSystem &fs = PosixFileSystem());
// Moves it: a rename that refuses to replace, or across file systems (and for a link, which
// moves as the photo it shows) a complete, flushed copy after which the source is removed
// if it is still the file that was copied, unchanged; on failure nothing is left behind at
// the destination and the source stays.
FileTransfer moveFileInto(const FilePath &source, const FilePath &name, const FilePath &destDir,
                          const FileSystem &fs = PosixFileSystem());

// The same to an exact `destination`, which must not exist: an existing one fails the file
// with "File exists" and is left untouched.
FileTransfer copyFileTo(const FilePath &source, const FilePath &destination,
                        const FileSystem &fs = PosixFileSystem());
FileTransfer moveFileTo(const FilePath &source, const FilePath &destination,
                        const FileSystem &fs = PosixFileSystem());

// A whole copy or move run, one file at a time, blocking the calling thread: creates
// `destDir` (with its parents) and removes what killed runs left there, then each job in
// order. After each file `progress` gets the counts; each failure gives `logLine` "Error {verb} {name}: {error}".
// Once `abandon` is set (Stop, or the window closing) no further file is begun; the one
// under way is finished first, so no file is ever left half done.
FileOpOutcome runFileOperation(FileOperation operation, const FilePath &destDir,
                               const QList<FileJob> &jobs,
                               const std::function<void(const FileOpProgress &)> &progress,
                               const std::function<void(const QString &)> &logLine,
                               const std::atomic<bool> *abandon = nullptr);

// A delete run: each job's file to the current user's trash (TrashEnvironment::current(),
// read once per run; "Error deleting {name}: {error}" on failure).
// `done` counts the trashed files, `errors` the failures.
FileOpOutcome runDelete(const QList<FileJob> &jobs,
                        const std::function<void(const FileOpProgress &)> &progress,
                        const std::function<void(const QString &)> &logLine,
                        const std::atomic<bool> *abandon = nullptr);

// The work list: the photos whose id is in `ids`, in the order of `photos`.
QList<FileJob> fileJobsFor(const QList<PhotoItem> &photos, const PhotoIdSet &ids);
// `photos` without those whose id is in `ids`, order kept. Both are linear in the library,
// so the window runs them on its worker and swaps the result in.
QList<PhotoItem> withoutPhotos(const QList<PhotoItem> &photos, const PhotoIdSet &ids);

namespace FileOperationTexts {
QString panelPrompt(FileOperation operation);                  // "Copy Here" / "Move Here"
QString working(FileOperation operation);                      // "Copying..." / "Moving..."
QString progress(FileOperation operation, int done, int total); // "Copied {done}/{total}"
double progressPercent(const FileOpProgress &progress);        // (done + errors) / total * 100
// "Copied {done} photos[ ({errors} errors)]", "Moved {done} photos[ ({errors} errors)] - loaded more to replace";
// stopped: "Copied {done} of {total} photos[ ({errors} errors)] - stopped", and so for "Moved"
QString summary(FileOperation operation, const FileOpOutcome &outcome);

QString deleteProgress(int deleted, int total);                // "Deleted {deleted}/{total}"
double deletePercent(const FileOpProgress &progress);          // deleted / total * 100
// "Deleted {deleted} photos[ ({errors} errors)] - loaded more to replace";
// stopped: "Deleted {deleted} of {total} photos[ ({errors} errors)] - stopped"
QString deleteSummary(const FileOpOutcome &outcome);
} // namespace FileOperationTexts
