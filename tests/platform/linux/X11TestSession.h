#pragma once
// What the X11 tests share: a connection to the test display (the tests skip without one), and a few
// throwaway windows and XTest input on it. The backend reads its own connections on Qt's event loop: the
// tests run it with quoddle::test::spinUntil (QtTestApp.h), on the program's one QApplication.

#include "platform/linux/QtTestApp.h"
#include "platform/linux/X11Handles.h"

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
    if (!name || !*name) return nullptr;
    return openDisplay();
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

    XWindow create(int x, int y, int width, int height, bool overrideRedirect) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = overrideRedirect ? True : False;
        attributes.background_pixel = BlackPixel(display_, DefaultScreen(display_));
        const XWindow window =
            XCreateWindow(display_, DefaultRootWindow(display_), x, y, width, height, 0, CopyFromParent,
                          InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
        // Window managers place windows where they like unless the position is the user's.
        XSizeHints hints{};
        hints.flags = USPosition | USSize;
        hints.x = x;
        hints.y = y;
        hints.width = width;
        hints.height = height;
        XSetWMNormalHints(display_, window, &hints);
        windows_.push_back(window);
        return window;
    }

    void destroy(XWindow window) {
        XDestroyWindow(display_, window);
        std::erase(windows_, window);
        XSync(display_, False);
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

// Whether the server sees the key as down right now.
inline bool keyIsDown(Display* display, unsigned keycode) {
    char keys[32] = {};
    XQueryKeymap(display, keys);
    return (keys[keycode / 8] & (1 << (keycode % 8))) != 0;
}

// XTest input on the test connection; each call returns once the server has processed it.
inline void movePointer(Display* display, int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XSync(display, False);
}

inline void pressButton(Display* display, unsigned button, bool down) {
    XTestFakeButtonEvent(display, button, down ? True : False, CurrentTime);
    XSync(display, False);
}

inline void pressKey(Display* display, unsigned keycode, bool down) {
    XTestFakeKeyEvent(display, keycode, down ? True : False, CurrentTime);
    XSync(display, False);
}

} // namespace quoddle::testing
