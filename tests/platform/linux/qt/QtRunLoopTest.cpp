#include "platform/linux/qt/QtRunLoop.h"
#include "platform/linux/QtTestApp.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

namespace quoddle {
namespace {

using namespace std::chrono_literals;
using test::spinUntil;

class QtRunLoopTest : public test::WithQtApplication, public ::testing::Test {
protected:
    // Turns the loop until a timer scheduled now, later than everything scheduled before, has fired:
    // whatever was due by then has had its chance to run (the positive control of every "did not run").
    void turnPast(std::chrono::milliseconds delay) {
        bool fired = false;
        loop.scheduleTimer(delay, false, [&] { fired = true; });
        ASSERT_TRUE(spinUntil([&] { return fired; }));
    }

    QtRunLoop loop;
};

TEST_F(QtRunLoopTest, TimersFireUntilInvalidatedAlsoFromInsideAnActionAndNeverOnceTheirLoopWent) {
    int oneShot = 0, repeating = 0, victimFired = 0;
    TimerId repeatingId = 0, victim = 0, once = 0;
    once = loop.scheduleTimer(10ms, false, [&] {
        ++oneShot;
        loop.invalidateTimer(once); // over once its action runs: nothing
    });
    repeatingId = loop.scheduleTimer(5ms, true, [&] {
        if (++repeating == 3) loop.invalidateTimer(repeatingId);
    });
    const TimerId pending = loop.scheduleTimer(5ms, false, [&] { oneShot += 100; });
    loop.invalidateTimer(pending);
    loop.invalidateTimer(pending);
    loop.invalidateTimer(987654);
    // Invalidated by another's action, both due at the same moment: it does not fire either.
    loop.scheduleTimer(2ms, false, [&] { loop.invalidateTimer(victim); });
    victim = loop.scheduleTimer(2ms, false, [&] { ++victimFired; });
    // Work and timers of a loop that went never run.
    int ran = 0;
    {
        QtRunLoop gone;
        gone.post([&] { ++ran; });
        gone.scheduleTimer(0ms, false, [&] { ++ran; });
        gone.scheduleTimer(1ms, true, [&] { ++ran; });
    }
    ASSERT_TRUE(spinUntil([&] { return oneShot >= 1 && repeating >= 3; }));
    turnPast(40ms);
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(oneShot, 1);
    EXPECT_EQ(repeating, 3);
    EXPECT_EQ(victimFired, 0);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

// Posted work runs later, never inline, in order, also when posted from another thread.
TEST_F(QtRunLoopTest, RunsPostedWorkLaterOnTheMainThreadInOrder) {
    std::vector<int> order;
    loop.post([&] { order.push_back(0); });
    EXPECT_TRUE(order.empty()) << "never inline, even from the main thread";
    std::thread worker([&] {
        for (int i = 1; i <= 100; ++i)
            loop.post([&, i] { order.push_back(loop.isMainThread() ? i : -i); });
    });
    EXPECT_TRUE(spinUntil([&] { return order.size() == 101; })); // posted while this thread turns the loop
    worker.join();
    std::vector<int> expected(101);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected) << "in order, on the main thread";
}

} // namespace
} // namespace quoddle
