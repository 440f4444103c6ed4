#include "widgets/guards.h"

#include <QApplication>
#include <QCursor>
#include <QObject>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

Qt::CursorShape currentOverride()
{
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor ? cursor->shape() : Qt::BitmapCursor;  // BitmapCursor: "none" in these tests
}

class Emitter : public QObject {
public:
    // setObjectName emits objectNameChanged whenever the name changes.
    void ping() { setObjectName(objectName() + QLatin1Char('x')); }
};

} // namespace

TEST(OverrideCursorGuard, NestedGuardsRestoreInOrder)
{
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    {
        OverrideCursorGuard outer(Qt::WaitCursor);
        EXPECT_EQ(currentOverride(), Qt::WaitCursor);
        {
            OverrideCursorGuard inner(Qt::CrossCursor);
            EXPECT_EQ(currentOverride(), Qt::CrossCursor);
        }
        EXPECT_EQ(currentOverride(), Qt::WaitCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(OverrideCursorGuard, ExceptionLeavingScopeRestoresCursor)
{
    try {
        OverrideCursorGuard guard(Qt::WaitCursor);
        throw std::runtime_error("load failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(SignalBlockerGroup, BlocksDuringScopeAndAlwaysUnblocks)
{
    Emitter first, second, alreadyBlocked;
    alreadyBlocked.blockSignals(true);
    QSignalSpy spy(&first, &QObject::objectNameChanged);
    {
        SignalBlockerGroup group(&first, nullptr, &second, &alreadyBlocked);
        EXPECT_TRUE(first.signalsBlocked());
        EXPECT_TRUE(second.signalsBlocked());
        first.ping();
        EXPECT_EQ(spy.count(), 0);
    }
    EXPECT_FALSE(first.signalsBlocked());
    EXPECT_FALSE(second.signalsBlocked());
    // Not a restoring blocker: an object blocked beforehand is live afterwards.
    EXPECT_FALSE(alreadyBlocked.signalsBlocked());
    first.ping();
    EXPECT_EQ(spy.count(), 1);
}

TEST(SignalBlockerGroup, SameObjectTwiceAndAllNull)
{
    Emitter object;
    {
        SignalBlockerGroup group(&object, &object);
        EXPECT_TRUE(object.signalsBlocked());
    }
    EXPECT_FALSE(object.signalsBlocked());
    { SignalBlockerGroup nothing(nullptr, nullptr, nullptr, nullptr, nullptr); }
    EXPECT_FALSE(object.signalsBlocked());
}

TEST(SignalBlockerGroup, ExceptionLeavingScopeUnblocks)
{
    Emitter object;
    try {
        SignalBlockerGroup group(&object);
        throw std::runtime_error("refill failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(object.signalsBlocked());
}
