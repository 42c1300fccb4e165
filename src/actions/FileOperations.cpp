#include "actions/FileOperations.h"

#include "platform/FileCopy.h"
#include "platform/FileSystem.h"
#include "platform/Trash.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

namespace {

FileTransfer transferResult(int error, const FilePath &destination)
{
    if (error)
        return {false, errorText(error), {}};
    return {true, {}, destination};
}

// Across file systems: a complete copy, flushed with its folder entry, before the source
// goes; if the source cannot be removed the copy is taken back, so the photo is never in
// two places after a move that reports failure.
int moveAcrossFileSystems(const FilePath &source, const FilePath &destination)
{
    struct stat before, after;
    if (::lstat(source.constData(), &before) != 0)
        return errno;
    if (const int error = copyToNewFile(source, destination, true))
        return error; // nothing was created, or it was removed again
    int error = syncDirectory(parentPath(destination));
    // The name still has to be the file that was copied: another one put there meanwhile
    // is not ours to remove.
    if (!error && (::lstat(source.constData(), &after) != 0 || after.st_dev != before.st_dev
                   || after.st_ino != before.st_ino))
        error = EIO;
    if (!error && ::unlink(source.constData()) != 0)
        error = errno;
    if (error)
        ::unlink(destination.constData());
    return error;
}

} // namespace

FilePath freeDestinationPath(const FilePath &destDir, const FilePath &name)
{
    FilePath candidate = appendPathComponent(destDir, name);
    struct stat st;
    // Any failure to examine a name ends the search: the copy then fails with the reason.
    if (::lstat(candidate.constData(), &st) != 0)
        return candidate;
    const qsizetype dot = name.lastIndexOf('.');
    const FilePath base = dot < 0 ? name : name.left(dot);
    const FilePath extension = dot < 0 ? FilePath() : name.mid(dot);
    for (qint64 n = 1;; ++n) {
        candidate = appendPathComponent(destDir, FilePath(base + '_' + FilePath::number(n) + extension));
        // A dangling link counts as taken: creating the file would follow it.
        if (::lstat(candidate.constData(), &st) != 0)
            return candidate;
    }
}

FileTransfer copyFileTo(const FilePath &source, const FilePath &destination)
{
    return transferResult(copyToNewFile(source, destination, false), destination);
}

FileTransfer moveFileTo(const FilePath &source, const FilePath &destination)
{
    int error = renameNoReplace(source, destination);
    if (error == EXDEV)
        error = moveAcrossFileSystems(source, destination);
    return transferResult(error, destination);
}

FileTransfer copyFileInto(const FilePath &source, const FilePath &name, const FilePath &destDir)
{
    return copyFileTo(source, freeDestinationPath(destDir, name));
}

FileTransfer moveFileInto(const FilePath &source, const FilePath &name, const FilePath &destDir)
{
    return moveFileTo(source, freeDestinationPath(destDir, name));
}

namespace {

// One file after the other: `transfer` gives the error text of a file that failed, nothing
// for one that went. Failures are logged as "Error {verb} {name}: {error}".
FileOpOutcome runEach(const QList<FileJob> &jobs, const QString &verb,
                      const std::function<std::optional<QString>(const FileJob &)> &transfer,
                      const std::function<void(const FileOpProgress &)> &progress,
                      const std::function<void(const QString &)> &logLine, const std::atomic<bool> *abandon)
{
    FileOpOutcome outcome;
    outcome.total = int(jobs.size());
    for (const FileJob &job : jobs) {
        if (abandon && *abandon)
            break;
        if (const std::optional<QString> error = transfer(job)) {
            ++outcome.errors;
            if (logLine)
                logLine(QStringLiteral("Error ") + verb + u' ' + displayPath(job.name) + QStringLiteral(": ") + *error);
        } else {
            ++outcome.done;
            outcome.succeededIds.insert(job.id);
        }
        if (progress)
            progress({outcome.done, outcome.errors, int(jobs.size())});
    }
    return outcome;
}

} // namespace

FileOpOutcome runFileOperation(FileOperation operation, const FilePath &destDir,
                               const QList<FileJob> &jobs,
                               const std::function<void(const FileOpProgress &)> &progress,
                               const std::function<void(const QString &)> &logLine,
                               const std::atomic<bool> *abandon)
{
    // A folder that cannot be made fails each file on its own, with its own message.
    makeDirectories(destDir, 0777);
    const bool copy = operation == FileOperation::copy;
    const auto transfer = [&](const FileJob &job) -> std::optional<QString> {
        const FileTransfer t = copy ? copyFileInto(job.path, job.name, destDir) : moveFileInto(job.path, job.name, destDir);
        return t.ok ? std::nullopt : std::optional(t.error);
    };
    return runEach(jobs, copy ? QStringLiteral("copying") : QStringLiteral("moving"), transfer, progress, logLine,
                   abandon);
}

FileOpOutcome runDelete(const QList<FileJob> &jobs,
                        const std::function<void(const FileOpProgress &)> &progress,
                        const std::function<void(const QString &)> &logLine,
                        const std::atomic<bool> *abandon)
{
    const TrashEnvironment trash = TrashEnvironment::current();
    const auto transfer = [&](const FileJob &job) -> std::optional<QString> {
        const TrashResult result = moveToTrash(job.path, trash);
        return result.ok ? std::nullopt : std::optional(result.error);
    };
    return runEach(jobs, QStringLiteral("deleting"), transfer, progress, logLine, abandon);
}

QList<FileJob> fileJobsFor(const QList<PhotoItem> &photos, const PhotoIdSet &ids)
{
    QList<FileJob> jobs;
    if (ids.isEmpty())
        return jobs;
    for (const PhotoItem &photo : photos) {
        if (ids.contains(photo.id()))
            jobs.append({photo.id(), photo.path(), photo.name()});
    }
    return jobs;
}

QList<PhotoItem> withoutPhotos(const QList<PhotoItem> &photos, const PhotoIdSet &ids)
{
    if (ids.isEmpty())
        return photos;
    QList<PhotoItem> kept;
    kept.reserve(photos.size());
    for (const PhotoItem &photo : photos) {
        if (!ids.contains(photo.id()))
            kept.append(photo);
    }
    return kept;
}
