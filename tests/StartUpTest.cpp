#include "SimFixture.h"
#include "cli/Demo.h"

#include <sstream>

namespace quoddle {
namespace {

using StartUp = SimFixture;

TEST_F(StartUp, AFirstLaunchShowsTheSettingsWithoutADockIconAndAnEmptyHistory) {
    desktop.launch("TextEdit", "com.apple.TextEdit");
    desktop.nowLoadingWindow.orderFront();
    controller().applicationDidFinishLaunching();
    EXPECT_EQ(gQuoddleAppDelegate, &controller());
    EXPECT_EQ(controller().thisAppPid, desktop.workspace.currentApplication().processIdentifier);
    EXPECT_TRUE(desktop.settingWindow.isVisible());
    EXPECT_FALSE(desktop.appServices.isForegroundApplication);
    EXPECT_FALSE(desktop.nowLoadingWindow.isVisible());
    EXPECT_TRUE(controller().menuItemHistoryDic.empty());
    EXPECT_EQ(observerDic.size(), 2u) << "Quoddle itself and TextEdit";
    EXPECT_FALSE(controller().userDefaults.boolForKey("LaunchAutomaticallyOnLogin"));
}

TEST_F(StartUp, ObserversAndTheTapAreInPlaceBeforeTheLoadingWindowGoes) {
    desktop.launch("TextEdit", "com.apple.TextEdit");
    desktop.defaultsStore.set(
        kMenuItemHistoryDic,
        PlistDictionary{
            {"TextEdit", PlistDictionary{{"Spell", PlistDictionary{{"Title", "Spell"}, {"Count", 3}}}}}});
    bool checked = false;
    desktop.nowLoadingWindow.willOrderOut = [&] {
        checked = true;
        EXPECT_EQ(observerDic.size(), 2u);
        ASSERT_NE(desktop.eventTaps.liveTap, nullptr);
        EXPECT_TRUE(desktop.eventTaps.liveTap->onRunLoop);
        EXPECT_EQ(controller().menuItemHistoryDic.size(), 1u);
    };
    controller().applicationDidFinishLaunching();
    EXPECT_TRUE(checked);
}

TEST_F(StartUp, TheLoginPreferenceStartsFromTheRealLoginItemsAndTheDockIconFromItsPreference) {
    desktop.loginItems.add("Quoddle", "/Applications/Quoddle.app");
    desktop.defaultsStore.set("LaunchAutomaticallyOnLogin", false);
    desktop.defaultsStore.set("HideDockIcon", false);
    desktop.defaultsStore.set("ShowSettingsOnLaunch", false);
    controller().applicationDidFinishLaunching();
    EXPECT_TRUE(controller().userDefaults.boolForKey("LaunchAutomaticallyOnLogin"));
    EXPECT_TRUE(desktop.appServices.isForegroundApplication);
    EXPECT_FALSE(desktop.settingWindow.isVisible());

    desktop.loginItems.items.clear();
    relaunch().applicationDidFinishLaunching();
    EXPECT_FALSE(controller().userDefaults.boolForKey("LaunchAutomaticallyOnLogin"));
}

TEST_F(StartUp, WithoutAccessibilityAccessItGoesOnAndSaysWhy) {
    desktop.launch("TextEdit", "com.apple.TextEdit");
    desktop.accessibility.setAPIEnabled(false);
    desktop.eventTaps.refuseTaps = true;
    controller().applicationDidFinishLaunching();
    EXPECT_TRUE(desktop.window.isVisible()) << "the window that explains access comes forward";
    EXPECT_TRUE(observerDic.empty());
    EXPECT_EQ(desktop.appServices.logLines.size(), 2u);
    EXPECT_EQ(desktop.appServices.logLines[0], "AXObserverCreate Error -25211");
    EXPECT_EQ(controller().passiveEventTapPort, nullptr);
    EXPECT_FALSE(desktop.nowLoadingWindow.isVisible());
}

TEST(Demo, FollowsTheTypicalUseToAServiceButtonThatWorks) {
    std::ostringstream out;
    EXPECT_EQ(runDemo(out), 0);
    const std::string text = out.str();
    EXPECT_NE(text.find("[Make Sticky] at x=6 y=58 w=168 h=20"), std::string::npos) << text;
    EXPECT_NE(text.find("performs AXPress"), std::string::npos);
    EXPECT_NE(text.find("TextEdit\t2\tMake Sticky\t"), std::string::npos);
    EXPECT_NE(text.find("Command down, 'c' down, 'c' up, Command up"), std::string::npos);
    EXPECT_NE(text.find("the palette is hidden"), std::string::npos);
    resetProcessWideState();
}

} // namespace
} // namespace quoddle
