#include "duplicates/DuplicatePublish.h"

#include "model/LibraryState.h"
#include "platform/ContentHash.h"

#include <algorithm>
#include <vector>

namespace {

// Where each photo of the snapshot is now in `allPhotos` (-1: gone), found by id. The two
// lists are walked side by side, which finds every photo cheaply while photos have only
// left the list; a photo the snapshot lacks switches to looking ids up. `ordered` tells
// whether the positions still rise with the snapshot's order.
std::vector<qsizetype> locate(const QList<PhotoItem> &allPhotos, const QList<PhotoItem> &ids, bool &ordered)
{
    std::vector<qsizetype> where(size_t(ids.size()), -1);
    ordered = true;
    qsizetype next = 0;
    qsizetype index = 0;
    for (; index < allPhotos.size(); ++index) {
        const PhotoId id = allPhotos[index].id();
        qsizetype position = next;
        while (position < ids.size() && ids[position].id() != id)
            ++position;
        if (position == ids.size())
            break;
        where[size_t(position)] = index;
        next = position + 1;
    }
    if (index < allPhotos.size()) {
        ordered = false;
        QHash<PhotoId, qsizetype> positionOf;
        positionOf.reserve(ids.size());
        for (qsizetype position = 0; position < ids.size(); ++position)
            positionOf.insert(ids[position].id(), position);
        for (; index < allPhotos.size(); ++index) {
            const qsizetype position = positionOf.value(allPhotos[index].id(), -1);
            if (position >= 0)
                where[size_t(position)] = index;
        }
    }
    return where;
}

PhotoIdSet memberIds(const QList<DuplicateGroup> &groups)
{
    PhotoIdSet ids;
    for (const DuplicateGroup &group : groups) {
        for (const PhotoItem &photo : group.photos)
            ids.insert(photo.id());
    }
    return ids;
}

} // namespace

const ContentHash::Digest *DuplicatePassResult::digestAt(qsizetype position) const
{
    const auto found = std::ranges::lower_bound(examined, position, {}, [](int p) { return qsizetype(p); });
    if (found == examined.end() || *found != position)
        return nullptr;
    const std::optional<ContentHash::Digest> &digest = digests[size_t(found - examined.begin())];
    return digest ? &*digest : nullptr;
}

QList<DuplicateGroup> duplicateGroupsOf(const DuplicatePassResult &result)
{
    QList<DuplicateGroup> groups;
    groups.reserve(result.groups.size());
    for (const QList<qsizetype> &positions : result.groups) {
        DuplicateGroup &group = groups.emplace_back();
        group.hash = ContentHash::toHex(*result.digestAt(positions.first()));
        group.photos.reserve(positions.size());
        for (qsizetype position : positions)
            group.photos.append(result.photos[position]);
    }
    return groups;
}

std::optional<DuplicateSummary> publishDuplicatePass(LibraryState &state,
                                                     const DuplicatePassResult &result)
{
    if (result.stopped)
        return std::nullopt;
    // Nothing left the library since the snapshot: the worker's groups hold as they are.
    if (state.allPhotos.isSharedWith(result.photos) && result.preparedGroups.size() == result.groups.size()) {
        const QList<PhotoItem> &photos = state.allPhotos;
        for (size_t k = 0; k < result.digests.size(); ++k) {
            if (result.digests[k])
                photos[result.examined[k]].setDigest(*result.digests[k]);
        }
        state.duplicateGroups = result.preparedGroups;
        state.duplicatePhotoIds = result.memberIds;
        return DuplicateSummary{state.duplicateGroups.size(), state.duplicatePhotoIds.size()};
    }

    bool ordered = true;
    const std::vector<qsizetype> where = locate(state.allPhotos, result.photos, ordered);
    for (size_t k = 0; k < result.digests.size(); ++k) {
        if (const qsizetype at = where[size_t(result.examined[k])]; result.digests[k] && at >= 0)
            std::as_const(state.allPhotos)[at].setDigest(*result.digests[k]);
    }

    QList<DuplicateGroup> groups;
    groups.reserve(result.groups.size());
    bool complete = true;
    std::vector<qsizetype> indexes;
    for (const QList<qsizetype> &positions : result.groups) {
        indexes.clear();
        for (qsizetype position : positions) {
            if (where[size_t(position)] >= 0)
                indexes.push_back(where[size_t(position)]);
        }
        complete = complete && indexes.size() == size_t(positions.size());
        if (indexes.size() < 2)
            continue;
        if (!ordered)
            std::sort(indexes.begin(), indexes.end());
        DuplicateGroup &group = groups.emplace_back();
        group.hash = ContentHash::toHex(*result.digestAt(positions.first()));
        group.photos.reserve(qsizetype(indexes.size()));
        for (qsizetype index : indexes)
            group.photos.append(state.allPhotos[index]);
    }
    state.duplicateGroups = std::move(groups);
    // The ids were gathered on the worker; they hold while every member is still here.
    state.duplicatePhotoIds = complete ? result.memberIds : memberIds(state.duplicateGroups);
    return DuplicateSummary{state.duplicateGroups.size(), state.duplicatePhotoIds.size()};
}

DuplicateSummary pruneDuplicateGroups(LibraryState &state, const PhotoIdSet &removedIds)
{
    if (removedIds.isEmpty())
        return {state.duplicateGroups.size(), state.duplicatePhotoIds.size()};
    const auto removed = [&](const PhotoItem &photo) { return removedIds.contains(photo.id()); };
    QList<DuplicateGroup> kept;
    kept.reserve(state.duplicateGroups.size());
    PhotoIdSet dissolved;
    for (DuplicateGroup &group : state.duplicateGroups) {
        if (std::any_of(group.photos.cbegin(), group.photos.cend(), removed)) {
            group.photos.removeIf(removed);
            if (group.photos.size() < 2) {
                for (const PhotoItem &photo : std::as_const(group.photos))
                    dissolved.insert(photo.id());
                continue;
            }
        }
        kept.append(std::move(group));
    }
    state.duplicateGroups = std::move(kept);
    // Whichever is less work: forget the ids that left, or gather those that stay.
    if (removedIds.size() + dissolved.size() < state.duplicatePhotoIds.size() / 2) {
        for (const PhotoId id : removedIds)
            state.duplicatePhotoIds.remove(id);
        for (const PhotoId id : std::as_const(dissolved))
            state.duplicatePhotoIds.remove(id);
    } else {
        state.duplicatePhotoIds = memberIds(state.duplicateGroups);
    }
    return {state.duplicateGroups.size(), state.duplicatePhotoIds.size()};
}
