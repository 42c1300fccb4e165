#include "platform/Queues.h"

#include <QMetaObject>
#include <QTimer>

#include <utility>

void postToMain(QObject *context, std::function<void()> work)
{
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
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

QThreadPool &backgroundPool()
{
    return *QThreadPool::globalInstance();
}
