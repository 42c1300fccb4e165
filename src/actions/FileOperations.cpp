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

// Moves by copying: across file systems, and for a link, which moves as the photo it shows
// (renamed, it would move only the link, and a relative one would then dangle). The copy
// is complete and on disk with its folder entry before the source goes, and the source
// must then still be the very file that was copied, unchanged: a photo saved in place
// meanwhile would otherwise lose that save. A link goes, the file it shows stays (it may
// be another photo's). If anything fails the copy is removed and the source stays, so
// the photo is never in two places after a move that reports failure.
int moveByCopy(const FileSystem &fs, const FilePath &source, const FilePath &destination)
{
    struct stat copied, now;
    if (const int error = copyToNewFile(fs, source, destination, true, &copied))
        return error; // nothing was created, or it was removed again
    int error = syncDirectory(fs, parentPath(destination));
    if (!error && ::stat(source.constData(), &now) != 0)
        error = errno;
    if (!error && !sameState(now, copied))
        error = fileChanged;
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
    const QByteArrayView base = dot < 0 ? QByteArrayView(name) : QByteArrayView(name).first(dot);
    const FilePath extension = dot < 0 ? FilePath() : name.mid(dot);
    for (qint64 n = 1;; ++n) {
        // A name that cannot grow gives up the end of its base.
        candidate = appendPathComponent(destDir, fitName(base, FilePath('_' + FilePath::number(n) + extension)));
        // A dangling link counts as taken: creating the file would follow it.
        if (::lstat(candidate.constData(), &st) != 0)
            return candidate;
    }
}

FileTransfer copyFileTo(const FilePath &source, const FilePath &destination, const FileSystem &fs)
{
    return transferResult(copyToNewFile(fs, source, destination, false), destination);
}

FileTransfer moveFileTo(const FilePath &source, const FilePath &destination, const FileSystem &fs)
{
    struct stat entry;
    if (::lstat(source.constData(), &entry) != 0)
        return transferResult(errno, destination);
    int error = S_ISLNK(entry.st_mode) ? EXDEV : fs.renameNoReplace(source, destination);
    if (error == EXDEV)
        error = moveByCopy(fs, source, destination);
    return transferResult(error, destination);
}

FileTransfer copyFileInto(const FilePath &source, const FilePath &name, const FilePath &destDir, const FileSystem &fs)
{
    return copyFileTo(source, freeDestinationPath(destDir, name), fs);
}

FileTransfer moveFileInto(const FilePath &source, const FilePath &name, const FilePath &destDir, const FileSystem &fs)
{
    return moveFileTo(source, freeDestinationPath(destDir, name), fs);
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
    removeLeftoverCopies(destDir);
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
