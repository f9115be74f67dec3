// Desktop services on the virtual desktop: a person selects text in a real application, and a service
// button of the palette runs a service on it, whose output replaces the text, lands on the clipboard or
// shows in a notification. The services are the shipped ones and a few the test writes as a user would.
#include "DesktopTest.h"

#include <gio/gio.h>

namespace quoddle::desktop {
namespace {

namespace fs = std::filesystem;

// Only the method Quoddle calls (arguments are the method's input unless they say otherwise).
constexpr const char* kIntrospection =
    "<node><interface name='org.freedesktop.Notifications'><method name='Notify'>"
    "<arg type='s'/><arg type='u'/><arg type='s'/><arg type='s'/><arg type='s'/><arg type='as'/>"
    "<arg type='a{sv}'/><arg type='i'/><arg type='u' direction='out'/></method></interface></node>";

// A stand-in for the desktop's notification server (org.freedesktop.Notifications on the session bus),
// which records what it is asked to show; made, it has asked for the name. Calls (and the bus's word that
// the name is its own) reach it on the default main context, which only shown() runs: they wait in the
// queue until then.
class NotificationServer {
public:
    NotificationServer() : connection_(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
        if (!connection_) return;
        static const GDBusInterfaceVTable vtable{notify, nullptr, nullptr, {}};
        registration_ =
            g_dbus_connection_register_object(connection_, "/org/freedesktop/Notifications",
                                              node_->interfaces[0], &vtable, this, nullptr, nullptr);
        // Replaces a server that allows it.
        ownership_ = g_bus_own_name_on_connection(
            connection_, "org.freedesktop.Notifications", G_BUS_NAME_OWNER_FLAGS_REPLACE,
            [](GDBusConnection*, const gchar*, gpointer self) {
                static_cast<NotificationServer*>(self)->owned_ = true;
            },
            nullptr, this, nullptr);
    }
    ~NotificationServer() {
        if (ownership_) g_bus_unown_name(ownership_);
        if (registration_) g_dbus_connection_unregister_object(connection_, registration_);
        if (connection_) g_object_unref(connection_);
        g_dbus_node_info_unref(node_);
    }
    // Whether the name is its own yet.
    bool owned() {
        shown();
        return owned_;
    }
    // The summary and body of every notification so far, a line each, once the calls waiting are served.
    std::string shown() {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        return shown_;
    }

private:
    static void notify(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
        const gchar *summary = nullptr, *body = nullptr;
        g_variant_get(parameters, "(&su&s&s&sas@a{sv}i)", nullptr, nullptr, nullptr, &summary, &body, nullptr,
                      nullptr, nullptr);
        static_cast<NotificationServer*>(self)->shown_ += std::string(summary) + ": " + body + "\n";
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", 1u));
    }

    GDBusNodeInfo* node_ = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    GDBusConnection* connection_ = nullptr;
    guint registration_ = 0, ownership_ = 0;
    bool owned_ = false;
    std::string shown_;
};

std::string serviceFile(const std::string& name, const std::string& exec, const std::string& more = "") {
    return "[Quoddle Service]\nName=" + name + "\nExec=" + exec + "\n" + more;
}

class DesktopServices : public DesktopTest {};

// One service of each kind of output, in the Qt sample: the output replaces the selection, lands on the
// clipboard, goes to the desktop's opener, or shows in a notification (and the text stays as it was).
// Quotes, command substitutions and separators are bytes like any others: they reach a service as its
// argument and on its standard input exactly, and nothing runs but the service's own program. Last, a
// service that never ends is killed at its time limit, and meanwhile the palette keeps working.
TEST_F(DesktopServices, EachServiceOutputGoesWhereItsServiceSaysAndOneThatHangsIsKilled) {
    NotificationServer notifications;
    ASSERT_TRUE(waitFor([&] { return notifications.owned(); }));
    const fs::path bin = folder / "bin", opened = folder / "opened", marker = "/tmp/qx";
    fs::remove(marker);
    fs::create_directories(bin);
    writeBytes(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> " + opened.string() + "\n");
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    // Short enough for one line of the text view.
    const std::string hostile = "say \"hi\" 'x' $(touch /tmp/qx); `touch /tmp/qx` | \\n %s";
    const std::string link = "https://example.org/a?b=c";
    ASSERT_NO_FATAL_FAILURE(startApp(kQtSample, "alpha beta gamma"));
    // Every title gets a button: the history holds each under "*", and every used item is always shown.
    PlistDictionary preferences =
        historyOf({"*"},
                  {"Reverse Text", "Echo Argument", "Echo Input", "Count Words and Characters",
                   "Open as Link", "Search the Web", "Wait Forever"},
                  1);
    preferences["AlwaysShowItemCount"] = 1;
    ASSERT_NO_FATAL_FAILURE(startQuoddle(
        preferences,
        {.serviceFiles = {{"reverse.service", serviceFile("Reverse Text", "rev", "Output=replace\n")},
                          {"argument.service",
                           serviceFile("Echo Argument", "printf %%s %s", "Output=copy\n")},
                          {"input.service", serviceFile("Echo Input", "cat", "Output=copy\n")},
                          {"hang.service", serviceFile("Wait Forever", "sleep 600", "TimeLimit=2\n")}},
         .environment = {{"PATH", bin.string() + ":" + std::string(getenv("PATH"))}}}));
    const struct {
        std::string service, text;
        std::function<bool()> done;
    } rows[] = {
        // A user's service of another name than the application's own Services.
        {"Reverse Text", "alpha beta gamma", [&] { return textView.text().starts_with("ammag ateb ahpla"); }},
        {"Echo Argument", hostile, [&] { return screen.clipboardText() == hostile; }},
        {"Echo Input", hostile, [&] { return screen.clipboardText() == hostile; }},
        {"Count Words and Characters", "alpha beta gamma delta",
         [&] { return notifications.shown() == "Count Words and Characters: 4 words, 22 characters\n"; }},
        {"Open as Link", link, [&] { return readBytes(opened) == link + "\n"; }},
        {"Search the Web", link,
         [&] {
             return readBytes(opened) ==
                    link + "\nhttps://duckduckgo.com/?q=https%3A%2F%2Fexample.org%2Fa%3Fb%3Dc\n";
         }},
    };
    for (const auto& row : rows) {
        screen.setClipboardText("nothing yet");
        ASSERT_TRUE(textView.setText(row.text));
        ASSERT_TRUE(paletteAfterDrag(0)) << row.service << "\n" << quoddle->log();
        ASSERT_EQ(textView.selectedText(), row.text) << row.service;
        clickButton(row.service);
        EXPECT_TRUE(waitFor(row.done))
            << row.service << ": text " << textView.text() << ", clipboard " << screen.clipboardText()
            << ", opened " << readBytes(opened) << ", notified " << notifications.shown() << "\n"
            << quoddle->log();
        EXPECT_TRUE(row.service == "Reverse Text" || textView.text() == row.text)
            << row.service << " changed the text: " << textView.text();
    }
    EXPECT_FALSE(fs::exists(marker));

    ASSERT_TRUE(textView.setText("alpha beta gamma delta"));
    ASSERT_TRUE(paletteAfterDrag());
    clickButton("Wait Forever");
    const auto pressed = std::chrono::steady_clock::now();
    screen.click(textView.extents()->x + 200, textView.extents()->y + 10); // the old selection goes
    ASSERT_TRUE(paletteAfterDrag());
    const std::string killed = "desktop service hang failed: killed after 2 s";
    // Measured from the press, and the service not yet killed: the palette opened while it ran.
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, 1900ms);
    EXPECT_EQ(quoddle->log().find(killed), std::string::npos) << quoddle->log();
    EXPECT_TRUE(waitFor([&] { return quoddle->log().find(killed) != std::string::npos; })) << quoddle->log();
    EXPECT_EQ(quoddle->log().find("alpha"), std::string::npos) << "the log holds selected text";
    ASSERT_EQ(quoddle->quit(), 0);
    EXPECT_EQ(quoddle->storedUses(kQtSample, "Reverse Text"), 1) << "learned for the application";
}

} // namespace
} // namespace quoddle::desktop
