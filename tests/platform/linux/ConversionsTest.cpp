#include "platform/linux/Conversions.h"

#include <gtest/gtest.h>

#include <limits>

namespace quoddle {
namespace {

Rect rect(double x, double y, double width, double height) {
    return Rect{{x, y}, {width, height}};
}

TEST(ConversionsTest, FlipsPointsAndRectsAboutTheFirstScreensBottomEdge) {
    const double height = 900;
    EXPECT_EQ(windowPointOfEventPoint({0, 0}, height), (Point{0, 900}));
    EXPECT_EQ(windowPointOfEventPoint({100, 900}, height), (Point{100, 0}));
    EXPECT_EQ(windowPointOfEventPoint({-40, 1000}, height), (Point{-40, -100}));
    EXPECT_EQ(eventPointOfWindowPoint({10.5, 899.5}, height), (Point{10.5, 0.5}));

    // A window whose top-left is at (100, 50) has its bottom-left 64 points lower.
    const Rect topLeft = rect(100, 50, 180, 64);
    const Rect window = windowRectOfTopLeftRect(topLeft, height);
    EXPECT_EQ(window, rect(100, 786, 180, 64));
    EXPECT_EQ(topLeftRectOfWindowRect(window, height), topLeft);
    // The window's top edge is where the top-left form's origin is.
    EXPECT_EQ(eventPointOfWindowPoint({window.minX(), window.maxY()}, height), topLeft.origin);

    for (const Rect& r : {rect(0.25, -30.5, 7, 0), rect(-500, 2000, 3.75, 12.5)}) {
        EXPECT_EQ(topLeftRectOfWindowRect(windowRectOfTopLeftRect(r, height), height), r);
        EXPECT_EQ(windowRectOfTopLeftRect(topLeftRectOfWindowRect(r, height), height), r);
    }
}

struct Layout {
    const char* name;
    std::vector<Rect> topLeftScreens;
    std::size_t primary;
    std::size_t expectedFirst;
    std::vector<Rect> expectedFrames;
};

TEST(ConversionsTest, ListsScreensFirstScreenFirstInWindowSystemCoordinates) {
    const std::vector<Layout> layouts{
        {"one screen", {rect(0, 0, 1440, 900)}, 0, 0, {rect(0, 0, 1440, 900)}},
        {"a taller second screen to the right",
         {rect(0, 0, 1440, 900), rect(1440, 0, 1920, 1080)},
         0,
         0,
         {rect(0, 0, 1440, 900), rect(1440, -180, 1920, 1080)}},
        {"a screen above, at negative y",
         {rect(0, 0, 1440, 900), rect(0, -1080, 1920, 1080)},
         1,
         0,
         {rect(0, 0, 1440, 900), rect(0, 900, 1920, 1080)}},
        {"the first screen listed second and not primary",
         {rect(1440, 0, 1280, 1024), rect(0, 0, 1440, 900)},
         0,
         1,
         {rect(0, 0, 1440, 900), rect(1440, -124, 1280, 1024)}},
        {"no screen at the origin: the primary, its top at y = 0",
         {rect(0, 180, 1440, 900), rect(1440, 0, 1920, 1080)},
         1,
         1,
         {rect(1440, 0, 1920, 1080), rect(0, 0, 1440, 900)}},
        {"no screen at the origin, the primary lower: the screen with its top at y = 0",
         {rect(0, 180, 1440, 900), rect(1440, 0, 1920, 1080)},
         0,
         1,
         {rect(1440, 0, 1920, 1080), rect(0, 0, 1440, 900)}},
        // Not a layout X gives (its root starts at the screens' top), but one a broken setup could.
        {"no screen with its top at y = 0: the primary",
         {rect(0, 100, 800, 600), rect(800, 50, 800, 600)},
         1,
         1,
         {rect(800, -50, 800, 600), rect(0, -100, 800, 600)}},
        {"a primary index out of range counts as the first listed",
         {rect(0, 100, 800, 600), rect(800, 50, 800, 600)},
         7,
         0,
         {rect(0, -100, 800, 600), rect(800, -50, 800, 600)}},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        EXPECT_EQ(firstScreenIndex(layout.topLeftScreens, layout.primary), layout.expectedFirst);
        EXPECT_EQ(firstScreenHeightOf(layout.topLeftScreens, layout.primary),
                  layout.topLeftScreens[layout.expectedFirst].size.height);
        const std::vector<Rect> frames = windowScreenFrames(layout.topLeftScreens, layout.primary);
        EXPECT_EQ(frames, layout.expectedFrames);
        // The core flips the pointer about the first frame's top edge, which lies where the backend's flip
        // puts the first screen's top.
        EXPECT_EQ(frames.front().maxY() + layout.topLeftScreens[layout.expectedFirst].minY(),
                  firstScreenHeightOf(layout.topLeftScreens, layout.primary));
    }
    EXPECT_EQ(firstScreenIndex({}, 0), 0u);
    EXPECT_EQ(firstScreenHeightOf({}, 0), 0);
    EXPECT_TRUE(windowScreenFrames({}, 0).empty());
}

TEST(ConversionsTest, RoundsEdgesToWholePixels) {
    EXPECT_EQ(pixelRectOfTopLeftRect(rect(10, 20, 180, 64)), (PixelRect{10, 20, 180, 64}));
    // Halves go up, also below zero, and a whole size stays whole wherever the rectangle lies.
    EXPECT_EQ(pixelRectOfTopLeftRect(rect(10.5, 19.5, 180, 64)), (PixelRect{11, 20, 180, 64}));
    EXPECT_EQ(pixelRectOfTopLeftRect(rect(-10.5, -0.5, 180, 64)), (PixelRect{-10, 0, 180, 64}));
    EXPECT_EQ(pixelRectOfTopLeftRect(rect(0.49, 0.51, 180, 64)), (PixelRect{0, 1, 180, 64}));
    // Adjacent rectangles share an edge after rounding.
    const PixelRect left = pixelRectOfTopLeftRect(rect(6, 6, 41.5, 20));
    const PixelRect right = pixelRectOfTopLeftRect(rect(47.5, 6, 41.5, 20));
    EXPECT_EQ(left.x + left.width, right.x);
    // Negative sizes and values from a broken preference give an empty or bounded rectangle, never
    // undefined behaviour.
    EXPECT_EQ(pixelRectOfTopLeftRect(rect(5, 5, -20, -1)).width, 0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double huge = 1e300;
    EXPECT_EQ(pixelRectOfTopLeftRect(rect(nan, nan, 10, 10)).x, 0);
    const PixelRect wide = pixelRectOfTopLeftRect(rect(0, 0, huge, 20));
    EXPECT_GT(wide.width, 32767);
    EXPECT_LT(wide.width, std::numeric_limits<int>::max());
}

TEST(ConversionsTest, FindsTheScreenHoldingMostOfAWindow) {
    const std::vector<Rect> screens{rect(0, 0, 1440, 900), rect(1440, -180, 1920, 1080)};
    EXPECT_EQ(screenHoldingMostOf(rect(100, 100, 180, 64), screens), screens[0]);
    EXPECT_EQ(screenHoldingMostOf(rect(1400, 100, 180, 64), screens), screens[1]);  // 40 left, 140 right
    EXPECT_EQ(screenHoldingMostOf(rect(1350, 100, 180, 64), screens), screens[0]);  // 90 each: the earlier
    EXPECT_EQ(screenHoldingMostOf(rect(1440, 900, 10, 10), screens), std::nullopt); // touches, no overlap
    EXPECT_EQ(screenHoldingMostOf(rect(-500, -500, 10, 10), screens), std::nullopt);
    EXPECT_EQ(screenHoldingMostOf(rect(0, 0, 10, 10), {}), std::nullopt);
}

} // namespace
} // namespace quoddle
