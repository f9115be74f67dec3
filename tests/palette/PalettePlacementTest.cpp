#include "palette/PalettePlacement.h"
#include "GeometryPrinters.h"

#include <gtest/gtest.h>

namespace quoddle {
namespace {

const Rect mainScreen{{0, 0}, {1440, 900}};
const Rect secondScreen{{1440, 0}, {1920, 1080}}; // to the right, bottom edges level
const Size palette{180, 136};

Point place(Point eventPointer, const std::vector<Rect>& screens = {mainScreen}, Size size = palette,
            std::int32_t margin = 6) {
    return paletteOriginBesidePointer(size, eventPointer, screens, screens.front(), margin);
}

TEST(PalettePlacement, BesideThePointerWithinItsScreen) {
    EXPECT_EQ(place({700, 450}), (Point{706, 382})) << "right of the pointer, centred on it";
    EXPECT_EQ(place({1350, 100}), (Point{1164, 732})) << "near the right edge, to the left";
    EXPECT_EQ(place({100, 880}), (Point{106, 0})) << "the bottom edge stays on the screen";
    EXPECT_EQ(place({100, 10}), (Point{106, 764})) << "and so does the top edge";
    EXPECT_EQ(place({100, 450}, {mainScreen}, Size{180, 1200}), (Point{106, 0}))
        << "a palette taller than the screen keeps its bottom edge on it";
    EXPECT_EQ(place({700, 450}, {mainScreen}, palette, 20), (Point{720, 382})) << "the user's margin";
    EXPECT_EQ(place({1350, 100}, {mainScreen}, palette, 20), (Point{1150, 732}));
}

TEST(PalettePlacement, ThePointersScreenIsTheReference) {
    EXPECT_EQ(place({3300, 100}, {mainScreen, secondScreen}), (Point{3114, 732}));
    // Below the first screen's top in event coordinates means above it on the second screen.
    EXPECT_EQ(place({2000, -150}, {mainScreen, secondScreen}), (Point{2006, 944}));
    EXPECT_EQ(paletteOriginBesidePointer(palette, {-500, 100}, {mainScreen, secondScreen}, secondScreen, 6),
              (Point{1440, 732}))
        << "a pointer off every screen falls back on the palette's screen";
}

TEST(PalettePlacement, AScreenEdgeCountsByTheUnflippedRule) {
    EXPECT_TRUE(mouseInRect({0, 900}, mainScreen)) << "the top edge belongs to the screen";
    EXPECT_FALSE(mouseInRect({0, 0}, mainScreen)) << "the bottom edge does not";
    EXPECT_FALSE(mouseInRect({1440, 450}, mainScreen)) << "nor the right edge";
    // A pointer on the left screen's right edge belongs to the next screen.
    const Rect right{{1440, 0}, {800, 600}};
    EXPECT_EQ(place({1440, 600}, {mainScreen, right}, Size{180, 100}), (Point{1446, 250}));
}

} // namespace
} // namespace quoddle
