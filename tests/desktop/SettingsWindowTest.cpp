// The settings window as a person (or their screen reader) meets it: it opens at start-up when asked to,
// its controls are found by their labels through AT-SPI from this separate process, a changed preference
// is in the preferences file a moment later, and Apply replaces the history.
#include "DesktopTest.h"

#include "platform/defaults/FileDefaultsStore.h"

namespace quoddle::desktop {
namespace {

class SettingsWindow : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_NO_FATAL_FAILURE(startQuoddle({{"ShowSettingsOnLaunch", true}}));
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

    Accessible window;
};

TEST_F(SettingsWindow, OpensAtStartUpWithItsControlsNamedForAScreenReader) {
    const unsigned long xWindow = screen.window("Quoddle Settings", quoddle->pid());
    ASSERT_NE(xWindow, 0u);
    std::optional<Box> frame;
    ASSERT_TRUE(waitFor([&] { return (frame = screen.mappedFrame(xWindow)).has_value(); }));
    EXPECT_GE(frame->width, 680);
    EXPECT_GE(frame->height, 460);
    for (const char* tab : {"General", "History", "Shortcut Buttons", "Blacklist", "Desktop Services"})
        EXPECT_TRUE(control(ATSPI_ROLE_PAGE_TAB, tab)) << tab;
    for (const char* name : {"Start Quoddle when you log in", "Show Quoddle in the system tray"})
        EXPECT_TRUE(control(ATSPI_ROLE_CHECK_BOX, name)) << name;
    EXPECT_TRUE(control(ATSPI_ROLE_SPIN_BUTTON, "Palette width"));
    EXPECT_TRUE(control(ATSPI_ROLE_PUSH_BUTTON, "Turn On Accessibility\u2026"));
}

// No quit needed: the running Quoddle writes a change itself, as the platform's user defaults would, and the
// login switch makes and removes the session's autostart entry for this very program (what else the entry
// says is the autostart unit tests').
TEST_F(SettingsWindow, AChangedPreferenceAndTheLoginSwitchReachTheirFilesWhileQuoddleRuns) {
    Accessible width = control(ATSPI_ROLE_SPIN_BUTTON, "Palette width");
    ASSERT_TRUE(width);
    auto stored = [&] {
        FileDefaultsStore store(quoddle->preferencesFile());
        const PlistValue* value = store.find("ServiceButtonWindowWidth");
        return value && value->get<std::int64_t>() ? *value->get<std::int64_t>() : 0;
    };
    ASSERT_TRUE(width.setValue(260));
    EXPECT_TRUE(waitFor([&] { return stored() == 260; })) << quoddle->log();
    // Out of range, a spin box keeps to its range: the palette never gets a width it cannot show.
    width.setValue(5);
    EXPECT_TRUE(waitFor([&] { return stored() == 120; }));

    const std::filesystem::path entry = quoddle->configHome() / "autostart" / "org.quoddle.Quoddle.desktop";
    Accessible login = control(ATSPI_ROLE_CHECK_BOX, "Start Quoddle when you log in");
    ASSERT_TRUE(login);
    ASSERT_FALSE(std::filesystem::exists(entry));
    ASSERT_TRUE(login.doAction());
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(entry); })) << quoddle->log();
    const std::string text = readBytes(entry);
    EXPECT_NE(text.find("Exec=" + std::filesystem::canonical(buildDirectory() / "quoddle").string()),
              std::string::npos)
        << text;
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
