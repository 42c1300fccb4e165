#include "ui/PhotoGridModel.h"

#include "platform/Formatters.h"
#include "platform/Home.h"
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

namespace {

enum Badge : quint8 { duplicate = 1, similar = 2, best = 4 };

quint8 badgesOf(PhotoId id, const PhotoGridModel::Badges &badges)
{
    return quint8((badges.duplicates.contains(id) ? duplicate : 0) | (badges.similar.contains(id) ? similar : 0)
                  | (badges.best.contains(id) ? best : 0));
}

bool same(quint8 a, quint8 b) { return a == b; }
bool same(const QImage &a, const QImage &b) { return a.cacheKey() == b.cacheKey(); } // no pixel compare

// The folder a photo's file lies in, as shown: "/" for one at the root, "~" for the home
// folder, whose path every card would otherwise begin with.
QString folderOf(const PhotoItem &photo, const FilePath &home)
{
    const FilePath path = photo.path();
    const qsizetype slash = path.lastIndexOf('/');
    if (slash <= 0)
        return QStringLiteral("/");
    const FilePath folder = path.left(slash);
    if (home.size() > 1 && (folder == home || folder.startsWith(FilePath(home + '/'))))
        return u'~' + displayPath(folder.sliced(home.size()));
    return displayPath(folder);
}

} // namespace

PhotoGridModel::PhotoGridModel(QObject *parent) : QAbstractListModel(parent), m_home(homeDirectory()) {}

void PhotoGridModel::reload(const QList<PhotoItem> &photos, const PhotoIdSet &selectedIds, const Badges &badges,
                            const QHash<PhotoId, QImage> &thumbnails, bool showFolders)
{
    beginResetModel();
    m_photos = photos;
    m_showFolders = showFolders;
    m_selected.resize(photos.size());
    m_badges.resize(photos.size());
    m_thumbnails.resize(photos.size());
    for (qsizetype i = 0; i < photos.size(); ++i) {
        m_selected[i] = selectedIds.contains(photos[i].id());
        m_badges[i] = badgesOf(photos[i].id(), badges);
        m_thumbnails[i] = thumbnails.value(photos[i].id());
    }
    endResetModel();
}

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

void PhotoGridModel::showBadges(const Badges &badges)
{
    // One role stands for the badges: the delegate and screen readers read them all again.
    update(m_badges, DuplicateRole, [&](PhotoId id) { return std::optional<quint8>(badgesOf(id, badges)); });
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
        return (m_badges[row] & duplicate) != 0;
    case SimilarRole:
        return (m_badges[row] & best) ? u"BEST"_s : (m_badges[row] & similar) ? u"SIMILAR"_s : QString();
    case FolderRole:
        return m_showFolders ? folderOf(photo, m_home) : QString();
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
