#include "platform/linux/services/PrimarySelection.h"

#include <glib.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <poll.h>

namespace quoddle {

namespace {

using Clock = std::chrono::steady_clock;

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayConnection = std::unique_ptr<Display, DisplayCloser>;

struct XFreer {
    void operator()(unsigned char* data) const { XFree(data); }
};

// The SelectionNotify for our request, or none at the deadline. Polls the connection rather than blocking
// in XNextEvent: an owner that never answers must not hold us past the limit.
std::optional<XSelectionEvent> awaitNotify(Display* display, Window requestor, Clock::time_point deadline) {
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == SelectionNotify && event.xselection.requestor == requestor)
                return event.xselection;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        const int ready = poll(&connection, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) return std::nullopt;
        if (ready > 0 && (connection.revents & (POLLERR | POLLHUP | POLLNVAL))) return std::nullopt;
    }
}

std::string utf8FromLatin1(const unsigned char* data, std::size_t size) {
    std::string result;
    result.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = data[i];
        if (c < 0x80) {
            result += static_cast<char>(c);
        } else {
            result += static_cast<char>(0xC0 | (c >> 6));
            result += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return result;
}

// The converted text from our property, deleting it. None for an INCR transfer: large selections come in
// pieces, which this fallback does not collect; the accessibility path is the one for those.
std::optional<std::string> takeProperty(Display* display, Window window, Atom property,
                                        std::size_t maxBytes) {
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom incr = XInternAtom(display, "INCR", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long bytesAfter = 0;
    unsigned char* raw = nullptr;
    // In 32-bit units: enough for maxBytes and one more, to see that there is more.
    const long length = static_cast<long>(std::min<std::size_t>(maxBytes / 4 + 1, std::size_t(1) << 28));
    if (XGetWindowProperty(display, window, property, 0, length, True, AnyPropertyType, &type, &format,
                           &items, &bytesAfter, &raw) != Success)
        return std::nullopt;
    std::unique_ptr<unsigned char, XFreer> data(raw);
    if (type == incr || format != 8 || !data || items == 0) return std::nullopt;
    if (bytesAfter > 0 || items > maxBytes) return std::nullopt;
    std::string text;
    if (type == utf8) {
        text.assign(reinterpret_cast<const char*>(data.get()), items);
        if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
            gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
            text = valid;
            g_free(valid);
        }
    } else if (type == XA_STRING) {
        text = utf8FromLatin1(data.get(), items);
    } else {
        return std::nullopt;
    }
    if (text.empty() || text.size() > maxBytes) return std::nullopt;
    return text;
}

} // namespace

std::optional<std::string> readPrimarySelection(std::chrono::milliseconds limit, std::size_t maxBytes) {
    const auto deadline = Clock::now() + limit;
    DisplayConnection display(XOpenDisplay(nullptr));
    if (!display) return std::nullopt;
    Display* const d = display.get();
    if (XGetSelectionOwner(d, XA_PRIMARY) == None) return std::nullopt;

    // Unmapped and input-only: only a place for the owner to put the text. It goes with the connection.
    XSetWindowAttributes attributes{};
    const Window window = XCreateWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, CopyFromParent, InputOnly,
                                        CopyFromParent, 0, &attributes);
    const Atom property = XInternAtom(d, "QUODDLE_PRIMARY", False);
    const Atom targets[] = {XInternAtom(d, "UTF8_STRING", False), XA_STRING};
    for (const Atom target : targets) {
        if (Clock::now() >= deadline) break;
        XConvertSelection(d, XA_PRIMARY, target, property, window, CurrentTime);
        XFlush(d);
        const auto notify = awaitNotify(d, window, deadline);
        if (!notify) return std::nullopt;
        // The owner refused this target: an older one may still know STRING.
        if (notify->property == None) continue;
        return takeProperty(d, window, notify->property, maxBytes);
    }
    return std::nullopt;
}

} // namespace quoddle
