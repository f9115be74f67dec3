#include "Library/ApplicationAdditions.h"
#include "platform/sim/SimAppServices.h"
#include "platform/sim/SimLoginItems.h"

#include <gtest/gtest.h>

namespace quoddle {
namespace {

class LaunchAtLogin : public ::testing::Test {
protected:
    std::vector<std::optional<std::string>> paths() const {
        std::vector<std::optional<std::string>> result;
        for (const auto& entry : loginItems.items)
            result.push_back(entry.resolvedPath);
        return result;
    }
    void enable(bool flag) { setLaunchAutomaticallyOnLogin(loginItems, appServices, flag); }
    bool isEnabled() const { return isLaunchAutomaticallyOnLogin(loginItems, appServices); }

    SimLoginItems loginItems;
    SimAppServices appServices;
    const std::string bundle = "/Applications/Quoddle.app";
};

TEST_F(LaunchAtLogin, EnablingTwiceAddsOneEntryAtTheFrontAndDisablingRemovesIt) {
    loginItems.add("Mail", "/Applications/Mail.app");
    EXPECT_FALSE(isEnabled());
    enable(true);
    enable(true);
    EXPECT_EQ(paths(), (std::vector<std::optional<std::string>>{bundle, "/Applications/Mail.app"}));
    EXPECT_EQ(loginItems.items.front().displayName, "Quoddle");
    EXPECT_TRUE(isEnabled());

    enable(false);
    EXPECT_EQ(paths(), (std::vector<std::optional<std::string>>{"/Applications/Mail.app"}));
    enable(false);
    EXPECT_EQ(loginItems.items.size(), 1u) << "disabling without an entry does nothing";
    EXPECT_FALSE(isEnabled());
}

TEST_F(LaunchAtLogin, AnEntryTheUserAddedForTheBundleIsFoundWithOrWithoutATrailingSlash) {
    loginItems.add("Quoddle", bundle + "/");
    EXPECT_TRUE(isEnabled());
    enable(true);
    EXPECT_EQ(loginItems.items.size(), 1u);
    enable(false);
    EXPECT_TRUE(loginItems.items.empty());
}

TEST_F(LaunchAtLogin, OtherCopiesAndUnresolvableItemsAreLeftAlone) {
    loginItems.add("Quoddle", "/Users/me/Downloads/Quoddle.app");
    loginItems.add("Quoddle", "/Applications/Quoddle.app.old");
    loginItems.add("Gone", std::nullopt);
    EXPECT_FALSE(isEnabled());
    enable(true);
    ASSERT_EQ(loginItems.items.size(), 4u);
    EXPECT_EQ(loginItems.items.front().resolvedPath, bundle);
    enable(false);
    EXPECT_EQ(paths(),
              (std::vector<std::optional<std::string>>{"/Users/me/Downloads/Quoddle.app",
                                                       "/Applications/Quoddle.app.old", std::nullopt}));
}

TEST_F(LaunchAtLogin, OnlyTheFirstOfTwoEntriesIsRemovedAtATime) {
    loginItems.add("Quoddle", bundle);
    loginItems.add("Quoddle again", bundle);
    enable(false);
    ASSERT_EQ(loginItems.items.size(), 1u);
    EXPECT_EQ(loginItems.items[0].displayName, "Quoddle again");
    EXPECT_TRUE(isEnabled());
}

TEST_F(LaunchAtLogin, AListThatCannotBeOpenedIsNeitherReadNorChanged) {
    loginItems.add("Quoddle", bundle);
    loginItems.canOpen = false;
    EXPECT_FALSE(isEnabled());
    enable(false);
    loginItems.canOpen = true;
    EXPECT_EQ(loginItems.items.size(), 1u);
}

TEST_F(LaunchAtLogin, WithoutABundlePathNothingHappens) {
    appServices.bundlePathValue.reset();
    enable(true);
    EXPECT_TRUE(loginItems.items.empty());
    loginItems.add("Quoddle", bundle);
    EXPECT_FALSE(isEnabled());
}

TEST(DockIconAndAlert, TheDockIconIsShownAndTheAlertBeepsAndTakesItsTextLiterally) {
    SimAppServices appServices;
    showDockIcon(appServices);
    EXPECT_TRUE(appServices.isForegroundApplication);

    appServices.alertAnswer = 1001;
    EXPECT_EQ(showAlertWithMessageText(appServices, "Quoddle", "100% sure? %@ %d", 1), 1001);
    EXPECT_EQ(appServices.beepCount, 1);
    EXPECT_EQ(appServices.alertsShown, (std::vector<std::string>{"Quoddle\n100% sure? %@ %d"}));
}

} // namespace
} // namespace quoddle
