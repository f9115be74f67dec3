// The settings window on Qt: its commands reach the core's actions, and the desktop services page. What a
// user sees of the window (its pages and control names over AT-SPI, a preference reaching the file and
// keeping to its range, the login switch, Apply, coming forward on a second start) is the desktop tier's.
#include "platform/linux/qt/QtSettingsWindow.h"
#include "platform/linux/QtTestApp.h"
#include "platform/linux/qt/QtInterface.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <map>

namespace quoddle {
namespace {

// What the core hears of, by command.
class RecordingActions : public ApplicationActions {
public:
    void loadHistoryText() override { ++calls["load"]; }
    void applyHistoryText() override { ++calls["apply"]; }
    void launchAtLoginChanged() override { ++calls["launchAtLogin"]; }
    void openAccessibilitySettings() override { ++calls["accessibility"]; }
    void reopen() override {}
    void terminate() override {}
    std::string historyText() override { return {}; }
    std::string importHistoryText(const std::string&) override { return {}; }
    std::map<std::string, int> calls;
};

class QtSettingsWindowTest : public test::WithQtApplication, public ::testing::Test {
protected:
    QtInterface ui;
    QtSettingsWindow& window = *ui.settings;
    RecordingActions core;
};

TEST_F(QtSettingsWindowTest, SendsItsCommandsToTheRegisteredActionsOnly) {
    window.loadButton().click(); // none registered yet: nothing
    ui.application.setActions(&core);
    window.loadButton().click();
    window.applyButton().click();
    window.applyButton().click();
    window.accessibilityButton().click();
    EXPECT_EQ(core.calls, (std::map<std::string, int>{{"load", 1}, {"apply", 2}, {"accessibility", 1}}));
    ui.application.setActions(nullptr);
    window.loadButton().click();
    EXPECT_EQ(core.calls["load"], 1);
}

// The desktop services found are listed, read again when the page is shown; one can become a shortcut
// button, typed into the shortcut text as an edit of the user's (which the core then stores).
TEST_F(QtSettingsWindowTest, ListsTheDesktopServicesAndAddsOneAsAShortcutButton) {
    std::vector<DesktopServiceListing> found{
        {"Make Upper Case", "replaces the selection", "/usr/share/a.service"},
        {"Speak", "none", "/home/u/.local/share/b.service"}};
    window.setDesktopServices([&] { return found; }, "/tmp/quoddle-no-such-folder");
    ASSERT_EQ(window.desktopServicesList().topLevelItemCount(), 2);
    EXPECT_EQ(window.desktopServicesList().topLevelItem(1)->text(2),
              QStringLiteral("/home/u/.local/share/b.service"));
    found.pop_back();
    window.tabs().setCurrentIndex(4);
    EXPECT_EQ(window.desktopServicesList().topLevelItemCount(), 1);

    QtTextView& shortcuts = window.shortcutTextView();
    shortcuts.setString("Copy\tchar\tc\tcontrol");
    int edits = 0;
    shortcuts.setEditedHandler([&] { ++edits; });
    EXPECT_FALSE(window.addToPaletteButton().isEnabled());
    window.desktopServicesList().topLevelItem(0)->setSelected(true);
    ASSERT_TRUE(window.addToPaletteButton().isEnabled());
    window.addToPaletteButton().click();
    EXPECT_EQ(shortcuts.string(), "Copy\tchar\tc\tcontrol\nMake Upper Case\tservice\tMake Upper Case\n");
    EXPECT_GE(edits, 1);
    EXPECT_EQ(window.tabs().currentIndex(), 2);
}

} // namespace
} // namespace quoddle
