#pragma once
// Owners for what Xlib hands out, an error trap, and bounded readers of window properties.
//
// Xlib's default handlers end the process on any protocol error and on a lost connection. A desktop
// utility that reads other clients' windows sees BadWindow whenever a window goes away between two calls,
// and a recording connection can be cut by the server at any time; neither may end Quoddle. So every
// connection Quoddle opens goes through openDisplay(), which marks it as Quoddle's: errors on it are
// recorded, a lost connection is recorded and does not exit. Errors on other connections (the toolkit's)
// still go to whatever handler was installed before, unless an X11ErrorTrap is active on them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct _XDisplay;
using Display = _XDisplay;

namespace quoddle {

struct DisplayCloser {
    void operator()(Display* display) const;
};
using DisplayHandle = std::unique_ptr<Display, DisplayCloser>;

// A new connection (empty name: $DISPLAY) whose errors are recorded and whose loss does not end the
// process; null when the server cannot be reached.
DisplayHandle openDisplay(const std::string& name = {});

// True once the connection has failed (the server went away or closed it); every later call on it is
// useless and the owner should close it.
bool displayConnectionBroken(Display* display);

// Installs Quoddle's X error handlers again if someone (the toolkit) replaced them since; the handlers
// they replace keep handling connections that are not Quoddle's. Cheap: no protocol.
void ensureX11ErrorHandlers();

struct XFreeDeleter {
    void operator()(void* data) const;
};
template <typename T> using XFreePtr = std::unique_ptr<T, XFreeDeleter>;

// Collects the protocol errors of the requests made on one connection while it lives, instead of letting
// them reach the installed handler. Main thread only; traps nest.
class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits until the server has answered every request made so far; true when none of the requests made
    // since the trap was set failed.
    bool syncSucceeded();
    // Whether an error has been seen so far, without waiting for the server.
    bool errorSeen() const;
    // The code of the last error seen since the trap was set, 0 when none.
    int lastErrorCode() const;

private:
    Display* display_;
    unsigned long errorsAtStart_;
};

// Bounds for property reads: more than this is truncated (arrays) or refused (text).
inline constexpr long kMaxPropertyArrayItems = 256;
inline constexpr long kMaxPropertyTextBytes = 4096;

// A property of format 32 and type CARDINAL, at most maxItems values; none when the window or property
// does not exist or has another type or format.
std::optional<std::vector<unsigned long>> readCardinalProperty(Display* display, unsigned long window,
                                                               const char* property,
                                                               long maxItems = kMaxPropertyArrayItems);
// The same for a property of type WINDOW.
std::optional<std::vector<unsigned long>> readWindowProperty(Display* display, unsigned long window,
                                                             const char* property,
                                                             long maxItems = kMaxPropertyArrayItems);
// A property of format 8 and type UTF8_STRING (valid UTF-8 only) or STRING (Latin-1, returned as UTF-8),
// bytes as stored (NUL-separated lists keep their NULs); none when missing, of another type, longer than
// maxBytes, or not valid UTF-8.
std::optional<std::string> readTextProperty(Display* display, unsigned long window, const char* property,
                                            long maxBytes = kMaxPropertyTextBytes);
// Whether the window has the property at all, of any type.
bool hasProperty(Display* display, unsigned long window, const char* property);

} // namespace quoddle
