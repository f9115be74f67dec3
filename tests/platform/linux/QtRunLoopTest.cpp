#include "platform/linux/QtRunLoop.h"
#include "platform/linux/QtTestApp.h"

#include <QEventLoop>

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <thread>
#include <vector>

namespace quoddle {
namespace {

using namespace std::chrono_literals;
using test::spinUntil;

class QtRunLoopTest : public test::WithQtApplication, public ::testing::Test {
protected:
    // Turns the loop until a timer scheduled now, later than everything scheduled before, has fired:
    // whatever was due by then has had its chance to run.
    void turnPast(std::chrono::milliseconds delay) {
        bool fired = false;
        loop.scheduleTimer(delay, false, [&] { fired = true; });
        ASSERT_TRUE(spinUntil([&] { return fired; }));
    }

    QtRunLoop loop;
};

TEST_F(QtRunLoopTest, FiresOneShotTimersOnceAndRepeatingOnesUntilInvalidated) {
    int oneShot = 0;
    int repeating = 0;
    TimerId repeatingId = 0;
    loop.scheduleTimer(10ms, false, [&] { ++oneShot; });
    repeatingId = loop.scheduleTimer(5ms, true, [&] {
        // Invalidated from inside its own action, on the third tick.
        if (++repeating == 3) loop.invalidateTimer(repeatingId);
    });
    EXPECT_EQ(loop.scheduledTimerCount(), 2u);
    ASSERT_TRUE(spinUntil([&] { return oneShot == 1 && repeating == 3; }));
    turnPast(40ms);
    EXPECT_EQ(oneShot, 1);
    EXPECT_EQ(repeating, 3);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

TEST_F(QtRunLoopTest, InvalidatingStopsPendingTimersAndIgnoresUnknownOrFiredOnes) {
    int fired = 0;
    TimerId once = 0;
    const TimerId pending = loop.scheduleTimer(5ms, false, [&] { fired += 100; });
    once = loop.scheduleTimer(1ms, false, [&] {
        ++fired;
        // A one-shot timer is over once its action runs: invalidating it there does nothing.
        loop.invalidateTimer(once);
    });
    loop.invalidateTimer(pending);
    loop.invalidateTimer(pending);
    loop.invalidateTimer(987654);
    ASSERT_TRUE(spinUntil([&] { return fired == 1; }));
    loop.invalidateTimer(once);
    turnPast(30ms);
    EXPECT_EQ(fired, 1);

    // A timer invalidated by another's action, both due at the same moment, does not fire either.
    int second = 0;
    TimerId victim = 0;
    loop.scheduleTimer(2ms, false, [&] { loop.invalidateTimer(victim); });
    victim = loop.scheduleTimer(2ms, false, [&] { ++second; });
    turnPast(30ms);
    EXPECT_EQ(second, 0);
}

TEST_F(QtRunLoopTest, ARepeatingTimerIsNeverEnteredAgainFromANestedLoop) {
    int depth = 0;
    int deepest = 0;
    int ticks = 0;
    int otherTicks = 0;
    TimerId other = loop.scheduleTimer(3ms, true, [&] { ++otherTicks; });
    TimerId id = loop.scheduleTimer(2ms, true, [&] {
        ++depth;
        deepest = std::max(deepest, depth);
        if (++ticks == 1) {
            // As a modal alert would: the loop turns inside the action, long enough for many ticks.
            spinUntil([&] { return otherTicks >= 10; });
        }
        --depth;
    });
    ASSERT_TRUE(spinUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(deepest, 1);
    EXPECT_GE(otherTicks, 10);
    loop.invalidateTimer(id);
    loop.invalidateTimer(other);
}

TEST_F(QtRunLoopTest, RunsPostedWorkLaterOnTheMainThreadInOrder) {
    bool ran = false;
    loop.post([&] { ran = true; });
    EXPECT_FALSE(ran); // never inline, even from the main thread
    ASSERT_TRUE(spinUntil([&] { return ran; }));

    constexpr int kTasks = 200;
    std::vector<int> order;
    std::atomic<bool> workerOnMainThread{true};
    bool allOnMainThread = true;
    std::thread worker([&] {
        workerOnMainThread = loop.isMainThread();
        for (int i = 0; i < kTasks; ++i)
            loop.post([&, i] {
                allOnMainThread = allOnMainThread && loop.isMainThread();
                order.push_back(i);
            });
    });
    ASSERT_TRUE(spinUntil([&] { return order.size() == kTasks; }));
    worker.join();
    EXPECT_TRUE(loop.isMainThread());
    EXPECT_FALSE(workerOnMainThread);
    EXPECT_TRUE(allOnMainThread);
    for (int i = 0; i < kTasks; ++i)
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
}

TEST_F(QtRunLoopTest, WorkAndTimersOfADestroyedLoopNeverRun) {
    int ran = 0;
    {
        QtRunLoop gone;
        gone.post([&] { ++ran; });
        gone.scheduleTimer(0ms, false, [&] { ++ran; });
        gone.scheduleTimer(1ms, true, [&] { ++ran; });
    }
    turnPast(20ms);
    EXPECT_EQ(ran, 0);
}

TEST(QtRunLoopIntervalTest, ConvertsIntervalsToWholeMilliseconds) {
    EXPECT_EQ(timerMilliseconds(std::chrono::duration<double>(0.05)), 50);
    EXPECT_EQ(timerMilliseconds(std::chrono::duration<double>(0.0504)), 50);
    EXPECT_EQ(timerMilliseconds(std::chrono::duration<double>(0.0016)), 2);
    EXPECT_EQ(timerMilliseconds(std::chrono::duration<double>(0)), 0);
    EXPECT_EQ(timerMilliseconds(std::chrono::duration<double>(-3)), 0);
    EXPECT_EQ(timerMilliseconds(std::chrono::duration<double>(std::numeric_limits<double>::quiet_NaN())), 0);
    EXPECT_EQ(timerMilliseconds(std::chrono::duration<double>(1e12)), std::numeric_limits<int>::max());
}

} // namespace
} // namespace quoddle
