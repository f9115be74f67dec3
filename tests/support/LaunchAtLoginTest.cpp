#include "support/LaunchAtLogin.h"
#include "platform/sim/SimAppServices.h"
#include "platform/sim/SimLoginItems.h"

#include <gtest/gtest.h>

namespace quoddle {
namespace {

class LaunchAtLogin : public ::testing::Test {
protected:
    using Paths = std::vector<std::optional<std::string>>;
    Paths paths() const {
        Paths result;
        for (const auto& entry : loginItems.items)
            result.push_back(entry.resolvedPath);
        return result;
    }
    void enable(bool flag) { setLaunchAtLogin(loginItems, appServices, flag); }
    bool isEnabled() const { return launchesAtLogin(loginItems, appServices); }

    SimLoginItems loginItems;
    SimAppServices appServices;
    const std::string bundle = "/Applications/Quoddle.app";
};

TEST_F(LaunchAtLogin, EnablingTwiceAddsOneEntryAtTheFrontAndDisablingRemovesOnlyIt) {
    // Another application, other copies of this one, and an entry that cannot be resolved.
    const Paths others{"/Applications/Mail.app", "/Users/me/Downloads/Quoddle.app", bundle + ".old",
                       std::nullopt};
    for (const auto& path : others)
        loginItems.add("Other", path);
    EXPECT_FALSE(isEnabled());
    enable(true);
    enable(true);
    EXPECT_EQ(paths().size(), 5u);
    EXPECT_EQ(paths().front(), bundle);
    EXPECT_EQ(loginItems.items.front().displayName, "Quoddle");
    EXPECT_TRUE(isEnabled());

    enable(false);
    EXPECT_EQ(paths(), others);
    enable(false);
    EXPECT_EQ(paths(), others) << "disabling without an entry does nothing";
    EXPECT_FALSE(isEnabled());
}

TEST_F(LaunchAtLogin, AnEntryTheUserAddedIsFoundWithATrailingSlashAndRemovedOneAtATime) {
    loginItems.add("Quoddle", bundle + "/");
    EXPECT_TRUE(isEnabled());
    enable(true);
    EXPECT_EQ(loginItems.items.size(), 1u);
    loginItems.add("Quoddle again", bundle);
    enable(false);
    ASSERT_EQ(loginItems.items.size(), 1u);
    EXPECT_EQ(loginItems.items[0].displayName, "Quoddle again");
}

TEST_F(LaunchAtLogin, WithoutAListOrABundlePathNothingIsReadOrChanged) {
    loginItems.add("Quoddle", bundle);
    loginItems.canOpen = false;
    EXPECT_FALSE(isEnabled());
    enable(false);
    loginItems.canOpen = true;
    appServices.bundlePathValue.reset();
    EXPECT_FALSE(isEnabled());
    enable(true);
    enable(false);
    EXPECT_EQ(loginItems.items.size(), 1u);
}

} // namespace
} // namespace quoddle
