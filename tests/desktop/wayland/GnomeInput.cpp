// quoddle-gnome-input: a pointer, a keyboard and a camera for GNOME Shell, driven line by line from
// standard input as quoddle-wayland-input is on wlroots. mutter offers no virtual input protocol to
// clients; its own remote-desktop D-Bus interface (org.gnome.Mutter.RemoteDesktop) moves a device of its
// own, for as long as the session's caller stays connected. Absolute motion needs a screen-cast stream
// (and PipeWire), so motion is relative, corrected by where Quoddle's Shell extension says the pointer is.
//
//   move X Y      the pointer to the screen point
//   press         the left button down
//   release       the left button up
//   key COMBO     a key with modifiers, such as "ctrl+c", "End", "shift+Home"
//   shot FILE     a screenshot of the whole screen, as a PNG
//
// Each command is answered "ok" once mutter has it, or "error ..." on standard output.
#include <gio/gio.h>
#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kCallTimeoutMs = 2000;

GDBusConnection* bus = nullptr;
std::string session;

GVariant* call(const char* destination, const std::string& path, const char* interface, const char* method,
               GVariant* parameters) {
    GError* error = nullptr;
    GVariant* reply =
        g_dbus_connection_call_sync(bus, destination, path.c_str(), interface, method, parameters, nullptr,
                                    G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
    if (!reply) {
        std::cerr << method << ": " << error->message << std::endl;
        g_error_free(error);
    }
    return reply;
}

bool notify(const char* method, GVariant* parameters) {
    GVariant* reply = call("org.gnome.Mutter.RemoteDesktop", session,
                           "org.gnome.Mutter.RemoteDesktop.Session", method, parameters);
    if (reply) g_variant_unref(reply);
    return reply != nullptr;
}

struct Pointer {
    int x = 0, y = 0;
    bool leftDown = false;
};

std::optional<Pointer> pointer() {
    GVariant* reply = call("org.quoddle.ShellHelper", "/org/quoddle/ShellHelper", "org.quoddle.ShellHelper",
                           "Pointer", nullptr);
    if (!reply) return std::nullopt;
    Pointer at;
    gboolean down = FALSE;
    g_variant_get(reply, "(iib)", &at.x, &at.y, &down);
    at.leftDown = down;
    g_variant_unref(reply);
    return at;
}

template <typename Condition> bool waitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Relative steps until the pointer is there: mutter may accelerate or clamp them.
bool moveTo(int x, int y) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::optional<Pointer> at = pointer();
        if (!at) return false;
        if (at->x == x && at->y == y) return true;
        if (!notify("NotifyPointerMotionRelative",
                    g_variant_new("(dd)", double(x - at->x), double(y - at->y))))
            return false;
        // The motion lands once mutter's input thread has taken it.
        waitFor([&] {
            const std::optional<Pointer> now = pointer();
            return !now || now->x != at->x || now->y != at->y;
        });
    }
    return false;
}

// A hand holds a click's button down for a tenth of a second or so, never for the microseconds a program
// could: Quoddle reads the button of Wayland windows' menus some times a frame, as the Shell tells it no
// click that goes to a window.
constexpr auto kHandsHold = std::chrono::milliseconds(60);
std::chrono::steady_clock::time_point pressedAt;

bool button(bool down) {
    if (down)
        pressedAt = std::chrono::steady_clock::now();
    else
        std::this_thread::sleep_until(pressedAt + kHandsHold);
    return notify("NotifyPointerButton", g_variant_new("(ib)", BTN_LEFT, down)) && waitFor([&] {
               const std::optional<Pointer> at = pointer();
               return at && at->leftDown == down;
           });
}

bool key(const std::string& combo) {
    std::vector<std::uint32_t> symbols;
    std::stringstream parts(combo);
    for (std::string part; std::getline(parts, part, '+');) {
        const std::string name = part == "ctrl"    ? "Control_L"
                                 : part == "shift" ? "Shift_L"
                                 : part == "alt"   ? "Alt_L"
                                                   : part;
        const xkb_keysym_t symbol = xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_CASE_INSENSITIVE);
        if (symbol == XKB_KEY_NoSymbol) return false;
        symbols.push_back(symbol);
    }
    for (std::uint32_t symbol : symbols)
        if (!notify("NotifyKeyboardKeysym", g_variant_new("(ub)", symbol, TRUE))) return false;
    for (auto symbol = symbols.rbegin(); symbol != symbols.rend(); ++symbol)
        if (!notify("NotifyKeyboardKeysym", g_variant_new("(ub)", *symbol, FALSE))) return false;
    return true;
}

// GNOME Shell takes screenshots over D-Bus only for the screenshot tool's bus name, so this program holds
// it (there is no screenshot tool in the test session to hold it otherwise).
bool shot(const std::string& file) {
    GVariant* reply =
        call("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
             "Screenshot", g_variant_new("(bbs)", FALSE, FALSE, file.c_str()));
    if (!reply) return false;
    gboolean success = FALSE;
    g_variant_get(reply, "(bs)", &success, nullptr);
    g_variant_unref(reply);
    return success;
}

} // namespace

int main() {
    GError* error = nullptr;
    bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        std::cerr << "no session bus: " << error->message << std::endl;
        return 1;
    }
    GVariant* owned = call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "RequestName", g_variant_new("(su)", "org.gnome.Screenshot", 0u));
    if (owned) g_variant_unref(owned);
    GVariant* created = call("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                             "org.gnome.Mutter.RemoteDesktop", "CreateSession", nullptr);
    if (!created) return 1;
    const char* path = nullptr;
    g_variant_get(created, "(&o)", &path);
    session = path;
    g_variant_unref(created);
    // The keyboard exists once a key went through it: before that a window takes no focus.
    if (!notify("Start", nullptr) || !key("Shift_L") || !pointer()) return 1;
    std::cout << "ready" << std::endl;

    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream words(line);
        std::string command, argument;
        words >> command;
        bool done = false;
        if (command == "move") {
            int x = 0, y = 0;
            done = static_cast<bool>(words >> x >> y) && moveTo(x, y);
        } else if (command == "press" || command == "release") {
            done = button(command == "press");
        } else if (command == "key") {
            done = static_cast<bool>(words >> argument) && key(argument);
        } else if (command == "shot") {
            done = static_cast<bool>(words >> argument) && shot(argument);
        }
        std::cout << (done ? "ok" : "error: " + line) << std::endl;
    }
    return 0;
}
