#pragma once

#include "model/DuplicateGroup.h"
#include "model/Enums.h"
#include "model/PhotoItem.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QSet>
#include <QString>

#include <atomic>

// Everything the main window's controller knows about the photo library, apart from its
// widgets. Owned and written by the GUI thread only; background work gets snapshots and
// hands its results back through queued calls. The two flags are the exception: the GUI
// thread sets them and the workers poll them.
struct LibraryState
{
    static constexpr int photosPerPage = 100;

    QList<PhotoItem> allPhotos;
    QList<PhotoItem> filteredPhotos;
    QList<PhotoItem> displayedPhotos;
    PhotoIdSet selectedPhotoIds;
    QList<DuplicateGroup> duplicateGroups;
    PhotoIdSet duplicatePhotoIds;
    QList<SimilarGroup> similarGroups; // each group's best copy first
    PhotoIdSet similarPhotoIds;        // every member of every similar group, best included
    PhotoIdSet bestPhotoIds;           // the first member of each similar group
    qsizetype currentlyShowing = 0;
    ScanState scanState = ScanState::idle;
    ViewMode viewMode = ViewMode::all;
    FileTypeFilter currentFilter = FileTypeFilter::all;
    QString searchText;
    std::atomic<bool> shouldPause = false;
    std::atomic<bool> shouldStop = false;
    double thumbnailSize = 180;
    FilePath destinationPath; // the controller starts it at the pictures folder
    QList<FilePath> scanPaths;
    QHash<PhotoId, QImage> thumbnailCache;
};
