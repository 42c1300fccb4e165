#pragma once

#include "model/DuplicateGroup.h"
#include "model/PhotoItem.h"
#include "platform/ContentHash.h"
#include "platform/FileSystem.h"

#include <QSet>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <span>
#include <vector>

// The duplicate pass: which photos have byte-identical contents, and their digests.
//
// Use: on the GUI thread take `duplicateSnapshot(state.allPhotos)`; on a worker call
// `runDuplicatePass` with it (it blocks that thread and uses its own threads, one per
// core, never a shared pool); back on the GUI thread hand the result to
// `publishDuplicatePass` (DuplicatePublish.h) in one queued call.

// The photos to examine: a copy of the library's list, which shares its records, so taking
// it costs nothing on the GUI thread however large the library is.
using DuplicateSnapshot = QList<PhotoItem>;

inline DuplicateSnapshot duplicateSnapshot(const QList<PhotoItem> &allPhotos) { return allPhotos; }

// What earlier passes learned: called once per pass, on one of its threads while the others
// stat the files, with the snapshot positions (ascending) of every photo whose contents the
// pass may need (its size, as the scan found it, is shared). It hands `found` what is known
// of some of them by their paths, by ascending index into `positions`. The pass uses a
// record only for a file whose stamp it finds exactly the same.
using RecordFound = std::function<void(int index, const ContentRecord &record)>;
using KnownDigests = std::function<void(std::span<const int> positions, const RecordFound &found)>;

// What a pass found, for publishDuplicatePass. Built on the worker, so that publishing
// on the GUI thread only has to find the photos again and copy them into the groups.
struct DuplicatePassResult
{
    // Stopped before the end: the result holds nothing and must change nothing.
    bool stopped = false;
    // The snapshot; the fields below refer to photos by position in it.
    DuplicateSnapshot photos;
    // The photos the pass examined (those whose size another shares), by snapshot position
    // in ascending order, and beside each the digest the pass established for it, if any;
    // the others keep the digest they had: a photo whose size no other file of the pass
    // shares, or that differs from every same-size file in its first or last block, is not
    // read whole; one that cannot be read, or changed while read, has no digest either.
    std::vector<int> examined;
    std::vector<std::optional<ContentHash::Digest>> digests;
    // The digest established for the photo at `position`, if any.
    const ContentHash::Digest *digestAt(qsizetype position) const;
    // Photos with byte-identical contents, each group in snapshot order with at least two
    // members; groups ordered by their first member. A file recorded several times (by
    // hard links, or one path listed twice) counts once: only its first record can be a
    // member. Every member has a digest.
    QList<QList<qsizetype>> groups;
    // The ids of every member of every group.
    PhotoIdSet memberIds;
    // `groups` as DuplicateGroups (duplicateGroupsOf), when the worker has made them.
    QList<DuplicateGroup> preparedGroups;
    // With known digests: the files whose contents were needed, how many of them were known
    // (their digest, or their sample told them apart), and, beside each of `examined`, the
    // stamp its file had while this pass read it (an inode of 0 for one it did not read) and
    // the sample of its last block (0: none). A file that changed while read has no digest;
    // the stamp its sample was taken with is older than its change, so it holds for nothing.
    // Empty when the pass read nothing (the samples also when no file was long enough).
    qsizetype needed = 0;
    qsizetype reused = 0;
    std::vector<FileStamp> learnedStamps;
    std::vector<quint64> learnedSamples;
};

// Called as the pass gets through the photos, for positions 0, 20, 40 ... (0-based) below
// `total`, in increasing order, and with `total` itself once every photo is read, on the
// thread that runs the pass.
using DuplicateProgress = std::function<void(int position, int total)>;

// Examines every photo of `snapshot` first and reads only those that share their size
// with another file of the pass, in fixed-size chunks on every core: files are compared
// side by side and each distinct content is hashed once. Files that vanished, cannot be
// read, are not regular files or change while read are skipped. Files are examined
// through `fs`. `shouldStop` is polled before each file is examined or opened and before
// each chunk is read, so a stopped pass ends within a chunk. A file whose digest `known`
// gives is not read: a set of same-size files holding one is grouped by digest, its other
// files hashed whole. Blocks the calling thread.
DuplicatePassResult runDuplicatePass(const DuplicateSnapshot &snapshot, const FileSystem &fs,
                                     const std::atomic<bool> &shouldStop,
                                     const DuplicateProgress &progress = {},
                                     const KnownDigests &known = {});
