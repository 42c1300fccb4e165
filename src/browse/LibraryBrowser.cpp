#include "browse/LibraryBrowser.h"

#include "browse/Filtering.h"
#include "browse/Paging.h"
#include "browse/Statistics.h"
#include "platform/Queues.h"

PhotoIdSet similarBesideBest(const QList<SimilarGroup> &groups)
{
    PhotoIdSet ids;
    for (const SimilarGroup &group : groups) {
        for (qsizetype i = 1; i < group.photos.size(); ++i)
            ids.insert(group.photos[i].id());
    }
    return ids;
}

LibraryBrowser::LibraryBrowser(LibraryState &library, QThreadPool &pool, const qsizetype &backgroundFrom,
                               QObject *parent)
    : QObject(parent), m_library(library), m_pool(pool), m_backgroundFrom(backgroundFrom)
{
}

void LibraryBrowser::filter()
{
    FilterChoice choice;
    choice.viewMode = m_library.viewMode;
    choice.fileType = m_library.currentFilter;
    choice.searchText = m_library.searchText;
    const quint64 generation = ++m_filterGeneration;
    if (!inBackground()) {
        m_filterPending = false;
        showFiltered(filterPhotos(m_library.allPhotos, m_library.duplicatePhotoIds, choice, m_library.similarGroups),
                     choice.viewMode);
        return;
    }
    // Nothing narrows the list: it is the library's, shared. The index is made meanwhile,
    // so that the first keystroke finds it.
    if (!choice.narrows()) {
        m_filterPending = false;
        showFiltered(m_library.allPhotos, choice.viewMode);
        prepareIndex();
        return;
    }
    // Filtered on a worker through the index; the grid shows the last result until then.
    m_filterPending = true;
    startWork(m_pool, [this, generation, base = m_filterBase, all = m_library.allPhotos,
                       duplicateIds = m_library.duplicatePhotoIds, similar = m_library.similarGroups, choice,
                       previous = m_lastFilter] {
        auto prepared =
            std::make_shared<PreparedFilter>(prepareFilter(base, all, duplicateIds, choice, previous, similar));
        postToMain(this, [this, generation, prepared]() mutable {
            if (generation == m_filterGeneration) {
                m_filterPending = false;
                m_filterBase = prepared->base;
                m_lastFilter = std::move(prepared->result);
                showFiltered(std::move(prepared->photos), prepared->result.choice.viewMode);
            }
            releaseLater(m_pool, std::move(prepared));
        });
    });
}

void LibraryBrowser::showFiltered(QList<PhotoItem> filtered, ViewMode mode)
{
    m_listedMode = mode;
    std::swap(m_library.filteredPhotos, filtered);
    releaseLater(m_pool, std::move(filtered));
    m_library.currentlyShowing = Paging::afterFilter(m_library.filteredPhotos.size());
    m_library.displayedPhotos = Paging::displayedPage(m_library.filteredPhotos, m_library.currentlyShowing);
    emit pageChanged(true);
}

void LibraryBrowser::loadMore()
{
    m_library.currentlyShowing = Paging::afterLoadMore(m_library.currentlyShowing, m_library.filteredPhotos.size());
    showPage();
}

void LibraryBrowser::refill()
{
    m_library.currentlyShowing = Paging::afterRemoval(m_library.currentlyShowing, m_library.filteredPhotos.size());
    showPage();
}

void LibraryBrowser::showPage()
{
    m_library.displayedPhotos = Paging::displayedPage(m_library.filteredPhotos, m_library.currentlyShowing);
    emit pageChanged(false);
}

void LibraryBrowser::prepareIndex()
{
    if (!inBackground())
        return;
    startWork(m_pool, [this, base = m_filterBase, all = m_library.allPhotos, duplicateIds = m_library.duplicatePhotoIds,
                       similar = m_library.similarGroups] {
        std::shared_ptr<const FilterBase> made = filterBaseFor(base, all, duplicateIds, similar);
        postToMain(this, [this, made] {
            // Kept while it still describes the library; a filter result made meanwhile may
            // already have brought a newer one.
            if (made->photos.isSharedWith(m_library.allPhotos)
                && (!m_filterBase || !m_filterBase->photos.isSharedWith(m_library.allPhotos)
                    || m_filterBase->duplicateIds.size() != m_library.duplicatePhotoIds.size()
                    || !m_filterBase->similarGroups.isSharedWith(m_library.similarGroups))) {
                m_filterBase = made;
            }
            releaseLater(m_pool, made);
        });
    });
}

void LibraryBrowser::statistics()
{
    const quint64 generation = ++m_statsGeneration;
    if (!inBackground()) {
        m_statsPending = false;
        emit statisticsReady(statisticsLine(m_library));
        return;
    }
    m_statsPending = true;
    startWork(m_pool, [this, generation, input = StatisticsInput::of(m_library)] {
        QString line = statisticsLine(input);
        postToMain(this, [this, generation, line = std::move(line)] {
            if (generation != m_statsGeneration)
                return;
            m_statsPending = false;
            emit statisticsReady(line);
        });
    });
}

void LibraryBrowser::keepOriginals()
{
    const quint64 generation = ++m_selectionGeneration;
    const bool similar = m_library.viewMode == ViewMode::similar;
    const auto gather = [similar](const QList<DuplicateGroup> &duplicates, const QList<SimilarGroup> &similars) {
        return similar ? similarBesideBest(similars) : duplicatesBesideOriginals(duplicates);
    };
    // Only the view's own groups are handed on.
    const QList<DuplicateGroup> duplicates = similar ? QList<DuplicateGroup>() : m_library.duplicateGroups;
    const QList<SimilarGroup> similars = similar ? m_library.similarGroups : QList<SimilarGroup>();
    if (!inBackground()) {
        m_selectionPending = false;
        emit selectionReady(gather(duplicates, similars), similar);
        return;
    }
    // A million ids take a while to gather: a worker does it; a selection change made
    // meanwhile wins.
    m_selectionPending = true;
    startWork(m_pool, [this, generation, gather, duplicates, similars, similar] {
        auto selection = std::make_shared<PhotoIdSet>(gather(duplicates, similars));
        postToMain(this, [this, generation, selection, similar] {
            if (generation == m_selectionGeneration) {
                m_selectionPending = false;
                emit selectionReady(std::move(*selection), similar);
            }
            releaseLater(m_pool, selection);
        });
    });
}

void LibraryBrowser::selectionChanged()
{
    ++m_selectionGeneration;
    m_selectionPending = false;
}

void LibraryBrowser::forgetLibrary()
{
    ++m_filterGeneration;
    ++m_statsGeneration;
    ++m_selectionGeneration;
    m_filterPending = m_statsPending = m_selectionPending = false;
    releaseLater(m_pool, std::make_tuple(std::exchange(m_filterBase, {}), std::exchange(m_lastFilter, {})));
}
