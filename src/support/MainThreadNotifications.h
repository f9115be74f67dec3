#pragma once
// Posting a notification so that its observers always run on the main thread, whatever thread posts: on
// the main thread at once, from another thread on a later pass of the main run loop.

#include "platform/RunLoop.h"
#include "support/NotificationCenter.h"

namespace quoddle {

// The centre must outlive the run loop's queued work.
void postNotificationOnMainThread(NotificationCenter& center, RunLoop& runLoop,
                                  const Notification& notification);

} // namespace quoddle
