// Quoddle's life: what a first start brings up, the session's requests, and the end.
#include "SimFixture.h"

#include "Preferences.h"
#include "cli/Demo.h"

#include <sstream>

namespace quoddle {
namespace {

class Life : public SimFixture {};

TEST_F(Life, AFirstStartShowsTheSettingsStoresOnlyTheLoginStateAndObservesTheRunningApplications) {
    desktop.launch("TextEdit", "com.apple.TextEdit");
    desktop.launch("Preview", "com.apple.Preview");
    quoddle().start();
    EXPECT_TRUE(desktop.settingsWindow.isVisible());
    EXPECT_FALSE(desktop.startupWindow.isVisible());
    EXPECT_FALSE(desktop.appServices.isForegroundApplication) << "no Dock icon by default";
    EXPECT_EQ(desktop.accessibilityStatusField.stringValue, "\"Enable access for assistive devices\" is ON.");
    // Quoddle itself and TextEdit are observed; Preview is on the default blacklist.
    EXPECT_EQ(quoddle().observedApplicationCount(), 2u);
    // Only the login preference is written, mirroring the login items.
    EXPECT_EQ(desktop.defaultsStore.all(), (PlistDictionary{{preference::launchAtLogin, false}}));
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
    EXPECT_TRUE(ax().registrations().empty()) << "no application is observed";
    actions().openAccessibilitySettings();
    EXPECT_EQ(desktop.workspace.accessibilitySettingsOpened, 1);
}

class InTextEdit : public TextEditScene {};

// A choice from a Services menu counts only while its title is known; a palette reads the titles, and
// where it finds no Services menu it takes back those set aside (ServicesMenuTest).
TEST_F(InTextEdit, ActivatingTheFinderSetsTheKnownTitlesAside) {
    dragSelect();
    desktop.pressKey();
    chooseFromServicesMenu(0);
    EXPECT_EQ(uses("TextEdit", "Make Sticky"), 1);
    desktop.workspace.activate(desktop.launch("Finder", "com.apple.finder").processIdentifier);
    desktop.workspace.activate(textEdit.processIdentifier);
    chooseFromServicesMenu(0);
    EXPECT_EQ(uses("TextEdit", "Make Sticky"), 1) << "set aside until a palette reads them again";
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
