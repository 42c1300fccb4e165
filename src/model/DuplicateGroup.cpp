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
