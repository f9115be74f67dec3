// The body a notification is sent with. Sending it to a notification server is the desktop tier's (Count
// Words and Characters, against the stand-in server).
#include "platform/linux/services/DesktopNotifications.h"

#include <glib.h>

#include <gtest/gtest.h>

namespace quoddle {
namespace {

// Plain text of at most so many characters: markup escaped, cut at whole characters (never inside an
// escape) with an ellipsis, bad bytes and NULs replaced, so that the bus takes any output of a service.
TEST(NotificationBodyTest, EscapesCutsAndRepairsTheText) {
    const std::tuple<std::string, std::size_t, std::string> cases[] = {
        {"a < b && c > d", 2000, "a &lt; b &amp;&amp; c &gt; d"},
        {"<b>bold</b> &amp;", 2000, "&lt;b&gt;bold&lt;/b&gt; &amp;amp;"},
        {"abcdefg", 6, "abcde…"},
        {"éééééééééé", 5, "éééé…"},
        {"&&&&", 4, "&amp;&amp;&amp;&amp;"},
        {"ok \xff end", 2000, "ok \xEF\xBF\xBD end"},
        {std::string("a\0b", 3), 2000,
         "a\xEF\xBF\xBD"
         "b"},
        {std::string(6, '\xff'), 4, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD…"}};
    for (const auto& [text, limit, body] : cases)
        EXPECT_EQ(notificationBody(text, limit), body) << text;
    const std::string body = notificationBody(std::string(10000, 'x'));
    EXPECT_EQ(g_utf8_strlen(body.data(), static_cast<gssize>(body.size())), 2000);
    EXPECT_TRUE(body.ends_with("…"));
}

} // namespace
} // namespace quoddle
