#pragma once
// Desktop notifications (org.freedesktop.Notifications on the session bus), for services whose output is
// shown to the user.

#include <functional>
#include <string>

namespace quoddle {

// Asks the notification server to show the summary and body (the body as plain text: markup characters
// are escaped, and a very long body is cut with an ellipsis). Asynchronous; failed, when set, runs on the
// main loop with a reason when no server answers or it refuses.
void showDesktopNotification(const std::string& summary, const std::string& body,
                             std::function<void(const std::string& reason)> failed);

// The body as sent: markup escaped (&, <, >), cut to at most maxCharacters characters (UTF-8 kept whole).
std::string notificationBody(const std::string& text, std::size_t maxCharacters = 2000);

} // namespace quoddle
