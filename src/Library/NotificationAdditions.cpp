#include "Library/NotificationAdditions.h"

#include <future>

namespace quoddle {

namespace {

// Runs the task on the main thread; the caller blocks until it has run when asked to wait.
void performOnMainThread(RunLoop& runLoop, RunLoop::Task task, bool waitUntilDone) {
    if (!waitUntilDone) {
        runLoop.post(std::move(task));
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    runLoop.post([task = std::move(task), done] {
        task();
        done->set_value();
    });
    finished.wait();
}

} // namespace

void postNotificationOnMainThreadWithName(NotificationCenter& center, RunLoop& runLoop,
                                          const std::string& name, const void* object,
                                          std::optional<NotificationUserInfo> userInfo, bool waitUntilDone) {
    postNotificationOnMainThread(center, runLoop,
                                 Notification{name, object, userInfo.value_or(NotificationUserInfo{})},
                                 waitUntilDone);
}

void postNotificationOnMainThreadWithName(NotificationCenter& center, RunLoop& runLoop,
                                          const std::string& name, const void* object,
                                          std::optional<NotificationUserInfo> userInfo) {
    postNotificationOnMainThreadWithName(center, runLoop, name, object, std::move(userInfo), false);
}

void postNotificationOnMainThreadWithName(NotificationCenter& center, RunLoop& runLoop,
                                          const std::string& name, const void* object) {
    postNotificationOnMainThreadWithName(center, runLoop, name, object, std::nullopt, false);
}

void postNotificationOnMainThread(NotificationCenter& center, RunLoop& runLoop,
                                  const Notification& notification, bool waitUntilDone) {
    if (runLoop.isMainThread()) {
        center.postNotification(notification);
        return;
    }
    performOnMainThread(
        runLoop, [notification] { NotificationCenter::defaultCenter().postNotification(notification); },
        waitUntilDone);
}

void NotificationQueue::enqueueNotification(const Notification& notification, NSPostingStyle postingStyle,
                                            std::uint32_t coalesceMask, const std::vector<std::string>&) {
    if (postingStyle == NSPostingStyle::now) {
        center_.postNotification(notification);
        return;
    }
    if (coalesceMask != NSNotificationNoCoalescing) {
        for (const Notification& queued : waiting_) {
            bool sameName =
                !(coalesceMask & NSNotificationCoalescingOnName) || queued.name == notification.name;
            bool sameSender =
                !(coalesceMask & NSNotificationCoalescingOnSender) || queued.object == notification.object;
            if (sameName && sameSender) return;
        }
    }
    waiting_.push_back(notification);
    if (flushScheduled_) return;
    flushScheduled_ = true;
    runLoop_.post([this] { flush(); });
}

void NotificationQueue::flush() {
    flushScheduled_ = false;
    std::vector<Notification> due;
    due.swap(waiting_);
    for (const Notification& notification : due)
        center_.postNotification(notification);
}

void enqueueNotificationOnMainThread(NotificationQueue& queue, RunLoop& runLoop,
                                     const Notification& notification, NSPostingStyle postingStyle,
                                     std::uint32_t coalesceMask, const std::vector<std::string>& modes) {
    if (runLoop.isMainThread()) {
        queue.enqueueNotification(notification, postingStyle, coalesceMask, modes);
        return;
    }
    runLoop.post([&queue, notification, postingStyle, coalesceMask, modes] {
        queue.enqueueNotification(notification, postingStyle, coalesceMask, modes);
    });
}

} // namespace quoddle
