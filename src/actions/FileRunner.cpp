#include "actions/FileRunner.h"

#include "duplicates/DuplicatePublish.h"
#include "platform/ProgressCoalescer.h"
#include "platform/Queues.h"

#include <thread>

void applyRemoval(LibraryState &library, const PhotoIdSet &removedIds, PreparedRemoval &prepared)
{
    // Only photos whose file really left take leave of the lists: a file that could not be
    // moved or trashed is still where it was, and still in the library.
    const auto removed = [&removedIds](const PhotoItem &photo) { return removedIds.contains(photo.id()); };
    if (library.allPhotos.isSharedWith(prepared.allBefore))
        library.allPhotos.swap(prepared.all);
    else
        library.allPhotos.removeIf(removed);
    if (library.filteredPhotos.isSharedWith(prepared.filteredBefore))
        library.filteredPhotos.swap(prepared.filtered);
    else
        library.filteredPhotos.removeIf(removed);
    // Pruning reads no file, so the groups never name photos that have left, even after a
    // Stop during the run.
    if (library.duplicateGroups.isSharedWith(prepared.groupsBefore)) {
        library.duplicateGroups.swap(prepared.pruned.duplicateGroups);
        library.duplicatePhotoIds.swap(prepared.pruned.duplicatePhotoIds);
    } else {
        pruneDuplicateGroups(library, removedIds);
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
                duplicateIds = library.duplicatePhotoIds] {
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
            prepared->allBefore = all;
            prepared->filteredBefore = filtered;
            prepared->all = withoutPhotos(all, outcome.succeededIds);
            prepared->filtered = filtered.isSharedWith(all) ? prepared->all
                                                            : withoutPhotos(filtered, outcome.succeededIds);
            prepared->groupsBefore = groups;
            prepared->pruned.duplicateGroups = groups;
            prepared->pruned.duplicatePhotoIds = duplicateIds;
            pruneDuplicateGroups(prepared->pruned, outcome.succeededIds);
        }
        postToMain(this, [this, finish, outcome = std::move(outcome), prepared]() mutable {
            m_run.reset(); // the window may go idle again
            finish(outcome, *prepared);
            releaseLater(m_pool, std::move(prepared)); // the lists it replaced
        });
    };
    postToMain(this, [this, job = std::move(job)]() mutable { startWork(m_pool, std::move(job)); });
}
