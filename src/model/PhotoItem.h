#pragma once

#include <QByteArray>
#include <QHashFunctions>
#include <QImage>
#include <QString>

#include <chrono>

// A point in time as the file system reports it (nanosecond resolution).
using Timestamp = std::chrono::time_point<std::chrono::system_clock, std::chrono::nanoseconds>;

// A path or file name as the kernel sees it: raw bytes, never re-encoded, so names that
// are not valid UTF-8 survive from the directory listing to copy, move and trash.
using FilePath = QByteArray;

// Decodes a file name or path for display only (invalid bytes become U+FFFD).
QString displayPath(const FilePath &path);

// One image file found by a scan. A plain value: copies are independent.
// Two records are the same photo exactly when their ids are equal.
class PhotoItem
{
public:
    PhotoItem() = default;
    PhotoItem(QString id, FilePath path, FilePath name, qint64 size, Timestamp dateCreated,
              Timestamp dateModified, QString fileType, QImage thumbnail = {}, QString hash = {});

    const QString &id() const { return m_id; }
    const FilePath &path() const { return m_path; }
    const FilePath &name() const { return m_name; }
    qint64 size() const { return m_size; }
    Timestamp dateCreated() const { return m_dateCreated; }
    Timestamp dateModified() const { return m_dateModified; }
    const QString &fileType() const { return m_fileType; }

    const QImage &thumbnail() const { return m_thumbnail; }
    void setThumbnail(const QImage &thumbnail) { m_thumbnail = thumbnail; }
    // MD5 of the contents as 32 lower-case hex digits; empty until the duplicate finder ran.
    const QString &hash() const { return m_hash; }
    void setHash(const QString &hash) { m_hash = hash; }

    friend bool operator==(const PhotoItem &a, const PhotoItem &b) { return a.m_id == b.m_id; }

private:
    QString m_id;
    FilePath m_path;
    FilePath m_name;
    qint64 m_size = 0;
    Timestamp m_dateCreated{};
    Timestamp m_dateModified{};
    QString m_fileType;
    QImage m_thumbnail;
    QString m_hash;
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
