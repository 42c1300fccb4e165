#pragma once

#include "model/Digest.h"
#include "model/PhotoItem.h"

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <optional>
#include <sys/stat.h>
#include <vector>

// What a directory entry is, as far as the listing tells without a stat.
enum class EntryType : unsigned char { unknown, file, directory, symlink, other };

struct DirEntry
{
    FilePath name;
    EntryType type = EntryType::unknown;
};

struct ItemAttributes
{
    qint64 size = 0;
    std::optional<Timestamp> created;   // birth time; missing when the file system has none
    std::optional<Timestamp> modified;
    bool isDirectory = false;
};

// What stat(2) tells of a file's identity and state. A fact learned about its contents holds
// while every field is unchanged: a write moves both times, and putting the modification time
// back still moves the status-change time, which no one can set.
struct FileStamp
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    static FileStamp of(const struct stat &st)
    {
        return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
                qint64(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec};
    }
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

// What a pass learned of a file's contents while it had `stamp`, which holds only while the
// stamp does: its digest, if it was read whole, and the sample of its last block (0: none).
struct ContentRecord
{
    FileStamp stamp;
    std::optional<ContentDigest> digest;
    quint64 sample = 0;
};

// The file-system operations the rest of the program uses. Paths are raw bytes.
// Tests derive from the real implementation to inject failures.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // Entries directly inside `dir` ("." and ".." excluded) in the order the file system
    // lists them, or nothing when the directory cannot be read.
    virtual std::optional<std::vector<DirEntry>> listDirectory(const FilePath &dir) const = 0;

    // Size and dates of `path`, following symbolic links, or nothing when it cannot be
    // examined (missing, dangling link, no permission).
    virtual std::optional<ItemAttributes> attributes(const FilePath &path) const = 0;

    // Whether `path` is a directory; follows links when `followLinks`, else tells whether
    // the entry itself is a real directory. False when it cannot be examined.
    virtual bool isDirectory(const FilePath &path, bool followLinks) const = 0;

    // stat(2) of `path`, following links, and fstat(2) of an open file: the device, inode
    // and mode that tell files apart, and the times that show a file changing. False when
    // the file cannot be examined.
    virtual bool statPath(const FilePath &path, struct stat &st) const = 0;
    virtual bool statOpen(int fd, struct stat &st) const = 0;

    // The steps of a copy or move that tests interfere with. `openUnnamed`: a nameless file
    // open for writing in `dir` (O_TMPFILE), or -1 with errno set where the file system
    // makes none. `flush`: fsync(2) of an open file or folder. `renameNoReplace`: as the
    // function of that name (FileCopy.h). Both return 0 or an errno value.
    virtual int openUnnamed(const FilePath &dir) const = 0;
    virtual int flush(int fd) const = 0;
    virtual int renameNoReplace(const FilePath &from, const FilePath &to) const = 0;
};

// Joins a directory path and a name (or relative path) with exactly one "/".
FilePath appendPathComponent(const FilePath &dir, QByteArrayView name);
// The text after the last "/" (trailing slashes ignored); "/" for the root.
QByteArrayView lastPathComponent(QByteArrayView path);
// The folder an absolute path lies in; "/" for an entry of the root.
FilePath parentPath(const FilePath &path);
// The text after the last "." of a name, empty when there is none.
QByteArrayView pathExtension(QByteArrayView name);

// One entry met by walkTree.
struct WalkEntry
{
    const FilePath &path;    // the walked root joined with the entry's relative path
    QByteArrayView name;     // last component of `path`
    bool isDirectory;        // after following links: a link to a folder counts as a folder
};

// Callbacks of walkTree. Returning false from `entry` abandons the walk.
struct WalkVisitor
{
    // Every entry below the root, pre-order, hidden ones included.
    std::function<bool(const WalkEntry &)> entry;
    // Each directory's listing as the walk reads it (the root's first), so callers need
    // not list it a second time. Optional.
    std::function<void(const FilePath &dir, const std::vector<DirEntry> &entries)> listed;
    // Whether to walk into a real subdirectory just yielded; every one when unset.
    std::function<bool(const WalkEntry &)> descend;
};

// Walks every entry below `root`, descending into real subdirectories (hidden ones too)
// but never into symbolic links, so link loops cannot trap it. A subdirectory that cannot
// be read is reported but yields nothing below it. Returns false, having visited nothing,
// when `root` itself cannot be read.
bool walkTree(const FileSystem &fs, const FilePath &root, const WalkVisitor &visitor);
