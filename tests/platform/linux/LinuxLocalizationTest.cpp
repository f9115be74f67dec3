#include "platform/linux/LinuxLocalization.h"
#include "palette/ShortcutText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace quoddle {
namespace {

TEST(LinuxLocalizationTest, GivesTheLinuxProductsStrings) {
    EXPECT_EQ(linuxLocalizedString("Services"), "Services");
    EXPECT_EQ(linuxLocalizedString("Default Blacklist Setting"), "");
    EXPECT_EQ(linuxLocalizedString("No Such Key"), "No Such Key");
    EXPECT_EQ(linuxLocalizedString(""), "");

    // The default shortcut text lays out as five Ctrl buttons; only "All" keeps the palette up.
    const std::string text = linuxLocalizedString("Default Button Setting");
    EXPECT_EQ(text, kLinuxDefaultButtonSetting);
    const ShortcutLayout layout = layOutShortcutText(text, 4, 180);
    ASSERT_EQ(layout.buttons.size(), 5u);
    EXPECT_EQ(layout.lines, 2);
    const std::vector<std::string> labels{"Copy", "Cut", "Paste", "All", "Undo"};
    const std::vector<std::string> keys{"c", "x", "v", "a", "z"};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const std::vector<std::string>& fields = layout.buttons[i].fields;
        SCOPED_TRACE(labels[i]);
        EXPECT_EQ(fields[0], labels[i]);
        EXPECT_EQ(fields[1], kShortcutButtonSetting_type_char);
        EXPECT_EQ(fields[2], keys[i]);
        EXPECT_EQ(shortcutModifierKeyCodes(fields), (std::vector<std::uint16_t>{59})); // control
        EXPECT_EQ(shortcutLineHasWord(fields, kDontHideWindowWord), labels[i] == "All");
    }
    EXPECT_TRUE(shortcutServiceNames(text).empty());

    LinuxLocalizedAppServices services;
    EXPECT_EQ(services.localizedString("Default Button Setting"), text);
    EXPECT_EQ(services.localizedString("Other"), "Other");
}

TEST(LinuxLocalizationTest, LogsOneLineOnStandardError) {
    EXPECT_EQ(logLineOf("tap disabled"), "quoddle: tap disabled\n");
    EXPECT_EQ(logLineOf("two\nlines\r"), "quoddle: two\\nlines\\r\n");
    EXPECT_EQ(logLineOf("%s %n"), "quoddle: %s %n\n");
    LinuxLocalizedAppServices services;
    ::testing::internal::CaptureStderr();
    services.log("first");
    services.log("second\nhalf");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "quoddle: first\nquoddle: second\\nhalf\n");
}

TEST(LinuxLocalizationTest, KnowsTheProgramAndDoesTheHarmlessThingWithoutADisplay) {
    LinuxLocalizedAppServices services;
    const std::optional<std::string> path = services.bundlePath();
    ASSERT_TRUE(path);
    EXPECT_TRUE(std::filesystem::path(*path).is_absolute());
    EXPECT_TRUE(std::filesystem::equivalent(*path, "/proc/self/exe"));
    EXPECT_EQ(services.displayNameAtPath(*path), program_invocation_short_name);
    EXPECT_EQ(services.displayNameAtPath("/usr/bin/quoddle"), "quoddle");
    EXPECT_EQ(services.displayNameAtPath("/usr/share/applications/"), "applications");
    EXPECT_EQ(services.displayNameAtPath("quoddle"), "quoddle");
    EXPECT_EQ(services.displayNameAtPath("/"), "");

    EXPECT_FALSE(services.isForegroundApplication());
    services.transformToForegroundApplication();
    EXPECT_TRUE(services.isForegroundApplication());
    services.beep();
    services.activateIgnoringOtherApps();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(services.runModalAlert("Turn on accessibility", "Quoddle needs it.", 0),
              kAlertSecondButtonReturn);
    const std::string logged = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(logged.find("Turn on accessibility"), std::string::npos) << logged;
}

} // namespace
} // namespace quoddle
