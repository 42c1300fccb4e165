#pragma once

#include "model/PhotoItem.h"

#include <QList>

#include <optional>

// Photos that share one content digest.
struct DuplicateGroup
{
    QString hash;
    QList<PhotoItem> photos;

    // The member created earliest; on a tie, the one that comes first in `photos`.
    std::optional<PhotoItem> original() const;
    // Every member but the original, in `photos` order.
    QList<PhotoItem> duplicates() const;
};

// The ids of every group's duplicates: what "Keep Originals Only" selects.
PhotoIdSet duplicatesBesideOriginals(const QList<DuplicateGroup> &groups);

// Photos that show the same picture (resized, re-encoded, converted, lightly edited),
// found by the similar pass; the best copy first, then the others by the same rule.
struct SimilarGroup
{
    QList<PhotoItem> photos;

    // The copy to keep: most pixels, then the largest file, then the oldest.
    std::optional<PhotoItem> best() const;
};
