#include "support/MainThreadNotifications.h"

namespace quoddle {

void postNotificationOnMainThread(NotificationCenter& center, RunLoop& runLoop,
                                  const Notification& notification) {
    if (runLoop.isMainThread()) {
        center.postNotification(notification);
        return;
    }
    runLoop.post([&center, notification] { center.postNotification(notification); });
}

} // namespace quoddle
