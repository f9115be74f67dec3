#include "SimFixture.h"
#include "platform/PlistValuePrinter.h"

namespace quoddle {
namespace {

class Controller : public SimFixture {
protected:
    void activate(const std::string& name, const std::string& bundleIdentifier) {
        RunningApplication app = desktop.workspace.launch(name, bundleIdentifier);
        controller().didActivateApplicationNotification(Notification{
            NSWorkspaceDidActivateApplicationNotification, nullptr, {{NSWorkspaceApplicationKey, app}}});
    }
};

TEST_F(Controller, AFreshUserGetsTheThirteenDefaults) {
    UserDefaults& defaults = controller().userDefaults;
    EXPECT_EQ(defaults.registeredDefaults().size(), 13u);
    const std::pair<const char*, std::int64_t> integers[] = {
        {"LaunchAutomaticallyOnLogin", 0}, {"ShowSettingsOnLaunch", 1},      {"HideDockIcon", 1},
        {kWindowAndMouseMargin, 6},        {kRecentAppMenuItemNum, 3},       {kRecentAllMenuItemNum, 1},
        {kAlwaysShowItemCount, 10000},     {kServiceButtonWindowWidth, 180}, {kShortcutButtonNumPerLine, 4}};
    for (auto [key, value] : integers)
        EXPECT_EQ(defaults.integerForKey(key), value) << key;
    EXPECT_EQ(defaults.stringForKey(kServiceMenuItemTitle), "Services");
    EXPECT_EQ(defaults.stringForKey(kBlacklistAppSetting), "Interface Builder\ncom.apple.Preview\n");
    EXPECT_EQ(defaults.stringForKey(kShortcutButtonSetting),
              desktop.appServices.localizedString("Default Button Setting"));
    EXPECT_EQ(*defaults.objectForKey(kMenuItemHistoryDic), PlistValue(PlistDictionary{}));
    EXPECT_TRUE(desktop.defaultsStore.all().empty()) << "registered defaults are never stored";
}

TEST_F(Controller, ActivatingTheFinderTwiceKeepsTheFirstSetAside) {
    controller().allServiceNameDic = {{"Make Sticky", "1"}};
    activate("Finder", "com.apple.finder");
    EXPECT_TRUE(controller().allServiceNameDic.empty());
    EXPECT_EQ(controller().prevAllServiceNameDic.count("Make Sticky"), 1u);

    activate("Finder", "com.apple.finder");
    EXPECT_TRUE(controller().allServiceNameDic.empty());
    EXPECT_EQ(controller().prevAllServiceNameDic.size(), 1u) << "an empty set never replaces the saved one";

    controller().allServiceNameDic = {{"Search With Google", "1"}};
    activate("TextEdit", "com.apple.TextEdit");
    EXPECT_EQ(controller().allServiceNameDic.size(), 1u) << "other applications change nothing";
    activate("System Preferences", "com.apple.systempreferences");
    EXPECT_EQ(controller().prevAllServiceNameDic,
              (std::unordered_map<std::string, std::string>{{"Search With Google", "1"}}));
}

TEST_F(Controller, DeactivationDiscardsAHalfMadePressAndSelection) {
    gMouseDownElementRole = "AXTextArea";
    gMouseDownElementInfo = "x=1 y=2 - w=3 h=4";
    gMouseDownElementPid = 501;
    gSeletedTextElementPid = 501;
    gSeletedTextElementRole = "AXTextArea";
    gLastClickDate = desktop.clock.now();
    gLastSelectedDate = desktop.clock.now();
    controller().isPressAppWindow = true;
    controller().didDeactivateApplicationNotification(Notification{});
    EXPECT_FALSE(gMouseDownElementRole || gMouseDownElementInfo || gSeletedTextElementRole ||
                 gLastClickDate || gLastSelectedDate);
    EXPECT_EQ(gMouseDownElementPid, -1);
    EXPECT_EQ(gSeletedTextElementPid, -1);
    EXPECT_TRUE(controller().isPressAppWindow) << "clearing the click data touches nothing else";
}

TEST_F(Controller, ReopenThroughTheApplicationBringsTheSettingsWindowForward) {
    controller();
    ApplicationActions* target = desktop.application.actionTarget();
    ASSERT_NE(target, nullptr) << "the controller registers itself with the application";
    EXPECT_TRUE(target->applicationShouldHandleReopen(true));
    EXPECT_TRUE(desktop.settingWindow.isVisible());
    EXPECT_EQ(desktop.settingWindow.orderFrontCount, 2);
    EXPECT_EQ(desktop.appServices.activationCount, 1);

    relaunch();
    EXPECT_EQ(desktop.application.actionTarget(), &controller()) << "an ended controller is never a target";
}

TEST_F(Controller, AccessibilityCheckAndPreferencePane) {
    controller().checkAXAPI();
    EXPECT_EQ(desktop.axapiMessageTextField.stringValue, "\"Enable access for assistive devices\" is ON.");
    EXPECT_EQ(desktop.axapiMessageTextField.textColor, (Color{0, 0, 0, 1}));
    EXPECT_FALSE(desktop.window.isVisible());

    desktop.accessibility.setAPIEnabled(false);
    controller().checkAXAPI();
    EXPECT_TRUE(desktop.window.isVisible()) << "access off: the window comes forward";

    controller().openUniversalAccessPref();
    EXPECT_EQ(
        desktop.workspace.openedURLs,
        (std::vector<std::string>{"file:///System/Library/PreferencePanes/UniversalAccessPref.prefPane"}));
    desktop.workspace.preferencePanesDirectories.push_back("/Library/PreferencePanes");
    controller().openUniversalAccessPref();
    EXPECT_EQ(desktop.workspace.openedURLs.size(), 1u) << "several directories: nothing is opened";
}

} // namespace
} // namespace quoddle
