#pragma once

#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <functional>

// Runs `work` later on the thread of `context` (the GUI thread for widgets and the
// controller), in posting order. Callable from any thread; dropped if `context` is
// destroyed first, so a late result never reaches a controller that is gone.
void postToMain(QObject *context, std::function<void()> work);

// Like postToMain, after `delay`.
void postToMainAfter(QObject *context, std::chrono::milliseconds delay, std::function<void()> work);

// The pool for disk-bound background work (walks, hashing, thumbnails, file operations).
QThreadPool &backgroundPool();

// Runs job(0) ... job(count - 1) on `threads` threads of its own, the calling one among them
// (0: one per core), each taking the next job as it is free; returns once all have run, or,
// with `stop`, once it is set (no job begins after it). For short bursts of CPU work that
// must not wait behind the pool's disk-bound tasks.
void forEachOnThreads(int count, int threads, const std::function<void(int job)> &job,
                      const std::atomic<bool> *stop = nullptr);

// Runs `work` on a thread of `pool`; its captures are handed over with it (and, in a
// ThreadSanitizer build, the hand-off through Qt's uninstrumented queue is made known).
void startWork(QThreadPool &pool, std::function<void()> work);

// Lets a large value go on a worker of `pool`: freeing a million records takes a while.
template<typename T>
void releaseLater(QThreadPool &pool, T &&value)
{
    startWork(pool, [old = std::forward<T>(value)] {});
}
