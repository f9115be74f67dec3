#pragma once
// Posting notifications so that observers always run on the main thread, whatever thread posts: on the
// main thread at once, from another thread handed over through the main run loop.

#include "Library/NotificationCenter.h"
#include "platform/RunLoop.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quoddle {

using NotificationUserInfo = std::map<std::string, std::any>;

// From another thread the posting reaches the default centre, whatever the receiving centre; with the
// wait flag the caller blocks until every observer has returned.
void postNotificationOnMainThreadWithName(NotificationCenter& center, RunLoop& runLoop,
                                          const std::string& name, const void* object,
                                          std::optional<NotificationUserInfo> userInfo, bool waitUntilDone);
void postNotificationOnMainThreadWithName(NotificationCenter& center, RunLoop& runLoop,
                                          const std::string& name, const void* object,
                                          std::optional<NotificationUserInfo> userInfo);
void postNotificationOnMainThreadWithName(NotificationCenter& center, RunLoop& runLoop,
                                          const std::string& name, const void* object);
void postNotificationOnMainThread(NotificationCenter& center, RunLoop& runLoop,
                                  const Notification& notification, bool waitUntilDone = false);

enum class NSPostingStyle : std::uint32_t { whenIdle = 1, asap = 2, now = 3 };
inline constexpr std::uint32_t NSNotificationNoCoalescing = 0;
inline constexpr std::uint32_t NSNotificationCoalescingOnName = 1;
inline constexpr std::uint32_t NSNotificationCoalescingOnSender = 2;

// A queue that posts its notifications to a centre on a later pass of the run loop, dropping one that
// matches a notification already waiting (by name, sender or both, as the mask says).
class NotificationQueue {
public:
    NotificationQueue(NotificationCenter& center, RunLoop& runLoop) : center_(center), runLoop_(runLoop) {}
    void enqueueNotification(const Notification& notification, NSPostingStyle postingStyle,
                             std::uint32_t coalesceMask, const std::vector<std::string>& modes = {});
    std::size_t waitingCount() const { return waiting_.size(); }

private:
    void flush();
    NotificationCenter& center_;
    RunLoop& runLoop_;
    std::vector<Notification> waiting_;
    bool flushScheduled_ = false;
};

// Enqueues on the receiving queue, which belongs to the main thread: from another thread the enqueuing is
// handed over to the main loop, never waiting.
void enqueueNotificationOnMainThread(NotificationQueue& queue, RunLoop& runLoop,
                                     const Notification& notification, NSPostingStyle postingStyle,
                                     std::uint32_t coalesceMask = NSNotificationCoalescingOnName |
                                                                  NSNotificationCoalescingOnSender,
                                     const std::vector<std::string>& modes = {});

} // namespace quoddle
