#include "duplicates/DuplicatePass.h"

#include "duplicates/ContentMatch.h"
#include "platform/FileSystem.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>

namespace {

constexpr int progressStep = 20;
constexpr int statBatch = 256;
// Larger sets of same-size files are hashed file by file: read side by side, they would
// keep that many files open per thread and re-read the first one for every round.
constexpr size_t maxSideBySide = 16;
constexpr qint64 headSize = 4096;

struct Examined
{
    bool regular = false;
    FileStamp stamp;

    qint64 size() const { return stamp.size; }
    FileIdentity identity() const { return {dev_t(stamp.device), ino_t(stamp.inode)}; }
};


// Files of one size that may be identical, as snapshot positions in ascending order: those
// to read, and those whose digests are known. A set with known ones is grouped by digest.
struct SameSize
{
    qint64 size = 0;
    std::vector<int> members;
    std::vector<int> known;
};

// Runs jobs on one thread per core while the calling thread reports progress: the
// number of photos the jobs have settled, whatever their order. Once `stop` is set no
// further job begins.
class Runner
{
public:
    Runner(int total, const DuplicateProgress &progress, const std::atomic<bool> &stop)
        : m_total(total), m_progress(progress), m_stop(stop)
    {
    }

    // Any thread.
    void settle(int photos)
    {
        {
            std::lock_guard lock(m_mutex);
            m_settled += photos;
        }
        m_changed.notify_one();
    }

    // Returns when every job has run. Calling thread only.
    void run(size_t jobs, const std::function<void(size_t job, ReadBuffers &)> &work)
    {
        if (jobs == 0)
            return;
        const size_t threads = std::min<size_t>(jobs, std::max(1U, std::thread::hardware_concurrency()));
        std::atomic<size_t> next = 0;
        m_running = int(threads);
        std::vector<std::jthread> workers;
        for (size_t t = 0; t < threads; ++t) {
            workers.emplace_back([&] {
                ReadBuffers buffers;
                for (size_t job; !m_stop.load(std::memory_order_relaxed) && (job = next.fetch_add(1)) < jobs;)
                    work(job, buffers);
                {
                    std::lock_guard lock(m_mutex);
                    --m_running;
                }
                m_changed.notify_one();
            });
        }
        std::unique_lock lock(m_mutex);
        for (;;) {
            const int settled = m_settled;
            const bool finished = m_running == 0;
            lock.unlock();
            report(settled);
            if (finished)
                break;
            lock.lock();
            m_changed.wait(lock, [&] { return m_settled != settled || m_running == 0; });
        }
    }

    // Calling thread only.
    void report()
    {
        std::unique_lock lock(m_mutex);
        const int settled = m_settled;
        lock.unlock();
        report(settled);
    }

private:
    void report(int settled)
    {
        for (; m_nextPosition < std::min(settled, m_total); m_nextPosition += progressStep) {
            if (m_progress)
                m_progress(m_nextPosition, m_total);
        }
    }

    const int m_total;
    const DuplicateProgress &m_progress;
    const std::atomic<bool> &m_stop;
    int m_nextPosition = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_settled = 0;
    int m_running = 0;
};

// One file per examined identity, grouped by size; sizes with a single file are dropped.
std::vector<SameSize> sameSizeSets(const std::vector<Examined> &examined,
                                   std::vector<int> &firstRecordOf)
{
    // By identity, then position: the first of each run is a file's first record.
    std::vector<int> regular;
    for (int i = 0; i < int(examined.size()); ++i) {
        if (examined[size_t(i)].regular)
            regular.push_back(i);
    }
    const auto identityKey = [&](int i) {
        const FileIdentity id = examined[size_t(i)].identity();
        return std::tuple(quint64(id.device), quint64(id.inode), i);
    };
    std::ranges::sort(regular, {}, identityKey);
    std::vector<int> firsts;
    for (size_t k = 0; k < regular.size(); ++k) {
        if (k > 0 && examined[size_t(regular[k])].identity() == examined[size_t(regular[k - 1])].identity())
            firstRecordOf[size_t(regular[k])] = firstRecordOf[size_t(regular[k - 1])] >= 0 ? firstRecordOf[size_t(regular[k - 1])] : regular[k - 1];
        else
            firsts.push_back(regular[k]);
    }
    std::ranges::sort(firsts);
    std::stable_sort(firsts.begin(), firsts.end(), [&](int a, int b) {
        return examined[size_t(a)].size() < examined[size_t(b)].size();
    });
    std::vector<SameSize> sets;
    for (size_t begin = 0, end; begin < firsts.size(); begin = end) {
        const qint64 size = examined[size_t(firsts[begin])].size();
        for (end = begin + 1; end < firsts.size() && examined[size_t(firsts[end])].size() == size;)
            ++end;
        if (end - begin >= 2) {
            std::vector<int> members(firsts.begin() + qsizetype(begin), firsts.begin() + qsizetype(end));
            sets.push_back({size, std::move(members), {}});
        }
    }
    return sets;
}

} // namespace

DuplicatePassResult runDuplicatePass(const DuplicateSnapshot &snapshot, const FileSystem &fs,
                                     const std::atomic<bool> &shouldStop,
                                     const DuplicateProgress &progress, const KnownDigests &known)
{
    DuplicatePassResult stopped;
    stopped.stopped = true;
    const auto stopRequested = [&] { return shouldStop.load(std::memory_order_relaxed); };
    const int total = int(snapshot.size());
    Runner runner(total, progress, shouldStop);
    if (stopRequested())
        return stopped;

    // Only sizes decide what is read. A photo whose size, as the scan found it, no other
    // photo has is left alone: statting it again would double the cost of a pass over a
    // library whose contents are known.
    // From here on a photo is its index among those: what the pass holds per photo is
    // then as long as the photos it examines, not as the library.
    std::vector<int> shared; // snapshot positions, ascending
    {
        std::vector<std::pair<qint64, int>> bySize{size_t(total)};
        for (int i = 0; i < total; ++i)
            bySize[size_t(i)] = {snapshot[i].size(), i};
        std::ranges::sort(bySize);
        for (size_t k = 0; k < bySize.size(); ++k) {
            if ((k > 0 && bySize[k].first == bySize[k - 1].first) || (k + 1 < bySize.size() && bySize[k].first == bySize[k + 1].first))
                shared.push_back(bySize[k].second);
        }
        std::ranges::sort(shared);
    }
    const int count = int(shared.size());
    const auto photo = [&](int i) -> const PhotoItem & { return snapshot[shared[size_t(i)]]; };
    std::vector<Examined> examined(static_cast<size_t>(count));
    // What earlier passes learned is looked up by path while the files are statted: the
    // first job, so one thread looks up and then joins the others. Their digests go where
    // the pass keeps digests; beside them only stamps and samples, for the rows found.
    std::vector<std::optional<ContentHash::Digest>> digestOf(static_cast<size_t>(count));
    struct Recorded
    {
        int index;
        quint64 sample;
        FileStamp stamp;
    };
    std::vector<Recorded> recorded;
    const size_t lookups = known && count > 0 ? 1 : 0;
    runner.run(lookups + size_t(count + statBatch - 1) / statBatch, [&](size_t job, ReadBuffers &) {
        if (job < lookups) {
            recorded.reserve(size_t(count)); // only the rows found are ever touched
            known(shared, [&](int index, const ContentRecord &record) {
                if (index >= 0 && index < count && (recorded.empty() || index > recorded.back().index)) {
                    digestOf[size_t(index)] = record.digest;
                    recorded.push_back({index, record.sample, record.stamp});
                }
            });
            return;
        }
        const size_t batch = job - lookups;
        const int end = std::min(count, int(batch + 1) * statBatch);
        for (int i = int(batch) * statBatch; i < end && !stopRequested(); ++i) {
            struct stat st;
            if (fs.statPath(photo(i).path(), st) && S_ISREG(st.st_mode))
                examined[size_t(i)] = {true, FileStamp::of(st)};
        }
    });
    if (stopRequested())
        return stopped;

    std::vector<int> firstRecordOf(size_t(count), -1);
    std::vector<SameSize> sets = sameSizeSets(examined, firstRecordOf);
    DuplicatePassResult result;
    if (known) {
        // A record holds only while its file has the stamp it was made with.
        std::erase_if(recorded, [&](const Recorded &row) {
            const Examined &file = examined[size_t(row.index)];
            if (file.regular && row.stamp == file.stamp)
                return false;
            digestOf[size_t(row.index)].reset();
            return true;
        });
        const auto fresh = [&](int i) -> const Recorded * {
            const auto row = std::ranges::lower_bound(recorded, i, {}, &Recorded::index);
            return row != recorded.end() && row->index == i ? &*row : nullptr;
        };
        std::vector<quint64> samples;
        for (SameSize &set : sets) {
            result.needed += qsizetype(set.members.size());
            // When every file of the set has a sample, one whose sample no other shares
            // differs from them all: it needs neither a read nor a digest.
            samples.clear();
            for (int i : set.members) {
                const Recorded *row = fresh(i);
                if (!row || row->sample == 0) {
                    samples.clear();
                    break;
                }
                samples.push_back(row->sample);
            }
            std::ranges::sort(samples);
            const auto alone = [&](quint64 sample) {
                const auto [from, to] = std::ranges::equal_range(samples, sample);
                return to - from == 1;
            };
            std::erase_if(set.members, [&](int i) {
                if (digestOf[size_t(i)]) {
                    set.known.push_back(i);
                } else if (const Recorded *row = fresh(i); !row || !alone(row->sample)) {
                    return false;
                }
                ++result.reused;
                return true;
            });
        }
        recorded = decltype(recorded)(); // freed: "= {}" would only empty it
    }
    int toRead = 0;
    for (const SameSize &set : sets)
        toRead += int(set.members.size());
    runner.settle(total - toRead);
    runner.report();

    const auto candidates = [&](const std::vector<int> &members) {
        std::vector<ContentCandidate> files;
        files.reserve(members.size());
        for (int i : members)
            files.push_back({photo(i).path(), examined[size_t(i)].identity()});
        return files;
    };

    // Large sets are split by their first block before anything is read whole.
    std::vector<SameSize> large;
    std::erase_if(sets, [&](SameSize &set) {
        return set.members.size() > maxSideBySide && set.known.empty() && (large.push_back(std::move(set)), true);
    });
    std::vector<std::vector<SameSize>> split(large.size());
    runner.run(large.size(), [&](size_t k, ReadBuffers &) {
        const SameSize &set = large[k];
        std::map<QByteArray, std::vector<int>> byHead;
        int dropped = 0;
        // One path at a time: a set may hold a million files.
        for (size_t m = 0; m < set.members.size() && !stopRequested(); ++m) {
            const int i = set.members[m];
            if (const auto head = readHead({photo(i).path(), examined[size_t(i)].identity()}, std::min(set.size, headSize)))
                byHead[*head].push_back(set.members[m]);
            else
                ++dropped;
        }
        for (auto &[head, members] : byHead) {
            if (members.size() >= 2)
                split[k].push_back({set.size, std::move(members), {}});
            else
                ++dropped;
        }
        runner.settle(dropped);
    });
    if (stopRequested())
        return stopped;
    for (std::vector<SameSize> &parts : split)
        sets.insert(sets.end(), std::make_move_iterator(parts.begin()), std::make_move_iterator(parts.end()));

    // Sets small enough are compared side by side; the files of larger ones are hashed
    // one by one and grouped by digest. In a small set with known digests the other files
    // are compared side by side with one file of each known digest, so a file that matches
    // none is told apart by its first and last blocks, not read whole; in a large one they
    // are hashed whole. The longest jobs go first.
    struct Job
    {
        size_t set;
        int alone = -1; // a file of the set to hash by itself
        qint64 bytes;
    };
    // One file of each known digest of a set: copies of it are found beside it.
    const auto knownSamples = [&](const SameSize &set) {
        std::vector<int> samples;
        std::vector<ContentDigest> seen;
        for (int i : set.known) {
            if (std::ranges::find(seen, *digestOf[size_t(i)]) == seen.end()) {
                seen.push_back(*digestOf[size_t(i)]);
                samples.push_back(i);
            }
        }
        return samples;
    };
    std::vector<Job> jobs;
    for (size_t s = 0; s < sets.size(); ++s) {
        if (sets[s].members.empty())
            continue;
        if (sets[s].members.size() <= maxSideBySide) {
            jobs.push_back({s, -1, sets[s].size * qint64(sets[s].members.size())});
        } else {
            for (int member : sets[s].members)
                jobs.push_back({s, member, sets[s].size});
        }
    }
    std::stable_sort(jobs.begin(), jobs.end(), [](const Job &a, const Job &b) { return a.bytes > b.bytes; });
    // A file hashed by itself only leaves its digest; each job writes its own entries.
    std::vector<std::vector<ContentClass>> found(jobs.size());
    // The stamp each file had while read, for the cache (none when nothing is read, as in a
    // warm pass); each file is read by one job only.
    std::vector<FileStamp> readStamp(known && toRead > 0 ? size_t(count) : 0);
    const bool sampled = std::ranges::any_of(sets, [](const SameSize &set) { return !set.members.empty() && set.size > sampledAbove; });
    std::vector<quint64> learnedSample(sampled ? readStamp.size() : 0);
    runner.run(jobs.size(), [&](size_t j, ReadBuffers &buffers) {
        const Job &job = jobs[j];
        std::vector<int> members = job.alone < 0 ? sets[job.set].members : std::vector{job.alone};
        const qsizetype unsettled = qsizetype(members.size());
        if (job.alone < 0)
            std::ranges::copy(knownSamples(sets[job.set]), std::back_inserter(members));
        const bool keepSingles = job.alone >= 0;
        std::vector<ContentSample> samples;
        auto classes = matchContents(fs, candidates(members), sets[job.set].size, keepSingles, shouldStop,
                                     buffers, learnedSample.empty() ? nullptr : &samples);
        for (const ContentSample &sample : samples) {
            readStamp[size_t(members[size_t(sample.member)])] = sample.stamp;
            learnedSample[size_t(members[size_t(sample.member)])] = sample.sample;
        }
        if (classes) {
            for (ContentClass &c : *classes) {
                for (size_t m = 0; m < c.members.size(); ++m) {
                    c.members[m] = members[size_t(c.members[m])];
                    if (!readStamp.empty())
                        readStamp[size_t(c.members[m])] = c.stamps[m];
                }
                c.stamps = decltype(c.stamps)();
            }
            if (job.alone >= 0) {
                if (!classes->empty())
                    digestOf[size_t(job.alone)] = classes->front().digest;
                runner.settle(1);
                return;
            }
            found[j] = std::move(*classes);
        }
        runner.settle(int(unsettled));
    });
    if (stopRequested())
        return stopped;
    // Every photo is settled: the last update shows the whole count, not the last 20th.
    if (progress && total > 0)
        progress(total, total);

    // Files hashed by themselves, and every file of a set with known digests, group by set
    // and digest: sorted, each run is a group.
    // Its digest is the member's, looked up when sorting: a million of them stay small.
    struct Hashed
    {
        quint32 set;
        int member;
    };
    std::vector<Hashed> hashed;
    std::vector<std::vector<int>> groups;
    for (size_t j = 0; j < jobs.size(); ++j) {
        const std::vector<int> &knownMembers = sets[jobs[j].set].known;
        const bool byDigest = !knownMembers.empty();
        for (const ContentClass &c : found[j]) {
            for (int member : c.members) {
                // A known file compared beside the others is grouped through its digest.
                if (byDigest && std::ranges::find(knownMembers, member) != knownMembers.end())
                    continue;
                digestOf[size_t(member)] = c.digest;
                if (byDigest)
                    hashed.push_back({quint32(jobs[j].set), member});
            }
            if (!byDigest)
                groups.push_back(c.members);
        }
    }
    found = decltype(found)();
    for (size_t s = 0; s < sets.size(); ++s) {
        for (int member : sets[s].known)
            hashed.push_back({quint32(s), member});
    }
    for (const Job &job : jobs) {
        if (job.alone >= 0 && digestOf[size_t(job.alone)])
            hashed.push_back({quint32(job.set), job.alone});
    }
    const auto digestOfEntry = [&](const Hashed &h) -> const ContentDigest & { return *digestOf[size_t(h.member)]; };
    std::sort(hashed.begin(), hashed.end(), [&](const Hashed &a, const Hashed &b) {
        return std::tie(a.set, digestOfEntry(a), a.member) < std::tie(b.set, digestOfEntry(b), b.member);
    });
    for (size_t from = 0, to; from < hashed.size(); from = to) {
        for (to = from + 1; to < hashed.size() && hashed[to].set == hashed[from].set
                            && digestOfEntry(hashed[to]) == digestOfEntry(hashed[from]);
             ++to) {
        }
        if (to - from >= 2) {
            std::vector<int> &group = groups.emplace_back();
            for (size_t h = from; h < to; ++h)
                group.push_back(hashed[h].member);
        }
    }
    hashed = decltype(hashed)();
    std::sort(groups.begin(), groups.end());

    result.photos = snapshot;
    // Another record of a file has the digest its first record got (first records come
    // first, so theirs is set by then).
    for (int i = 0; i < count; ++i) {
        if (const int first = firstRecordOf[size_t(i)]; first >= 0)
            digestOf[size_t(i)] = digestOf[size_t(first)];
    }
    result.groups.reserve(qsizetype(groups.size()));
    for (const std::vector<int> &members : groups) {
        QList<qsizetype> &positions = result.groups.emplace_back();
        for (int member : members) {
            positions.append(shared[size_t(member)]);
            result.memberIds.insert(photo(member).id());
        }
    }
    // Handed over, not copied: for a million examined files each is tens of megabytes.
    result.examined = std::move(shared);
    result.digests = std::move(digestOf);
    result.learnedStamps = std::move(readStamp);
    result.learnedSamples = std::move(learnedSample);
    return result;
}
