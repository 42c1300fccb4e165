#pragma once

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

// Passes a stream of progress updates from workers to the thread of `context` at the
// display's pace: of the updates posted within one frame only the newest is shown, so a
// fast walk or copy does not queue thousands of repaints that the next one hides.
// Callable from any thread; nothing ever waits for the GUI thread. Updates still pending
// when `context` is destroyed are dropped.
class ProgressCoalescer
{
public:
    explicit ProgressCoalescer(QObject *context, std::chrono::milliseconds interval = std::chrono::milliseconds(16));

    // Keeps `update` as the one to show next, replacing any not yet shown, and makes sure
    // it is shown no sooner than `interval` after the previous one.
    void post(std::function<void()> update);
    // Shows the pending update (the phase's last) now, ahead of anything posted to
    // `context` after this call; a delivery already scheduled then finds nothing older
    // to show.
    void flush();

private:
    struct State;
    std::shared_ptr<State> m_state;
};
