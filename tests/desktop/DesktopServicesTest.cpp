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
// which records what it is asked to show; made, it has asked for the name and waited for it. Calls reach
// it on the default main context, which only its own waits run: a call waits in the queue until then.
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
        serveUntil([this] { return owned_; });
    }
    ~NotificationServer() {
        if (ownership_) g_bus_unown_name(ownership_);
        if (registration_) g_dbus_connection_unregister_object(connection_, registration_);
        if (connection_) g_object_unref(connection_);
        g_dbus_node_info_unref(node_);
    }
    bool owned() const { return owned_; }
    // The summary and body of the first notification, once one came.
    std::optional<std::pair<std::string, std::string>> waitForNotification() {
        if (!serveUntil([this] { return !shown_.empty(); })) return std::nullopt;
        return shown_.front();
    }

private:
    bool serveUntil(const std::function<bool()>& condition) {
        return waitFor([&] {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            return condition();
        });
    }
    static void notify(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
        auto& shown = static_cast<NotificationServer*>(self)->shown_;
        const gchar *summary = nullptr, *body = nullptr;
        g_variant_get(parameters, "(&su&s&s&sas@a{sv}i)", nullptr, nullptr, nullptr, &summary, &body, nullptr,
                      nullptr, nullptr);
        shown.emplace_back(summary, body);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", guint32(shown.size())));
    }

    GDBusNodeInfo* node_ = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    GDBusConnection* connection_ = nullptr;
    guint registration_ = 0, ownership_ = 0;
    bool owned_ = false;
    std::vector<std::pair<std::string, std::string>> shown_;
};

std::string serviceFile(const std::string& name, const std::string& exec, const std::string& more = "") {
    return "[Quoddle Service]\nName=" + name + "\nExec=" + exec + "\n" + more;
}

class DesktopServices : public DesktopTest {
protected:
    void startSample(const Sample& sample, const std::string& text) {
        app = desktop::startSample(sample, text);
        ASSERT_TRUE(app->window()) << "the application's window never mapped";
        textView = app->textView();
        ASSERT_TRUE(textView);
    }
    // Every title gets a button: the history holds each under "*", and every used item is always shown.
    void offer(const std::vector<std::string>& titles, const QuoddleOptions& options = {}) {
        PlistDictionary preferences = historyOf({"*"}, titles, 1);
        preferences["AlwaysShowItemCount"] = 1;
        startQuoddle(preferences, options);
    }
    // Drags along the first line of the text view, from its start to `width` pixels on (the whole line
    // when 0), and returns what the application says is selected once the palette is up.
    std::string dragSelect(int width = 130) {
        const Box view = *textView.extents();
        const int y = view.y + 10;
        screen.drag(view.x + 3, y, width ? view.x + width : view.x + view.width - 4, y);
        if (!waitFor([&] { return paletteShown(); })) return {};
        return textView.selectedText();
    }
    std::string clipboard() { return screen.clipboardText(); }
};

// mousepad has no Services of its own: the shipped Make Upper Case replaces the text through the
// clipboard, undoes in one step, gives the user's clipboard back, and is learned for the application.
TEST_F(DesktopServices, MakeUpperCaseReplacesTheSelectionInMousepad) {
    writeBytes(folder / "notes.txt", "alpha beta gamma delta\nsecond line\n");
    app = std::make_unique<Application>(std::vector<std::string>{"mousepad", folder / "notes.txt"},
                                        (folder / "notes.txt").string() + " - Mousepad");
    ASSERT_TRUE(app->window()) << "mousepad's window never mapped: " << app->output();
    textView = app->editableText("alpha");
    ASSERT_TRUE(textView);
    ASSERT_NO_FATAL_FAILURE(offer({"Make Upper Case"}));
    screen.setClipboardText("what the user copied");
    const std::string original = textView.text();
    const std::string selected = dragSelect();
    ASSERT_FALSE(selected.empty());
    clickButton("Make Upper Case");
    const std::string expected = upper(selected) + original.substr(selected.size());
    ASSERT_TRUE(waitFor([&] { return textView.text() == expected; })) << "text: " << textView.text() << "\n"
                                                                      << quoddle->log();
    EXPECT_TRUE(waitFor([&] { return clipboard() == "what the user copied"; }))
        << "clipboard: " << clipboard();
    screen.key("z", {"Control_L"});
    EXPECT_TRUE(waitFor([&] { return textView.text() == original; }))
        << "after one undo: " << textView.text();

    ASSERT_EQ(quoddle->quit(), 0);
    EXPECT_EQ(quoddle->storedUses("mousepad", "Make Upper Case"), 1) << quoddle->historyText();
    EXPECT_EQ(quoddle->storedUses("*", "Make Upper Case"), 2) << quoddle->historyText();
}

// One service of each kind of output, in the Qt sample: the output replaces the selection, lands on the
// clipboard, goes to the desktop's opener, or shows in a notification (and the text stays as it was).
// Quotes, command substitutions and separators are bytes like any others: they reach a service as its
// argument and on its standard input exactly, and nothing runs but the service's own program.
TEST_F(DesktopServices, EachServiceOutputGoesWhereItsServiceSays) {
    NotificationServer notifications;
    ASSERT_TRUE(notifications.owned());
    const fs::path bin = folder / "bin", opened = folder / "opened", marker = "/tmp/qx";
    fs::remove(marker);
    fs::create_directories(bin);
    writeBytes(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> " + opened.string() + "\n");
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    // Short enough for one line of the text view.
    const std::string hostile = "say \"hi\" 'x' $(touch /tmp/qx); `touch /tmp/qx` | \\n %s";
    const std::string link = "https://example.org/a?b=c";
    startSample(kQtSample, "alpha beta gamma");
    ASSERT_NO_FATAL_FAILURE(
        offer({"Reverse Text", "Echo Argument", "Echo Input", "Count Words and Characters", "Open as Link",
               "Search the Web"},
              {.serviceFiles = {{"reverse.service", serviceFile("Reverse Text", "rev", "Output=replace\n")},
                                {"argument.service",
                                 serviceFile("Echo Argument", "printf %%s %s", "Output=copy\n")},
                                {"input.service", serviceFile("Echo Input", "cat", "Output=copy\n")}},
               .environment = {{"PATH", bin.string() + ":" + std::string(getenv("PATH"))}}}));
    std::string notified;
    const struct {
        std::string service, text;
        std::function<bool()> done;
    } rows[] = {
        // A user's service of another name than the application's own Services.
        {"Reverse Text", "alpha beta gamma", [&] { return textView.text().starts_with("ammag ateb ahpla"); }},
        {"Echo Argument", hostile, [&] { return clipboard() == hostile; }},
        {"Echo Input", hostile, [&] { return clipboard() == hostile; }},
        {"Count Words and Characters", "alpha beta gamma delta",
         [&] {
             const auto shown = notifications.waitForNotification();
             notified = shown ? shown->first + ": " + shown->second : "";
             return notified == "Count Words and Characters: 4 words, 22 characters";
         }},
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
        ASSERT_EQ(dragSelect(0), row.text) << row.service;
        clickButton(row.service);
        EXPECT_TRUE(waitFor(row.done))
            << row.service << ": text " << textView.text() << ", clipboard " << clipboard() << ", opened "
            << readBytes(opened) << ", notified " << notified << "\n"
            << quoddle->log();
        EXPECT_TRUE(row.service == "Reverse Text" || textView.text() == row.text)
            << row.service << " changed the text: " << textView.text();
    }
    EXPECT_FALSE(fs::exists(marker));
    ASSERT_EQ(quoddle->quit(), 0);
    EXPECT_EQ(quoddle->storedUses(kQtSample.program, "Reverse Text"), 1) << "learned for the application";
}

// A service that never ends is killed at its time limit; meanwhile the palette keeps working.
TEST_F(DesktopServices, AServiceThatHangsIsKilledAndThePaletteStaysResponsive) {
    startSample(kGtkSample, "alpha beta gamma delta");
    ASSERT_NO_FATAL_FAILURE(offer(
        {"Wait Forever"},
        {.serviceFiles = {{"hang.service", serviceFile("Wait Forever", "sleep 600", "TimeLimit=2\n")}}}));
    dragSelect();
    clickButton("Wait Forever");
    const auto pressed = std::chrono::steady_clock::now();
    screen.click(textView.extents()->x + 200, textView.extents()->y + 10); // the old selection goes
    dragSelect();
    ASSERT_TRUE(waitFor([&] { return paletteShown(); }));
    const std::string killed = "desktop service hang failed: killed after 2 s";
    // Measured from the press, and the service not yet killed: the palette opened while it ran.
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, 1900ms);
    EXPECT_EQ(quoddle->log().find(killed), std::string::npos) << quoddle->log();
    EXPECT_TRUE(waitFor([&] { return quoddle->log().find(killed) != std::string::npos; })) << quoddle->log();
    EXPECT_EQ(quoddle->log().find("alpha"), std::string::npos) << "the log holds selected text";
}

} // namespace
} // namespace quoddle::desktop
