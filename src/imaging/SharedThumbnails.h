#pragma once

#include "model/PhotoItem.h"

#include <QByteArrayView>
#include <QImage>
#include <QString>

#include <atomic>

// The thumbnail cache file managers share (the freedesktop.org Thumbnail Managing
// Standard): `{normal,large,x-large,xx-large}/` under one root folder hold PNGs of at most
// 128, 256, 512 and 1024 pixels a side, named by the MD5 of the file's URI, each carrying
// the URI, modification time and size of the file it shows. A cached thumbnail is someone
// else's file: it is read bounded, decoded as a PNG only, and used only while those values
// match the file. Thread-safe.
class SharedThumbnails
{
public:
    explicit SharedThumbnails(FilePath root);
    virtual ~SharedThumbnails() = default;

    // $XDG_CACHE_HOME/thumbnails, else ~/.cache/thumbnails.
    static FilePath defaultRoot(const QByteArray &xdgCacheHome, const FilePath &home);
    const FilePath &root() const { return m_root; }

    // The card picture of the photo at `path`, as createThumbnail draws it: from a fresh
    // cached thumbnail with round(150 * ratio) pixels on its shorter side, or else decoded
    // and then stored for the next run and the desktop. Why storing failed goes into
    // `writeError`, when given; a failure changes nothing else.
    QImage thumbnail(const FilePath &path, qreal ratio, QString *writeError = nullptr) const;
    // How many photos thumbnail() decoded.
    int decodes() const { return m_decodes.load(); }

    struct FileStamp
    {
        qint64 mtime = 0, mtimeNs = 0, ctime = 0, ctimeNs = 0, size = 0, inode = 0, device = 0;
        bool operator==(const FileStamp &) const = default;
    };

protected:
    // Seams for a file that changes while it is read, and for a full disk.
    // The stamp of the regular file at `path`; false for anything else.
    virtual bool fileStamp(const FilePath &path, FileStamp &stamp) const;
    // Writes all of `bytes` to `fd`; 0 or the errno.
    virtual int writeAll(int fd, QByteArrayView bytes) const;

private:
    // A cached picture of the file stamped `stamp` at `path` whose shorter side has at
    // least `minSide` pixels, from the smallest folder that can have one; null if none is
    // fresh and decodable.
    QImage find(const FilePath &path, const FileStamp &stamp, int minSide) const;
    // Stores `picture` (the file decoded upright, reduced to no less than it shows) as the
    // thumbnail of the largest size it fills, or at its own size if it fills none. Empty on
    // success, else why not.
    QString store(const FilePath &path, const FileStamp &stamp, const QImage &picture) const;
    bool covers(const FilePath &path) const;

    FilePath m_root;
    mutable std::atomic<int> m_decodes = 0;
};

// "file://" and the path's bytes, percent-encoded as GLib's g_filename_to_uri does, so that
// the names match those file managers give; empty for a relative path.
QByteArray fileUri(const FilePath &path);
// The name of the thumbnail of `path` in each size's folder: the MD5 of its URI, ".png".
QByteArray thumbnailFileName(const FilePath &path);
