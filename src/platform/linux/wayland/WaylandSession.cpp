#include "platform/linux/wayland/WaylandSession.h"

#include "platform/linux/wayland/GnomeShellHelper.h"

#include <cstdlib>
#include <sstream>
#include <string_view>

namespace quoddle {

namespace {

// XDG_CURRENT_DESKTOP is a colon-separated list ("ubuntu:GNOME", "KDE", "sway").
bool listsDesktop(const char* desktops, std::string_view name) {
    if (!desktops) return false;
    std::stringstream list{std::string(desktops)};
    for (std::string entry; std::getline(list, entry, ':');)
        if (entry.size() == name.size() &&
            std::equal(entry.begin(), entry.end(), name.begin(),
                       [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
            return true;
    return false;
}

bool isSet(const char* value) {
    return value && *value;
}

} // namespace

std::optional<WaylandSession> waylandSessionOf(const EnvironmentReader& variable) {
    const char* type = variable("XDG_SESSION_TYPE");
    // A session that says nothing of its type is Wayland when it has a Wayland display and no X one.
    const bool wayland = isSet(type) ? std::string_view(type) == "wayland"
                                     : isSet(variable("WAYLAND_DISPLAY")) && !isSet(variable("DISPLAY"));
    if (!wayland) return std::nullopt;
    WaylandSession session;
    const char* desktops = variable("XDG_CURRENT_DESKTOP");
    if (const char* socket = variable("SWAYSOCK"); isSet(socket)) {
        session.compositor = WaylandCompositor::sway;
        session.swaySocket = socket;
    } else if (listsDesktop(desktops, "GNOME")) {
        session.compositor = WaylandCompositor::gnome;
    } else if (listsDesktop(desktops, "KDE")) {
        session.compositor = WaylandCompositor::kde;
    }
    return session;
}

std::optional<WaylandSession> currentWaylandSession() {
    return waylandSessionOf([](const char* name) { return std::getenv(name); });
}

bool xClipboardReachesWaylandWindows(WaylandCompositor compositor) {
    return compositor == WaylandCompositor::gnome;
}

std::string waylandRouteInWords(const WaylandSession& session, bool gnomeShellHelperRunning) {
    if (session.compositor == WaylandCompositor::gnome && gnomeShellHelperRunning)
        return "a Wayland session: Quoddle's GNOME Shell extension tells where the mouse button goes up, and "
               "where windows are";
    const std::string trigger =
        "a Wayland session: a selection opens the palette once it has stayed unchanged a moment (no "
        "application sees the mouse buttons in other windows); ";
    const std::string unplaced = "so the palette opens where the selection would be in a window at the "
                                 "screen's top-left corner";
    switch (session.compositor) {
    case WaylandCompositor::sway:
        return trigger + "windows' places come from sway";
    case WaylandCompositor::gnome:
        return trigger + "Quoddle's GNOME Shell extension is off, " + unplaced +
               ". Turn it on with \"gnome-extensions enable " + GnomeShellHelper::kExtension +
               "\" (log out and in first if Quoddle was installed since)";
    case WaylandCompositor::kde:
    case WaylandCompositor::other:
        break;
    }
    return trigger + "this desktop does not tell where windows are, " + unplaced;
}

} // namespace quoddle
