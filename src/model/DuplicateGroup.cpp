#include "model/DuplicateGroup.h"

std::optional<PhotoItem> DuplicateGroup::original() const
{
    if (photos.isEmpty())
        return std::nullopt;
    const PhotoItem *candidate = &photos.first();
    for (const PhotoItem &photo : photos) {
        if (photo.dateCreated() < candidate->dateCreated())
            candidate = &photo;
    }
    return *candidate;
}

QList<PhotoItem> DuplicateGroup::duplicates() const
{
    const std::optional<PhotoItem> first = original();
    if (!first)
        return photos;
    QList<PhotoItem> result;
    result.reserve(photos.size() - 1);
    for (const PhotoItem &photo : photos) {
        if (photo.id() != first->id())
            result.append(photo);
    }
    return result;
}

PhotoIdSet duplicatesBesideOriginals(const QList<DuplicateGroup> &groups)
{
    qsizetype members = 0;
    for (const DuplicateGroup &group : groups)
        members += group.photos.size();
    PhotoIdSet ids;
    ids.reserve(members);
    for (const DuplicateGroup &group : groups) {
        const std::optional<PhotoItem> original = group.original();
        for (const PhotoItem &photo : group.photos) {
            if (original && photo.id() != original->id())
                ids.insert(photo.id());
        }
    }
    return ids;
}

std::optional<PhotoItem> SimilarGroup::best() const
{
    if (photos.isEmpty())
        return std::nullopt;
    return photos.first();
}
