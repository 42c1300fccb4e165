#pragma once

#include "model/PhotoItem.h"

#include <QAbstractListModel>
#include <QList>
#include <QSet>

#include <functional>

// The grid's data source: one row per displayed photo. Whether a card shows as selected
// is taken when the grid is reloaded; a checkbox toggled on a card changes that card at
// once and is reported through onSelectionChanged. Pictures and badges also change in
// place, as they become known.
class PhotoGridModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        SizeTextRole,  // "2.4 MB"
        FileTypeRole,  // the type as stored, e.g. "JPG"
        TagColorRole,  // the type tag's colour
        DuplicateRole, // bool
        SimilarRole,   // "BEST", "SIMILAR" or empty
        FolderRole,    // the folder as shown under the name, or empty where the view shows none
    };

    // Which groups the photos belong to, for their badges.
    struct Badges
    {
        PhotoIdSet duplicates, similar, best;
    };

    explicit PhotoGridModel(QObject *parent = nullptr);

    // Replaces every card. `showFolders`: the cards name their folders (views of groups,
    // where copies of one name lie side by side).
    void reload(const QList<PhotoItem> &photos, const PhotoIdSet &selectedIds, const Badges &badges,
                const QHash<PhotoId, QImage> &thumbnails = {}, bool showFolders = false);

    // Puts the pictures on the cards of their photos, as they are made; null ones are left out.
    void showThumbnails(const QHash<PhotoId, QImage> &pictures);
    // Badges the cards of those photos and no others, as a finished pass does.
    void showBadges(const Badges &badges);

    const PhotoItem &photoAt(int row) const { return m_photos.at(row); }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Called with the photo and its new state when the user toggles a card's checkbox.
    std::function<void(const PhotoItem &photo, bool selected)> onSelectionChanged;

private:
    // Sets each row's value of `role` in `values` to what `valueOf` gives, if any, and
    // reports a change.
    template<typename T, typename F>
    void update(QList<T> &values, int role, F valueOf);

    QList<PhotoItem> m_photos;
    QList<bool> m_selected;
    QList<quint8> m_badges; // Badge bits
    QList<QImage> m_thumbnails;
    bool m_showFolders = false;
    FilePath m_home;
};

// The type tag's colour; the type's letter case does not matter.
QColor typeTagColor(const QString &fileType);
