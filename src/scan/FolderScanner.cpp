#include "scan/FolderScanner.h"

#include "model/Enums.h"
#include "platform/FileSystem.h"
#include "platform/Trash.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr auto pausePollInterval = std::chrono::milliseconds(200);
constexpr int photosPerMilestone = 50;

// The accepted extensions with their upper-case file types, shared by every record.
struct AcceptedType
{
    QByteArray extension;
    QString fileType;
};

const std::vector<AcceptedType> &acceptedTypes()
{
    static const std::vector<AcceptedType> types = [] {
        std::vector<AcceptedType> result;
        for (QStringView extension : FileTypeFilters::extensions(FileTypeFilter::all))
            result.push_back({extension.toLatin1(), extension.toString().toUpper()});
        return result;
    }();
    return types;
}

const QString *matchFileType(QByteArrayView name)
{
    // The accepted extensions are ASCII, so an ASCII case-insensitive match is exactly
    // "lower-case it, then look it up".
    const QByteArrayView extension = pathExtension(name);
    if (extension.isEmpty() || extension.size() > 4)
        return nullptr;
    for (const AcceptedType &type : acceptedTypes()) {
        if (extension.compare(type.extension, Qt::CaseInsensitive) == 0)
            return &type.fileType;
    }
    return nullptr;
}

bool isCandidate(QByteArrayView name)
{
    return !name.startsWith('.') && matchFileType(name);
}

// A folder to list in the second phase, with its candidate files when the walk has
// already read it, so no folder is listed twice.
struct DirectoryJob
{
    FilePath path;
    std::optional<std::vector<DirEntry>> candidates;
};

std::vector<DirEntry> candidateEntries(const std::vector<DirEntry> &entries)
{
    std::vector<DirEntry> candidates;
    for (const DirEntry &entry : entries) {
        if (isCandidate(entry.name))
            candidates.push_back(entry);
    }
    return candidates;
}

// Only a regular file, or a link to one, is a photo: anything else would later be opened
// for its picture and digest, and a FIFO would block that. The listing's type spares most
// files a second stat.
bool isRegularFile(const FileSystem &fs, const DirEntry &entry, const FilePath &path)
{
    struct stat st;
    return entry.type == EntryType::file || (fs.statPath(path, st) && S_ISREG(st.st_mode));
}

Timestamp now()
{
    return std::chrono::time_point_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now());
}

// The home trash, also when reached by another spelling (a linked home folder).
struct HomeTrash
{
    FilePath path;
    struct stat identity{};
    bool exists = false;

    explicit HomeTrash(FilePath p) : path(std::move(p)) { exists = ::stat(path.constData(), &identity) == 0; }
    // Whether a folder the walk meets is this trash.
    bool is(const WalkEntry &entry) const
    {
        struct stat st;
        return exists && entry.name == "Trash" && ::stat(entry.path.constData(), &st) == 0
               && st.st_dev == identity.st_dev && st.st_ino == identity.st_ino;
    }
};

FilePath resolved(const FilePath &path)
{
    char *real = ::realpath(path.constData(), nullptr);
    const FilePath result = real ? FilePath(real) : path;
    ::free(real);
    return result;
}

// Whether the scan path `path` is a trash folder or lies in one.
bool isInsideTrash(const FilePath &path, const FilePath &homeTrash)
{
    const FilePath real = resolved(path), trash = resolved(homeTrash);
    if (real == trash || real.startsWith(FilePath(trash + '/')))
        return true;
    for (qsizetype start = 0; start < path.size();) {
        qsizetype end = path.indexOf('/', start);
        if (end < 0)
            end = path.size();
        if (isTrashFolderName(QByteArrayView(path).sliced(start, end - start)))
            return true;
        start = end + 1;
    }
    return false;
}

// Phase 1: the folders to list. Returns false when stopped.
bool collectDirectories(const FileSystem &fs, const QList<FilePath> &scanPaths,
                        const ScanFlags &flags, std::vector<DirectoryJob> &jobs)
{
    const HomeTrash trash(TrashEnvironment::current().homeTrash());
    for (const FilePath &root : scanPaths) {
        if (isInsideTrash(root, trash.path))
            continue;
        std::optional<std::vector<DirEntry>> rootCandidates;
        bool rootListed = false;
        WalkVisitor visitor;
        visitor.entry = [&](const WalkEntry &entry) {
            if (flags.shouldStop.load(std::memory_order_relaxed))
                return false;
            if (entry.isDirectory && !entry.name.startsWith('.') && !entry.name.startsWith('~') && !trash.is(entry))
                jobs.push_back({entry.path, std::nullopt});
            return true;
        };
        // Nothing in a trash is the user's photo library, so the walk stays out of them.
        visitor.descend = [&](const WalkEntry &entry) {
            return !isTrashFolderName(entry.name) && !trash.is(entry);
        };
        visitor.listed = [&](const FilePath &dir, const std::vector<DirEntry> &entries) {
            // The walk lists a folder right after yielding it, and the root first of all.
            if (!rootListed) {
                rootListed = true;
                rootCandidates = candidateEntries(entries);
            } else if (!jobs.empty() && !jobs.back().candidates && jobs.back().path == dir) {
                jobs.back().candidates = candidateEntries(entries);
            }
        };
        walkTree(fs, root, visitor);
        jobs.push_back({root, std::move(rootCandidates)});
    }
    return !flags.shouldStop.load();
}

} // namespace

ScanResult scanFolders(const FileSystem &fs, const QList<FilePath> &scanPaths,
                       const ScanFlags &flags, ScanProgressSink &progress)
{
    ScanResult result;
    std::vector<DirectoryJob> jobs;
    if (!collectDirectories(fs, scanPaths, flags, jobs))
        return result;

    result.directoryCount = qsizetype(jobs.size());
    const int total = jobs.empty() ? 1 : int(jobs.size());
    progress.foldersToScan(total);

    ScanCounters &counters = *progress.counters;
    for (DirectoryJob &job : jobs) {
        while (flags.shouldPause.load() && !flags.shouldStop.load())
            flags.pauseWait(pausePollInterval);
        if (flags.shouldStop.load())
            break;

        ++counters.directoriesBegun;
        progress.directoryBegun(total, job.path);

        if (!job.candidates) {
            std::optional<std::vector<DirEntry>> entries = fs.listDirectory(job.path);
            if (!entries)
                continue;
            job.candidates = candidateEntries(*entries);
        }
        for (const DirEntry &entry : *job.candidates) {
            if (flags.shouldStop.load(std::memory_order_relaxed))
                break;
            const FilePath &name = entry.name;
            const FilePath path = appendPathComponent(job.path, name);
            if (!isRegularFile(fs, entry, path))
                continue;
            const std::optional<ItemAttributes> attributes = fs.attributes(path);
            // Replaced by a folder since the listing.
            if (!attributes || attributes->isDirectory)
                continue;
            const Timestamp created = attributes->created ? *attributes->created : now();
            const Timestamp modified = attributes->modified ? *attributes->modified : now();
            // The photos of a folder share its path's bytes.
            result.photos.append(PhotoItem::inFolder(makePhotoId(), job.path, name, attributes->size,
                                                     created, modified, *matchFileType(name)));
            if (++counters.photosFound % photosPerMilestone == 0)
                progress.photosFoundMilestone();
        }
        // The names are no longer needed; free them as the scan goes.
        job.candidates.reset();
    }
    return result;
}
