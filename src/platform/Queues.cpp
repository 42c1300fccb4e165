#include "platform/Queues.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

void postToMain(QObject *context, std::function<void()> work)
{
#if defined(__SANITIZE_THREAD__)
    // Qt's event queue is not instrumented: tell the sanitizer that what the poster wrote,
    // the functor's captures included, happens before the call runs.
    auto box = std::make_shared<std::function<void()>>(std::move(work));
    __tsan_release(box.get());
    QMetaObject::invokeMethod(context, [box] { __tsan_acquire(box.get()); (*box)(); }, Qt::QueuedConnection);
#else
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
#endif
}

void postToMainAfter(QObject *context, std::chrono::milliseconds delay, std::function<void()> work)
{
    // A timer must be started on a thread that runs an event loop: start it on context's.
    QPointer<QObject> guard(context);
    postToMain(context, [guard, delay, work = std::move(work)]() mutable {
        if (guard)
            QTimer::singleShot(delay, guard.data(), std::move(work));
    });
}

void forEachOnThreads(int count, int threads, const std::function<void(int job)> &job, const std::atomic<bool> *stop)
{
    std::atomic<int> next = 0;
    const auto work = [&] {
        for (int i; !(stop && stop->load(std::memory_order_relaxed)) && (i = next.fetch_add(1)) < count;)
            job(i);
    };
    if (threads <= 0)
        threads = int(std::max(1U, std::thread::hardware_concurrency()));
    std::vector<std::jthread> helpers;
    for (int t = 1; t < std::min(count, threads); ++t)
        helpers.emplace_back(work);
    work();
}

QThreadPool &backgroundPool()
{
    return *QThreadPool::globalInstance();
}

namespace {

// The functor is made here and run, then destroyed, on the pool's thread.
class Work final : public QRunnable
{
public:
    explicit Work(std::function<void()> work) : m_work(std::move(work)) { setAutoDelete(true); }
    void run() override
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_acquire(this);
#endif
        m_work();
        m_work = nullptr;
    }

private:
    std::function<void()> m_work;
};

} // namespace

void startWork(QThreadPool &pool, std::function<void()> work)
{
    auto *task = new Work(std::move(work));
#if defined(__SANITIZE_THREAD__)
    __tsan_release(task);
#endif
    pool.start(task);
}
