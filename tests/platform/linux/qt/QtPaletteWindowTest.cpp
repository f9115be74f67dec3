// The palette window on Qt: placement at the core's frames, its buttons, and the in-process hit test over
// it. With an X display: where the server maps it, and what it tells window managers about the focus.
#include "platform/linux/qt/QtPaletteWindow.h"
#include "platform/linux/QtTestApp.h"
#include "platform/linux/qt/QtUi.h"

#include <QPushButton>
#include <gtest/gtest.h>

#include "platform/linux/X11TestSession.h"

namespace quoddle {
namespace {

using test::spinUntil;

class QtPaletteWindowTest : public test::WithQtApplication, public ::testing::Test {
protected:
    // The frame (window-system coordinates) whose top-left lies at the given event point.
    Rect frameWithTopLeftAt(double x, double y, double width, double height) const {
        return windowRectOfTopLeftRect(Rect{{x, y}, {width, height}}, screens.firstScreenHeight());
    }

    QtScreens screens;
    QtPaletteWindow palette{screens};
};

std::string describe(const std::optional<OwnWindowHit>& hit) {
    if (!hit) return "none";
    char frame[64];
    std::snprintf(frame, sizeof frame, " at %g,%g %gx%g", hit->frame.minX(), hit->frame.minY(),
                  hit->frame.size.width, hit->frame.size.height);
    return std::string(ax::nameOf(hit->role)) + " " + hit->title + frame;
}

TEST_F(QtPaletteWindowTest, AnswersHitTestsForItsButtonsAndItself) {
    palette.setFrame(frameWithTopLeftAt(100, 120, 180, 58), false);
    ButtonRef top = palette.addButton(Rect{{6, 6}, {168, 20}});
    top->setTitle("Look Up & Define");
    ButtonRef below = palette.addButton(Rect{{6, 32}, {80, 20}});
    below->setTitle("Below");
    int closes = 0;
    palette.setWillCloseHandler([&] { ++closes; });
    QtOwnWindows own(palette, screens);
    EXPECT_FALSE(own.hitTest(Point{150, 135.5})) << "not shown yet";
    // Answered at once after the showing, before any window manager is through with the window.
    palette.orderFront();
    // The right and bottom edges are outside.
    const std::pair<Point, std::string> cases[] = {
        {{150, 135.5}, "AXButton Look Up & Define at 106,126 168x20"},
        {{185.9, 152}, "AXButton Below at 106,152 80x20"},
        {{186, 152}, "AXWindow Quoddle Palette at 100,120 180x58"},
        {{102, 170}, "AXWindow Quoddle Palette at 100,120 180x58"},
        {{99.9, 170}, "none"},
        {{100, 178}, "none"},
        {{1e300, 5}, "none"}};
    for (const auto& [at, expected] : cases)
        EXPECT_EQ(describe(own.hitTest(at)), expected) << at.x << "," << at.y;
    below->removeFromSuperview();
    EXPECT_EQ(describe(own.hitTest(Point{120, 160})).substr(0, 8), "AXWindow");

    // Spare widgets come back last-freed first; a screen reader still meets the buttons as they were added.
    ButtonRef reused = palette.addButton(Rect{{6, 32}, {80, 20}});
    top->removeFromSuperview();
    reused->removeFromSuperview();
    palette.addButton(Rect{{6, 6}, {80, 20}})->setTitle("First");
    palette.addButton(Rect{{6, 32}, {80, 20}})->setTitle("Second");
    std::string order;
    for (const QObject* child : palette.widget().children())
        if (const auto* button = qobject_cast<const QPushButton*>(child); button && !button->isHidden())
            order += button->text().toStdString() + ";";
    EXPECT_EQ(order, "First;Second;");

    palette.widget().close();
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(palette.isVisible());
    EXPECT_FALSE(own.hitTest(Point{150, 135.5}));
}

// Unmanaged, as menus and tooltips are: no window manager moves it or gives it the focus. That the focus
// stays where it was, and where it shows beside the pointer, is the desktop tier's.
TEST_F(QtPaletteWindowTest, OnAnXDisplayMapsUnmanagedExactlyAtTheFrameAndFollowsItsMoves) {
    DisplayHandle x = test::onX11Display() ? testing::openTestDisplay() : nullptr;
    if (!x) GTEST_SKIP() << "needs an X display";
    palette.setFrame(frameWithTopLeftAt(321, 123, 180, 84), false);
    palette.addButton(Rect{{6, 6}, {168, 20}})->setTitle("Copy");
    const WId window = palette.widget().winId();
    palette.orderFront();
    ASSERT_TRUE(spinUntil([&] { return testing::isViewable(x.get(), window); }));
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(x.get(), window, &attributes));
    EXPECT_TRUE(attributes.override_redirect);
    EXPECT_TRUE(spinUntil([&] {
        return testing::rootFrame(x.get(), window) == Rect{{321, 123}, {180, 84}};
    }));
    palette.setFrameOrigin(windowPointOfEventPoint({400, 300 + 84}, screens.firstScreenHeight()));
    EXPECT_TRUE(spinUntil([&] {
        return testing::rootFrame(x.get(), window) == Rect{{400, 300}, {180, 84}};
    }));
    palette.orderOut();
    EXPECT_TRUE(spinUntil([&] { return !testing::isViewable(x.get(), window); }));
}

} // namespace
} // namespace quoddle
