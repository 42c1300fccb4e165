#pragma once

#include "duplicates/DuplicatePass.h"

#include <optional>

struct LibraryState;

struct DuplicateSummary
{
    qsizetype groupCount = 0;
    qsizetype duplicateCount = 0; // photos in any group, originals included
};

// The groups of a pass as publishing installs them; built on the worker (into
// `result.preparedGroups`) so that the GUI thread only swaps them in.
QList<DuplicateGroup> duplicateGroupsOf(const DuplicatePassResult &result);

// Applies a pass's result to the library in one step. GUI thread.
// Writes each digest into the `allPhotos` member with that id (photos no longer there are
// skipped), then replaces `duplicateGroups` (in `allPhotos` order; a group left with fewer
// than two members is dropped) and `duplicatePhotoIds`. While `allPhotos` is still the
// snapshot, that is the prepared groups and ids as they are. A stopped result changes
// nothing and gives nothing.

std::optional<DuplicateSummary> publishDuplicatePass(LibraryState &state,
                                                     const DuplicatePassResult &result);

// After the photos `removedIds` left `allPhotos` (delete, move): removes them from the
// groups and `duplicatePhotoIds`, and dissolves the groups left with one member. Removing
// photos cannot create a group, so nothing is read. GUI thread.
DuplicateSummary pruneDuplicateGroups(LibraryState &state, const PhotoIdSet &removedIds);
