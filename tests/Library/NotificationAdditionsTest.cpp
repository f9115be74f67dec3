#include "Library/NotificationAdditions.h"
#include "platform/sim/SimRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace quoddle {
namespace {

class MainThreadPosting : public ::testing::Test {
protected:
    void SetUp() override {
        observer =
            NotificationCenter::defaultCenter().addObserver("Ping", nullptr, [this](const Notification& n) {
                received.push_back(n);
                onMainThread = onMainThread && runLoop.isMainThread();
            });
    }
    void TearDown() override { NotificationCenter::defaultCenter().removeObserver(observer); }

    SimClock clock;
    SimRunLoop runLoop{clock};
    NotificationCenter::ObserverId observer = 0;
    std::vector<Notification> received;
    bool onMainThread = true;
};

TEST_F(MainThreadPosting, OnTheMainThreadEveryFormPostsBeforeReturningOnTheReceivingCentre) {
    NotificationCenter own;
    int ownCalls = 0;
    own.addObserver("Ping", nullptr, [&](const Notification&) { ++ownCalls; });
    postNotificationOnMainThreadWithName(own, runLoop, "Ping", this);
    postNotificationOnMainThreadWithName(own, runLoop, "Ping", this, NotificationUserInfo{{"k", 1}});
    postNotificationOnMainThread(own, runLoop, Notification{"Ping", nullptr, {}}, true);
    EXPECT_EQ(ownCalls, 3);
    EXPECT_TRUE(received.empty()) << "the default centre was not the receiver";
    EXPECT_EQ(runLoop.runPending(), 0) << "nothing was queued";
}

TEST_F(MainThreadPosting, FromAnotherThreadItIsDeliveredOnTheMainThreadWithWhatWasGiven) {
    int marker = 0;
    std::thread poster([&] {
        postNotificationOnMainThreadWithName(NotificationCenter::defaultCenter(), runLoop, "Ping", nullptr);
        postNotificationOnMainThreadWithName(NotificationCenter::defaultCenter(), runLoop, "Ping", &marker,
                                             NotificationUserInfo{{"answer", 42}});
    });
    poster.join();
    EXPECT_TRUE(received.empty()) << "nothing runs before the main loop turns";
    runLoop.runPending();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].object, nullptr);
    EXPECT_TRUE(received[0].userInfo.empty());
    EXPECT_EQ(received[1].object, &marker);
    EXPECT_EQ(std::any_cast<int>(received[1].userInfo.at("answer")), 42);
    EXPECT_TRUE(onMainThread);
}

TEST_F(MainThreadPosting, TheWaitFlagBlocksTheCallerUntilTheObserversHaveRun) {
    std::atomic<bool> returned{false};
    std::atomic<std::size_t> seenAtReturn{0};
    NotificationCenter other; // a hand-over reaches the default centre whatever the receiver
    std::thread poster([&] {
        postNotificationOnMainThreadWithName(other, runLoop, "Ping", nullptr, std::nullopt, true);
        seenAtReturn = received.size();
        returned = true;
    });
    ASSERT_TRUE(runLoop.runUntil([&] { return !received.empty(); }, std::chrono::seconds(10)));
    poster.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(seenAtReturn, 1u);
    EXPECT_TRUE(onMainThread);
}

TEST(NotificationQueueTest, CoalescesOnNameAndSenderAndPostsOnALaterPass) {
    SimClock clock;
    SimRunLoop runLoop(clock);
    NotificationCenter center;
    std::vector<std::string> posted;
    center.addObserver("", nullptr, [&](const Notification& n) { posted.push_back(n.name); });
    NotificationQueue queue(center, runLoop);
    int a = 0, b = 0;
    enqueueNotificationOnMainThread(queue, runLoop, Notification{"Changed", &a, {}}, NSPostingStyle::asap);
    enqueueNotificationOnMainThread(queue, runLoop, Notification{"Changed", &a, {}}, NSPostingStyle::asap);
    enqueueNotificationOnMainThread(queue, runLoop, Notification{"Changed", &b, {}}, NSPostingStyle::asap);
    enqueueNotificationOnMainThread(queue, runLoop, Notification{"Other", &a, {}}, NSPostingStyle::whenIdle);
    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(queue.waitingCount(), 3u) << "only the same name from the same sender coalesces";
    runLoop.runPending();
    EXPECT_EQ(posted, (std::vector<std::string>{"Changed", "Changed", "Other"}));
    queue.enqueueNotification(Notification{"Now", nullptr, {}}, NSPostingStyle::now,
                              NSNotificationNoCoalescing);
    EXPECT_EQ(posted.back(), "Now");
}

} // namespace
} // namespace quoddle
