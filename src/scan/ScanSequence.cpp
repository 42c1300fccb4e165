#include "scan/ScanSequence.h"

#include "platform/ProgressCoalescer.h"
#include "platform/Queues.h"
#include "scan/FolderScanner.h"
#include "scan/ScanProgress.h"

ScanSequence::ScanSequence(LibraryState &library, const FileSystem &fs, QThreadPool &pool, QObject *parent)
    : QObject(parent), m_library(library), m_fs(fs), m_pool(pool)
{
}

ScanSequence::~ScanSequence()
{
    abandon();
}

void ScanSequence::addStage(std::unique_ptr<ScanStage> stage)
{
    m_stages.push_back(std::move(stage));
}

void ScanSequence::start()
{
    // Work of an earlier run may still be running (a walk stuck in a slow folder, a
    // duplicate pass): it is told to stop, and what it still reports is dropped.
    abandon();
    m_firstPage.reset();
    m_run = std::make_shared<ScanRun>(++m_lastRunId);
    walk(m_run);
}

void ScanSequence::abandon()
{
    if (m_run) {
        m_run->stop = true;
        m_run->replaced = true;
    }
}

void ScanSequence::postForRun(std::shared_ptr<ScanRun> run, std::function<void()> update)
{
    postToMain(this, [this, run = std::move(run), update = std::move(update)] {
        if (run == m_run)
            update();
    });
}

bool ScanSequence::stopRequested(const ScanRun &run) const
{
    // The run's own flag also covers a walk that STOP ALL's reset has already given up on.
    return run.stop || m_library.shouldStop;
}

void ScanSequence::walk(const std::shared_ptr<ScanRun> &run)
{
    // Publishes the walk's progress at most once a frame for each label; each update reads
    // the shared counters when it is shown, and updates of a replaced run are dropped.
    class Sink final : public ScanProgressSink
    {
    public:
        Sink(ScanSequence *s, std::shared_ptr<ScanRun> run)
            : m_s(s), m_run(std::move(run)), m_progress(s), m_status(s)
        {
        }

        void foldersToScan(int total) override
        {
            post(m_progress, [s = m_s, total] { emit s->progressChanged(ScanTexts::foldersToScan(total), -1); });
        }
        void directoryBegun(int total, const FilePath &directory) override
        {
            post(m_progress, [s = m_s, counters = counters, total, directory] {
                const int begun = counters->directoriesBegun;
                emit s->progressChanged(ScanTexts::scanningDirectory(begun, total, directory),
                                        qRound(ScanTexts::directoryPercent(begun, total)));
            });
        }
        void photosFoundMilestone() override
        {
            post(m_status, [s = m_s, counters = counters] {
                emit s->statusChanged(ScanTexts::photosFound(counters->photosFound));
            });
        }
        // The last updates, shown before anything posted after this.
        void flush()
        {
            m_progress.flush();
            m_status.flush();
        }

    private:
        void post(ProgressCoalescer &to, std::function<void()> update)
        {
            to.post([s = m_s, run = m_run, update = std::move(update)] {
                if (run == s->m_run)
                    update();
            });
        }
        ScanSequence *m_s;
        std::shared_ptr<ScanRun> m_run;
        ProgressCoalescer m_progress, m_status;
    };

    startWork(m_pool, [this, paths = m_library.scanPaths, run] {
        Sink sink(this, run);
        ScanResult result = scanFolders(m_fs, paths, ScanFlags{run->pause, run->stop}, sink);
        sink.flush();
        postForRun(run, [this, run, photos = std::move(result.photos)]() mutable {
            m_library.allPhotos = std::move(photos);
            const bool stopped = stopRequested(*run);
            if (!stopped)
                m_firstPage = run; // set before the window fills its grid, which may settle at once
            else
                m_stagesDoneRun = run->id;
            emit walkFinished(stopped);
        });
    });
}

void ScanSequence::firstPageReady()
{
    if (!m_firstPage)
        return;
    const std::shared_ptr<ScanRun> run = std::exchange(m_firstPage, {});
    postForRun(run, [this, run] {
        const bool stopped = stopRequested(*run);
        emit woundUp(stopped);
        runStage(run, stopped ? m_stages.size() : 0);
    });
}

void ScanSequence::runStage(const std::shared_ptr<ScanRun> &run, size_t index)
{
    if (run != m_run)
        return;
    if (index >= m_stages.size()) {
        m_stagesDoneRun = run->id;
        return;
    }
    const ScanStage &stage = *m_stages[index];
    emit statusChanged(stage.startedText());
    // A stage belongs to the run whose photos it reads: a newer run stops it and drops what
    // it finds.
    startWork(m_pool, [this, run, index, work = stage.prepare(m_library)] {
        ProgressCoalescer shown(this);
        const StageContext context{
            run->stop,
            [this, run, &shown](const QString &text, double percent) {
                shown.post([this, run, text, percent] {
                    if (run == m_run)
                        emit progressChanged(text, qRound(percent));
                });
            },
        };
        StageApply apply = work(context);
        shown.flush();
        postForRun(run, [this, run, index, apply = std::move(apply)] {
            emit stageApplied(apply(m_library));
            runStage(run, run->stop ? m_stages.size() : index + 1);
        });
    });
}
