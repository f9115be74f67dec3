// Where the palette opens beside the pointer, and when the pointer's wandering hides it.
#include "SimFixture.h"

#include "Preferences.h"
#include "palette/PalettePlacement.h"

namespace quoddle {
namespace {

struct Placement {
    const char* name;
    Point pointer; // event coordinates
    Point origin;  // screen coordinates, bottom-left origin
};

const Placement kPlacements[] = {
    {"RightOfThePointerCentredOnIt", {100, 400}, {106, 432}},
    {"LeftOfThePointerAtTheRightEdge", {1350, 100}, {1164, 732}},
    {"BottomEdgeOnTheScreen", {100, 880}, {106, 0}},
    {"TopEdgeOnTheScreen", {100, 10}, {106, 764}},
    {"OnTheSecondScreen", {1500, 400}, {1506, 432}},
    {"OffEveryScreenFallsBackOnThePalettesScreen", {-500, -500}, {0, 764}},
    // A screen holds its left and top edges, not its right and bottom ones (in its bottom-left coordinates).
    {"OnTheLeftEdgeOfTheSecondScreen", {1440, 400}, {1446, 432}},
    {"OnTheTopEdgeOfTheSecondScreen", {1500, 100}, {1506, 664}},
    {"OnTheBottomEdgeOfTheSecondScreenFallsBack", {1500, 900}, {1314, 0}},
};

TEST(PalettePlacement, KeepsThePaletteOnThePointersScreen) {
    // Two screens side by side; the palette is 180 x 136 with a margin of 6.
    const std::vector<Rect> screens{Rect{{0, 0}, {1440, 900}}, Rect{{1440, 0}, {1280, 800}}};
    for (const Placement& placement : kPlacements)
        EXPECT_EQ(paletteOriginBesidePointer({180, 136}, placement.pointer, screens, screens[0], 6),
                  placement.origin)
            << placement.name;
}

class PaletteHiding : public TextEditScene {};

TEST_F(PaletteHiding, ThePointerMayWanderTwiceTheMarginOutside) {
    dragSelect();
    ASSERT_TRUE(paletteShown());
    const Rect f = desktop.palette.frame();
    auto pointerAt = [&](double x) {
        desktop.pointer.moveTo({x, f.minY() + 5});
        desktop.runLoop.advance(std::chrono::milliseconds(60));
    };
    pointerAt(f.maxX() + 12);
    EXPECT_TRUE(paletteShown()) << "12 points out is within the allowance";
    pointerAt(f.maxX() + 12.5);
    EXPECT_FALSE(paletteShown());

    desktop.defaultsStore.set(preference::paletteMargin, 20);
    dragSelect();
    pointerAt(desktop.palette.frame().maxX() + 30);
    EXPECT_TRUE(paletteShown()) << "the margin is read at every tick";
}

TEST_F(PaletteHiding, AbsurdPreferencesStillGiveAPaletteOnTheScreen) {
    desktop.defaultsStore.set(preference::paletteWidth, std::int64_t{1} << 40);
    desktop.defaultsStore.set(preference::paletteMargin, -1000000);
    desktop.defaultsStore.set(preference::shortcutButtonsPerRow, 0);
    dragSelect();
    ASSERT_TRUE(paletteShown());
    EXPECT_GE(desktop.palette.frame().minX(), 0);
    EXPECT_GE(desktop.palette.frame().minY(), 0);
}

} // namespace
} // namespace quoddle
