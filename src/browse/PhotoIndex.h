#pragma once

#include "browse/Filtering.h"
#include "model/DuplicateGroup.h"
#include "model/PhotoItem.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <vector>

// The library's names and types laid out for searching: every name lower-cased exactly as
// `filterPhotos` compares it, back to back in one buffer, and each photo's type as a bit
// per type filter. A keystroke then scans contiguous memory instead of a million records.
// About the name's length plus 5 bytes per photo, for up to 4 GB of names (lower-casing
// makes a name at most 3 times longer). Built once per library, on a worker.
class PhotoIndex
{
public:
    PhotoIndex() = default;
    static PhotoIndex build(const QList<PhotoItem> &photos);

    qint32 size() const { return qint32(m_types.size()); }
    // The lower-cased name of the photo at `position`: ASCII names as bytes, others UTF-8.
    QByteArrayView name(qint32 position) const
    {
        return QByteArrayView(m_names).sliced(m_offsets[position], m_offsets[position + 1] - m_offsets[position]);
    }
    bool passesType(qint32 position, FileTypeFilter filter) const
    {
        return filter == FileTypeFilter::all || (m_types[position] & typeBit(filter)) != 0;
    }
    // The memory it holds, for measuring.
    qsizetype byteSize() const { return m_names.size() + qsizetype(m_offsets.size() * 4 + m_types.size()); }
    // Tells builds apart, so a filter result is only narrowed on the index it was made from.
    quint64 stamp() const { return m_stamp; }

    static quint8 typeBit(FileTypeFilter filter) { return quint8(1u << (int(filter) - 1)); }

    // Appends the positions of every photo passing `filter` whose name holds `key` (not empty,
    // as stored): one search over the whole buffer, each hit mapped to its photo.
    void searchAll(QByteArrayView key, FileTypeFilter filter, QList<qint32> &positions) const;

private:
    QByteArray m_names;
    std::vector<quint32> m_offsets{0}; // photo i's name is [m_offsets[i], m_offsets[i + 1])
    std::vector<quint8> m_types;
    quint64 m_stamp = 0;
};

// The positions that passed a filter, and what they were made from.
struct FilterResult
{
    FilterChoice choice;
    QList<qint32> positions;
    quint64 indexStamp = 0;
    QList<qint32> viewPositions;
};

// The positions of the photos that pass the view mode, the type and the name search: the
// photos `filterPhotos` keeps, in the same order. `viewPositions` are those the view mode
// draws from, in its order (the duplicate members ascending, the similar ones group by group);
// the all view ignores them. When `previous` was made from the same index and view positions,
// for the same view and type, and the new search text contains its text (more was typed),
// only its positions are examined.
FilterResult filterPositions(const PhotoIndex &index, const QList<qint32> &viewPositions,
                             const FilterChoice &choice, const FilterResult &previous = {});

// What filtering reads for one list of the library's photos, one set of duplicate ids and one
// list of similar groups: the index of the list and the members' positions in it. Made on a
// worker, kept by the window while they stay the same, so a keystroke builds nothing.
struct FilterBase
{
    QList<PhotoItem> photos;
    PhotoIdSet duplicateIds;
    QList<SimilarGroup> similarGroups;
    std::shared_ptr<const PhotoIndex> index;
    QList<qint32> duplicatePositions; // ascending
    QList<qint32> similarPositions;   // group by group, best first

    const QList<qint32> &viewPositions(ViewMode mode) const
    {
        return mode == ViewMode::similar ? similarPositions : duplicatePositions;
    }
};

// A filter made ready on a worker: the photos that pass, with what made them.
struct PreparedFilter
{
    std::shared_ptr<const FilterBase> base;
    FilterResult result;
    QList<PhotoItem> photos; // `all` itself when every photo passes
};

// `base` when it was made from `all`, `duplicateIds` and `similarGroups`; else one that is
// (reusing its index when only the members differ). Blocks; for a worker.
std::shared_ptr<const FilterBase> filterBaseFor(std::shared_ptr<const FilterBase> base,
                                                const QList<PhotoItem> &all, const PhotoIdSet &duplicateIds,
                                                const QList<SimilarGroup> &similarGroups = {});

// Filters `all` as `filterPhotos` does. `base` is reused when made from the same list and
// members (its index, when only the members differ) and built otherwise; `previous`
// narrows the search as `filterPositions` allows. Blocks; for a worker.
PreparedFilter prepareFilter(std::shared_ptr<const FilterBase> base, const QList<PhotoItem> &all,
                             const PhotoIdSet &duplicateIds, const FilterChoice &choice,
                             const FilterResult &previous = {}, const QList<SimilarGroup> &similarGroups = {});
