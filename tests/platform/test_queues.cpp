#include "platform/Queues.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <memory>

class TestQueues : public QObject
{
    Q_OBJECT

private slots:
    void postsRunOnTheContextThreadInOrder()
    {
        QObject context;
        QList<int> order;
        bool onContextThread = true;
        QThreadPool pool;
        pool.start([&] {
            for (int i = 0; i < 100; ++i) {
                postToMain(&context, [&, i] {
                    onContextThread = onContextThread && QThread::currentThread() == context.thread();
                    order.append(i);
                });
            }
        });
        pool.waitForDone();
        QTRY_COMPARE(order.size(), 100);
        QVERIFY(onContextThread);
        for (int i = 0; i < 100; ++i)
            QCOMPARE(order[i], i);
    }

    void delayedPostWaitsAndIsDroppedWithItsContext()
    {
        auto context = std::make_unique<QObject>();
        QElapsedTimer clock;
        clock.start();
        qint64 ranAfter = -1;
        postToMainAfter(context.get(), std::chrono::milliseconds(150), [&] { ranAfter = clock.elapsed(); });
        QTRY_VERIFY(ranAfter >= 0);
        QVERIFY2(ranAfter >= 140, qPrintable(QString::number(ranAfter)));

        bool ran = false;
        postToMainAfter(context.get(), std::chrono::milliseconds(20), [&] { ran = true; });
        postToMain(context.get(), [&] { ran = true; });
        context.reset();
        QObject live; // posted after them, so it runs after they would have
        bool later = false;
        postToMainAfter(&live, std::chrono::milliseconds(20), [&] { later = true; });
        QTRY_VERIFY(later);
        QVERIFY(!ran);
    }
};

QTEST_GUILESS_MAIN(TestQueues)
#include "test_queues.moc"
