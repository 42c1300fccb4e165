#include "ui/PhotoGridModel.h"

#include "platform/Formatters.h"
#include "ui/Palette.h"

#include <QColor>
#include <QImage>

#include <optional>

using namespace Qt::StringLiterals;

QColor typeTagColor(const QString &fileType)
{
    const QString type = fileType.toUpper();
    if (type == "JPEG"_L1 || type == "JPG"_L1)
        return Palette::systemGreen();
    if (type == "PNG"_L1)
        return Palette::systemBlue();
    if (type == "GIF"_L1)
        return Palette::systemPurple();
    if (type == "HEIC"_L1 || type == "HEIF"_L1)
        return Palette::systemIndigo();
    return Palette::systemGray();
}

void PhotoGridModel::reload(const QList<PhotoItem> &photos, const PhotoIdSet &selectedIds,
                            const PhotoIdSet &duplicateIds, const QHash<PhotoId, QImage> &thumbnails)
{
    beginResetModel();
    m_photos = photos;
    m_selected.resize(photos.size());
    m_duplicate.resize(photos.size());
    m_thumbnails.resize(photos.size());
    for (qsizetype i = 0; i < photos.size(); ++i) {
        m_selected[i] = selectedIds.contains(photos[i].id());
        m_duplicate[i] = duplicateIds.contains(photos[i].id());
        m_thumbnails[i] = thumbnails.value(photos[i].id());
    }
    endResetModel();
}

namespace {
bool same(bool a, bool b) { return a == b; }
bool same(const QImage &a, const QImage &b) { return a.cacheKey() == b.cacheKey(); } // no pixel compare
} // namespace

template<typename T, typename F>
void PhotoGridModel::update(QList<T> &values, int role, F valueOf)
{
    bool changed = false;
    for (qsizetype row = 0; row < m_photos.size(); ++row) {
        if (std::optional<T> value = valueOf(m_photos[row].id()); value && !same(*value, values[row])) {
            values[row] = std::move(*value);
            changed = true;
        }
    }
    // The view repaints what it shows whatever the range.
    if (changed)
        emit dataChanged(index(0), index(rowCount() - 1), {role});
}

void PhotoGridModel::showThumbnails(const QHash<PhotoId, QImage> &pictures)
{
    update(m_thumbnails, Qt::DecorationRole, [&](PhotoId id) -> std::optional<QImage> {
        const QImage picture = pictures.value(id);
        return picture.isNull() ? std::nullopt : std::optional(picture);
    });
}

void PhotoGridModel::showDuplicates(const PhotoIdSet &duplicateIds)
{
    update(m_duplicate, DuplicateRole, [&](PhotoId id) { return std::optional<bool>(duplicateIds.contains(id)); });
}

int PhotoGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_photos.size());
}

QVariant PhotoGridModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row();
    const PhotoItem &photo = m_photos[row];
    switch (role) {
    case Qt::DisplayRole:
        return displayPath(photo.name());
    case Qt::ToolTipRole:
        return displayPath(photo.path());
    case Qt::DecorationRole:
        return m_thumbnails[row].isNull() ? QVariant() : QVariant(m_thumbnails[row]);
    case Qt::CheckStateRole:
        return m_selected[row] ? Qt::Checked : Qt::Unchecked;
    case IdRole:
        return photo.id();
    case SizeTextRole:
        return formatByteCount(photo.size());
    case FileTypeRole:
        return photo.fileType();
    case TagColorRole:
        return typeTagColor(photo.fileType());
    case DuplicateRole:
        return bool(m_duplicate[row]);
    default:
        return {};
    }
}

bool PhotoGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole
        || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    const bool selected = value.value<Qt::CheckState>() == Qt::Checked;
    m_selected[index.row()] = selected;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    if (onSelectionChanged) {
        // The callback may reload the model, so it gets its own copy of the photo.
        const PhotoItem photo = m_photos[index.row()];
        onSelectionChanged(photo, selected);
    }
    return true;
}

Qt::ItemFlags PhotoGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}
