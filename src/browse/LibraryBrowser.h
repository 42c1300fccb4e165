#pragma once

#include "browse/PhotoIndex.h"
#include "model/LibraryState.h"

#include <QObject>

#include <memory>

class QThreadPool;

// Every member of every similar group but its best copy: what "Keep Best Only" selects.
PhotoIdSet similarBesideBest(const QList<SimilarGroup> &groups);

// What the window shows of the library: the filtered list and its displayed page, the
// statistics line, and the selection Keep Originals Only (Keep Best Only) makes. A small library is worked out at once; from
// `backgroundFrom` photos on, on a worker, and the window shows the previous state until
// the result is swapped in. A result that a newer request has overtaken is dropped.
// GUI thread only, apart from its workers.
class LibraryBrowser : public QObject
{
    Q_OBJECT

public:
    LibraryBrowser(LibraryState &library, QThreadPool &pool, const qsizetype &backgroundFrom,
                   QObject *parent = nullptr);

    // Filters the library by its view mode, file type and search text, and shows the result
    // from its first page.
    void filter();
    // The displayed page again, after Load More, after photos left the list, or as it is.
    void loadMore();
    void refill();
    void showPage();
    // Makes the filter index of the library on a worker, ahead of the first keystroke.
    void prepareIndex();
    // Emits statisticsReady() with the statistics line.
    void statistics();
    // Emits selectionReady() with every duplicate but the oldest of each group, or in the
    // similar view every similar photo but the best of each group.
    void keepOriginals();
    // The selection changed on the GUI thread: one still in the making is not shown.
    void selectionChanged();
    // A new scan: nothing still in the making for the last library is shown, and what was
    // kept of it goes on a worker.
    void forgetLibrary();

    bool filterPending() const { return m_filterPending; }
    // The view mode of the filtered list shown (a newer one may still be in the making).
    ViewMode listedMode() const { return m_listedMode; }
    // Whether work started by the last filter, statistics or selection change has yet to show.
    bool pending() const { return m_filterPending || m_statsPending || m_selectionPending; }

signals:
    // The library's displayed page changed; `newList`: a new filtered list, from its start.
    void pageChanged(bool newList);
    void statisticsReady(const QString &line);
    // `similar`: Keep Best Only's selection, else Keep Originals Only's.
    void selectionReady(PhotoIdSet selection, bool similar);

private:
    void showFiltered(QList<PhotoItem> filtered, ViewMode mode);
    bool inBackground() const { return m_library.allPhotos.size() >= m_backgroundFrom; }

    LibraryState &m_library;
    QThreadPool &m_pool;
    const qsizetype &m_backgroundFrom;
    // The index the last background filter used, and its result, which the next keystroke
    // narrows. Each generation counter tells a background result whether it is still wanted.
    std::shared_ptr<const FilterBase> m_filterBase;
    FilterResult m_lastFilter;
    quint64 m_filterGeneration = 0;
    quint64 m_statsGeneration = 0;
    quint64 m_selectionGeneration = 0;
    bool m_filterPending = false;
    bool m_statsPending = false;
    bool m_selectionPending = false;
    ViewMode m_listedMode = ViewMode::all;
};
