#pragma once

#include <QByteArray>
#include <QExplicitlySharedDataPointer>
#include <QHashFunctions>
#include <QSet>
#include <QString>

#include "model/Digest.h"

#include <array>
#include <chrono>
#include <cstdint>

// A point in time as the file system reports it (nanosecond resolution).
using Timestamp = std::chrono::time_point<std::chrono::system_clock, std::chrono::nanoseconds>;

// A path or file name as the kernel sees it: raw bytes, never re-encoded, so names that
// are not valid UTF-8 survive from the directory listing to copy, move and trash.
using FilePath = QByteArray;

// Decodes a file name or path for display only (invalid bytes become U+FFFD).
QString displayPath(const FilePath &path);

// Identifies one photo record. Never reused within a process, so ids stay unique across
// scans; an integer keeps every set and map of photos free of per-id heap text.
using PhotoId = quint64;
using PhotoIdSet = QSet<PhotoId>;
PhotoId makePhotoId(); // thread-safe

// One image file found by a scan, as a handle to one shared record: copying a photo into
// the filtered list, a duplicate group or a page costs a pointer, not its texts. Two
// handles are the same photo exactly when their ids are equal. The record is immutable
// but for the digest the GUI thread learns later, which every handle sees.
class PhotoItem
{
public:
    PhotoItem() = default;
    PhotoItem(PhotoId id, const FilePath &path, FilePath name, qint64 size, Timestamp dateCreated,
              Timestamp dateModified, QString fileType, const QString &hash = {});
    // A photo named `name` inside `folder`; photos of one folder share its bytes.
    static PhotoItem inFolder(PhotoId id, const FilePath &folder, FilePath name, qint64 size,
                              Timestamp dateCreated, Timestamp dateModified, QString fileType);

    PhotoId id() const { return d().id; }
    FilePath path() const; // composed on demand
    const FilePath &name() const { return d().name; }
    qint64 size() const { return d().size; }
    Timestamp dateCreated() const { return d().dateCreated; }
    Timestamp dateModified() const { return d().dateModified; }
    const QString &fileType() const { return d().fileType; }

    // SHA-256 of the contents as 64 lower-case hex digits; empty until the duplicate finder ran.
    QString hash() const;
    void setHash(const QString &hash);
    // Sets the digest in the shared record, for every handle of the photo (a null handle
    // has no record and keeps none).
    void setDigest(const ContentDigest &digest) const;

    friend bool operator==(const PhotoItem &a, const PhotoItem &b) { return a.id() == b.id(); }

private:
    struct Record : QSharedData
    {
        PhotoId id = 0;
        FilePath folder; // the whole path when `nameInPath` is false
        FilePath name;
        qint64 size = 0;
        Timestamp dateCreated{};
        Timestamp dateModified{};
        QString fileType;
        ContentDigest digest{};
        bool hasDigest = false;
        bool nameInPath = false;
    };
    const Record &d() const;
    Record &writable();

    QExplicitlySharedDataPointer<Record> m_d;
};

inline size_t qHash(const PhotoItem &photo, size_t seed = 0) noexcept
{
    return qHash(photo.id(), seed);
}

template<>
struct std::hash<PhotoItem>
{
    size_t operator()(const PhotoItem &photo) const noexcept { return qHash(photo.id()); }
};
