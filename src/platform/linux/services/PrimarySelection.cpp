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

// The next event on our window that `wanted` accepts, or none at the deadline. Polls the connection rather
// than blocking in XNextEvent: an owner that never answers must not hold us past the limit.
template <typename Wanted>
std::optional<XEvent> awaitEvent(Display* display, Clock::time_point deadline, Wanted wanted) {
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (wanted(event)) return event;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        const int ready = poll(&connection, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) return std::nullopt;
        if (ready > 0 && (connection.revents & (POLLERR | POLLHUP | POLLNVAL))) return std::nullopt;
    }
}

std::string utf8FromLatin1(const std::string& latin1) {
    std::string result;
    result.reserve(latin1.size());
    for (const char byte : latin1) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x80) {
            result += static_cast<char>(c);
        } else {
            result += static_cast<char>(0xC0 | (c >> 6));
            result += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return result;
}

struct PropertyValue {
    Atom type = None;
    int format = 0;
    std::string bytes;
    bool whole = true; // false when the property held more than we asked for
};

// Our property's value, deleting it (which, in a transfer in pieces, asks the owner for the next one).
std::optional<PropertyValue> takeProperty(Display* display, Window window, Atom property,
                                          std::size_t maxBytes) {
    unsigned long items = 0;
    unsigned long bytesAfter = 0;
    unsigned char* raw = nullptr;
    PropertyValue value;
    // In 32-bit units: enough for maxBytes and one more, to see that there is more.
    const long length = static_cast<long>(std::min<std::size_t>(maxBytes / 4 + 1, std::size_t(1) << 28));
    if (XGetWindowProperty(display, window, property, 0, length, True, AnyPropertyType, &value.type,
                           &value.format, &items, &bytesAfter, &raw) != Success)
        return std::nullopt;
    std::unique_ptr<unsigned char, XFreer> data(raw);
    if (value.format == 8 && data) value.bytes.assign(reinterpret_cast<const char*>(data.get()), items);
    // A partial read leaves the property in place; delete it so that the owner is not kept waiting.
    if (bytesAfter > 0) {
        value.whole = false;
        XDeleteProperty(display, window, property);
    }
    return value;
}

// A large selection comes in pieces: each time we delete the property the owner writes the next one, and
// an empty piece ends it. A selection larger than maxBytes is still taken to its end (discarded), so that
// the owner finishes its transfer and keeps its selection.
std::optional<PropertyValue> collectPieces(Display* display, Window window, Atom property,
                                           std::size_t maxBytes, Clock::time_point deadline) {
    PropertyValue whole;
    for (;;) {
        const auto written = awaitEvent(display, deadline, [&](const XEvent& event) {
            return event.type == PropertyNotify && event.xproperty.window == window &&
                   event.xproperty.atom == property && event.xproperty.state == PropertyNewValue;
        });
        if (!written) return std::nullopt;
        std::optional<PropertyValue> piece = takeProperty(display, window, property, maxBytes);
        if (!piece) return std::nullopt;
        if (piece->bytes.empty()) return whole;
        whole.type = piece->type;
        whole.format = piece->format;
        whole.whole = whole.whole && piece->whole && whole.bytes.size() + piece->bytes.size() <= maxBytes;
        if (whole.whole)
            whole.bytes += piece->bytes;
        else
            whole.bytes.clear();
    }
}

// The value as UTF-8 text, none unless it is text within maxBytes.
std::optional<std::string> textOf(Display* display, PropertyValue value, std::size_t maxBytes) {
    if (!value.whole || value.format != 8 || value.bytes.empty() || value.bytes.size() > maxBytes)
        return std::nullopt;
    std::string text;
    if (value.type == XInternAtom(display, "UTF8_STRING", False)) {
        text = std::move(value.bytes);
        if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
            gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
            text = valid;
            g_free(valid);
        }
    } else if (value.type == XA_STRING) {
        text = utf8FromLatin1(value.bytes);
    } else {
        return std::nullopt;
    }
    if (text.size() > maxBytes) return std::nullopt;
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
    // Property changes tell us when the next piece of a large selection is there.
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    const Window window = XCreateWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, CopyFromParent, InputOnly,
                                        CopyFromParent, CWEventMask, &attributes);
    const Atom property = XInternAtom(d, "QUODDLE_PRIMARY", False);
    const Atom incremental = XInternAtom(d, "INCR", False);
    const Atom targets[] = {XInternAtom(d, "UTF8_STRING", False), XA_STRING};
    for (const Atom target : targets) {
        if (Clock::now() >= deadline) break;
        XConvertSelection(d, XA_PRIMARY, target, property, window, CurrentTime);
        XFlush(d);
        const auto notify = awaitEvent(d, deadline, [&](const XEvent& event) {
            return event.type == SelectionNotify && event.xselection.requestor == window;
        });
        if (!notify) return std::nullopt;
        // The owner refused this target: an older one may still know STRING.
        if (notify->xselection.property == None) continue;
        std::optional<PropertyValue> value = takeProperty(d, window, notify->xselection.property, maxBytes);
        if (value && value->type == incremental) {
            XFlush(d); // the deletion is what starts the pieces coming
            value = collectPieces(d, window, notify->xselection.property, maxBytes, deadline);
        }
        if (!value) return std::nullopt;
        return textOf(d, std::move(*value), maxBytes);
    }
    return std::nullopt;
}

} // namespace quoddle
