#pragma once
// What the X11 tests share: a connection to the test display (the tests skip without one), throwaway
// windows and the server's view of a window. The backend reads its own connections on Qt's
// event loop: the tests run it with quoddle::test::spinUntil (QtTestApp.h), on the program's one
// QApplication. Include it after Qt's headers: Xlib's macros (None, Bool, KeyPress) break them.

#include "platform/Geometry.h"
#include "platform/linux/QtTestApp.h"
#include "platform/linux/x11/X11Handles.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace quoddle::testing {

using XWindow = ::Window; // quoddle::Window is the port's window

// Null when there is no display to test on.
inline DisplayHandle openTestDisplay() {
    const char* name = std::getenv("DISPLAY");
    return name && *name ? openDisplay() : nullptr;
}

// Windows made for one test on the test connection, destroyed with it.
class TestWindows {
public:
    explicit TestWindows(Display* display) : display_(display) {}
    ~TestWindows() {
        for (XWindow window : windows_)
            XDestroyWindow(display_, window);
        XSync(display_, False);
    }
    // A window manager may place a managed window elsewhere: the tests read positions back.
    XWindow create(int x, int y, int width, int height, bool overrideRedirect) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = overrideRedirect ? True : False;
        const XWindow window =
            XCreateWindow(display_, DefaultRootWindow(display_), x, y, width, height, 0, CopyFromParent,
                          InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
        return windows_.emplace_back(window);
    }

private:
    Display* display_;
    std::vector<XWindow> windows_;
};

inline void setCardinal(Display* display, XWindow window, const char* property, unsigned long value) {
    const long data = static_cast<long>(value);
    XChangeProperty(display, window, XInternAtom(display, property, False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&data), 1);
}

inline void setText(Display* display, XWindow window, const char* property, const std::string& bytes,
                    const char* type = "UTF8_STRING") {
    XChangeProperty(display, window, XInternAtom(display, property, False), XInternAtom(display, type, False),
                    8, PropModeReplace, reinterpret_cast<const unsigned char*>(bytes.data()),
                    static_cast<int>(bytes.size()));
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
