#include "widgets/async_scheduler.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

void runEventLoopUntil(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired())
        QTest::qWait(5);
}

void flushDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

TEST(AsyncScheduler, RunsOnceFromTheEventLoopThenDeletesItselfUnlessKept)
{
    // A kept scheduler is unreachable by design; what its call holds stays
    // reachable here so that the leak checker reports nothing for the test.
    static std::vector<std::shared_ptr<int>> keptAlive;
    struct Case {
        bool deleteAlways, answer, deleted;
    };
    for (const Case& c :
         {Case{true, true, true}, Case{true, false, true}, Case{false, false, true}, Case{false, true, false}}) {
        int runs = 0;
        auto sentinel = std::make_shared<int>();
        const std::weak_ptr<int> watch = sentinel;
        QAsyncScheduler::Schedule([&runs, sentinel, answer = c.answer] { return ++runs, answer; }, c.deleteAlways);
        EXPECT_EQ(runs, 0);
        if (!c.deleted)
            keptAlive.push_back(sentinel);
        sentinel.reset();
        runEventLoopUntil([&] { return runs > 0; });
        QTest::qWait(30);
        flushDeferredDeletes();
        EXPECT_EQ(runs, 1) << c.deleteAlways << c.answer;
        EXPECT_EQ(watch.use_count(), c.deleted ? 0 : 2) << c.deleteAlways << c.answer;
    }
}

TEST(AsyncScheduler, AnEmptyCallIsHarmless)
{
    QAsyncScheduler::Schedule(std::function<bool()>(), true);
    QPointer<QAsyncScheduler> direct = new QAsyncScheduler(std::function<bool()>(), false);
    QMetaObject::invokeMethod(direct, "Execute");  // as if its timer had fired
    QTest::qWait(30);
    flushDeferredDeletes();
    EXPECT_TRUE(direct.isNull());  // an empty call answers false
}
