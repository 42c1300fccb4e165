#include "duplicates/ContentMatch.h"

#include "platform/ContentHash.h"
#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// Most photos that share a size differ within their first block.
constexpr qint64 firstChunkSize = 4096;

class OpenFile
{
public:
    OpenFile(int member, int fd, const struct stat &opened)
        : m_member(member), m_fd(fd), m_opened(opened)
    {
    }
    OpenFile(OpenFile &&other) noexcept
        : m_member(other.m_member), m_fd(std::exchange(other.m_fd, -1)), m_opened(other.m_opened)
    {
    }
    OpenFile &operator=(OpenFile &&) = delete;
    ~OpenFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    int member() const { return m_member; }
    FileStamp stamp() const { return FileStamp::of(m_opened); }

    // Reads up to `length` bytes; fewer only at the end of the file, -1 on an error.
    qint64 read(char *buffer, qint64 length) const
    {
        qint64 done = 0;
        while (done < length) {
            const ssize_t n = ::read(m_fd, buffer + done, size_t(length - done));
            if (n > 0)
                done += n;
            else if (n == 0)
                break;
            else if (errno != EINTR)
                return -1;
        }
        return done;
    }

    // Reads `length` bytes at `offset` without moving the file position.
    bool readAt(char *buffer, qint64 length, qint64 offset) const
    {
        qint64 done = 0;
        while (done < length) {
            const ssize_t n = ::pread(m_fd, buffer + done, size_t(length - done), offset + done);
            if (n > 0)
                done += n;
            else if (n == 0 || errno != EINTR)
                return false;
        }
        return true;
    }

    // At the end of the file, and not written to since it was opened.
    bool intactAtEnd() const
    {
        char byte;
        struct stat now;
        return read(&byte, 1) == 0 && ::fstat(m_fd, &now) == 0 && now.st_size == m_opened.st_size
            && now.st_mtim.tv_sec == m_opened.st_mtim.tv_sec
            && now.st_mtim.tv_nsec == m_opened.st_mtim.tv_nsec
            && now.st_ctim.tv_sec == m_opened.st_ctim.tv_sec
            && now.st_ctim.tv_nsec == m_opened.st_ctim.tv_nsec;
    }

private:
    int m_member;
    int m_fd;
    struct stat m_opened;
};

int openExisting(const FilePath &path)
{
    // O_NONBLOCK: should the path have become a FIFO, opening it must not wait for a writer.
    return ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

// Opens `file` if it is still the regular file of `size` bytes that was examined.
std::optional<OpenFile> openCandidate(const FileSystem &fs, const ContentCandidate &file, int member,
                                      qint64 size)
{
    const int fd = openExisting(file.path);
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    if (!fs.statOpen(fd, st) || !S_ISREG(st.st_mode) || st.st_dev != file.identity.device
        || st.st_ino != file.identity.inode || st.st_size != size) {
        ::close(fd);
        return std::nullopt;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return OpenFile(member, fd, st);
}

} // namespace

quint64 sampleOf(QByteArrayView block)
{
    // SHA-256, cut to 64 bits: stable across versions, as samples outlive the program that
    // took them in the cache.
    ContentHash hash;
    hash.update(block);
    const ContentHash::Digest digest = hash.finish();
    quint64 sample = 0;
    std::memcpy(&sample, digest.data(), sizeof sample);
    return sample == 0 ? 1 : sample;
}

std::optional<std::vector<ContentClass>> matchContents(const FileSystem &fs,
                                                       std::span<const ContentCandidate> files,
                                                       qint64 size, bool keepSingles,
                                                       const std::atomic<bool> &stop,
                                                       ReadBuffers &buffers,
                                                       std::vector<ContentSample> *samples)
{
    const auto sample = [&](const OpenFile &file, const char *block) {
        if (samples)
            samples->push_back({file.member(), file.stamp(), sampleOf(QByteArrayView(block, firstChunkSize))});
    };
    const size_t minimum = keepSingles ? 1 : 2;
    char *const first = buffers.representative.get();
    char *const other = buffers.other.get();
    std::vector<ContentClass> classes;
    std::vector<int> pending(files.size());
    for (size_t i = 0; i < pending.size(); ++i)
        pending[i] = int(i);

    // Each round settles its representative, so the rounds end.
    while (pending.size() >= minimum) {
        if (stop.load(std::memory_order_relaxed))
            return std::nullopt;
        std::sort(pending.begin(), pending.end()); // the lowest is the representative
        std::vector<OpenFile> open;
        for (int member : pending) {
            if (std::optional<OpenFile> file = openCandidate(fs, files[size_t(member)], member, size))
                open.push_back(std::move(*file));
        }
        pending.clear();
        if (open.size() < minimum)
            break;

        const OpenFile &representative = open.front();
        std::vector<const OpenFile *> matching;
        for (size_t i = 1; i < open.size(); ++i)
            matching.push_back(&open[i]);
        // Files that differ early are caught by the first chunk; those that differ only at
        // the end, by comparing the last block before anything else.
        bool representativeRead = true;
        static_assert(sampledAbove == 2 * firstChunkSize);
        if (size > sampledAbove) {
            const qint64 tail = size - firstChunkSize;
            representativeRead = representative.readAt(first, firstChunkSize, tail);
            if (representativeRead) {
                sample(representative, first);
                std::erase_if(matching, [&](const OpenFile *file) {
                    if (!file->readAt(other, firstChunkSize, tail))
                        return true;
                    sample(*file, other);
                    if (std::memcmp(first, other, size_t(firstChunkSize)) == 0)
                        return false;
                    pending.push_back(file->member());
                    return true;
                });
            }
        }
        if (matching.empty() && !keepSingles)
            continue; // nothing to share a digest with
        ContentHash hash;
        for (qint64 offset = 0; representativeRead && offset < size;) {
            if (stop.load(std::memory_order_relaxed))
                return std::nullopt;
            const qint64 length = std::min(offset == 0 ? firstChunkSize : ReadBuffers::chunkSize,
                                           size - offset);
            if (representative.read(first, length) != length) {
                representativeRead = false;
                break;
            }
            std::erase_if(matching, [&](const OpenFile *file) {
                const qint64 got = file->read(other, length);
                if (got == length && std::memcmp(first, other, size_t(length)) == 0)
                    return false;
                if (got == length)
                    pending.push_back(file->member()); // differs: it may match another
                return true;
            });
            if (matching.empty() && !keepSingles)
                break;
            hash.update(QByteArrayView(first, length));
            offset += length;
        }
        if (matching.empty() && !keepSingles)
            continue;
        if (!representativeRead || !representative.intactAtEnd()) {
            // What the others matched is not known to be the file's content.
            for (const OpenFile *file : matching)
                pending.push_back(file->member());
            continue;
        }
        ContentClass found{hash.finish(), {representative.member()}, {representative.stamp()}};
        for (const OpenFile *file : matching) {
            if (file->intactAtEnd()) {
                found.members.push_back(file->member());
                found.stamps.push_back(file->stamp());
            }
        }
        if (found.members.size() >= minimum)
            classes.push_back(std::move(found));
    }
    return classes;
}

std::optional<QByteArray> readHead(const ContentCandidate &file, qint64 length)
{
    const int fd = openExisting(file.path);
    if (fd < 0)
        return std::nullopt;
    QByteArray head(length, Qt::Uninitialized);
    const ssize_t got = ::pread(fd, head.data(), size_t(length), 0);
    ::close(fd);
    if (got != length)
        return std::nullopt;
    return head;
}
