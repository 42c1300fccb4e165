#include "model/PhotoItem.h"

#include <utility>

QString displayPath(const FilePath &path)
{
    return QString::fromUtf8(path);
}

PhotoItem::PhotoItem(QString id, FilePath path, FilePath name, qint64 size, Timestamp dateCreated,
                     Timestamp dateModified, QString fileType, QImage thumbnail, QString hash)
    : m_id(std::move(id))
    , m_path(std::move(path))
    , m_name(std::move(name))
    , m_size(size)
    , m_dateCreated(dateCreated)
    , m_dateModified(dateModified)
    , m_fileType(std::move(fileType))
    , m_thumbnail(std::move(thumbnail))
    , m_hash(std::move(hash))
{
}
