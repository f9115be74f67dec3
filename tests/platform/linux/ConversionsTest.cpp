// The coordinate conversions between the core and X11, and the core's screen list from Qt's.
#include "platform/linux/Conversions.h"

#include <gtest/gtest.h>

#include <limits>

namespace quoddle {
namespace {

Rect rect(double x, double y, double width, double height) {
    return Rect{{x, y}, {width, height}};
}

TEST(ConversionsTest, FlipsAboutTheFirstScreensBottomEdgeAndRoundsEdgesToWholePixels) {
    EXPECT_EQ(windowPointOfEventPoint({0, 0}, 900), (Point{0, 900}));
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

} // namespace
} // namespace quoddle
