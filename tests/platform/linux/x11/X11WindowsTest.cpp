// Top-level window queries, window property reading and the active-window watch, on the test display.
// They hold with and without a window manager: positions are read back from the server, never assumed.
#include "platform/linux/x11/X11Windows.h"
#include "platform/linux/x11/X11ActiveWindowWatch.h"

#include <gtest/gtest.h>

#include "platform/linux/X11TestSession.h"

namespace quoddle {
namespace {

using testing::XWindow;

class TopLevelWindows : public ::testing::Test {
protected:
    void SetUp() override {
        if (!(display_ = testing::openTestDisplay())) GTEST_SKIP() << "no display";
        test::qtApplication();
        windows_.emplace(display());
    }
    Display* display() const { return display_.get(); }
    std::optional<TopLevelWindow> windowAt(const Rect& r, double dx = 0) {
        return topLevelWindowAt(display(), int(r.minX() + r.size.width / 2 + dx),
                                int(r.minY() + r.size.height / 2));
    }
    // Maps a new window with the pid and waits until the top-level query finds it where the server says it
    // is (a window manager reparents and places it first).
    std::pair<XWindow, Rect> map(int x, int y, int width, int height, bool popup, unsigned long pid) {
        const XWindow window = windows_->create(x, y, width, height, popup);
        testing::setCardinal(display(), window, "_NET_WM_PID", pid);
        XMapRaised(display(), window);
        XSync(display(), False);
        std::optional<Rect> frame;
        EXPECT_TRUE(test::spinUntil([&] {
            frame = testing::rootFrame(display(), window);
            const std::optional<TopLevelWindow> hit = frame ? windowAt(*frame) : std::nullopt;
            return hit && hit->window == window && hit->frame == *frame;
        }));
        return {window, frame.value_or(Rect{})};
    }

    DisplayHandle display_;
    std::optional<testing::TestWindows> windows_;
};

TEST_F(TopLevelWindows, TheTopmostWindowAtAPointGivesItsClientPidAndFrame) {
    const auto [lower, lowerFrame] = map(300, 200, 400, 300, false, 4242);
    EXPECT_EQ(windowAt(lowerFrame), (TopLevelWindow{lower, 4242, lowerFrame}));
    // A popup menu over it: override-redirect, unmanaged, with a pid of its own.
    const auto [popup, popupFrame] =
        map(int(lowerFrame.minX()) + 20, int(lowerFrame.minY()) + 20, 100, 80, true, 4343);
    EXPECT_EQ(popupFrame, (Rect{{lowerFrame.minX() + 20, lowerFrame.minY() + 20}, {100, 80}}));
    EXPECT_EQ(windowAt(popupFrame), (TopLevelWindow{popup, 4343, popupFrame}));
    EXPECT_EQ(windowAt(lowerFrame, 150).value().window, lower) << "beside the popup";

    // Gone: the point falls through to the window below, and questions about it have no answer.
    XDestroyWindow(display(), popup);
    XSync(display(), False);
    EXPECT_EQ(windowAt(popupFrame).value().window, lower);
    EXPECT_EQ(windowPid(display(), popup), std::nullopt);
}

TEST_F(TopLevelWindows, PropertiesOfTheWrongKindReadAsNone) {
    const XWindow window = windows_->create(10, 10, 50, 50, true);
    EXPECT_EQ(windowPid(display(), window), std::nullopt) << "no property";
    testing::setText(display(), window, "_NET_WM_PID", "4242", "STRING");
    EXPECT_EQ(windowPid(display(), window), std::nullopt) << "a pid written as text";
    testing::setCardinal(display(), window, "_NET_WM_PID", 0x80000000ul);
    EXPECT_EQ(windowPid(display(), window), std::nullopt) << "beyond any pid";
    EXPECT_EQ(readWindowProperty(display(), window, "_NET_WM_PID"), std::nullopt) << "CARDINAL is no WINDOW";

    // The desktop file id from either property, and none from text that cannot be one.
    const std::pair<std::string, std::optional<std::string>> ids[] = {
        {"org.example.App.desktop", "org.example.App"},
        {"org.example.App", "org.example.App"},
        {"bad\xff\xfe", std::nullopt},
        {std::string(kMaxPropertyTextBytes + 1, 'a'), std::nullopt},
        {".desktop", std::nullopt}};
    for (const auto& [text, id] : ids) {
        testing::setText(display(), window, "_GTK_APPLICATION_ID", text);
        EXPECT_EQ(desktopFileIdOfWindow(display(), window), id) << text.substr(0, 20);
    }
    // STRING is Latin-1; what comes back is UTF-8.
    testing::setText(display(), window, "WM_NAME", "caf\xe9", "STRING");
    EXPECT_EQ(readTextProperty(display(), window, "WM_NAME"), "caf\xc3\xa9");
}

} // namespace
} // namespace quoddle
