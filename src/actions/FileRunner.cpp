#include "actions/FileRunner.h"

#include "duplicates/DuplicatePublish.h"
#include "platform/ProgressCoalescer.h"
#include "platform/Queues.h"

#include <thread>

void pruneSimilarGroups(LibraryState &state, const PhotoIdSet &removedIds)
{
    const auto removed = [&removedIds](const PhotoItem &photo) { return removedIds.contains(photo.id()); };
    if (removedIds.isEmpty() || state.similarGroups.isEmpty())
        return;
    QList<SimilarGroup> kept;
    kept.reserve(state.similarGroups.size());
    for (SimilarGroup &group : state.similarGroups) {
        if (std::none_of(group.photos.cbegin(), group.photos.cend(), removed)) {
            kept.append(std::move(group));
            continue;
        }
        // Only the groups a photo left are looked at, so a small removal from a large
        // library touches little.
        state.bestPhotoIds.remove(group.photos.first().id());
        for (const PhotoItem &photo : std::as_const(group.photos)) {
            if (removed(photo))
                state.similarPhotoIds.remove(photo.id());
        }
        group.photos.removeIf(removed);
        if (group.photos.size() < 2) {
            for (const PhotoItem &photo : std::as_const(group.photos))
                state.similarPhotoIds.remove(photo.id());
            continue;
        }
        state.bestPhotoIds.insert(group.photos.first().id()); // the order stays best first
        kept.append(std::move(group));
    }
    state.similarGroups = std::move(kept);
}

bool inView(const LibraryState &state, ViewMode mode, const PhotoItem &photo)
{
    switch (mode) {
    case ViewMode::all:
        return true;
    case ViewMode::duplicates:
        return state.duplicatePhotoIds.contains(photo.id());
    case ViewMode::similar:
        return state.similarPhotoIds.contains(photo.id());
    }
    return true;
}

void applyRemoval(LibraryState &library, const PhotoIdSet &removedIds, PreparedRemoval &prepared)
{
    // Only photos whose file really left take leave of the lists: a file that could not be
    // moved or trashed is still where it was, and still in the library.
    const auto removed = [&removedIds](const PhotoItem &photo) { return removedIds.contains(photo.id()); };
    if (library.allPhotos.isSharedWith(prepared.allBefore))
        library.allPhotos.swap(prepared.all);
    else
        library.allPhotos.removeIf(removed);
    // Pruning reads no file, so the groups never name photos that have left, even after a
    // Stop during the run.
    if (library.duplicateGroups.isSharedWith(prepared.groupsBefore)) {
        library.duplicateGroups.swap(prepared.pruned.duplicateGroups);
        library.duplicatePhotoIds.swap(prepared.pruned.duplicatePhotoIds);
    } else {
        pruneDuplicateGroups(library, removedIds);
    }
    if (library.similarGroups.isSharedWith(prepared.similarBefore)) {
        library.similarGroups.swap(prepared.pruned.similarGroups);
        library.similarPhotoIds.swap(prepared.pruned.similarPhotoIds);
        library.bestPhotoIds.swap(prepared.pruned.bestPhotoIds);
    } else {
        pruneSimilarGroups(library, removedIds);
    }
    // A view of groups no longer lists the photos whose group dissolved.
    if (library.filteredPhotos.isSharedWith(prepared.filteredBefore)) {
        library.filteredPhotos.swap(prepared.filtered);
    } else {
        const ViewMode mode = library.viewMode;
        library.filteredPhotos.removeIf(
            [&](const PhotoItem &photo) { return removed(photo) || !inView(library, mode, photo); });
    }
}

FileRunner::FileRunner(QThreadPool &pool, QObject *parent) : QObject(parent), m_pool(pool) {}

void FileRunner::setPaused(bool paused)
{
    if (m_run)
        m_run->pause = paused;
}

void FileRunner::stop()
{
    if (m_run) {
        m_run->stop = true;
        m_run->pause = false;
    }
}

void FileRunner::start(const QString &working, Work work, const LibraryState &library, bool removesFiles,
                       Progress showProgress, Finish finish)
{
    m_run = std::make_shared<Run>();
    m_run->working = working;
    // The work list is taken now; the lists are shared, not copied, so this costs nothing
    // here, and the worker filters them. The worker begins on the next turn of the event
    // loop, so a Pause or Stop given with the click itself applies from its first file.
    auto job = [this, run = m_run, work = std::move(work), removesFiles, showProgress = std::move(showProgress),
                finish = std::move(finish), all = library.allPhotos, filtered = library.filteredPhotos,
                selected = library.selectedPhotoIds, groups = library.duplicateGroups,
                duplicateIds = library.duplicatePhotoIds, similar = library.similarGroups,
                similarIds = library.similarPhotoIds, bestIds = library.bestPhotoIds, mode = library.viewMode] {
        ProgressCoalescer shown(this);
        const auto progress = [&shown, &showProgress, &run](const FileOpProgress &p) {
            shown.post([showProgress, p] { showProgress(p); });
            // Paused, the run holds here, between two files, until resumed or stopped.
            while (run->pause && !run->stop && p.done + p.errors < p.total)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        };
        const auto log = [this](const QString &line) { postToMain(this, [this, line] { emit logLine(line); }); };
        FileOpOutcome outcome = work(fileJobsFor(all, selected), progress, log, &run->stop);
        shown.flush();
        auto prepared = std::make_shared<PreparedRemoval>();
        if (removesFiles) {
            LibraryState &pruned = prepared->pruned;
            prepared->allBefore = all;
            prepared->filteredBefore = filtered;
            prepared->all = withoutPhotos(all, outcome.succeededIds);
            prepared->groupsBefore = groups;
            prepared->similarBefore = similar;
            pruned.duplicateGroups = groups;
            pruned.duplicatePhotoIds = duplicateIds;
            pruneDuplicateGroups(pruned, outcome.succeededIds);
            pruned.similarGroups = similar;
            pruned.similarPhotoIds = similarIds;
            pruned.bestPhotoIds = bestIds;
            pruneSimilarGroups(pruned, outcome.succeededIds);
            if (filtered.isSharedWith(all)) {
                prepared->filtered = prepared->all;
            } else if (mode == ViewMode::all) {
                prepared->filtered = withoutPhotos(filtered, outcome.succeededIds);
            } else {
                prepared->filtered = filtered;
                prepared->filtered.removeIf([&](const PhotoItem &photo) {
                    return outcome.succeededIds.contains(photo.id()) || !inView(pruned, mode, photo);
                });
            }
        }
        postToMain(this, [this, finish, outcome = std::move(outcome), prepared]() mutable {
            m_run.reset(); // the window may go idle again
            finish(outcome, *prepared);
            releaseLater(m_pool, std::move(prepared)); // the lists it replaced
        });
    };
    postToMain(this, [this, job = std::move(job)]() mutable { startWork(m_pool, std::move(job)); });
}
