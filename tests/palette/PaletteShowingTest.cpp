#include "PaletteFixture.h"

#include <limits>

namespace quoddle {
namespace {

class PaletteShowing : public PaletteFixture {
protected:
    // A press, a non-empty selection and a release in the target application, as Parts of the input
    // and observer code would record them.
    void selectAndRelease(const std::string& pressedRole = "AXTextArea",
                          const std::string& pressedInfo = "e1",
                          const std::string& selectedRole = "AXTextArea",
                          const std::string& selectedInfo = "e1") {
        gMouseDownElementRole = pressedRole;
        gMouseDownElementInfo = pressedInfo;
        gMouseDownElementPid = targetPid;
        gSeletedTextElementRole = selectedRole;
        gSeletedTextElementInfo = selectedInfo;
        gSeletedTextElementPid = targetPid;
        gLastSelectedDate = desktop.clock.now();
        gLastClickDate = desktop.clock.now();
    }
    // A target with three services: with the default shortcut text the palette is 136 points high.
    void targetWithThreeServices() {
        targetPid = target("TextEdit", {"Make Sticky"}).processIdentifier;
        controller().serviceTargetAppPid = -1;
        history("TextEdit", "One", 1, 0);
        history("TextEdit", "Two", 1, 1);
        history("*", "Three", 1, 0);
    }
    void pointerAtEventLocation(Point event) {
        desktop.pointer.moveTo(desktop.pointer.screenPointOfEventPoint(event));
    }
    bool clickDataEmpty() { return !gLastClickDate && !gLastSelectedDate && gSeletedTextElementPid == -1; }

    ProcessId targetPid = -1;
};

TEST_F(PaletteShowing, ASelectionAndAReleaseOpenThePaletteBesideThePointer) {
    targetWithThreeServices();
    setPreference(kServiceButtonWindowWidth, 240);
    controller().isStopAutoHideWindow = true;
    pointerAtEventLocation({700, 450});
    selectAndRelease();
    controller().showWindow();

    EXPECT_TRUE(desktop.window.isVisible());
    EXPECT_EQ(controller().serviceTargetAppPid, targetPid) << "taken before the click data were emptied";
    EXPECT_TRUE(clickDataEmpty());
    EXPECT_FALSE(controller().isStopAutoHideWindow);
    EXPECT_EQ(desktop.window.frame(), (Rect{{706, 382}, {240, 136}}));
    EXPECT_EQ(controller().serviceButtonArray[0]->frame().size.width, 228)
        << "the width was set before the rebuild";
    EXPECT_EQ(desktop.window.alphaValue, 0.85);
    EXPECT_EQ(desktop.window.levelKey(), 9);
    EXPECT_FALSE(desktop.window.isOpaque);
    EXPECT_FALSE(desktop.window.hidesOnDeactivate);
    EXPECT_TRUE(controller().checkMouseTimer);
    EXPECT_EQ(controller().allServiceNameDic.count("Make Sticky"), 1u)
        << "the target's Services titles are learned";
}

TEST_F(PaletteShowing, BothASelectionAndAReleaseMustHaveBeenSeen) {
    targetWithThreeServices();
    selectAndRelease();
    gLastClickDate.reset();
    controller().showWindow();
    EXPECT_FALSE(desktop.window.isVisible());
    EXPECT_TRUE(gLastSelectedDate) << "a refused show leaves the click data alone";
    EXPECT_TRUE(controller().allServiceNameDic.empty()) << "and learns no Services titles";

    gLastClickDate = desktop.clock.now();
    gLastSelectedDate.reset();
    controller().showWindow();
    EXPECT_FALSE(desktop.window.isVisible());
}

TEST_F(PaletteShowing, TwoCallsForOneSelectionShowThePaletteOnce) {
    targetWithThreeServices();
    selectAndRelease();
    controller().showWindow();
    const Rect shown = desktop.window.frame();
    desktop.pointer.moveTo({50, 50});
    selectAndRelease(); // even with fresh click data a visible palette is left alone
    controller().showWindow();
    EXPECT_EQ(desktop.window.frame(), shown);
    EXPECT_TRUE(gLastClickDate);

    controller().hideWindow();
    controller().clearClickData();
    controller().showWindow();
    EXPECT_FALSE(desktop.window.isVisible()) << "the showing emptied the click data";
}

TEST_F(PaletteShowing, InATextControlTheSelectionMustLieInThePressedElement) {
    targetWithThreeServices();
    selectAndRelease("AXTextArea", "x=1 - w=2", "AXTextField", "x=9 - w=9");
    controller().showWindow();
    EXPECT_FALSE(desktop.window.isVisible());

    selectAndRelease("AXGroup", "a", "AXComboBox", "a");
    gSeletedTextElementInfo.reset();
    controller().showWindow();
    EXPECT_FALSE(desktop.window.isVisible()) << "a missing identity never matches";

    selectAndRelease("AXWebArea", "a", "AXStaticText", "b");
    controller().showWindow();
    EXPECT_TRUE(desktop.window.isVisible()) << "other roles are not compared";
}

TEST_F(PaletteShowing, APressOnAnImageOpensNothing) {
    targetWithThreeServices();
    selectAndRelease("AXImage", "i", "AXStaticText", "t");
    controller().showWindow();
    EXPECT_FALSE(desktop.window.isVisible());
}

TEST_F(PaletteShowing, AnEmptyRebuildLeavesThePaletteHiddenButUsesTheClickData) {
    setShortcutText("");
    targetPid = target("Empty", {"Look Up"}).processIdentifier;
    selectAndRelease();
    controller().showWindow();
    EXPECT_FALSE(desktop.window.isVisible());
    EXPECT_EQ(controller().allServiceNameDic.count("Look Up"), 1u) << "the titles are learned all the same";
    EXPECT_FALSE(controller().checkMouseTimer);
    EXPECT_TRUE(clickDataEmpty());
    EXPECT_EQ(controller().serviceTargetAppPid, targetPid);
}

TEST_F(PaletteShowing, NearTheRightEdgeThePaletteOpensLeftOfThePointer) {
    targetWithThreeServices();
    pointerAtEventLocation({1350, 100});
    selectAndRelease();
    controller().showWindow();
    EXPECT_EQ(desktop.window.frame().origin, (Point{1164, 732}));
}

TEST_F(PaletteShowing, NearTheBottomThePaletteSitsOnTheScreensEdge) {
    targetWithThreeServices();
    pointerAtEventLocation({100, 880});
    selectAndRelease();
    controller().showWindow();
    EXPECT_EQ(desktop.window.frame().origin, (Point{106, 0}));
}

TEST_F(PaletteShowing, APaletteTallerThanItsScreenRunsOffTheTop) {
    targetPid = target("Busy").processIdentifier;
    setPreference(kAlwaysShowItemCount, 1);
    for (int i = 0; i < 40; ++i)
        history("Busy", "S" + std::to_string(i), 1, i);
    pointerAtEventLocation({300, 200});
    selectAndRelease();
    controller().showWindow();
    EXPECT_EQ(desktop.window.frame().size.height, 42 * 26 + 6);
    EXPECT_EQ(desktop.window.frame().origin, (Point{306, 0}));
}

TEST_F(PaletteShowing, ThePointersScreenIsTheOneThePaletteStaysOn) {
    desktop.screens.frames.push_back(Rect{{1440, -180}, {1280, 1024}});
    targetWithThreeServices();
    pointerAtEventLocation({2700, 1070}); // near the bottom right of the second screen
    selectAndRelease();
    controller().showWindow();
    EXPECT_EQ(desktop.window.frame().origin, (Point{2514, -180}))
        << "the second screen's right and bottom edges";
}

TEST_F(PaletteShowing, AbsurdPreferencesStillGiveAPaletteOnTheScreen) {
    targetWithThreeServices();
    setPreference(kServiceButtonWindowWidth, std::numeric_limits<std::int64_t>::max());
    setPreference(kShortcutButtonNumPerLine, std::numeric_limits<std::int64_t>::min());
    setPreference(kWindowAndMouseMargin, std::numeric_limits<std::int64_t>::min()); // 0 in 32 bits
    pointerAtEventLocation({700, 450});
    selectAndRelease();
    controller().showWindow();
    EXPECT_TRUE(desktop.window.isVisible());
    EXPECT_EQ(shortcutButtonLine, 6) << "one shortcut per row";
    EXPECT_EQ(desktop.window.frame().origin, (Point{0, 450 - 0.5 * (9 * 26 + 6)}));
}

} // namespace
} // namespace quoddle
