// The settings window as a person (or their screen reader) meets it: it opens at start-up when asked to,
// its controls are found by their labels through AT-SPI from this separate process, a changed preference
// is in the preferences file a moment later, and Apply replaces the history.
#include "DesktopTest.h"

#include "platform/defaults/FileDefaultsStore.h"

namespace quoddle::desktop {
namespace {

namespace fs = std::filesystem;

class SettingsWindow : public DesktopTest {};

// No quit needed for a changed preference: the running Quoddle writes it itself, as the platform's user
// defaults would, and the login switch makes and removes the session's autostart entry for this very
// program (what else the entry says is the autostart unit tests').
TEST_F(SettingsWindow, OpensAtStartUpNamedForAScreenReaderAndItsControlsReachTheirFilesWhileQuoddleRuns) {
    ASSERT_NO_FATAL_FAILURE(startQuoddle({{"ShowSettingsOnLaunch", true}}));
    Accessible window;
    const auto control = [&](AtspiRole role, const std::string& name) {
        Accessible found;
        waitFor([&] {
            window.forgetCachedTree();
            return bool(found = window.find(role, name, 16));
        });
        return found;
    };
    std::optional<Box> frame;
    ASSERT_TRUE(waitFor([&] {
        // Qt presents a top-level widget as a filler: the window is known by its name.
        window = Accessible::application(quoddle->pid(), 2s).find(ATSPI_ROLE_FILLER, "Quoddle Settings", 0);
        const unsigned long xWindow = screen.window("Quoddle Settings", quoddle->pid());
        return window && window.showing() && xWindow && (frame = screen.mappedFrame(xWindow));
    })) << "the settings window never showed";
    EXPECT_GE(frame->width, 680);
    EXPECT_GE(frame->height, 460);
    for (const char* tab : {"General", "History", "Shortcut Buttons", "Blacklist", "Desktop Services"})
        EXPECT_TRUE(control(ATSPI_ROLE_PAGE_TAB, tab)) << tab;
    EXPECT_TRUE(control(ATSPI_ROLE_CHECK_BOX, "Show Quoddle in the system tray"));
    EXPECT_TRUE(control(ATSPI_ROLE_PUSH_BUTTON, "Turn On Accessibility\u2026"));

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

    const fs::path entry = quoddle->configHome() / "autostart" / "org.quoddle.Quoddle.desktop";
    Accessible login = control(ATSPI_ROLE_CHECK_BOX, "Start Quoddle when you log in");
    ASSERT_TRUE(login);
    ASSERT_FALSE(fs::exists(entry));
    ASSERT_TRUE(login.doAction());
    ASSERT_TRUE(waitFor([&] { return fs::exists(entry); })) << quoddle->log();
    EXPECT_NE(readBytes(entry).find("Exec=" + fs::canonical(buildDirectory() / "quoddle").string()),
              std::string::npos)
        << readBytes(entry);
    ASSERT_TRUE(login.doAction());
    EXPECT_TRUE(waitFor([&] { return !fs::exists(entry); }));

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
