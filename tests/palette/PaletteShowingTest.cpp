#include "PaletteFixture.h"

#include <limits>

namespace quoddle {
namespace {

class PaletteShowing : public PaletteFixture {
protected:
    // A target with three services: with the default shortcut text the palette is 136 points high.
    PaletteShowing() : targetPid(target("TextEdit", {"Make Sticky"}).processIdentifier) {
        controller().serviceTargetAppPid = -1;
        history("TextEdit", "One", 1, 0);
        history("TextEdit", "Two", 1, 1);
        history("*", "Three", 1, 0);
    }
    // A press, a non-empty selection and a release in the target application, as the input and observer
    // code would record them.
    void selectAndRelease(const std::string& pressedRole = "AXTextArea",
                          std::optional<std::string> pressedInfo = "e1",
                          const std::string& selectedRole = "AXTextArea",
                          std::optional<std::string> selectedInfo = "e1") {
        gMouseDownElementRole = pressedRole;
        gMouseDownElementInfo = std::move(pressedInfo);
        gMouseDownElementPid = targetPid;
        gSeletedTextElementRole = selectedRole;
        gSeletedTextElementInfo = std::move(selectedInfo);
        gSeletedTextElementPid = targetPid;
        gLastSelectedDate = desktop.clock.now();
        gLastClickDate = desktop.clock.now();
    }
    // A selection released with the pointer at this point in event coordinates; whether the palette opened.
    bool showsAt(Point event) {
        desktop.pointer.moveTo(desktop.pointer.screenPointOfEventPoint(event));
        selectAndRelease();
        return shows();
    }
    bool shows() {
        controller().showWindow();
        return desktop.window.isVisible();
    }
    bool clickDataEmpty() { return !gLastClickDate && !gLastSelectedDate && gSeletedTextElementPid == -1; }

    const ProcessId targetPid;
};

TEST_F(PaletteShowing, ASelectionAndAReleaseOpenThePaletteBesideThePointerOnce) {
    setPreference(kServiceButtonWindowWidth, 240);
    controller().isStopAutoHideWindow = true;
    ASSERT_TRUE(showsAt({700, 450}));
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

    const Rect shown = desktop.window.frame();
    EXPECT_TRUE(showsAt({50, 50}));
    EXPECT_EQ(desktop.window.frame(), shown) << "a second call leaves the open palette alone";
    EXPECT_TRUE(gLastClickDate) << "and its click data too";
}

TEST_F(PaletteShowing, OnlyASelectionAndAReleaseInThePressedTextControlAndNotOnAnImageOpenIt) {
    selectAndRelease();
    gLastClickDate.reset();
    EXPECT_FALSE(shows());
    EXPECT_TRUE(gLastSelectedDate) << "a refused show leaves the click data alone";
    EXPECT_TRUE(controller().allServiceNameDic.empty()) << "and learns no Services titles";
    gLastClickDate = desktop.clock.now();
    gLastSelectedDate.reset();
    EXPECT_FALSE(shows());

    auto showsFor = [&](std::string pressedRole, std::string pressedInfo, std::string selectedRole,
                        std::optional<std::string> selectedInfo) {
        selectAndRelease(pressedRole, pressedInfo, selectedRole, selectedInfo);
        const bool shown = shows();
        controller().hideWindow();
        return shown;
    };
    EXPECT_FALSE(showsFor("AXTextArea", "x=1 - w=2", "AXTextField", "x=9 - w=9"));
    EXPECT_FALSE(showsFor("AXGroup", "a", "AXComboBox", std::nullopt)) << "a missing identity never matches";
    EXPECT_FALSE(showsFor("AXImage", "i", "AXStaticText", "t"));
    EXPECT_TRUE(showsFor("AXWebArea", "a", "AXStaticText", "b")) << "other roles are not compared";
    EXPECT_TRUE(showsFor("AXTextField", "f", "AXTextField", "f"));
}

TEST_F(PaletteShowing, AnEmptyRebuildLeavesThePaletteHiddenButUsesTheClickData) {
    setShortcutText("");
    controller().menuItemHistoryDic = ServiceHistory();
    selectAndRelease();
    EXPECT_FALSE(shows());
    EXPECT_EQ(controller().allServiceNameDic.count("Make Sticky"), 1u)
        << "the titles are learned all the same";
    EXPECT_FALSE(controller().checkMouseTimer);
    EXPECT_TRUE(clickDataEmpty());
    EXPECT_EQ(controller().serviceTargetAppPid, targetPid);
}

TEST_F(PaletteShowing, ThePointersScreenIsTheOneThePaletteStaysOn) {
    desktop.screens.frames.push_back(Rect{{1440, -180}, {1280, 1024}});
    ASSERT_TRUE(showsAt({2700, 1070})); // near the bottom right of the second screen
    EXPECT_EQ(desktop.window.frame().origin, (Point{2514, -180}))
        << "the second screen's right and bottom edges";
}

TEST_F(PaletteShowing, AbsurdPreferencesStillGiveAPaletteOnTheScreen) {
    setPreference(kServiceButtonWindowWidth, std::numeric_limits<std::int64_t>::max());
    setPreference(kShortcutButtonNumPerLine, std::int64_t{1} << 32);                // 0 in 32 bits
    setPreference(kWindowAndMouseMargin, std::numeric_limits<std::int64_t>::min()); // 0 in 32 bits
    ASSERT_TRUE(showsAt({700, 450}));
    EXPECT_EQ(shortcutButtonLine, 6) << "one shortcut per row";
    EXPECT_EQ(desktop.window.frame().origin, (Point{0, 450 - 0.5 * (9 * 26 + 6)}));
}

} // namespace
} // namespace quoddle
