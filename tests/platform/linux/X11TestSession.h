#pragma once
// What the X11 tests share: a connection to the test display (the tests skip without one) and the server's
// view of a window. The backend reads its own connections on Qt's event loop: the tests run it with
// quoddle::test::spinUntil (QtTestApp.h), on the program's one QApplication. Include it after Qt's headers:
// Xlib's macros (None, Bool, KeyPress) break them.

#include "platform/Geometry.h"
#include "platform/linux/QtTestApp.h"
#include "platform/linux/x11/X11Handles.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <optional>

namespace quoddle::testing {

using XWindow = ::Window; // quoddle::Window is the port's window

// Null when there is no display to test on.
inline DisplayHandle openTestDisplay() {
    const char* name = std::getenv("DISPLAY");
    return name && *name ? openDisplay() : nullptr;
}

inline bool isViewable(Display* display, XWindow window) {
    X11ErrorTrap trap(display);
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) && !trap.errorSeen() &&
           attributes.map_state == IsViewable;
}

// Where the window's area lies on the root now, as the user sees it; none when it is gone.
inline std::optional<Rect> rootFrame(Display* display, XWindow window) {
    X11ErrorTrap trap(display);
    XWindowAttributes attributes{};
    int x = 0, y = 0;
    XWindow child = 0;
    if (!XGetWindowAttributes(display, window, &attributes) ||
        !XTranslateCoordinates(display, window, attributes.root, 0, 0, &x, &y, &child) || trap.errorSeen())
        return std::nullopt;
    return Rect{{double(x), double(y)}, {double(attributes.width), double(attributes.height)}};
}

} // namespace quoddle::testing
