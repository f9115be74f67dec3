// The settings text (the history written as tab-separated lines, and read back), the blacklist, and the
// settings window: its commands on them, its preference views and its login switch.
#include "history/SettingsText.h"
#include "Preferences.h"
#include "SimFixture.h"

namespace quoddle {
namespace {

using std::chrono::seconds;
const TimePoint t0 = std::chrono::sys_days{std::chrono::year{2026} / 3 / 1};

const HistoryItem* find(const ServiceHistory& history, const std::string& app, const std::string& title) {
    const ApplicationHistory* table = history.find(app);
    return table ? table->find(title) : nullptr;
}

TEST(SettingText, KeysGoInUtf16OrderAndLinesEndAtEveryBreakWithFieldsAtTabRuns) {
    // The text's form is CommandLineTest's round trip.
    ServiceHistory history;
    // U+1F600 is a surrogate pair from 0xD83D, so it goes before U+FFFD although its UTF-8 bytes go after.
    for (const char* key : {"*", "TextEdit", "safari", "Safari", "x\xEF\xBF\xBD", "x\xF0\x9F\x98\x80"})
        history.tableFor(key).put(HistoryItem{"S", std::nullopt, 1, t0, {}});
    std::vector<std::string> headers;
    forEachLineOfText(settingTextOfHistory(history), [&](std::string_view line) {
        if (line.starts_with("#-- ")) headers.emplace_back(line.substr(4));
    });
    EXPECT_EQ(headers, (std::vector<std::string>{"*", "Safari", "TextEdit", "safari", "x\xF0\x9F\x98\x80",
                                                 "x\xEF\xBF\xBD"}));

    // Lines end at every break, fields at tab runs, and short lines are skipped.
    ParsedSettingText parsed = historyOfSettingText("# a comment\tx\ty\r"
                                                    "A\t\t\t1\t\tFirst\t\tUser\t\tignored\n"
                                                    "\tA\t2\tLeading tab\n"
                                                    "A\t3\r"
                                                    "A\t4\tNo user title\t\t\r\n"
                                                    "\r\n"
                                                    "A\tabc\tLetters\n"
                                                    "A\t 12a\tDigits first\n"
                                                    "B  \t5\t  Spaced  ",
                                                    ServiceHistory(), t0);
    EXPECT_EQ(parsed.acceptedLines, 5u);
    // Only the accepted lines' items, by count, and spaces never trimmed.
    EXPECT_EQ(settingTextOfHistory(parsed.history),
              "#-- A\nA\t12\tDigits first\t\nA\t4\tNo user title\t\n"
              "A\t1\tFirst\tUser\nA\t0\tLetters\t\n#-- B  \nB  \t5\t  Spaced  \t\n");
    EXPECT_EQ(find(parsed.history, "A", "No user title")->userTitle, std::nullopt);
}

TEST(Blacklist, EntriesMatchABundleIdentifierOrANameExactly) {
    const std::string defaults = "Interface Builder\ncom.apple.Preview\n";
    EXPECT_TRUE(isBlacklistedApplication(defaults, "com.apple.Preview", "Preview"));
    EXPECT_TRUE(isBlacklistedApplication(defaults, "com.apple.InterfaceBuilder3", "Interface Builder"));
    EXPECT_FALSE(isBlacklistedApplication(defaults, "com.apple.preview", "preview")) << "case counts";
    EXPECT_FALSE(isBlacklistedApplication("com.apple.Preview \n", "com.apple.Preview", std::nullopt));
    EXPECT_FALSE(isBlacklistedApplication("\n\n", "", "")) << "an empty line names no application";
}

class SettingsWindow : public SimFixture {
protected:
    void SetUp() override {
        desktop.clock.set(t0);
        quoddle().start();
    }
    void applyInWindow(const std::string& text) {
        desktop.historyTextView.userEdit(text);
        actions().applyHistoryText();
    }
};

TEST_F(SettingsWindow, ApplyReplacesTheHistoryKeepingDatesAndTheViewShowsTheResult) {
    applyInWindow("TextEdit\t4\tMake Sticky\tSticky\nSafari\t1\tSearch\t\n*\t5\tMake Sticky\t\n");
    EXPECT_EQ(desktop.historyTextView.string(), "#Apply Setting Text");
    desktop.clock.advance(seconds(500));
    applyInWindow("TextEdit\t7\tMake Sticky\tFirst\nTextEdit\t40\tMake Sticky\t\nMail\t1\tSearch\t\n");
    const ServiceHistory history = storedHistory();
    EXPECT_EQ(*find(history, "TextEdit", "Make Sticky"),
              (HistoryItem{"Make Sticky", std::nullopt, 40, t0, {}}))
        << "the later of two lines wins, and the item keeps its date";
    EXPECT_EQ(find(history, "Mail", "Search")->date, t0 + seconds(500)) << "moved: a new item";
    EXPECT_EQ(history.find("*"), nullptr) << "an application without item lines is gone: nothing is merged";

    // Load then apply changes nothing (applying the result line is the import's).
    actions().loadHistoryText();
    EXPECT_EQ(desktop.historyTextView.string(), settingTextOfHistory(history));
    actions().applyHistoryText();
    EXPECT_TRUE(storedHistory() == history);
}

TEST_F(SettingsWindow, ThePreferenceViewsShowAndStoreTheirPreferences) {
    EXPECT_EQ(desktop.blacklistTextView.string(), "Interface Builder\ncom.apple.Preview\n");
    EXPECT_TRUE(desktop.defaultsStore.all().count(preference::blacklist) == 0)
        << "showing a registered default stores nothing";
    desktop.blacklistTextView.userEdit("");
    desktop.shortcutTextView.userEdit("Copy\tchar\tc\tcommand\n");
    EXPECT_EQ(*desktop.defaultsStore.find(preference::blacklist), PlistValue(""));
    EXPECT_EQ(*desktop.defaultsStore.find(preference::shortcutText), PlistValue("Copy\tchar\tc\tcommand\n"));
    // The views look alike: tinted, with white tabs at their UTF-16 positions ("Ü" one unit, "𝄞" two).
    desktop.shortcutTextView.userEdit("\xC3\x9C\t\xF0\x9D\x84\x9E\tz");
    EXPECT_EQ(desktop.shortcutTextView.backgroundColorAt(4), (Color{1, 1, 1, 1}));
    EXPECT_EQ(desktop.shortcutTextView.backgroundColorAt(3), (Color{0.79, 0.79, 1.0, 1.0}));
    // A relaunched Quoddle shows what was stored.
    relaunch();
    EXPECT_EQ(desktop.blacklistTextView.string(), "");
}

// The login switch adds an entry for the running program at the front of the login items, or removes the
// first entry that resolves to it; other entries stay, and without a list or a program path nothing changes.
TEST_F(SettingsWindow, TheLoginSwitchAddsOrRemovesOnlyQuoddlesLoginItem) {
    const std::string bundle = "/Applications/Quoddle.app";
    // Another application, other copies of this one, and an entry that cannot be resolved.
    desktop.loginItems.add("Mail", "/Applications/Mail.app");
    desktop.loginItems.add("Copy", "/Users/me/Downloads/Quoddle.app");
    desktop.loginItems.add("Old", bundle + ".old");
    desktop.loginItems.add("Unresolved", std::nullopt);
    auto turn = [&](bool on) {
        desktop.defaultsStore.set(preference::launchAtLogin, on);
        actions().launchAtLoginChanged();
        std::string names;
        for (const LoginItem& item : desktop.loginItems.items)
            names += item.displayName + " ";
        return names;
    };
    for (bool on : {true, true, false, false}) // each twice: a second turn changes nothing
        EXPECT_EQ(turn(on), (on ? "Quoddle " : "") + std::string("Mail Copy Old Unresolved ")) << on;
    // Entries the user added are found with a trailing slash, and removed one at a time.
    desktop.loginItems.add("Mine", bundle + "/");
    desktop.loginItems.add("Again", bundle);
    EXPECT_EQ(turn(true), "Mail Copy Old Unresolved Mine Again ");
    EXPECT_EQ(turn(false), "Mail Copy Old Unresolved Again ");
    // A start reads the switch off the login items (QuoddleTest's), which a list that cannot be opened
    // leaves off although an entry is there.
    desktop.loginItems.canOpen = false;
    relaunch();
    EXPECT_EQ(*desktop.defaultsStore.find(preference::launchAtLogin), PlistValue(false));
    desktop.loginItems.canOpen = true;
    desktop.appServices.bundlePathValue.reset();
    EXPECT_EQ(turn(true), "Mail Copy Old Unresolved Again ") << "no program path to add";
}

// Tabs in titles and invalid UTF-8 become items in the form the store keeps.
TEST_F(SettingsWindow, AnImportIsApplyOfItsTextWhateverTheViewHoldsAndBadTextBecomesStorableItems) {
    desktop.historyTextView.userEdit("what the user was typing");
    EXPECT_EQ(actions().importHistoryText("Caf\xC3\xA9\t\t2\tSearch \xE2\x80\x94 Web\n"),
              "#Apply Setting Text");
    EXPECT_EQ(desktop.historyTextView.string(), "#Apply Setting Text");
    EXPECT_NE(actions().historyText().find("Caf\xC3\xA9\t2\tSearch \xE2\x80\x94 Web"), std::string::npos);
    for (const std::string text : {"", "#Apply Setting Text", "#-- *\n\tno key\t1\tT\nA\t1\n\r\n"})
        EXPECT_EQ(actions().importHistoryText(text), "#No Menu Item!. Dont Apply.") << text;
    EXPECT_EQ(storedHistory().size(), 1u) << "only the applied text reached the store";

    applyInWindow("App\xC0\t3\tBad \xFF\xC3 bytes \xED\xA0\x80\t\x80user\n");
    const ServiceHistory history = storedHistory();
    const std::string r = "\xEF\xBF\xBD";
    const HistoryItem* applied = find(history, "App" + r, "Bad " + r + r + " bytes " + r + r + r);
    ASSERT_NE(applied, nullptr) << settingTextOfHistory(history);
    EXPECT_EQ(applied->userTitle, r + "user");
}

} // namespace
} // namespace quoddle
