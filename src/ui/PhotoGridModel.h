#pragma once

#include "model/PhotoItem.h"

#include <QAbstractListModel>
#include <QList>
#include <QSet>

#include <functional>

// The grid's data source: one row per displayed photo. Whether a card shows as selected
// is taken when the grid is reloaded; a checkbox toggled on a card changes that card at
// once and is reported through onSelectionChanged. Pictures and duplicate badges also
// change in place, as they become known.
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
    };

    using QAbstractListModel::QAbstractListModel;

    // Replaces every card.
    void reload(const QList<PhotoItem> &photos, const PhotoIdSet &selectedIds,
                const PhotoIdSet &duplicateIds, const QHash<PhotoId, QImage> &thumbnails = {});

    // Puts the pictures on the cards of their photos, as they are made; null ones are left out.
    void showThumbnails(const QHash<PhotoId, QImage> &pictures);
    // Badges the cards of `duplicateIds` and no others, as a finished duplicate pass does.
    void showDuplicates(const PhotoIdSet &duplicateIds);

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
    QList<bool> m_duplicate;
    QList<QImage> m_thumbnails;
};

// The type tag's colour; the type's letter case does not matter.
QColor typeTagColor(const QString &fileType);
