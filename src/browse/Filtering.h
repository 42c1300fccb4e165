#pragma once

#include "model/DuplicateGroup.h"
#include "model/Enums.h"
#include "model/PhotoItem.h"

#include <QList>
#include <QSet>
#include <QString>

// What the grid is narrowed by. `searchText` is already lower-cased and is matched as it
// stands, spaces included.
struct FilterChoice
{
    ViewMode viewMode = ViewMode::all;
    FileTypeFilter fileType = FileTypeFilter::all;
    QString searchText;

    // False when every photo passes: the filtered list is then the library's own.
    bool narrows() const
    {
        return viewMode != ViewMode::all || fileType != FileTypeFilter::all || !searchText.isEmpty();
    }
};

// The photos of `all` that pass the view mode, the type and the name search, in order. The
// similar view lists the members of `similarGroups` instead, group by group, best first.
QList<PhotoItem> filterPhotos(const QList<PhotoItem> &all, const PhotoIdSet &duplicateIds,
                              const FilterChoice &choice, const QList<SimilarGroup> &similarGroups = {});

// Whether a photo of `fileType` passes the type filter: its lower case is one of the
// filter's extensions (any type passes `all`).
bool passesTypeFilter(const QString &fileType, FileTypeFilter filter);

// Appends `name` as the search compares it with a key: ASCII names lower-cased as bytes,
// any other decoded for display and lower-cased, as UTF-8 (a byte match of valid UTF-8 is
// a character match, so matching these bytes is matching the text).
void appendSearchableName(QByteArray &out, const FilePath &name);

// The search text as the filter compares it: full Unicode lower-case mapping, untrimmed.
QString searchKey(const QString &fieldText);
