#include "browse/PhotoIndex.h"

#include <QHash>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

namespace {

std::atomic<quint64> lastStamp = 0;

// The first occurrence of `key` (not empty) in [from, end). Names are short and keystrokes
// many: a memchr for the first byte and a compare beats a general search's set-up per call.
const char *find(const char *from, const char *end, QByteArrayView key)
{
    const size_t rest = size_t(key.size()) - 1;
    while (end - from > qsizetype(rest)) {
        const auto *at = static_cast<const char *>(memchr(from, key[0], size_t(end - from) - rest));
        if (!at || std::memcmp(at + 1, key.data() + 1, rest) == 0)
            return at;
        from = at + 1;
    }
    return nullptr;
}

bool contains(QByteArrayView name, QByteArrayView key)
{
    return key.isEmpty() || find(name.data(), name.data() + name.size(), key);
}

} // namespace

PhotoIndex PhotoIndex::build(const QList<PhotoItem> &photos)
{
    PhotoIndex index;
    qsizetype bytes = 0;
    for (const PhotoItem &photo : photos)
        bytes += photo.name().size();
    index.m_names.reserve(bytes);
    index.m_offsets.reserve(size_t(photos.size()) + 1);
    index.m_types.reserve(size_t(photos.size()));

    static const FilePath none;
    QHash<QString, quint8> typeBits; // a library has a handful of type texts
    for (const PhotoItem &photo : photos) {
        // Offsets are 32-bit: a name that would not fit (past 16 million photos) is left out.
        const bool fits = photo.name().size() * 3 <= qsizetype(std::numeric_limits<quint32>::max()) - index.m_names.size();
        appendSearchableName(index.m_names, fits ? photo.name() : none);
        index.m_offsets.push_back(quint32(index.m_names.size()));

        auto bits = typeBits.constFind(photo.fileType());
        if (bits == typeBits.cend()) {
            quint8 made = 0;
            for (const FileTypeFilter filter : FileTypeFilters::allCases) {
                if (filter != FileTypeFilter::all && passesTypeFilter(photo.fileType(), filter))
                    made |= typeBit(filter);
            }
            bits = typeBits.insert(photo.fileType(), made);
        }
        index.m_types.push_back(*bits);
    }
    index.m_stamp = ++lastStamp;
    return index;
}

FilterResult filterPositions(const PhotoIndex &index, const QList<qint32> &viewPositions,
                             const FilterChoice &choice, const FilterResult &previous)
{
    FilterResult result{choice, {}, index.stamp(), viewPositions};
    const bool membersOnly = choice.viewMode != ViewMode::all;
    const QString &text = choice.searchText;
    // A key with a lone surrogate has no UTF-8 form; it is compared as text, like filterPhotos does.
    const bool asText = !text.isValidUtf16();
    const QByteArray key = text.toUtf8();
    const auto passes = [&](qint32 i) {
        return index.passesType(i, choice.fileType)
               && (asText ? QString::fromUtf8(index.name(i)).contains(text) : contains(index.name(i), key));
    };

    const bool narrow = previous.indexStamp == index.stamp() && previous.choice.viewMode == choice.viewMode
                        && previous.choice.fileType == choice.fileType && text.contains(previous.choice.searchText)
                        && (!membersOnly || previous.viewPositions == viewPositions);
    if (narrow || membersOnly) {
        const QList<qint32> &from = narrow ? previous.positions : viewPositions;
        for (const qint32 i : from) {
            if (i >= 0 && i < index.size() && passes(i))
                result.positions.append(i);
        }
        return result;
    }

    result.positions.reserve(text.isEmpty() ? index.size() : 0);
    if (text.isEmpty() || asText) {
        for (qint32 i = 0; i < index.size(); ++i) {
            if (passes(i))
                result.positions.append(i);
        }
        return result;
    }
    // Every photo is a candidate: one search over the buffer skips unmatched names at memory speed.
    index.searchAll(key, choice.fileType, result.positions);
    return result;
}

void PhotoIndex::searchAll(QByteArrayView key, FileTypeFilter filter, QList<qint32> &positions) const
{
    const char *const base = m_names.constData();
    const qint32 count = size();
    quint32 from = 0;
    for (qint32 i = 0; i < count;) {
        const char *found = find(base + from, base + m_names.size(), key);
        if (!found)
            return;
        const auto hit = quint32(found - base);
        // The photo whose name holds the hit: hits are usually near, so step before searching.
        for (int step = 0; step < 8 && m_offsets[size_t(i) + 1] <= hit; ++step)
            ++i;
        if (m_offsets[size_t(i) + 1] <= hit)
            i = qint32(std::upper_bound(m_offsets.begin() + i, m_offsets.end(), hit) - m_offsets.begin()) - 1;
        // A hit running into the next name is no match, nor is any later one in this name.
        if (hit + quint32(key.size()) <= m_offsets[size_t(i) + 1] && passesType(i, filter))
            positions.append(i);
        from = m_offsets[size_t(++i)];
    }
}

std::shared_ptr<const FilterBase> filterBaseFor(std::shared_ptr<const FilterBase> base,
                                                const QList<PhotoItem> &all, const PhotoIdSet &duplicateIds,
                                                const QList<SimilarGroup> &similarGroups)
{
    const bool sameList = base && base->photos.isSharedWith(all);
    if (sameList && base->duplicateIds == duplicateIds && base->similarGroups.isSharedWith(similarGroups))
        return base;
    auto fresh = std::make_shared<FilterBase>();
    fresh->photos = all;
    fresh->duplicateIds = duplicateIds;
    fresh->similarGroups = similarGroups;
    fresh->index = sameList ? base->index : std::make_shared<const PhotoIndex>(PhotoIndex::build(all));
    if (sameList && base->duplicateIds == duplicateIds) {
        fresh->duplicatePositions = base->duplicatePositions;
    } else if (!duplicateIds.isEmpty()) {
        for (qint32 i = 0; i < qint32(all.size()); ++i) {
            if (duplicateIds.contains(all[i].id()))
                fresh->duplicatePositions.append(i);
        }
    }
    if (!similarGroups.isEmpty()) {
        // The members' positions, found in one pass over the list, then laid out in group order.
        QHash<PhotoId, qint32> positionOf;
        for (const SimilarGroup &group : similarGroups) {
            for (const PhotoItem &photo : group.photos)
                positionOf.insert(photo.id(), -1);
        }
        for (qint32 i = 0; i < qint32(all.size()); ++i) {
            if (const auto it = positionOf.find(all[i].id()); it != positionOf.end())
                *it = i;
        }
        for (const SimilarGroup &group : similarGroups) {
            for (const PhotoItem &photo : group.photos) {
                if (const qint32 at = positionOf.value(photo.id(), -1); at >= 0)
                    fresh->similarPositions.append(at);
            }
        }
    }
    return fresh;
}

PreparedFilter prepareFilter(std::shared_ptr<const FilterBase> base, const QList<PhotoItem> &all,
                             const PhotoIdSet &duplicateIds, const FilterChoice &choice,
                             const FilterResult &previous, const QList<SimilarGroup> &similarGroups)
{
    base = filterBaseFor(std::move(base), all, duplicateIds, similarGroups);
    PreparedFilter prepared{base, filterPositions(*base->index, base->viewPositions(choice.viewMode), choice, previous), {}};
    const QList<qint32> &positions = prepared.result.positions;
    // Every photo passing is the library's own list, unless the view lays them out in its own order.
    if (positions.size() == all.size() && choice.viewMode != ViewMode::similar) {
        prepared.photos = all;
    } else {
        prepared.photos.reserve(positions.size());
        for (const qint32 i : positions)
            prepared.photos.append(all[i]);
    }
    return prepared;
}
