// Top-level window queries, window property reading and the active-window watch, on the test display.
// They hold with and without a window manager: positions are read back from the server, never assumed.
#include "platform/linux/X11Windows.h"
#include "platform/linux/X11ActiveWindowWatch.h"

#include <gtest/gtest.h>

#include "platform/linux/X11TestSession.h"

namespace quoddle {
namespace {

using testing::XWindow;

class TopLevelWindows : public ::testing::Test {
protected:
    void SetUp() override {
        display_ = testing::openTestDisplay();
        if (!display_) GTEST_SKIP() << "no display";
        test::qtApplication();
        windows_.emplace(display());
    }

    Display* display() const { return display_.get(); }

    // Where the window's area is on the root now.
    std::optional<Rect> rootFrame(XWindow window) {
        X11ErrorTrap trap(display());
        XWindowAttributes attributes{};
        int x = 0, y = 0;
        XWindow child = 0;
        if (!XGetWindowAttributes(display(), window, &attributes) ||
            !XTranslateCoordinates(display(), window, attributes.root, 0, 0, &x, &y, &child) ||
            trap.errorSeen())
            return std::nullopt;
        return Rect{{double(x), double(y)}, {double(attributes.width), double(attributes.height)}};
    }

    static Point centre(const Rect& r) { return {r.minX() + r.size.width / 2, r.minY() + r.size.height / 2}; }

    std::optional<TopLevelWindow> windowAt(Point p) {
        return topLevelWindowAt(display(), static_cast<int>(p.x), static_cast<int>(p.y));
    }

    // Maps the window and waits until the top-level query finds it where the server says it is (a window
    // manager reparents and places it first).
    Rect mapAndFind(XWindow window) {
        XMapRaised(display(), window);
        XSync(display(), False);
        std::optional<Rect> frame;
        EXPECT_TRUE(test::spinUntil([&] {
            frame = rootFrame(window);
            if (!frame || !testing::isViewable(display(), window)) return false;
            std::optional<TopLevelWindow> hit = windowAt(centre(*frame));
            return hit && hit->window == window && hit->frame == rootFrame(window);
        }));
        return frame.value_or(Rect{});
    }

    DisplayHandle display_;
    std::optional<testing::TestWindows> windows_;
};

TEST_F(TopLevelWindows, TheTopmostWindowAtAPointGivesItsClientPidAndFrame) {
    const XWindow lower = windows_->create(300, 200, 400, 300, false);
    testing::setCardinal(display(), lower, "_NET_WM_PID", 4242);
    testing::setText(display(), lower, "_GTK_APPLICATION_ID", "org.example.Lower.desktop");
    const Rect lowerFrame = mapAndFind(lower);
    std::optional<TopLevelWindow> hit = windowAt(centre(lowerFrame));
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->window, lower);
    EXPECT_EQ(hit->pid, 4242);
    EXPECT_EQ(hit->frame, lowerFrame);
    EXPECT_EQ(desktopFileIdOfWindow(display(), lower), "org.example.Lower");

    // A popup menu over it: override-redirect, unmanaged, with a pid of its own.
    const XWindow popup =
        windows_->create(int(lowerFrame.minX()) + 20, int(lowerFrame.minY()) + 20, 100, 80, true);
    testing::setCardinal(display(), popup, "_NET_WM_PID", 4343);
    testing::setText(display(), popup, "_KDE_NET_WM_DESKTOP_FILE", "org.kde.popup");
    const Rect popupFrame = mapAndFind(popup);
    EXPECT_EQ(popupFrame, (Rect{{lowerFrame.minX() + 20, lowerFrame.minY() + 20}, {100, 80}}));
    hit = windowAt(centre(popupFrame));
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->window, popup);
    EXPECT_EQ(hit->pid, 4343);
    EXPECT_EQ(desktopFileIdOfWindow(display(), popup), "org.kde.popup");
    // Beside the popup, still over the lower window.
    hit = windowAt({lowerFrame.maxX() - 5, lowerFrame.maxY() - 5});
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->window, lower);

    // Gone: the point falls through to the window below, and questions about it have no answer.
    windows_->destroy(popup);
    hit = windowAt(centre(popupFrame));
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->window, lower);
    EXPECT_EQ(windowPid(display(), popup), std::nullopt);
    EXPECT_EQ(desktopFileIdOfWindow(display(), popup), std::nullopt);
    EXPECT_EQ(readTextProperty(display(), popup, "_KDE_NET_WM_DESKTOP_FILE"), std::nullopt);

    // Unmapped: no longer under the point.
    XUnmapWindow(display(), lower);
    XSync(display(), False);
    ASSERT_TRUE(test::spinUntil([&] { return !testing::isViewable(display(), lower); }));
    hit = windowAt(centre(lowerFrame));
    EXPECT_TRUE(!hit || hit->window != lower);
}

TEST_F(TopLevelWindows, PropertiesOfTheWrongKindReadAsNone) {
    const XWindow window = windows_->create(10, 10, 50, 50, true);
    XSync(display(), False);
    EXPECT_EQ(windowPid(display(), window), std::nullopt) << "no property";
    EXPECT_EQ(desktopFileIdOfWindow(display(), window), std::nullopt) << "no property";

    testing::setText(display(), window, "_NET_WM_PID", "4242", "STRING");
    EXPECT_EQ(windowPid(display(), window), std::nullopt) << "a pid written as text";
    testing::setCardinal(display(), window, "_NET_WM_PID", 0);
    EXPECT_EQ(windowPid(display(), window), std::nullopt) << "pid 0";
    testing::setCardinal(display(), window, "_NET_WM_PID", 0x80000000ul);
    EXPECT_EQ(windowPid(display(), window), std::nullopt) << "beyond any pid";
    testing::setCardinal(display(), window, "_NET_WM_PID", 77);
    EXPECT_EQ(windowPid(display(), window), 77);
    EXPECT_EQ(readWindowProperty(display(), window, "_NET_WM_PID"), std::nullopt) << "CARDINAL is no WINDOW";

    testing::setText(display(), window, "_GTK_APPLICATION_ID", "bad\xff\xfe");
    EXPECT_EQ(desktopFileIdOfWindow(display(), window), std::nullopt) << "invalid UTF-8";
    testing::setText(display(), window, "_GTK_APPLICATION_ID", std::string(kMaxPropertyTextBytes + 1, 'a'));
    EXPECT_EQ(desktopFileIdOfWindow(display(), window), std::nullopt) << "longer than the bound";
    testing::setText(display(), window, "_GTK_APPLICATION_ID", ".desktop");
    EXPECT_EQ(desktopFileIdOfWindow(display(), window), std::nullopt) << "nothing but the suffix";
    testing::setText(display(), window, "_GTK_APPLICATION_ID", "org.example.App");
    EXPECT_EQ(desktopFileIdOfWindow(display(), window), "org.example.App");

    // STRING is Latin-1; what comes back is UTF-8.
    testing::setText(display(), window, "WM_NAME", "caf\xe9", "STRING");
    EXPECT_EQ(readTextProperty(display(), window, "WM_NAME"), "caf\xc3\xa9");

    // A window that never existed.
    EXPECT_EQ(windowPid(display(), 0x3fffffff), std::nullopt);
    EXPECT_FALSE(hasProperty(display(), 0x3fffffff, "WM_NAME"));
}

bool hasWindowManager(Display* display) {
    return readWindowProperty(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK").has_value();
}

// What a pager does to activate a window (EWMH), or, with no window manager, what one would write.
void activate(Display* display, XWindow window) {
    const XWindow root = DefaultRootWindow(display);
    const Atom activeWindow = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    if (hasWindowManager(display)) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = activeWindow;
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2; // from a pager: honoured without focus-stealing checks
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    } else {
        const long value = static_cast<long>(window);
        XChangeProperty(display, root, activeWindow, XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&value), 1);
    }
    XSync(display, False);
}

TEST_F(TopLevelWindows, ActiveWindowWatchReportsEachChangeOfTheActiveWindowOnce) {
    const bool managed = hasWindowManager(display());
    const XWindow first = windows_->create(50, 50, 200, 150, false);
    const XWindow second = windows_->create(300, 50, 200, 150, false);
    testing::setCardinal(display(), first, "_NET_WM_PID", 1111);
    testing::setCardinal(display(), second, "_NET_WM_PID", 2222);
    mapAndFind(first);
    mapAndFind(second);

    std::vector<std::optional<ProcessId>> reports;
    X11ActiveWindowWatch watch([&](std::optional<ProcessId> pid) { reports.push_back(pid); });
    ASSERT_TRUE(watch.start());
    EXPECT_TRUE(reports.empty()) << "starting reads the current window without reporting it";

    activate(display(), first);
    ASSERT_TRUE(test::spinUntil([&] { return !reports.empty() && reports.back() == 1111; }));
    EXPECT_EQ(watch.activeWindow(), first);
    EXPECT_EQ(activeWindow(display()), first);
    activate(display(), first); // the same window again: no report
    activate(display(), second);
    ASSERT_TRUE(test::spinUntil([&] { return reports.back() == 2222; }));
    EXPECT_EQ(watch.activePid(), 2222);
    for (std::size_t i = 1; i < reports.size(); ++i)
        EXPECT_NE(reports[i], reports[i - 1]) << "report " << i << " repeats the one before";

    if (!managed) {
        // No window active: none, then the property as it was.
        activate(display(), 0);
        ASSERT_TRUE(test::spinUntil([&] { return reports.back() == std::nullopt; }));
        EXPECT_EQ(activeWindow(display()), std::nullopt);
        XDeleteProperty(display(), DefaultRootWindow(display()),
                        XInternAtom(display(), "_NET_ACTIVE_WINDOW", False));
        XSync(display(), False);
    }
    watch.stop();
    EXPECT_FALSE(watch.isWatching());
}

} // namespace
} // namespace quoddle
