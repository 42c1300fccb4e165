#include "model/PhotoItem.h"

#include "model/Digest.h"

#include <atomic>
#include <utility>

QString displayPath(const FilePath &path)
{
    return QString::fromUtf8(path);
}

PhotoId makePhotoId()
{
    static std::atomic<PhotoId> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

PhotoItem::PhotoItem(PhotoId id, const FilePath &path, FilePath name, qint64 size, Timestamp dateCreated,
                     Timestamp dateModified, QString fileType, const QString &hash)
    : m_d(new Record)
{
    Record &r = *m_d;
    r.id = id;
    r.size = size;
    r.dateCreated = dateCreated;
    r.dateModified = dateModified;
    r.fileType = std::move(fileType);
    // Keep the folder apart when the path ends in the name, so path() can be rebuilt.
    const qsizetype folderLength = path.size() - name.size() - 1;
    r.nameInPath = !name.isEmpty() && folderLength >= 0 && path.endsWith(name) && path[folderLength] == '/';
    r.folder = !r.nameInPath ? path : folderLength == 0 ? FilePath("/") : path.left(folderLength);
    r.name = std::move(name);
    setHash(hash);
}

PhotoItem PhotoItem::inFolder(PhotoId id, const FilePath &folder, FilePath name, qint64 size,
                              Timestamp dateCreated, Timestamp dateModified, QString fileType)
{
    PhotoItem photo;
    photo.m_d = new Record;
    Record &r = *photo.m_d;
    r.id = id;
    r.folder = folder;
    r.name = std::move(name);
    r.nameInPath = true;
    r.size = size;
    r.dateCreated = dateCreated;
    r.dateModified = dateModified;
    r.fileType = std::move(fileType);
    return photo;
}

const PhotoItem::Record &PhotoItem::d() const
{
    static const Record empty;
    return m_d ? *m_d : empty;
}

PhotoItem::Record &PhotoItem::writable()
{
    if (!m_d)
        m_d = new Record;
    return *m_d;
}

FilePath PhotoItem::path() const
{
    const Record &r = d();
    if (!r.nameInPath)
        return r.folder;
    FilePath path;
    path.reserve(r.folder.size() + 1 + r.name.size());
    path += r.folder;
    if (!path.endsWith('/'))
        path += '/';
    path += r.name;
    return path;
}

QString PhotoItem::hash() const
{
    return d().hasDigest ? digestHex(d().digest) : QString();
}

void PhotoItem::setHash(const QString &hash)
{
    const QByteArray bytes = QByteArray::fromHex(hash.toLatin1());
    if (hash.size() != 64 || bytes.size() != 32) {
        if (m_d)
            m_d->hasDigest = false;
        return;
    }
    ContentDigest digest;
    std::copy(bytes.begin(), bytes.end(), digest.begin());
    writable();
    setDigest(digest);
}

void PhotoItem::setDigest(const ContentDigest &digest) const
{
    if (!m_d)
        return;
    m_d->digest = digest;
    m_d->hasDigest = true;
}
