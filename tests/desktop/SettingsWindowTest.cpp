// The settings window as a person (or their screen reader) meets it: it opens at start-up when asked to,
// its controls are found by their labels through AT-SPI from this separate process, a changed preference
// is in the preferences file a moment later, and Apply replaces the history.
#include "DesktopHarness.h"

#include <gtest/gtest.h>

#include <fstream>

namespace quoddle::desktop {
namespace {

class SettingsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!screen.available()) GTEST_SKIP() << "no display: run under scripts/desktop-session";
        quoddle = std::make_unique<Quoddle>(PlistDictionary{{"ShowSettingsOnLaunch", true}});
        ASSERT_NE(quoddle->log().find("quoddle: ready"), std::string::npos) << quoddle->log();
        ASSERT_TRUE(waitFor([&] {
            // Qt presents a top-level widget as a filler: the window is known by its name.
            for (const Accessible& candidate : Accessible::application(quoddle->pid(), 2s).children())
                if (candidate.name() == "Quoddle Settings") window = candidate;
            return window && window.showing();
        })) << "the settings window never showed";
    }
    Accessible control(AtspiRole role, const std::string& name) {
        Accessible found;
        waitFor([&] {
            window.forgetCachedTree();
            return bool(found = window.find(role, name, 16));
        });
        return found;
    }

    Screen screen;
    std::unique_ptr<Quoddle> quoddle;
    Accessible window;
};

TEST_F(SettingsWindow, OpensAtStartUpWithItsControlsNamedForAScreenReader) {
    const unsigned long xWindow = screen.windowNamed(quoddle->pid(), "Quoddle Settings");
    ASSERT_NE(xWindow, 0u);
    std::optional<Box> frame;
    ASSERT_TRUE(waitFor([&] { return (frame = screen.mappedFrame(xWindow)).has_value(); }));
    EXPECT_GE(frame->width, 680);
    EXPECT_GE(frame->height, 460);
    screen.screenshot(screenshotDirectory() / "settings-window.png");
    for (const char* tab : {"General", "History", "Shortcut Buttons", "Blacklist", "Desktop Services"})
        EXPECT_TRUE(control(ATSPI_ROLE_PAGE_TAB, tab)) << tab;
    for (const char* name : {"Start Quoddle when you log in", "Show Quoddle in the system tray"})
        EXPECT_TRUE(control(ATSPI_ROLE_CHECK_BOX, name)) << name;
    EXPECT_TRUE(control(ATSPI_ROLE_SPIN_BUTTON, "Palette width"));
    EXPECT_TRUE(control(ATSPI_ROLE_PUSH_BUTTON, "Turn On Accessibility\u2026"));
}

// No quit needed: the running Quoddle writes the change itself, as the platform's user defaults would.
TEST_F(SettingsWindow, AChangedPreferenceReachesTheFileWhileQuoddleRuns) {
    Accessible width = control(ATSPI_ROLE_SPIN_BUTTON, "Palette width");
    ASSERT_TRUE(width);
    ASSERT_TRUE(width.setValue(260));
    EXPECT_TRUE(waitFor([&] {
        std::optional<PlistValue> stored = quoddle->storedPreference("ServiceButtonWindowWidth");
        return stored && stored->get<std::int64_t>() && *stored->get<std::int64_t>() == 260;
    })) << quoddle->log();
    // Out of range, a spin box keeps to its range: the palette never gets a width it cannot show.
    width.setValue(5);
    EXPECT_TRUE(waitFor([&] {
        std::optional<PlistValue> stored = quoddle->storedPreference("ServiceButtonWindowWidth");
        return stored && stored->get<std::int64_t>() && *stored->get<std::int64_t>() == 120;
    }));
}

// The login switch makes and removes the session's autostart entry for this very program.
TEST_F(SettingsWindow, TheLoginSwitchAddsAndRemovesTheAutostartEntry) {
    const std::filesystem::path entry = quoddle->configHome() / "autostart" / "org.quoddle.Quoddle.desktop";
    Accessible login = control(ATSPI_ROLE_CHECK_BOX, "Start Quoddle when you log in");
    ASSERT_TRUE(login);
    ASSERT_FALSE(std::filesystem::exists(entry));
    ASSERT_TRUE(login.doAction());
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(entry); })) << quoddle->log();
    std::ifstream in(entry);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("Exec=" + std::filesystem::canonical(buildDirectory() / "quoddle").string()),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Icon=quoddle"), std::string::npos) << text;
    ASSERT_TRUE(login.doAction());
    EXPECT_TRUE(waitFor([&] { return !std::filesystem::exists(entry); }));
}

TEST_F(SettingsWindow, ApplyReplacesTheHistoryAndShowsItsResultLine) {
    ASSERT_TRUE(control(ATSPI_ROLE_PAGE_TAB, "History").doAction());
    Accessible history = control(ATSPI_ROLE_TEXT, "History");
    ASSERT_TRUE(history);
    ASSERT_TRUE(history.setText("mousepad\t7\tMake Upper Case\n"));
    ASSERT_TRUE(control(ATSPI_ROLE_PUSH_BUTTON, "Apply").doAction());
    EXPECT_TRUE(waitFor([&] { return history.text() == "#Apply Setting Text"; })) << history.text();
    ASSERT_EQ(quoddle->quit(), 0);
    EXPECT_EQ(quoddle->storedUses("mousepad", "Make Upper Case"), 7) << quoddle->historyText();
}

} // namespace
} // namespace quoddle::desktop
