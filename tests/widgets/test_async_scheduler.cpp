#include "widgets/async_scheduler.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {
void flushDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
}  // namespace

TEST(AsyncScheduler, RunsOnceFromTheEventLoopThenDeletesItselfUnlessKept)
{
    // A kept scheduler is unreachable by design; its sentinel stays reachable
    // here so that the leak checker reports nothing.
    static std::vector<std::shared_ptr<int>> keptAlive;
    const bool cases[][3] = {{true, true, true}, {true, false, true}, {false, false, true}, {false, true, false}};
    for (const auto& [deleteAlways, answer, deleted] : cases) {
        int runs = 0;
        auto sentinel = std::make_shared<int>();
        const std::weak_ptr<int> watch = sentinel;
        QAsyncScheduler::Schedule([&runs, sentinel, a = answer] { return ++runs, a; }, deleteAlways);
        EXPECT_EQ(runs, 0);
        if (!deleted)
            keptAlive.push_back(sentinel);
        sentinel.reset();
        EXPECT_TRUE(QTest::qWaitFor([&runs] { return runs > 0; }, 5000));
        QTest::qWait(30);
        flushDeferredDeletes();
        EXPECT_EQ(runs, 1) << deleteAlways << answer;
        EXPECT_EQ(watch.use_count(), deleted ? 0 : 2) << deleteAlways << answer;
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
