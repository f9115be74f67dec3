#include "platform/linux/services/DesktopNotifications.h"
#include "desktop/NotificationServer.h"
#include "platform/linux/QtTestApp.h"

#include <gio/gio.h>
#include <glib.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace quoddle {
namespace {

using namespace std::chrono_literals;
using desktop::NotificationServer;
using test::spinUntil;
using test::turnLoop;

bool validUtf8(const std::string& text) {
    return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

std::size_t characters(const std::string& text) {
    return static_cast<std::size_t>(g_utf8_strlen(text.data(), static_cast<gssize>(text.size())));
}

TEST(NotificationBodyTest, EscapesMarkupAndKeepsTheRest) {
    EXPECT_EQ(notificationBody("a < b && c > d"), "a &lt; b &amp;&amp; c &gt; d");
    EXPECT_EQ(notificationBody("<b>bold</b> &amp;"), "&lt;b&gt;bold&lt;/b&gt; &amp;amp;");
    EXPECT_EQ(notificationBody("Grüße \"quoted\" 'x'\nline"), "Grüße \"quoted\" 'x'\nline");
    EXPECT_EQ(notificationBody(""), "");
}

TEST(NotificationBodyTest, CutsLongTextAtWholeCharactersWithAnEllipsis) {
    EXPECT_EQ(notificationBody("abcdef", 6), "abcdef");
    EXPECT_EQ(notificationBody("abcdefg", 6), "abcde…");
    // Two bytes each: a cut by bytes would end in half a character.
    const std::string accents = "éééééééééé";
    const std::string cut = notificationBody(accents, 5);
    EXPECT_EQ(cut, "éééé…");
    EXPECT_TRUE(validUtf8(cut));
    EXPECT_EQ(notificationBody("日本語のテキスト", 4), "日本語…");
    EXPECT_EQ(notificationBody("x😀😀😀", 3), "x😀…");
    // The limit counts the characters shown, not the escapes, and never splits an escape.
    EXPECT_EQ(notificationBody("&&&&", 4), "&amp;&amp;&amp;&amp;");
    EXPECT_EQ(notificationBody("aaa&bbb", 5), "aaa&amp;…");
    EXPECT_EQ(notificationBody("aaaa<bb", 5), "aaaa…");

    const std::string longText(10000, 'x');
    const std::string body = notificationBody(longText);
    EXPECT_EQ(characters(body), 2000u);
    EXPECT_EQ(body.substr(body.size() - 3), "…");
}

TEST(NotificationBodyTest, TurnsAnyBytesIntoValidText) {
    const std::string binary =
        std::string("ok \xff\xfe bytes \xc3", 13) + std::string("\0after", 6) + " end\xe2\x82";
    const std::string body = notificationBody(binary);
    EXPECT_TRUE(validUtf8(body)) << body;
    EXPECT_EQ(body.find('\0'), std::string::npos);
    EXPECT_EQ(body.rfind("ok ", 0), 0u);
    EXPECT_NE(body.find("\xEF\xBF\xBD"), std::string::npos); // U+FFFD in place of the bad bytes
    EXPECT_NE(body.find("after"), std::string::npos);
    EXPECT_NE(body.find(" end"), std::string::npos);
    // Cutting counts the replacements as characters, and keeps them whole.
    const std::string cut = notificationBody(std::string(6, '\xff'), 4);
    EXPECT_TRUE(validUtf8(cut));
    EXPECT_EQ(characters(cut), 4u);
}

bool sessionBus() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return address && *address;
}

// Whether a notification server runs or can be started by the bus; the tests of "no server" need neither.
bool notificationServerReachable() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    bool reachable = false;
    GVariant* owned = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
        g_variant_new("(s)", "org.freedesktop.Notifications"), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
        2000, nullptr, nullptr);
    if (owned) {
        gboolean has = FALSE;
        g_variant_get(owned, "(b)", &has);
        reachable = has;
        g_variant_unref(owned);
    }
    GVariant* activatable = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListActivatableNames",
        nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    if (activatable) {
        GVariantIter* names = nullptr;
        g_variant_get(activatable, "(as)", &names);
        const gchar* name = nullptr;
        while (g_variant_iter_next(names, "&s", &name))
            if (std::string(name) == "org.freedesktop.Notifications") reachable = true;
        g_variant_iter_free(names);
        g_variant_unref(activatable);
    }
    g_object_unref(bus);
    return reachable;
}

class DesktopNotificationsTest : public test::WithQtApplication, public ::testing::Test {
protected:
    void SetUp() override {
        if (!sessionBus()) GTEST_SKIP() << "no session bus";
    }

    // Shows a notification; the reason it failed, if it did by the time the server saw it or gave up.
    std::shared_ptr<std::optional<std::string>> show(const std::string& summary, const std::string& body) {
        auto failure = std::make_shared<std::optional<std::string>>();
        showDesktopNotification(summary, body, [failure](const std::string& reason) { *failure = reason; });
        return failure;
    }
};

TEST_F(DesktopNotificationsTest, TheServerGetsTheSummaryAndTheEscapedBody) {
    NotificationServer server;
    ASSERT_TRUE(server.waitUntilOwned()) << server.problem();
    auto failure = show("Word Count", "<b>3</b> words & more");
    ASSERT_TRUE(spinUntil([&] { return !server.received().empty() || failure->has_value(); }))
        << "no notification arrived";
    ASSERT_FALSE(failure->has_value()) << **failure;
    const auto notification = server.waitForNotification(0ms);
    ASSERT_TRUE(notification.has_value());
    EXPECT_EQ(notification->appName, "Quoddle");
    EXPECT_EQ(notification->appIcon, "quoddle");
    EXPECT_EQ(notification->summary, "Word Count");
    EXPECT_EQ(notification->body, "&lt;b&gt;3&lt;/b&gt; words &amp; more");
    EXPECT_EQ(notification->replacesId, 0u);
    EXPECT_EQ(notification->expireTimeout, -1);
    EXPECT_TRUE(notification->actions.empty());

    // Binary output of a service still makes a message the bus accepts.
    auto second = show(std::string("Sum\xff", 4), std::string("bin\xff\0ary", 8));
    ASSERT_TRUE(spinUntil([&] { return server.received().size() == 2 || second->has_value(); }));
    ASSERT_FALSE(second->has_value()) << **second;
    const auto binary = server.waitForNotification(0ms);
    ASSERT_TRUE(binary.has_value());
    EXPECT_TRUE(validUtf8(binary->summary));
    EXPECT_EQ(binary->summary.rfind("Sum", 0), 0u);
    EXPECT_TRUE(validUtf8(binary->body));
    EXPECT_EQ(binary->body.rfind("bin", 0), 0u);
    EXPECT_NE(binary->body.find("ary"), std::string::npos);
    turnLoop();
    EXPECT_FALSE(failure->has_value());
    EXPECT_FALSE(server.waitForNotification(0ms).has_value());
}

TEST_F(DesktopNotificationsTest, FailsWithAReasonWhenNoServerAnswers) {
    if (notificationServerReachable()) GTEST_SKIP() << "a notification server runs on this bus";
    auto failure = show("Summary", "body");
    ASSERT_TRUE(spinUntil([&] { return failure->has_value(); }, 5s));
    EXPECT_FALSE((*failure)->empty());
    EXPECT_EQ((*failure)->find("body"), std::string::npos) << **failure;
}

// The stand-in answers while the caller's thread is blocked and iterates nothing, as a plain test's would.
TEST_F(DesktopNotificationsTest, TheStandInServerAnswersWithoutTheCallersLoop) {
    NotificationServer server;
    ASSERT_TRUE(server.waitUntilOwned()) << server.problem();
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    ASSERT_NE(bus, nullptr);
    auto call = [bus](const char* method, GVariant* parameters, const char* replyType) {
        return g_dbus_connection_call_sync(bus, "org.freedesktop.Notifications",
                                           "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                           method, parameters, G_VARIANT_TYPE(replyType),
                                           G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    };
    GVariant* information = call("GetServerInformation", nullptr, "(ssss)");
    ASSERT_NE(information, nullptr);
    const gchar *name = nullptr, *vendor = nullptr, *version = nullptr, *protocol = nullptr;
    g_variant_get(information, "(&s&s&s&s)", &name, &vendor, &version, &protocol);
    EXPECT_STREQ(name, "quoddle-test");
    EXPECT_STREQ(protocol, "1.2");
    g_variant_unref(information);

    GVariant* first = call(
        "Notify", g_variant_new("(susssasa{sv}i)", "app", 0u, "", "one", "1", nullptr, nullptr, 0), "(u)");
    GVariant* second = call(
        "Notify", g_variant_new("(susssasa{sv}i)", "app", 0u, "", "two", "2", nullptr, nullptr, 0), "(u)");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    guint32 firstId = 0, secondId = 0;
    g_variant_get(first, "(u)", &firstId);
    g_variant_get(second, "(u)", &secondId);
    EXPECT_NE(firstId, 0u);
    EXPECT_NE(firstId, secondId);
    g_variant_unref(first);
    g_variant_unref(second);
    g_object_unref(bus);

    // In order, each once.
    EXPECT_EQ(server.waitForNotification(0ms).value().summary, "one");
    EXPECT_EQ(server.waitForNotification(0ms).value().summary, "two");
    EXPECT_FALSE(server.waitForNotification(0ms).has_value());
    EXPECT_EQ(server.received().size(), 2u);
}

} // namespace
} // namespace quoddle
