#pragma once

#include "model/Digest.h"
#include "model/PhotoItem.h"
#include "platform/FileSystem.h"

#include <QSize>
#include <QString>

#include <functional>
#include <optional>
#include <span>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// What the program learned about files' contents, kept between runs in one SQLite file
// ($XDG_CACHE_HOME/lumisort/library.sqlite): a row per path holding the file's stamp and
// its digest. A row counts only while the file's stamp is exactly the one it was read with.
// It is a cache: losing it loses time, never a result, so every failure makes it an empty
// cache and one message.
//
// This object only says where the cache is and what day it is, and may be shared by
// threads; each use opens its own connection (`CacheSession`) on its own thread.
class LibraryCache
{
public:
    struct Options
    {
        // How long a connection waits for another one's write (another window) before it
        // goes on without the cache.
        int busyTimeoutMs = 1500;
        // Today, in days since 1970-01-01; the clock's when unset.
        std::function<qint64()> today;
    };

    explicit LibraryCache(FilePath folder);
    LibraryCache(FilePath folder, Options options);

    // $XDG_CACHE_HOME/lumisort, else ~/.cache/lumisort; empty without either variable.
    static FilePath defaultFolder();
    // Rows of files no pass has met for this many days are dropped.
    static constexpr qint64 keepDays = 90;

    const FilePath &folder() const { return m_folder; }
    FilePath file() const;
    qint64 today() const;
    int busyTimeoutMs() const { return m_options.busyTimeoutMs; }

private:
    FilePath m_folder;
    Options m_options;
};

// What the duplicate pass learned about a file (its digest, or only the sample of its last
// block), with the stamp the file had while read.
struct CachedDigest
{
    FilePath path;
    FileStamp stamp;
    std::optional<ContentDigest> digest;
    quint64 sample = 0;
};

// What the similar pass learned about a file: its signature (empty: not a picture the pass
// could read) and its size in pixels.
struct KnownSignature
{
    QByteArray signature;
    QSize pixels;
};

struct CachedSignature
{
    FilePath path;
    FileStamp stamp;
    QByteArray signature;
    QSize pixels;
};

// One connection to the cache, used by one thread at a time (it may pass to another between
// uses). Opening makes the folder (0700) and the file (0600), switches to WAL, and rebuilds
// a file SQLite calls corrupt or that holds another version's schema. Every step fails
// soft: it keeps the first failure's text, and the steps after it do nothing.
class CacheSession
{
public:
    explicit CacheSession(const LibraryCache &cache);
    ~CacheSession();
    CacheSession(const CacheSession &) = delete;
    CacheSession &operator=(const CacheSession &) = delete;

    bool usable() const { return m_db && m_failure.isEmpty(); }
    // The one line to log: why the cache is not used (any more), or that it was rebuilt;
    // empty while all went well.
    QString message() const { return m_failure.isEmpty() ? m_rebuilt : m_failure; }

    // For each path, what its row holds of the duplicate pass (nothing for a row without):
    // the caller compares the row's stamp with the file's, so the lookup need not wait for
    // a stat. Rows found are marked seen today by the next store.
    std::vector<std::optional<ContentRecord>> lookup(std::span<const FilePath> paths);
    // Writes the rows (replacing those of the same paths; what else a row holds is kept only
    // while its stamp holds), and marks the rows `lookup` found seen today,
    // in transactions of a few thousand rows.
    bool store(std::span<const CachedDigest> rows);
    // The same for the similar pass: each file's signature and pixel size, where its row has
    // exactly its stamp and was signed.
    std::vector<std::optional<KnownSignature>> lookupSignatures(std::span<const FilePath> paths,
                                                                std::span<const FileStamp> stamps);
    // Writes the signatures, keeping a row's digest and sample only while its stamp holds.
    bool storeSignatures(std::span<const CachedSignature> rows);
    // Drops the rows not seen for `LibraryCache::keepDays`.
    bool dropUnseen();
    // Drops every row.
    bool clear();
    // The number of rows; -1 on failure.
    qint64 rowCount();

private:
    bool open(bool rebuild);
    bool readRows(const char *columns, std::span<const FilePath> paths, std::span<const FileStamp> stamps,
                  const std::function<void(size_t, const FileStamp &, sqlite3_stmt *)> &found);
    bool writeRows(const char *sql, size_t count, const std::function<void(sqlite3_stmt *, size_t)> &bind);
    bool exec(const char *sql);
    bool fail(int code);

    const LibraryCache &m_cache;
    sqlite3 *m_db = nullptr;
    QString m_failure;
    QString m_rebuilt;
    std::vector<FilePath> m_seen; // found by lookups on an earlier day, for the next store
};
