#include "SimFixture.h"
#include "input/PassiveEventTap.h"

namespace quoddle {
namespace {

// TextEdit with one window holding a text area, its Services menu, and Quoddle observing and tapping.
class ClickTracking : public SimFixture {
protected:
    void SetUp() override {
        textEdit = desktop.launch("TextEdit", "com.apple.TextEdit");
        notes = desktop.launch("Notes", "com.apple.Notes");
        menus = ax().addStandardMenuBar(textEdit.processIdentifier, {"Make Sticky", "Search With Google"});
        AXUIElementRef window =
            ax().addWindow(textEdit.processIdentifier, {.frame = Rect{{100, 100}, {800, 600}}});
        textArea = ax().add(window, {.role = "AXTextArea", .frame = Rect{{120, 150}, {600, 400}}});
        image = ax().add(window, {.role = "AXImage", .frame = Rect{{750, 150}, {100, 100}}});
        AXUIElementRef notesWindow =
            ax().addWindow(notes.processIdentifier, {.frame = Rect{{1000, 100}, {400, 400}}});
        notesText = ax().add(notesWindow, {.role = "AXTextArea", .frame = Rect{{1010, 110}, {380, 380}}});
        controller().applicationDidFinishLaunching();
        desktop.settingWindow.orderOut();
        desktop.workspace.activate(textEdit.processIdentifier);
    }
    SimAccessibility& ax() { return desktop.accessibility; }
    bool paletteShown() const { return desktop.window.isVisible(); }

    void pressOnText(AXUIElementRef target = nullptr) {
        desktop.moveMouseTo(target == notesText ? Point{1100, 200} : Point{200, 200});
        desktop.pressLeftButton();
        ax().focus(target ? target : textArea);
    }
    void select(long length, AXUIElementRef target = nullptr) {
        ax().selectText(target ? target : textArea, AXRangeValue{3, length});
    }

    RunningApplication textEdit, notes;
    SimMenuBar menus;
    AXUIElementRef textArea, image, notesText;
};

TEST_F(ClickTracking, ADragSelectionOpensThePaletteAtTheRelease) {
    pressOnText();
    EXPECT_EQ(gMouseDownElementRole, "AXTextArea");
    EXPECT_EQ(gMouseDownElementInfo, "x=120 y=150 - w=600 h=400");
    EXPECT_EQ(gMouseDownElementPid, textEdit.processIdentifier);
    select(4);
    select(9);
    EXPECT_FALSE(paletteShown()) << "not before the release";
    desktop.releaseLeftButton();
    EXPECT_TRUE(paletteShown());
    EXPECT_EQ(controller().serviceTargetAppPid, textEdit.processIdentifier);
    EXPECT_EQ(gMouseDownElementPid, -1) << "showing clears the click data";
    EXPECT_EQ(controller().allServiceNameDic.size(), 2u) << "the Services titles were read last";
}

TEST_F(ClickTracking, ASelectionReportedAfterTheReleaseOpensThePaletteThen) {
    pressOnText();
    desktop.releaseLeftButton();
    EXPECT_FALSE(paletteShown()) << "a plain click opens nothing";
    select(5);
    EXPECT_TRUE(paletteShown());
}

TEST_F(ClickTracking, KeysOtherButtonsAndDeactivationDiscardTheClick) {
    for (auto interrupt :
         {&SimDesktop::pressKey, &SimDesktop::pressRightButton, &SimDesktop::pressOtherButton}) {
        pressOnText();
        select(5);
        (desktop.*interrupt)();
        desktop.releaseLeftButton();
        EXPECT_FALSE(paletteShown());
    }
    pressOnText();
    select(5);
    desktop.workspace.activate(notes.processIdentifier);
    desktop.releaseLeftButton();
    EXPECT_FALSE(paletteShown()) << "deactivation clears the click data";
}

TEST_F(ClickTracking, KeyboardOnlyAndBackgroundSelectionsNeverCount) {
    ax().focus(textArea);
    select(5);
    EXPECT_FALSE(gLastSelectedDate) << "no press since the last clearing";

    pressOnText();
    ax().focus(notesText);
    select(5, notesText);
    desktop.releaseLeftButton();
    EXPECT_FALSE(paletteShown()) << "the selection changed in another application";
}

TEST_F(ClickTracking, ADoubleClickOpensAtTheSecondRelease) {
    pressOnText();
    desktop.releaseLeftButton();
    pressOnText();
    select(4);
    EXPECT_FALSE(paletteShown());
    desktop.releaseLeftButton();
    EXPECT_TRUE(paletteShown());
}

// A report counts as a selection only when it is non-empty: by its text-marker range when the element has
// one, else by its selected range while it is focused.
TEST_F(ClickTracking, OnlyNonEmptySelectionsOfFocusedElementsCount) {
    pressOnText();
    select(5);
    select(0);
    EXPECT_FALSE(gLastSelectedDate) << "shrunk back to a caret";
    desktop.releaseLeftButton();
    EXPECT_FALSE(paletteShown());

    pressOnText();
    select(5);
    ax().setAttribute(textArea, "AXFocused", false);
    select(5);
    EXPECT_FALSE(gLastSelectedDate) << "not focused";

    const std::string block = "{length = 24, bytes = 0x0a0b}";
    ax().selectTextMarkers(textArea, block + " to " + block);
    EXPECT_FALSE(gLastSelectedDate) << "equal first and last markers";
    ax().selectTextMarkers(textArea, block + " to {length = 24, bytes = 0x0c0d}");
    EXPECT_TRUE(gLastSelectedDate);
    ax().selectTextMarkers(textArea, "something else entirely");
    EXPECT_TRUE(gLastSelectedDate) << "a description the pattern does not fit counts as a selection";
}

TEST_F(ClickTracking, APressOnAnImageOpensNothing) {
    desktop.moveMouseTo({790, 190});
    desktop.pressLeftButton();
    EXPECT_EQ(gMouseDownElementRole, "AXImage");
    select(5);
    desktop.releaseLeftButton();
    EXPECT_FALSE(paletteShown());
}

TEST_F(ClickTracking, PressesElsewhereHideThePaletteUnlessPinnedAndKeysAlways) {
    pressOnText();
    select(5);
    desktop.releaseLeftButton();
    ASSERT_TRUE(paletteShown());
    controller().isStopAutoHideWindow = true;
    desktop.moveMouseTo({1100, 200});
    desktop.pressLeftButton();
    EXPECT_TRUE(paletteShown()) << "pinned";
    desktop.pressKey();
    EXPECT_FALSE(paletteShown()) << "a key press hides even a pinned palette";
}

// Clicks on the palette arrive through the tap like every other click: the press lands in Quoddle's own
// window, so it neither hides the palette nor lets the pointer check take it away while the button is held.
TEST_F(ClickTracking, AClickOnAPaletteButtonPassesThroughTheTapWithoutHidingThePaletteFirst) {
    controller().menuItemHistoryDic.tableFor("TextEdit").put(HistoryItem{"Make Sticky", {}, 2, {}, {}});
    pressOnText();
    select(5);
    desktop.releaseLeftButton();
    ASSERT_TRUE(paletteShown());
    SimButton* sticky = desktop.window.buttonTitled("Make Sticky");
    SimButton* copy = desktop.window.buttonTitled("Copy");
    ASSERT_TRUE(sticky && copy);

    const Rect palette = desktop.window.frame();
    desktop.moveMouseTo(desktop.pointer.eventPointOfScreenPoint(
        {palette.minX() + sticky->frame().minX() + 5, palette.maxY() - sticky->frame().minY() - 5}));
    desktop.pressLeftButton();
    EXPECT_EQ(gMouseDownElementPid, controller().thisAppPid) << "the press is in this process";
    EXPECT_TRUE(controller().isPressAppWindow);
    desktop.moveMouseTo({1400, 880});
    desktop.runLoop.advance(std::chrono::milliseconds(200));
    EXPECT_TRUE(paletteShown()) << "neither the press nor the held pointer away hides it";
    desktop.releaseLeftButton();
    sticky->performClick();
    EXPECT_FALSE(paletteShown());
    EXPECT_EQ(controller().menuItemHistoryDic.find("TextEdit")->find("Make Sticky")->count, 3);
    EXPECT_EQ(controller().menuItemHistoryDic.find("*")->find("Make Sticky")->count, 1);

    pressOnText();
    select(5);
    desktop.releaseLeftButton();
    ASSERT_TRUE(paletteShown());
    const std::size_t before = ax().keyboardEvents().size();
    desktop.clickButton(*desktop.window.buttonTitled("Copy"));
    ASSERT_EQ(ax().keyboardEvents().size(), before + 4) << "Command down, C down, C up, Command up";
    EXPECT_EQ(ax().keyboardEvents()[before].pid, textEdit.processIdentifier);
    EXPECT_FALSE(paletteShown());
}

TEST_F(ClickTracking, TheTapComesBackAfterATimeoutAndAfterAUserInputDisable) {
    desktop.eventTaps.disableTap(kCGEventTapDisabledByTimeout);
    EXPECT_EQ(desktop.appServices.logLines.back(), "Quoddle passive kCGEventTapDisabledByTimeout -2");
    desktop.runLoop.runPending();
    ASSERT_NE(desktop.eventTaps.liveTap, nullptr);
    EXPECT_TRUE(desktop.eventTaps.liveTap->enabled);

    const int created = desktop.eventTaps.tapsCreated;
    desktop.eventTaps.disableTap(kCGEventTapDisabledByUserInput);
    EXPECT_EQ(desktop.appServices.logLines.back(), "Quoddle passive kCGEventTapDisabledByUserInput -1");
    desktop.runLoop.runPending();
    EXPECT_EQ(desktop.eventTaps.tapsCreated, created + 1) << "a new tap replaces the disabled one";
    pressOnText();
    select(5);
    desktop.releaseLeftButton();
    EXPECT_TRUE(paletteShown()) << "clicks are seen again";
}

TEST_F(ClickTracking, MenuChoicesAreLearnedOnlyForServicesTitles) {
    controller().allServiceNameDic = {{"Make Sticky", "1"}};
    AXUIElementRef fileMenu = ax().addMenu(ax().children(menus.menuBar).front(), {"Open Recent"});
    ax().openMenu(menus.servicesMenu);
    ax().highlightMenuItem(menus.servicesMenu, menus.services[0]);
    ax().chooseMenuItem(menus.services[0]);
    ASSERT_NE(controller().menuItemHistoryDic.find("TextEdit"), nullptr);
    EXPECT_EQ(controller().menuItemHistoryDic.find("TextEdit")->find("Make Sticky")->count, 1);

    ax().openMenu(fileMenu);
    EXPECT_FALSE(gSelectMenuItemTitle) << "opening a menu forgets the earlier title";
    ax().highlightMenuItem(fileMenu, ax().children(fileMenu).front());
    ax().chooseMenuItem(ax().children(fileMenu).front());
    EXPECT_EQ(controller().menuItemHistoryDic.find("TextEdit")->size(), 1u) << "not a Services item";
}

TEST_F(ClickTracking, AMenuClosedWithoutAChoiceKeepsItsLastTitle) {
    controller().allServiceNameDic = {{"Search With Google", "1"}};
    ax().openMenu(menus.servicesMenu);
    ax().highlightMenuItem(menus.servicesMenu, menus.services[1]);
    ax().closeMenu(menus.servicesMenu);
    EXPECT_EQ(gSelectMenuItemTitle, "Search With Google");
    ax().post(menus.services[1], "AXMenuItemSelected");
    EXPECT_EQ(controller().menuItemHistoryDic.find("*")->find("Search With Google")->count, 1);
}

TEST_F(ClickTracking, BlacklistedApplicationsAreNeverObserved) {
    desktop.defaultsStore.set(kBlacklistAppSetting, "com.apple.TextEdit\nnotes\n");
    controller().setupAllRunningApp_axObserverCallback();
    EXPECT_EQ(observerDic.count("com.apple.Notes"), 1u) << "names compare case-sensitively";
    controller().removeAXObserverCallback("com.apple.TextEdit");
    controller().setup_axObserverCallback("com.apple.TextEdit");
    EXPECT_EQ(observerDic.count("com.apple.TextEdit"), 0u);

    desktop.defaultsStore.set(kBlacklistAppSetting, "Notes");
    controller().removeAXObserverCallback("com.apple.Notes");
    controller().setup_axObserverCallback("com.apple.Notes");
    EXPECT_EQ(observerDic.count("com.apple.Notes"), 0u) << "by localized name";
}

TEST_F(ClickTracking, ARelaunchReplacesTheObserverAndAFailedCreationIsLogged) {
    ASSERT_EQ(observerDic.count("com.apple.TextEdit"), 1u);
    desktop.workspace.quit(textEdit.processIdentifier);
    ax().quitApplication(textEdit.processIdentifier);
    RunningApplication again = desktop.launch("TextEdit", "com.apple.TextEdit");
    std::size_t forNewProcess = 0;
    for (const SimRegistration& r : ax().registrations())
        if (r.observerPid == again.processIdentifier) ++forNewProcess;
    EXPECT_EQ(forNewProcess, 4u);
    EXPECT_EQ(observerDic.size(), 3u) << "Quoddle, Notes and the new TextEdit";

    desktop.workspace.launch("Broken", "org.example.Broken", [&](const RunningApplication& starting) {
        ax().failObserverCreation(starting.processIdentifier, kAXErrorCannotComplete);
    });
    EXPECT_EQ(desktop.appServices.logLines.back(), "AXObserverCreate Error -25204");
    EXPECT_EQ(observerDic.count("org.example.Broken"), 0u);
}

} // namespace
} // namespace quoddle
