#pragma once
// Which desktop a Wayland session runs, read from the session's environment at start. On Wayland no client
// sees the pointer's buttons outside its own windows, nor where other windows are: what stands in for
// them depends on the compositor.

#include <functional>
#include <optional>
#include <string>

namespace quoddle {

enum class WaylandCompositor { gnome, kde, sway, other };

struct WaylandSession {
    WaylandCompositor compositor = WaylandCompositor::other;
    std::string swaySocket; // sway's IPC socket ($SWAYSOCK), empty elsewhere
    friend bool operator==(const WaylandSession&, const WaylandSession&) = default;
};

// None for an X11 session (also one that merely has a Wayland compositor's variables left over from
// elsewhere: the session type says which). `variable` reads the environment; null for unset.
using EnvironmentReader = std::function<const char*(const char* name)>;
std::optional<WaylandSession> waylandSessionOf(const EnvironmentReader& variable);
std::optional<WaylandSession> currentWaylandSession();

// Whether the compositor hands the clipboard of X clients (Quoddle's own) to Wayland windows and back
// whichever window has the keyboard focus. mutter does; sway hands it over only from the focused X client,
// and there wl-clipboard reaches it through the data-control protocol. Where that protocol is missing
// (mutter), wl-clipboard takes the focus for a moment with a window of its own, and keys typed then are lost.
bool xClipboardReachesWaylandWindows(WaylandCompositor compositor);

// What stands in for the missing pointer and window places on this compositor, for the log at start; on
// GNOME, whether Quoddle's Shell extension answers, and how to turn it on when it does not.
std::string waylandRouteInWords(const WaylandSession& session, bool gnomeShellHelperRunning);

} // namespace quoddle
