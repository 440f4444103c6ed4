#include "widgets/guards.h"

#include <QApplication>
#include <QCursor>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <stdexcept>

TEST(OverrideCursorGuard, NestedGuardsRestoreInOrder)
{
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    {
        OverrideCursorGuard outer(Qt::WaitCursor);
        {
            OverrideCursorGuard inner(Qt::CrossCursor);
            EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
        }
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(SignalBlockerGroup, BlocksDuringScopeAndAlwaysUnblocks)
{
    QObject first, second, alreadyBlocked;
    alreadyBlocked.blockSignals(true);
    QSignalSpy spy(&first, &QObject::objectNameChanged);
    {
        SignalBlockerGroup group(&first, nullptr, &second, &alreadyBlocked, &first);
        EXPECT_TRUE(first.signalsBlocked() && second.signalsBlocked());
        first.setObjectName("a");
    }
    // Not a restoring blocker: an object blocked beforehand is live afterwards.
    EXPECT_FALSE(first.signalsBlocked() || second.signalsBlocked() || alreadyBlocked.signalsBlocked());
    first.setObjectName("b");
    EXPECT_EQ(spy.count(), 1);
    SignalBlockerGroup(nullptr, nullptr, nullptr, nullptr, nullptr);
}

TEST(Guards, AnExceptionLeavingTheScopeRestoresCursorAndSignals)
{
    QObject object;
    try {
        OverrideCursorGuard guard(Qt::WaitCursor);
        SignalBlockerGroup group(&object);
        throw std::runtime_error("load failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(object.signalsBlocked());
}
