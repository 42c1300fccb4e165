#pragma once

#include "model/PhotoItem.h"
#include "platform/ContentHash.h"
#include "platform/FileSystem.h"

#include <atomic>
#include <memory>
#include <optional>
#include <span>
#include <sys/types.h>
#include <vector>

class FileSystem;

// Which file a path led to when it was examined: hard links and a file reached by two
// paths share it.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

// A file that, by its size, may have identical twins.
struct ContentCandidate
{
    FilePath path;
    FileIdentity identity;
};

// Files of one set whose bytes are identical, by position in the set (ascending), each with
// its stamp while it was read (unchanged from opening to the end).
struct ContentClass
{
    ContentHash::Digest digest;
    std::vector<int> members;
    std::vector<FileStamp> stamps;
};

// A file's last block, hashed, as read while the file had `stamp`: two files of one size
// with different samples differ, so a later pass can tell them apart without opening them.
// Only equal samples prove nothing.
struct ContentSample
{
    int member = 0;
    FileStamp stamp;
    quint64 sample = 0; // never 0 for a block read
};

// Files longer than this (two blocks) are compared by their last block first, and sampled.
inline constexpr qint64 sampledAbove = 8192;

// The sample of a last block.
quint64 sampleOf(QByteArrayView block);

// Memory one thread reads with: two chunks.
struct ReadBuffers
{
    static constexpr qint64 chunkSize = 256 * 1024;
    const std::unique_ptr<char[]> representative = std::make_unique_for_overwrite<char[]>(chunkSize);
    const std::unique_ptr<char[]> other = std::make_unique_for_overwrite<char[]>(chunkSize);
};

// Splits `files`, all `size` bytes long when examined, into classes of byte-identical
// files, and computes one digest per class. The files are read side by side in chunks (the
// first one small, so files that differ early cost little) and compared with the first
// of them, which alone is hashed; a file that stops matching is tried again in a later
// round. Classes of one file are dropped unless `keepSingles`, and such files are not
// read to the end. A file that cannot be opened, is no longer the same file, or whose
// size or times change while it is read is left out. Nothing when `stop` was seen; it is
// polled before each round of opening files and before each chunk. Files longer than two
// blocks are first compared by their last block; `samples`, when given, gets each one's
// sample (a file may be listed more than once).
std::optional<std::vector<ContentClass>> matchContents(const FileSystem &fs,
                                                       std::span<const ContentCandidate> files,
                                                       qint64 size, bool keepSingles,
                                                       const std::atomic<bool> &stop,
                                                       ReadBuffers &buffers,
                                                       std::vector<ContentSample> *samples = nullptr);

// The first `length` bytes of `file`, or nothing when it cannot be read that far.
std::optional<QByteArray> readHead(const ContentCandidate &file, qint64 length);
