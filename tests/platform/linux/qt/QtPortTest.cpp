// The Qt port: the coordinate conversions between the core and X11 and the core's screen list from Qt's;
// its run loop; the palette window, placed at the core's frames, its buttons, and the in-process hit test
// over it, and with an X display where the server maps it and what it tells window managers about the
// focus; and the settings window, whose commands reach the core's actions, and its desktop services page.
// What a user sees of the settings window (its pages and control names over AT-SPI, a preference reaching
// the file and keeping to its range, the login switch, Apply, coming forward on a second start) is the
// desktop tier's.
#include "platform/linux/Conversions.h"
#include "platform/linux/QtTestApp.h"
#include "platform/linux/qt/QtInterface.h"
#include "platform/linux/qt/QtPaletteWindow.h"
#include "platform/linux/qt/QtRunLoop.h"
#include "platform/linux/qt/QtSettingsWindow.h"
#include "platform/linux/qt/QtUi.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/linux/X11TestSession.h"

namespace quoddle {
namespace {

using namespace std::chrono_literals;
using test::spinUntil;

Rect rect(double x, double y, double width, double height) {
    return Rect{{x, y}, {width, height}};
}

TEST(ConversionsTest, FlipsAboutTheFirstScreensBottomEdgeAndRoundsEdgesToWholePixels) {
    EXPECT_EQ(windowPointOfEventPoint({-40, 1000}, 900), (Point{-40, -100}));
    EXPECT_EQ(eventPointOfWindowPoint({10.5, 899.5}, 900), (Point{10.5, 0.5}));
    // A window whose top-left is at (100, 50) has its bottom-left 64 points lower; the flip is its own
    // inverse.
    EXPECT_EQ(windowRectOfTopLeftRect(rect(100, 50, 180, 64), 900), rect(100, 786, 180, 64));
    for (const Rect& r : {rect(100, 50, 180, 64), rect(0.25, -30.5, 7, 0), rect(-500, 2000, 3.75, 12.5)}) {
        EXPECT_EQ(topLeftRectOfWindowRect(windowRectOfTopLeftRect(r, 900), 900), r);
        EXPECT_EQ(windowRectOfTopLeftRect(topLeftRectOfWindowRect(r, 900), 900), r);
    }

    // Halves go up, also below zero, and a whole size stays whole wherever the rectangle lies.
    EXPECT_EQ(pixelRectOfTopLeftRect(rect(10.5, 19.5, 180, 64)), (PixelRect{11, 20, 180, 64}));
    EXPECT_EQ(pixelRectOfTopLeftRect(rect(-10.5, -0.5, 180, 64)), (PixelRect{-10, 0, 180, 64}));
    // Adjacent rectangles share an edge after rounding.
    const PixelRect left = pixelRectOfTopLeftRect(rect(6, 6, 41.5, 20));
    EXPECT_EQ(left.x + left.width, pixelRectOfTopLeftRect(rect(47.5, 6, 41.5, 20)).x);
    // Values from a broken preference give an empty or bounded rectangle, never undefined behaviour.
    EXPECT_EQ(pixelRectOfTopLeftRect(rect(5, 5, -20, -1)).width, 0);
    EXPECT_EQ(pixelRectOfTopLeftRect(rect(std::numeric_limits<double>::quiet_NaN(), 0, 10, 10)).x, 0);
    EXPECT_LT(pixelRectOfTopLeftRect(rect(0, 0, 1e300, 20)).width, std::numeric_limits<int>::max());
}

// Which screen is first, and the frames in the core's order and form, for layouts X and a broken setup give.
TEST(ConversionsTest, ListsScreensFirstScreenFirstInWindowSystemCoordinates) {
    const Rect a = rect(0, 0, 1440, 900), right = rect(1440, 0, 1920, 1080), low = rect(0, 180, 1440, 900);
    struct Layout {
        std::vector<Rect> topLeftScreens;
        std::size_t primary, first;
        std::vector<Rect> frames;
    };
    const Layout layouts[] = {
        {{a, right}, 0, 0, {a, rect(1440, -180, 1920, 1080)}}, // a taller screen to the right
        {{rect(1440, 0, 1280, 1024), a}, 0, 1, {a, rect(1440, -124, 1280, 1024)}}, // the first listed second
        {{low, right}, 0, 1, {right, a}}, // none at the origin: the one with its top at y = 0, primary or not
        {{low, rect(800, 50, 800, 600)},
         7,
         0,
         {rect(0, -180, 1440, 900), rect(800, 250, 800, 600)}}}; // a bad primary
    for (const Layout& layout : layouts) {
        EXPECT_EQ(firstScreenIndex(layout.topLeftScreens, layout.primary), layout.first);
        const double height = firstScreenHeightOf(layout.topLeftScreens, layout.primary);
        const std::vector<Rect> frames = windowScreenFrames(layout.topLeftScreens, layout.primary);
        EXPECT_EQ(frames, layout.frames);
        // The core flips the pointer about the first frame's top edge, which lies where the backend's flip
        // puts the first screen's top.
        EXPECT_EQ(frames.front().maxY() + layout.topLeftScreens[layout.first].minY(), height);
    }
    EXPECT_TRUE(windowScreenFrames({}, 0).empty());
}

class QtRunLoopTest : public test::WithQtApplication, public ::testing::Test {
protected:
    // Turns the loop until a timer scheduled now, later than everything scheduled before, has fired:
    // whatever was due by then has had its chance to run (the positive control of every "did not run").
    void turnPast(std::chrono::milliseconds delay) {
        bool fired = false;
        loop.scheduleTimer(delay, false, [&] { fired = true; });
        ASSERT_TRUE(spinUntil([&] { return fired; }));
    }

    QtRunLoop loop;
};

TEST_F(QtRunLoopTest, TimersFireUntilInvalidatedAlsoFromInsideAnActionAndNeverOnceTheirLoopWent) {
    int oneShot = 0, repeating = 0, victimFired = 0;
    TimerId repeatingId = 0, victim = 0, once = 0;
    once = loop.scheduleTimer(10ms, false, [&] {
        ++oneShot;
        loop.invalidateTimer(once); // over once its action runs: nothing
    });
    repeatingId = loop.scheduleTimer(5ms, true, [&] {
        if (++repeating == 3) loop.invalidateTimer(repeatingId);
    });
    const TimerId pending = loop.scheduleTimer(5ms, false, [&] { oneShot += 100; });
    loop.invalidateTimer(pending);
    loop.invalidateTimer(pending);
    loop.invalidateTimer(987654);
    // Invalidated by another's action, both due at the same moment: it does not fire either.
    loop.scheduleTimer(2ms, false, [&] { loop.invalidateTimer(victim); });
    victim = loop.scheduleTimer(2ms, false, [&] { ++victimFired; });
    // Work and timers of a loop that went never run.
    int ran = 0;
    {
        QtRunLoop gone;
        gone.post([&] { ++ran; });
        gone.scheduleTimer(0ms, false, [&] { ++ran; });
        gone.scheduleTimer(1ms, true, [&] { ++ran; });
    }
    ASSERT_TRUE(spinUntil([&] { return oneShot >= 1 && repeating >= 3; }));
    turnPast(40ms);
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(oneShot, 1);
    EXPECT_EQ(repeating, 3);
    EXPECT_EQ(victimFired, 0);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

// Posted work runs later, never inline, in order, also when posted from another thread.
TEST_F(QtRunLoopTest, RunsPostedWorkLaterOnTheMainThreadInOrder) {
    std::vector<int> order;
    loop.post([&] { order.push_back(0); });
    EXPECT_TRUE(order.empty()) << "never inline, even from the main thread";
    std::thread worker([&] {
        for (int i = 1; i <= 100; ++i)
            loop.post([&, i] { order.push_back(loop.isMainThread() ? i : -i); });
    });
    EXPECT_TRUE(spinUntil([&] { return order.size() == 101; })); // posted while this thread turns the loop
    worker.join();
    std::vector<int> expected(101);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected) << "in order, on the main thread";
}

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

// What the core hears of, by command.
class RecordingActions : public ApplicationActions {
public:
    void loadHistoryText() override { ++calls["load"]; }
    void applyHistoryText() override { ++calls["apply"]; }
    void launchAtLoginChanged() override { ++calls["launchAtLogin"]; }
    void openAccessibilitySettings() override { ++calls["accessibility"]; }
    void reopen() override {}
    void terminate() override {}
    std::string historyText() override { return {}; }
    std::string importHistoryText(const std::string&) override { return {}; }
    std::map<std::string, int> calls;
};

class QtSettingsWindowTest : public test::WithQtApplication, public ::testing::Test {
protected:
    QtInterface ui;
    QtSettingsWindow& window = *ui.settings;
    RecordingActions core;
};

TEST_F(QtSettingsWindowTest, SendsItsCommandsToTheRegisteredActionsOnly) {
    window.loadButton().click(); // none registered yet: nothing
    ui.application.setActions(&core);
    window.loadButton().click();
    window.applyButton().click();
    window.applyButton().click();
    window.accessibilityButton().click();
    EXPECT_EQ(core.calls, (std::map<std::string, int>{{"load", 1}, {"apply", 2}, {"accessibility", 1}}));
    ui.application.setActions(nullptr);
    window.loadButton().click();
    EXPECT_EQ(core.calls["load"], 1);
}

// The desktop services found are listed, read again when the page is shown; one can become a shortcut
// button, typed into the shortcut text as an edit of the user's (which the core then stores).
TEST_F(QtSettingsWindowTest, ListsTheDesktopServicesAndAddsOneAsAShortcutButton) {
    std::vector<DesktopServiceListing> found{
        {"Make Upper Case", "replaces the selection", "/usr/share/a.service"},
        {"Speak", "none", "/home/u/.local/share/b.service"}};
    window.setDesktopServices([&] { return found; }, "/tmp/quoddle-no-such-folder");
    ASSERT_EQ(window.desktopServicesList().topLevelItemCount(), 2);
    EXPECT_EQ(window.desktopServicesList().topLevelItem(1)->text(2),
              QStringLiteral("/home/u/.local/share/b.service"));
    found.pop_back();
    window.tabs().setCurrentIndex(4);
    EXPECT_EQ(window.desktopServicesList().topLevelItemCount(), 1);

    QtTextView& shortcuts = window.shortcutTextView();
    shortcuts.setString("Copy\tchar\tc\tcontrol");
    int edits = 0;
    shortcuts.setEditedHandler([&] { ++edits; });
    EXPECT_FALSE(window.addToPaletteButton().isEnabled());
    window.desktopServicesList().topLevelItem(0)->setSelected(true);
    ASSERT_TRUE(window.addToPaletteButton().isEnabled());
    window.addToPaletteButton().click();
    EXPECT_EQ(shortcuts.string(), "Copy\tchar\tc\tcontrol\nMake Upper Case\tservice\tMake Upper Case\n");
    EXPECT_GE(edits, 1);
    EXPECT_EQ(window.tabs().currentIndex(), 2);
}

} // namespace
} // namespace quoddle
