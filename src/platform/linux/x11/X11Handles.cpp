#include "platform/linux/x11/X11Handles.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <mutex>

namespace quoddle {

namespace {

// What is known about one connection's errors. Quoddle's own connections stay listed until closed;
// others only while a trap is set on them.
struct ConnectionErrors {
    Display* display = nullptr;
    bool owned = false;
    int traps = 0;
    unsigned long errorCount = 0;
    int lastErrorCode = 0;
    bool broken = false;
};

std::mutex gConnectionsMutex;
std::vector<ConnectionErrors> gConnections;
XErrorHandler gPreviousErrorHandler = nullptr;
XIOErrorHandler gPreviousIOErrorHandler = nullptr;

ConnectionErrors* findConnection(Display* display) {
    auto it = std::find_if(gConnections.begin(), gConnections.end(),
                           [display](const ConnectionErrors& c) { return c.display == display; });
    return it == gConnections.end() ? nullptr : &*it;
}

ConnectionErrors& connectionEntry(Display* display) {
    if (ConnectionErrors* entry = findConnection(display)) return *entry;
    gConnections.push_back(ConnectionErrors{display});
    return gConnections.back();
}

void forgetConnectionIfUnused(Display* display) {
    std::erase_if(gConnections, [display](const ConnectionErrors& c) {
        return c.display == display && !c.owned && c.traps == 0;
    });
}

// Xlib calls these from inside its own calls, so they make no request and only record.
int recordProtocolError(Display* display, XErrorEvent* error) {
    XErrorHandler previous = nullptr;
    {
        std::lock_guard lock(gConnectionsMutex);
        if (ConnectionErrors* entry = findConnection(display)) {
            ++entry->errorCount;
            entry->lastErrorCode = error->error_code;
            return 0;
        }
        previous = gPreviousErrorHandler;
    }
    return previous ? previous(display, error) : 0;
}

int recordConnectionLoss(Display* display) {
    XIOErrorHandler previous = nullptr;
    {
        std::lock_guard lock(gConnectionsMutex);
        if (ConnectionErrors* entry = findConnection(display); entry && entry->owned) {
            entry->broken = true;
            return 0;
        }
        previous = gPreviousIOErrorHandler;
    }
    return previous ? previous(display) : 0;
}

// Xlib exits after the I/O error handler returns unless the connection has an exit handler of its own.
void keepRunningAfterConnectionLoss(Display*, void*) {}

struct PropertyReply {
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long bytesAfter = 0;
    XFreePtr<unsigned char> data;
};

// None when the window or the property does not exist.
std::optional<PropertyReply> getProperty(Display* display, unsigned long window, const char* property,
                                         long longLength) {
    // An atom nobody has interned cannot name a property of any window: no need to create it.
    const Atom name = XInternAtom(display, property, True);
    if (name == None) return std::nullopt;
    X11ErrorTrap trap(display);
    PropertyReply reply;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, name, 0, longLength, False, AnyPropertyType,
                                          &reply.type, &reply.format, &reply.items, &reply.bytesAfter, &data);
    reply.data.reset(data);
    if (status != Success || trap.errorSeen() || reply.type == None) return std::nullopt;
    return reply;
}

std::optional<std::vector<unsigned long>> readArrayProperty(Display* display, unsigned long window,
                                                            const char* property, Atom expectedType,
                                                            long maxItems) {
    if (!display || maxItems <= 0) return std::nullopt;
    std::optional<PropertyReply> reply = getProperty(display, window, property, maxItems);
    if (!reply || reply->type != expectedType || reply->format != 32 || !reply->data) return std::nullopt;
    // Xlib hands format-32 items over as longs, whatever the size of a long.
    const auto* values = reinterpret_cast<const long*>(reply->data.get());
    std::vector<unsigned long> result;
    result.reserve(reply->items);
    for (unsigned long i = 0; i < reply->items && i < static_cast<unsigned long>(maxItems); ++i)
        result.push_back(static_cast<unsigned long>(values[i]) & 0xFFFFFFFFul);
    return result;
}

bool isValidUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        int extra = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++p;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra) return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        static constexpr std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        p += extra + 1;
    }
    return true;
}

std::string utf8OfLatin1(const unsigned char* bytes, std::size_t length) {
    std::string text;
    text.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = bytes[i];
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

} // namespace

void ensureX11ErrorHandlers() {
    std::lock_guard lock(gConnectionsMutex);
    if (XErrorHandler previous = XSetErrorHandler(recordProtocolError); previous != recordProtocolError)
        gPreviousErrorHandler = previous;
    if (XIOErrorHandler previous = XSetIOErrorHandler(recordConnectionLoss); previous != recordConnectionLoss)
        gPreviousIOErrorHandler = previous;
}

void DisplayCloser::operator()(Display* display) const {
    if (!display) return;
    // Closing waits for the server's last answers; their errors must still be recorded, so the
    // connection is forgotten only afterwards.
    XCloseDisplay(display);
    std::lock_guard lock(gConnectionsMutex);
    std::erase_if(gConnections, [display](const ConnectionErrors& c) { return c.display == display; });
}

DisplayHandle openDisplay(const std::string& name) {
    ensureX11ErrorHandlers();
    Display* display = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (!display) return nullptr;
    XSetIOErrorExitHandler(display, keepRunningAfterConnectionLoss, nullptr);
    {
        std::lock_guard lock(gConnectionsMutex);
        ConnectionErrors& entry = connectionEntry(display);
        entry = ConnectionErrors{display};
        entry.owned = true;
    }
    return DisplayHandle(display);
}

bool displayConnectionBroken(Display* display) {
    std::lock_guard lock(gConnectionsMutex);
    const ConnectionErrors* entry = findConnection(display);
    return entry && entry->broken;
}

void XFreeDeleter::operator()(void* data) const {
    if (data) XFree(data);
}

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display) {
    ensureX11ErrorHandlers();
    std::lock_guard lock(gConnectionsMutex);
    ConnectionErrors& entry = connectionEntry(display);
    ++entry.traps;
    errorsAtStart_ = entry.errorCount;
}

X11ErrorTrap::~X11ErrorTrap() {
    // Errors of requests the server has not answered yet belong to this trap, not to whoever handles
    // errors after it.
    if (LastKnownRequestProcessed(display_) + 1 < NextRequest(display_) && !displayConnectionBroken(display_))
        XSync(display_, False);
    std::lock_guard lock(gConnectionsMutex);
    if (ConnectionErrors* entry = findConnection(display_)) --entry->traps;
    forgetConnectionIfUnused(display_);
}

bool X11ErrorTrap::syncSucceeded() {
    if (displayConnectionBroken(display_)) return false;
    XSync(display_, False);
    return !errorSeen() && !displayConnectionBroken(display_);
}

bool X11ErrorTrap::errorSeen() const {
    std::lock_guard lock(gConnectionsMutex);
    const ConnectionErrors* entry = findConnection(display_);
    return entry && (entry->errorCount != errorsAtStart_ || entry->broken);
}

int X11ErrorTrap::lastErrorCode() const {
    std::lock_guard lock(gConnectionsMutex);
    const ConnectionErrors* entry = findConnection(display_);
    return entry && entry->errorCount != errorsAtStart_ ? entry->lastErrorCode : 0;
}

std::optional<std::vector<unsigned long>> readCardinalProperty(Display* display, unsigned long window,
                                                               const char* property, long maxItems) {
    return readArrayProperty(display, window, property, XA_CARDINAL, maxItems);
}

std::optional<std::vector<unsigned long>> readWindowProperty(Display* display, unsigned long window,
                                                             const char* property, long maxItems) {
    return readArrayProperty(display, window, property, XA_WINDOW, maxItems);
}

std::optional<std::string> readTextProperty(Display* display, unsigned long window, const char* property,
                                            long maxBytes) {
    if (!display || maxBytes <= 0) return std::nullopt;
    std::optional<PropertyReply> reply = getProperty(display, window, property, (maxBytes + 3) / 4);
    if (!reply || !reply->data || reply->format != 8 || reply->bytesAfter > 0 ||
        reply->items > static_cast<unsigned long>(maxBytes))
        return std::nullopt;
    if (reply->type == XA_STRING) return utf8OfLatin1(reply->data.get(), reply->items);
    const Atom utf8String = XInternAtom(display, "UTF8_STRING", True);
    if (utf8String == None || reply->type != utf8String) return std::nullopt;
    std::string text(reinterpret_cast<const char*>(reply->data.get()), reply->items);
    if (!isValidUtf8(text)) return std::nullopt;
    return text;
}

bool hasProperty(Display* display, unsigned long window, const char* property) {
    return display && getProperty(display, window, property, 0).has_value();
}

} // namespace quoddle
