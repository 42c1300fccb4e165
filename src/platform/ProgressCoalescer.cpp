#include "platform/ProgressCoalescer.h"

#include "platform/Queues.h"

#include <mutex>

using Clock = std::chrono::steady_clock;

struct ProgressCoalescer::State
{
    QObject *const context;
    const std::chrono::milliseconds interval;
    std::mutex mutex;
    std::function<void()> pending;
    bool scheduled = false;
    Clock::time_point lastShown;

    // GUI thread. Shows whatever is newest when it runs, so a delivery can never put an
    // older update over a newer one.
    static void deliver(const std::shared_ptr<State> &state)
    {
        std::function<void()> update;
        {
            std::lock_guard lock(state->mutex);
            update = std::move(state->pending);
            state->pending = nullptr;
            state->scheduled = false;
            state->lastShown = Clock::now();
        }
        if (update)
            update();
    }
};

ProgressCoalescer::ProgressCoalescer(QObject *context, std::chrono::milliseconds interval)
    : m_state(std::make_shared<State>(context, interval))
{
}

void ProgressCoalescer::post(std::function<void()> update)
{
    State &s = *m_state;
    // Scheduling happens under the lock, so the queue sees deliveries in the order the
    // updates were taken, whichever thread posts.
    std::lock_guard lock(s.mutex);
    s.pending = std::move(update);
    if (s.scheduled)
        return;
    s.scheduled = true;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(s.lastShown + s.interval - Clock::now());
    const auto deliver = [state = m_state] { State::deliver(state); };
    if (wait.count() > 0)
        postToMainAfter(s.context, wait, deliver);
    else
        postToMain(s.context, deliver);
}

void ProgressCoalescer::flush()
{
    State &s = *m_state;
    std::lock_guard lock(s.mutex);
    if (!s.pending)
        return;
    postToMain(s.context, [update = std::move(s.pending)] { update(); });
    s.pending = nullptr;
}
