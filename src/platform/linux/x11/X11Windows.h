#pragma once
// Queries about other clients' top-level windows, on a connection of the main thread.
//
// AT-SPI knows no stacking order between top-level windows, so the window under the pointer (an open popup
// menu over a text view, say) is found here first. Every query tolerates windows that vanish or misbehave:
// a window destroyed between two requests, or a property of the wrong type, gives none.

#include "platform/Geometry.h"
#include "platform/Workspace.h"

#include <optional>
#include <string>

struct _XDisplay;
using Display = _XDisplay;

namespace quoddle {

struct TopLevelWindow {
    unsigned long window = 0;     // the client window (below a window manager's frame)
    std::optional<ProcessId> pid; // from _NET_WM_PID of the client, or of the frame
    Rect frame;                   // the client's area in root coordinates (origin at the top-left)
    friend bool operator==(const TopLevelWindow&, const TopLevelWindow&) = default;
};

// The topmost viewable InputOutput child of the root that contains the point (root coordinates), and
// its client: the window with WM_STATE below a window manager's frame, else the child itself (as for
// override-redirect popup menus, which carry _NET_WM_PID themselves). None when nothing is there.
std::optional<TopLevelWindow> topLevelWindowAt(Display* display, int x, int y);

// _NET_WM_PID of the window; none when it is missing, not a valid pid, or the window is gone.
std::optional<ProcessId> windowPid(Display* display, unsigned long window);

// The first value of the root's _NET_ACTIVE_WINDOW (some window managers write more); none when no window
// manager maintains it or no window is active.
std::optional<unsigned long> activeWindow(Display* display);

// The window's WM_CLASS: the instance name and the class name (XTerm's "xterm" and "XTerm"); none when
// it has none.
struct WindowClass {
    std::string instance;
    std::string name;
};
std::optional<WindowClass> windowClass(Display* display, unsigned long window);

// The application's desktop file id (its name without ".desktop") from _GTK_APPLICATION_ID or
// _KDE_NET_WM_DESKTOP_FILE; none when neither is set.
std::optional<std::string> desktopFileIdOfWindow(Display* display, unsigned long window);

} // namespace quoddle
