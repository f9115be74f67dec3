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

// What stands in for the missing pointer and window places on this compositor, for the log at start.
std::string waylandRouteInWords(const WaylandSession& session);

} // namespace quoddle
