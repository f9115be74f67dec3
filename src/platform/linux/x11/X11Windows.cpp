#include "platform/linux/x11/X11Windows.h"

#include "platform/linux/x11/X11Handles.h"

#include <X11/Xlib.h>

#include <deque>
#include <limits>
#include <utility>

namespace quoddle {

namespace {

// A hostile client can create any number of windows; the walk looks at no more than this.
constexpr unsigned kMaxTopLevelsExamined = 4096;
// Window managers put the client one or two levels below the frame; the search for it is bounded too.
constexpr int kMaxClientDepth = 4;
constexpr int kMaxClientSearchWindows = 256;

struct Children {
    XFreePtr<Window> list;
    unsigned count = 0;
};

std::optional<Children> childrenOf(Display* display, Window window) {
    X11ErrorTrap trap(display);
    Window root = 0, parent = 0;
    Window* list = nullptr;
    unsigned count = 0;
    const Status status = XQueryTree(display, window, &root, &parent, &list, &count);
    Children children{XFreePtr<Window>(list), count};
    if (!status || trap.errorSeen()) return std::nullopt;
    if (!children.list) children.count = 0;
    return children;
}

std::optional<XWindowAttributes> attributesOf(Display* display, Window window) {
    X11ErrorTrap trap(display);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || trap.errorSeen()) return std::nullopt;
    return attributes;
}

bool contains(const XWindowAttributes& a, int x, int y) {
    // The position is that of the outer corner, outside the border.
    const long outerWidth = static_cast<long>(a.width) + 2L * a.border_width;
    const long outerHeight = static_cast<long>(a.height) + 2L * a.border_width;
    return x >= a.x && y >= a.y && x < a.x + outerWidth && y < a.y + outerHeight;
}

// The window below the frame that a window manager marked as managed, breadth first; the frame itself
// when it is the client or no client is found.
Window clientWindowOf(Display* display, Window frame) {
    if (hasProperty(display, frame, "WM_STATE")) return frame;
    std::deque<std::pair<Window, int>> pending{{frame, 0}};
    int examined = 0;
    while (!pending.empty() && examined < kMaxClientSearchWindows) {
        auto [window, depth] = pending.front();
        pending.pop_front();
        if (depth >= kMaxClientDepth) continue;
        std::optional<Children> children = childrenOf(display, window);
        if (!children) continue;
        for (unsigned i = children->count; i-- > 0 && examined < kMaxClientSearchWindows;) {
            const Window child = children->list.get()[i];
            ++examined;
            if (hasProperty(display, child, "WM_STATE")) return child;
            pending.emplace_back(child, depth + 1);
        }
    }
    return frame;
}

// Where a viewable window's area is on the root; none for a window that is unmapped or gone.
std::optional<Rect> viewableRootFrameOf(Display* display, Window window) {
    std::optional<XWindowAttributes> attributes = attributesOf(display, window);
    if (!attributes || attributes->map_state != IsViewable) return std::nullopt;
    X11ErrorTrap trap(display);
    int rootX = 0, rootY = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display, window, attributes->root, 0, 0, &rootX, &rootY, &child) ||
        trap.errorSeen())
        return std::nullopt;
    return Rect{{double(rootX), double(rootY)}, {double(attributes->width), double(attributes->height)}};
}

} // namespace

std::optional<TopLevelWindow> topLevelWindowAt(Display* display, int x, int y) {
    if (!display) return std::nullopt;
    std::optional<Children> children = childrenOf(display, DefaultRootWindow(display));
    if (!children) return std::nullopt;
    const unsigned count = children->count;
    const unsigned lowest = count > kMaxTopLevelsExamined ? count - kMaxTopLevelsExamined : 0;
    // Bottom to top: the topmost candidate is the last.
    for (unsigned i = count; i-- > lowest;) {
        const Window candidate = children->list.get()[i];
        std::optional<XWindowAttributes> attributes = attributesOf(display, candidate);
        if (!attributes || attributes->map_state != IsViewable || attributes->c_class != InputOutput ||
            !contains(*attributes, x, y))
            continue;
        const Window client = clientWindowOf(display, candidate);
        // A frame whose client is unmapped is being taken down by the window manager (or is shaded);
        // a window gone while we looked is not there either.
        std::optional<Rect> frame = viewableRootFrameOf(display, client);
        if (!frame) continue;
        std::optional<ProcessId> pid = windowPid(display, client);
        if (!pid && client != candidate) pid = windowPid(display, candidate);
        return TopLevelWindow{client, pid, *frame};
    }
    return std::nullopt;
}

std::optional<ProcessId> windowPid(Display* display, unsigned long window) {
    std::optional<std::vector<unsigned long>> values =
        readCardinalProperty(display, window, "_NET_WM_PID", 1);
    if (!values || values->empty()) return std::nullopt;
    const unsigned long pid = values->front();
    if (pid == 0 || pid > static_cast<unsigned long>(std::numeric_limits<ProcessId>::max()))
        return std::nullopt;
    return static_cast<ProcessId>(pid);
}

std::optional<unsigned long> activeWindow(Display* display) {
    if (!display) return std::nullopt;
    std::optional<std::vector<unsigned long>> values =
        readWindowProperty(display, DefaultRootWindow(display), "_NET_ACTIVE_WINDOW", 1);
    if (!values || values->empty() || values->front() == 0) return std::nullopt;
    return values->front();
}

std::optional<WindowClass> windowClass(Display* display, unsigned long window) {
    // Two strings, each ended by a NUL.
    std::optional<std::string> text = readTextProperty(display, window, "WM_CLASS");
    if (!text) return std::nullopt;
    const std::size_t end = text->find('\0');
    if (end == std::string::npos) return WindowClass{*text, *text};
    std::string name = text->substr(end + 1);
    name = name.substr(0, name.find('\0'));
    WindowClass found{text->substr(0, end), name};
    if (found.name.empty()) found.name = found.instance;
    if (found.name.empty()) return std::nullopt;
    return found;
}

std::optional<std::string> desktopFileIdOfWindow(Display* display, unsigned long window) {
    for (const char* property : {"_GTK_APPLICATION_ID", "_KDE_NET_WM_DESKTOP_FILE"}) {
        std::optional<std::string> text = readTextProperty(display, window, property);
        if (!text) continue;
        std::string id = text->substr(0, text->find('\0'));
        constexpr std::string_view suffix = ".desktop";
        if (id.size() >= suffix.size() && id.compare(id.size() - suffix.size(), suffix.size(), suffix) == 0)
            id.resize(id.size() - suffix.size());
        if (!id.empty()) return id;
    }
    return std::nullopt;
}

} // namespace quoddle
