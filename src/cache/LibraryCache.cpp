#include "cache/LibraryCache.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <numeric>

using namespace Qt::StringLiterals;

namespace {

// Another value: the file is rebuilt.
constexpr int schemaVersion = 2;
// Rows per write transaction: long enough to amortise the commit, short enough that
// another window's writes are not held up for long.
constexpr size_t rowsPerTransaction = 4096;

// The digest is NULL for a file the duplicate pass told apart by its last block alone (its
// sample); later passes fill the other nullable columns (pixel size, similar-photo
// signature). The key is the path's bytes; no row id, so a row costs its path and values
// only.
constexpr const char *createSchema = R"(
CREATE TABLE files(
    path BLOB PRIMARY KEY NOT NULL,
    device INTEGER NOT NULL, inode INTEGER NOT NULL, size INTEGER NOT NULL,
    mtime_ns INTEGER NOT NULL, ctime_ns INTEGER NOT NULL,
    sha256 BLOB, seen_day INTEGER NOT NULL,
    width INTEGER, height INTEGER, signature BLOB, sample INTEGER
) WITHOUT ROWID)";

// A changed file's row keeps nothing a pass learned about its old contents; an unchanged
// one keeps its digest when only a sample is written.
constexpr const char *upsert = R"(
INSERT INTO files(path, device, inode, size, mtime_ns, ctime_ns, sha256, seen_day, sample)
VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?12)
ON CONFLICT(path) DO UPDATE SET
    width = CASE WHEN same THEN width END,
    height = CASE WHEN same THEN height END,
    signature = CASE WHEN same THEN signature END,
    sha256 = coalesce(excluded.sha256, CASE WHEN same THEN sha256 END),
    sample = coalesce(excluded.sample, CASE WHEN same THEN sample END),
    device = excluded.device, inode = excluded.inode, size = excluded.size,
    mtime_ns = excluded.mtime_ns, ctime_ns = excluded.ctime_ns, seen_day = excluded.seen_day)";

constexpr const char *upsertSignature = R"(
INSERT INTO files(path, device, inode, size, mtime_ns, ctime_ns, seen_day, width, height, signature)
VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?8, ?9, ?10, ?11)
ON CONFLICT(path) DO UPDATE SET
    sha256 = CASE WHEN same THEN sha256 END,
    sample = CASE WHEN same THEN sample END,
    device = excluded.device, inode = excluded.inode, size = excluded.size,
    mtime_ns = excluded.mtime_ns, ctime_ns = excluded.ctime_ns, seen_day = excluded.seen_day,
    width = excluded.width, height = excluded.height, signature = excluded.signature)";

QByteArray upsertSql(const char *sql)
{
    return QByteArray(sql).replace(
        "same", "(device, inode, size, mtime_ns, ctime_ns) = (excluded.device, excluded.inode, "
                "excluded.size, excluded.mtime_ns, excluded.ctime_ns)");
}

bool isCorrupt(int code)
{
    return (code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB;
}

class Statement
{
public:
    Statement(sqlite3 *db, const char *sql) { m_code = sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr); }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    int code() const { return m_code; }
    sqlite3_stmt *operator*() const { return m_statement; }
    void bind(int at, const QByteArray &bytes)
    {
        sqlite3_bind_blob(m_statement, at, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
    }
    void bind(int at, qint64 value) { sqlite3_bind_int64(m_statement, at, value); }
    // One step; SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return sqlite3_step(m_statement); }
    int finishStep()
    {
        const int code = step();
        sqlite3_reset(m_statement);
        return code == SQLITE_ROW ? SQLITE_DONE : code;
    }

private:
    sqlite3_stmt *m_statement = nullptr;
    int m_code;
};

bool makeFolders(const FilePath &folder)
{
    for (qsizetype slash = 0; slash >= 0;) {
        slash = folder.indexOf('/', slash + 1);
        const FilePath part = slash < 0 ? folder : folder.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

} // namespace

LibraryCache::LibraryCache(FilePath folder)
    : LibraryCache(std::move(folder), Options())
{
}

LibraryCache::LibraryCache(FilePath folder, Options options)
    : m_folder(std::move(folder)), m_options(std::move(options))
{
}

FilePath LibraryCache::defaultFolder()
{
    const QByteArray cacheHome = qgetenv("XDG_CACHE_HOME");
    if (cacheHome.startsWith('/'))
        return cacheHome + "/lumisort";
    const QByteArray home = qgetenv("HOME");
    return home.startsWith('/') ? home + "/.cache/lumisort" : FilePath();
}

FilePath LibraryCache::file() const
{
    return m_folder + "/library.sqlite";
}

qint64 LibraryCache::today() const
{
    if (m_options.today)
        return m_options.today();
    using Days = std::chrono::duration<qint64, std::ratio<86400>>;
    return std::chrono::duration_cast<Days>(std::chrono::system_clock::now().time_since_epoch()).count();
}

CacheSession::CacheSession(const LibraryCache &cache)
    : m_cache(cache)
{
    if (cache.folder().isEmpty())
        m_failure = u"Library cache not used: no cache folder (HOME is not set)"_s;
    else
        open(false);
}

CacheSession::~CacheSession()
{
    sqlite3_close_v2(m_db);
}

bool CacheSession::open(bool rebuild)
{
    const FilePath file = m_cache.file();
    if (rebuild) {
        sqlite3_close_v2(std::exchange(m_db, nullptr));
        for (const char *suffix : {"", "-wal", "-shm"})
            ::unlink(FilePath(file + suffix).constData());
    }
    if (!makeFolders(m_cache.folder())) {
        m_failure = u"Library cache not used: cannot make %1 (%2)"_s.arg(displayPath(m_cache.folder()),
                                                                          QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // Made here so that it, and the journal files SQLite gives its mode, are ours alone.
    if (const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600); fd >= 0)
        ::close(fd);
    const int opened = sqlite3_open_v2(file.constData(), &m_db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (opened != SQLITE_OK)
        return fail(opened);
    sqlite3_busy_timeout(m_db, m_cache.busyTimeoutMs());
    if (!exec("PRAGMA journal_mode=WAL") || !exec("PRAGMA synchronous=NORMAL"))
        return false;
    const auto version = [this] {
        Statement read(m_db, "PRAGMA user_version");
        return read.code() == SQLITE_OK && read.step() == SQLITE_ROW ? sqlite3_column_int(*read, 0) : -1;
    };
    const int found = version();
    if (found == schemaVersion)
        return true;
    if (found < 0)
        return fail(sqlite3_errcode(m_db));
    // Another version's tables (or none): replaced, unless another window just did.
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    if (version() != schemaVersion) {
        QList<QByteArray> tables;
        Statement list(m_db, "SELECT name FROM sqlite_master WHERE type = 'table'");
        while (list.code() == SQLITE_OK && list.step() == SQLITE_ROW)
            tables << QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(*list, 0)));
        for (const QByteArray &table : tables) {
            if (!exec(QByteArray("DROP TABLE \"" + QByteArray(table).replace('"', "\"\"") + '"').constData()))
                return false;
        }
        if (!exec(createSchema) || !exec(QByteArray("PRAGMA user_version=" + QByteArray::number(schemaVersion)).constData()))
            return false;
    }
    return exec("COMMIT");
}

bool CacheSession::exec(const char *sql)
{
    const int code = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    return code == SQLITE_OK || fail(code);
}

bool CacheSession::fail(int code)
{
    const QString reason = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(code));
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    if (isCorrupt(code) && m_rebuilt.isEmpty()) {
        // Only a file SQLite itself calls damaged is thrown away, and only once.
        m_rebuilt = u"Library cache rebuilt: %1"_s.arg(reason);
        open(true);
    } else if (m_failure.isEmpty()) {
        m_failure = u"Library cache not used: %1"_s.arg(reason);
    }
    return false;
}

bool CacheSession::readRows(const char *columns, std::span<const FilePath> paths, std::span<const FileStamp> stamps,
                            const std::function<void(size_t, const FileStamp &, sqlite3_stmt *)> &found)
{
    if (!usable() || paths.empty() || !exec("BEGIN"))
        return false;
    // The paths in key order, read by walking the rows from the first one on: a library's
    // rows lie side by side, so stepping to the next costs less than a search for each.
    const QByteArray sql = QByteArray("SELECT path, device, inode, size, mtime_ns, ctime_ns, seen_day, ") + columns
                           + " FROM files WHERE path >= ?1 ORDER BY path";
    Statement rows(m_db, sql.constData());
    if (rows.code() != SQLITE_OK)
        return fail(rows.code());
    std::vector<size_t> order(paths.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::ranges::sort(order, [&](size_t a, size_t b) { return paths[a] < paths[b]; });
    const qint64 today = m_cache.today();
    // Rows stepped over since the last path found; past a few, a new search is cheaper.
    constexpr int maxSkipped = 16;
    int code = SQLITE_DONE;
    int skipped = maxSkipped;
    for (size_t k = 0; k < order.size();) {
        const size_t i = order[k];
        if (skipped >= maxSkipped) {
            sqlite3_reset(*rows);
            rows.bind(1, paths[i]);
            skipped = 0;
            code = rows.step();
        }
        if (code != SQLITE_ROW) {
            if (code != SQLITE_DONE)
                return fail(code);
            break; // no rows after this path
        }
        const QByteArrayView rowPath(static_cast<const char *>(sqlite3_column_blob(*rows, 0)), sqlite3_column_bytes(*rows, 0));
        const int cmp = rowPath.compare(paths[i]);
        if (cmp < 0) {
            ++skipped;
            code = rows.step();
            continue;
        }
        ++k;
        if (cmp > 0)
            continue;
        const FileStamp stamp{quint64(sqlite3_column_int64(*rows, 1)), quint64(sqlite3_column_int64(*rows, 2)),
                              sqlite3_column_int64(*rows, 3), sqlite3_column_int64(*rows, 4),
                              sqlite3_column_int64(*rows, 5)};
        if (stamps.empty() || stamp == stamps[i]) {
            found(i, stamp, *rows);
            if (sqlite3_column_int64(*rows, 6) < today)
                m_seen.push_back(paths[i]);
        }
        // The same path may be asked twice; the row is left for it.
        if (k < order.size() && paths[order[k]] == paths[i])
            continue;
        skipped = 0;
        code = rows.step();
    }
    sqlite3_reset(*rows);
    return exec("COMMIT");
}

std::vector<std::optional<ContentRecord>> CacheSession::lookup(std::span<const FilePath> paths)
{
    std::vector<std::optional<ContentRecord>> digests(paths.size());
    const bool read = readRows("sha256, sample", paths, {}, [&](size_t i, const FileStamp &stamp, sqlite3_stmt *row) {
        ContentRecord record{stamp, {}, quint64(sqlite3_column_int64(row, 8))};
        const void *digest = sqlite3_column_blob(row, 7);
        if (digest && sqlite3_column_bytes(row, 7) == int(ContentDigest().size()))
            std::memcpy(record.digest.emplace().data(), digest, record.digest->size());
        if (record.digest || record.sample != 0)
            digests[i] = record;
    });
    return read ? digests : std::vector<std::optional<ContentRecord>>();
}

std::vector<std::optional<KnownSignature>> CacheSession::lookupSignatures(std::span<const FilePath> paths,
                                                                          std::span<const FileStamp> stamps)
{
    std::vector<std::optional<KnownSignature>> signatures(paths.size());
    const bool read = readRows("width, height, signature", paths, stamps, [&](size_t i, const FileStamp &, sqlite3_stmt *row) {
        // NULL: never signed; empty: not a picture the pass could read.
        if (sqlite3_column_type(row, 9) == SQLITE_BLOB) {
            const char *bytes = static_cast<const char *>(sqlite3_column_blob(row, 9));
            signatures[i] = KnownSignature{QByteArray(bytes, sqlite3_column_bytes(row, 9)),
                                           QSize(sqlite3_column_int(row, 7), sqlite3_column_int(row, 8))};
        }
    });
    return read ? signatures : std::vector<std::optional<KnownSignature>>();
}

bool CacheSession::writeRows(const char *sql, size_t count, const std::function<void(sqlite3_stmt *, size_t)> &bind)
{
    if (!usable())
        return false;
    Statement write(m_db, sql);
    Statement touch(m_db, "UPDATE files SET seen_day = ?2 WHERE path = ?1");
    if (write.code() != SQLITE_OK || touch.code() != SQLITE_OK)
        return fail(write.code() != SQLITE_OK ? write.code() : touch.code());
    const qint64 today = m_cache.today();
    const size_t total = count + m_seen.size();
    for (size_t begin = 0; begin < total; begin += rowsPerTransaction) {
        if (!exec("BEGIN IMMEDIATE"))
            return false;
        for (size_t i = begin; i < std::min(total, begin + rowsPerTransaction); ++i) {
            int code;
            if (i < count) {
                bind(*write, i);
                write.bind(8, today);
                code = write.finishStep();
            } else {
                touch.bind(1, m_seen[i - count]);
                touch.bind(2, today);
                code = touch.finishStep();
            }
            if (code != SQLITE_DONE)
                return fail(code);
        }
        if (!exec("COMMIT"))
            return false;
    }
    m_seen.clear();
    return true;
}

namespace {
void bindStamp(sqlite3_stmt *write, const FilePath &path, const FileStamp &stamp)
{
    sqlite3_bind_blob(write, 1, path.constData(), int(path.size()), SQLITE_STATIC);
    sqlite3_bind_int64(write, 2, qint64(stamp.device));
    sqlite3_bind_int64(write, 3, qint64(stamp.inode));
    sqlite3_bind_int64(write, 4, stamp.size);
    sqlite3_bind_int64(write, 5, stamp.modifiedNs);
    sqlite3_bind_int64(write, 6, stamp.changedNs);
}
} // namespace

bool CacheSession::store(std::span<const CachedDigest> rows)
{
    return writeRows(upsertSql(upsert).constData(), rows.size(), [&](sqlite3_stmt *write, size_t i) {
        bindStamp(write, rows[i].path, rows[i].stamp);
        if (rows[i].digest)
            sqlite3_bind_blob(write, 7, rows[i].digest->data(), int(rows[i].digest->size()), SQLITE_STATIC);
        else
            sqlite3_bind_null(write, 7);
        if (rows[i].sample != 0)
            sqlite3_bind_int64(write, 12, qint64(rows[i].sample));
        else
            sqlite3_bind_null(write, 12);
    });
}

bool CacheSession::storeSignatures(std::span<const CachedSignature> rows)
{
    return writeRows(upsertSql(upsertSignature).constData(), rows.size(), [&](sqlite3_stmt *write, size_t i) {
        const CachedSignature &row = rows[i];
        bindStamp(write, row.path, row.stamp);
        sqlite3_bind_int(write, 9, row.pixels.width());
        sqlite3_bind_int(write, 10, row.pixels.height());
        // Empty, not NULL: a file the pass could not read is not read again while unchanged.
        if (row.signature.isEmpty())
            sqlite3_bind_zeroblob(write, 11, 0);
        else
            sqlite3_bind_blob(write, 11, row.signature.constData(), int(row.signature.size()), SQLITE_STATIC);
    });
}

bool CacheSession::dropUnseen()
{
    if (!usable())
        return false;
    Statement drop(m_db, "DELETE FROM files WHERE seen_day < ?1");
    if (drop.code() != SQLITE_OK)
        return fail(drop.code());
    drop.bind(1, m_cache.today() - LibraryCache::keepDays);
    const int code = drop.finishStep();
    return code == SQLITE_DONE || fail(code);
}

bool CacheSession::clear()
{
    if (!usable() || !exec("DELETE FROM files"))
        return false;
    // Gives the space back; another window reading at the time only keeps it for later.
    sqlite3_exec(m_db, "VACUUM", nullptr, nullptr, nullptr);
    return true;
}

qint64 CacheSession::rowCount()
{
    if (!usable())
        return -1;
    Statement count(m_db, "SELECT count(*) FROM files");
    return count.code() == SQLITE_OK && count.step() == SQLITE_ROW ? sqlite3_column_int64(*count, 0) : -1;
}
