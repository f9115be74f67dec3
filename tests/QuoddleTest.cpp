// Quoddle's life: what a first start brings up, the session's requests, and the end.
#include "SimFixture.h"

#include "Preferences.h"
#include "cli/Demo.h"

#include <sstream>

namespace quoddle {
namespace {

class Life : public SimFixture {};

TEST_F(Life, AFirstStartShowsTheSettingsWithTheThirteenDefaultsAndObservesTheRunningApplications) {
    desktop.launch("TextEdit", "com.apple.TextEdit");
    desktop.launch("Preview", "com.apple.Preview");
    quoddle().start();
    EXPECT_TRUE(desktop.settingsWindow.isVisible());
    EXPECT_FALSE(desktop.startupWindow.isVisible());
    EXPECT_FALSE(desktop.appServices.isForegroundApplication) << "no Dock icon by default";
    EXPECT_EQ(desktop.accessibilityStatusField.stringValue, "\"Enable access for assistive devices\" is ON.");
    // Quoddle itself and TextEdit are observed; Preview is on the default blacklist.
    EXPECT_EQ(quoddle().observedApplicationCount(), 2u);
    EXPECT_EQ(actions().historyText(), "");
    // Only the login preference is written, mirroring the login items.
    EXPECT_EQ(desktop.defaultsStore.all(), (PlistDictionary{{preference::launchAtLogin, false}}));
    EXPECT_EQ(preference::registeredDefaults(desktop.appServices).size(), 13u);
}

TEST_F(Life, StoredPreferencesDecideTheLoginItemTheDockIconAndTheSettingsWindow) {
    desktop.loginItems.items.push_back({1, "Quoddle", "/Applications/Quoddle.app/"});
    desktop.defaultsStore.set(preference::hideDockIcon, false);
    desktop.defaultsStore.set(preference::showSettingsAtStart, false);
    quoddle().start();
    EXPECT_EQ(*desktop.defaultsStore.find(preference::launchAtLogin), PlistValue(true));
    EXPECT_TRUE(desktop.appServices.isForegroundApplication);
    EXPECT_FALSE(desktop.settingsWindow.isVisible());
    actions().reopen();
    EXPECT_TRUE(desktop.settingsWindow.isVisible()) << "opening the running application again shows them";
    EXPECT_EQ(desktop.appServices.activationCount, 1);
}

TEST_F(Life, WithoutAccessibilityItStartsAllTheSameAndTheSettingsSayHowToTurnItOn) {
    desktop.defaultsStore.set(preference::showSettingsAtStart, false);
    ax().setAPIEnabled(false);
    desktop.launch("TextEdit", "com.apple.TextEdit");
    quoddle().start();
    EXPECT_TRUE(desktop.settingsWindow.isVisible());
    EXPECT_EQ(desktop.accessibilityStatusField.stringValue,
              "\"Enable access for assistive devices\" is OFF.");
    EXPECT_EQ(desktop.appServices.logLines.back(), "AXObserverCreate Error -25211");
    actions().openAccessibilitySettings();
    EXPECT_EQ(desktop.workspace.accessibilitySettingsOpened, 1);
}

TEST_F(Life, ALaunchedApplicationGetsOneObserverAndTheBlacklistAsItIsThen) {
    quoddle().start();
    desktop.blacklistTextView.userEdit("Notes\n");
    desktop.launch("Notes", "com.apple.Notes");
    desktop.launch("TextEdit", "com.apple.TextEdit");
    desktop.launch("TextEdit", "com.apple.TextEdit");
    std::size_t textEditRegistrations = 0;
    for (const SimRegistration& r : ax().registrations())
        textEditRegistrations += r.observerPid > 0 && r.notification == ax::Notification::selectedTextChanged;
    EXPECT_EQ(quoddle().observedApplicationCount(), 2u) << "Quoddle and one TextEdit";
    EXPECT_EQ(textEditRegistrations, 2u) << "Quoddle's own and the first TextEdit's";
}

TEST_F(Life, ActivatingTheFinderSetsTheKnownTitlesAsideAndTheyComeBackWhenNoMenuIsFound) {
    const RunningApplication finder = desktop.launch("Finder", "com.apple.finder");
    // The titles are read at the first palette; the Finder empties them, and a palette over an application
    // without a Services menu takes the set-aside ones back.
    desktop.defaultsStore.set(preference::showSettingsAtStart, false);
    const RunningApplication textEdit = desktop.launch("TextEdit", "com.apple.TextEdit");
    ax().addStandardMenuBar(textEdit.processIdentifier, {"One", "Two"});
    ax::ElementRef text =
        ax().add(ax().addWindow(textEdit.processIdentifier, {.frame = Rect{{0, 0}, {500, 500}}}),
                 {.role = ax::Role::textArea, .frame = Rect{{10, 10}, {400, 400}}});
    quoddle().start();
    auto selectAt = [&](ax::ElementRef element, Point at) {
        desktop.moveMouseTo(at);
        desktop.pressLeftButton();
        ax().focus(element);
        ax().selectText(element, ax::RangeValue{0, 3});
        desktop.releaseLeftButton();
        desktop.pressKey();
    };
    selectAt(text, {100, 100});
    EXPECT_EQ(quoddle().knownServiceTitleCount(), 2u);
    desktop.workspace.activate(finder.processIdentifier);
    EXPECT_EQ(quoddle().knownServiceTitleCount(), 0u);
    desktop.workspace.activate(textEdit.processIdentifier);
    const RunningApplication bare = desktop.launch("Bare", "org.example.bare");
    ax::ElementRef bareText =
        ax().add(ax().addWindow(bare.processIdentifier, {.frame = Rect{{600, 0}, {300, 300}}}),
                 {.role = ax::Role::textArea, .frame = Rect{{610, 10}, {200, 200}}});
    selectAt(bareText, {700, 100});
    EXPECT_EQ(quoddle().knownServiceTitleCount(), 2u);
}

TEST_F(Life, TheDemoFollowsTheTypicalUseToAServiceButtonThatWorks) {
    std::ostringstream out;
    ASSERT_EQ(runDemo(out), 0);
    const std::string story = out.str();
    for (const char* line : {"posts Command down, 'c' down, 'c' up, Command up to TextEdit",
                             "[Make Sticky] at x=6 y=58 w=168 h=20",
                             "performs AXPress on TextEdit's Services item", "TextEdit\t2\tMake Sticky\t"})
        EXPECT_NE(story.find(line), std::string::npos) << line;
}

} // namespace
} // namespace quoddle
