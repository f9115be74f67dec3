#include "history/SettingsText.h"
#include "SimFixture.h"
#include "platform/PlistValuePrinter.h"
#include "platform/defaults/PlistCodec.h"

#include <gtest/gtest.h>

#include <limits>

namespace quoddle {
namespace {

using std::chrono::seconds;
const TimePoint t0 = std::chrono::sys_days{std::chrono::year{2026} / 3 / 1};

HistoryItem item(std::string title, std::int32_t count, TimePoint date,
                 std::optional<std::string> userTitle = std::nullopt) {
    return HistoryItem{std::move(title), std::move(userTitle), count, date, {}};
}

const HistoryItem* find(const ServiceHistory& history, const std::string& app, const std::string& title) {
    const ApplicationHistory* table = history.find(app);
    return table ? table->find(title) : nullptr;
}

// --- The text itself --------------------------------------------------------------------------------

TEST(SettingTextOfHistory, KeysInUtf16OrderEachWithAHeaderAndItsItemsByCount) {
    EXPECT_EQ(settingTextOfHistory(ServiceHistory()), "");
    ServiceHistory history;
    history.tableFor("TextEdit").put(item("Make Sticky", 3, t0));
    history.tableFor("*").put(item("Make Sticky", 7, t0));
    EXPECT_EQ(settingTextOfHistory(history),
              "#-- *\n*\t7\tMake Sticky\t\n#-- TextEdit\nTextEdit\t3\tMake Sticky\t\n");

    // U+1F600 is a surrogate pair from 0xD83D, so it goes before U+FFFD although its UTF-8 bytes go after.
    EXPECT_TRUE(isUtf16OrdinalLess("x\xF0\x9F\x98\x80", "x\xEF\xBF\xBD"));
    EXPECT_FALSE(isUtf16OrdinalLess("x\xEF\xBF\xBD", "x\xF0\x9F\x98\x80"));
    for (const char* key :
         {"safari", "Safari", "Saf", "1Password", "\xC3\x89mail", "x\xEF\xBF\xBD", "x\xF0\x9F\x98\x80"})
        history.tableFor(key).put(item("S", 1, t0));
    history.tableFor("Mail").put(item("Low", 1, t0));
    history.tableFor("Mail").put(item("High", 10000, t0, "Hi"));
    std::vector<std::string> headers, mailLines;
    forEachLineOfText(settingTextOfHistory(history), [&](std::string_view line) {
        if (line.starts_with("#-- ")) headers.emplace_back(line.substr(4));
        if (line.starts_with("Mail\t")) mailLines.emplace_back(line);
    });
    EXPECT_EQ(headers,
              (std::vector<std::string>{"*", "1Password", "Mail", "Saf", "Safari", "TextEdit", "safari",
                                        "x\xF0\x9F\x98\x80", "x\xEF\xBF\xBD", "\xC3\x89mail"}));
    EXPECT_EQ(mailLines, (std::vector<std::string>{"Mail\t10000\tHigh\tHi", "Mail\t1\tLow\t"}));
}

TEST(HistoryOfSettingText, LinesEndAtEveryBreakFieldsAtTabRunsAndShortLinesAreSkipped) {
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
    // "abc" counts 0 and " 12a" 12, as the integer conversion of the text reads them.
    for (const HistoryItem& expected : {item("First", 1, t0, "User"), item("No user title", 4, t0),
                                        item("Letters", 0, t0), item("Digits first", 12, t0)}) {
        const HistoryItem* read = find(parsed.history, "A", expected.title);
        ASSERT_NE(read, nullptr) << expected.title;
        EXPECT_EQ(*read, expected) << expected.title;
    }
    EXPECT_NE(find(parsed.history, "B  ", "  Spaced  "), nullptr) << "spaces are never trimmed";
    EXPECT_EQ(parsed.history.size(), 2u);
}

TEST(Blacklist, EntriesMatchABundleIdentifierOrANameExactly) {
    const std::string defaults = "Interface Builder\ncom.apple.Preview\n";
    EXPECT_TRUE(isBlacklistedApplication(defaults, "com.apple.Preview", "Preview"));
    EXPECT_TRUE(isBlacklistedApplication(defaults, "com.apple.InterfaceBuilder3", "Interface Builder"));
    EXPECT_FALSE(isBlacklistedApplication(defaults, "com.apple.preview", "preview")) << "case counts";
    EXPECT_FALSE(isBlacklistedApplication("com.apple.Preview \n", "com.apple.Preview", std::nullopt));
    EXPECT_FALSE(isBlacklistedApplication("\n\n", "", "")) << "an empty line names no application";
}

// --- The settings window ----------------------------------------------------------------------------

class SettingsWindow : public SimFixture {
protected:
    void SetUp() override { controller().setupSettingTextViews(); }
    ServiceHistory& history() { return controller().menuItemHistoryDic; }
    // The window's Load and Apply commands, as its buttons send them.
    ApplicationActions& commands() { return *desktop.application.actionTarget(); }
    void apply(const std::string& text) {
        desktop.settingTextView.userEdit(text);
        commands().setSettingText();
    }
    void expectAReloadChangesNothing() {
        const ServiceHistory before = history();
        commands().loadSettingText();
        commands().setSettingText();
        EXPECT_EQ(desktop.settingTextView.string(), "#Apply Setting Text");
        EXPECT_TRUE(history() == before);
    }
    // A history of two applications and "*" whose items carry distinct dates, one with a user title and a
    // stored key this system does not know.
    void fillHistory() {
        history().tableFor("TextEdit").put(HistoryItem{"Make Sticky", "Sticky", 4, t0, {{"Colour", "blue"}}});
        history().tableFor("TextEdit").put(item("Search With Google", 2, t0 + seconds(1)));
        history().tableFor("Safari").put(item("Search With Google", 1, t0 + seconds(2)));
        history().tableFor("*").put(item("Search With Google", 3, t0 + seconds(2)));
        history().tableFor("*").put(item("Make Sticky", 4, t0));
    }
};

TEST_F(SettingsWindow, LoadThenApplyKeepsEverythingAndOnlyAnAppliedTextIsSaved) {
    controller().setSettingText();
    EXPECT_EQ(desktop.settingTextView.string(), "#No Menu Item!. Dont Apply.");
    desktop.runLoop.advance(seconds(10));
    EXPECT_EQ(desktop.defaultsStore.find(kMenuItemHistoryDic), nullptr) << "nothing applied, nothing saved";

    fillHistory();
    desktop.clock.advance(seconds(500));
    expectAReloadChangesNothing();
    desktop.runLoop.advance(seconds(5));
    ASSERT_NE(desktop.defaultsStore.find(kMenuItemHistoryDic), nullptr);
    EXPECT_EQ(*desktop.defaultsStore.find(kMenuItemHistoryDic), PlistValue(history().toPlist()));

    const ServiceHistory before = history();
    controller().setSettingText();
    EXPECT_EQ(desktop.settingTextView.string(), "#No Menu Item!. Dont Apply.")
        << "the result line is a comment";
    EXPECT_TRUE(history() == before);
}

TEST_F(SettingsWindow, AnEditedCountKeepsItsDateAMovedItemIsNewAndDeletedLinesAreGone) {
    fillHistory();
    desktop.clock.advance(seconds(500));
    apply("#-- *\n"
          "#-- Safari\n"
          "Safari\t1\tMake Sticky\t\n"
          "Safari\t1\tSearch With Google\t\n"
          "#-- TextEdit\n"
          "TextEdit\t7\tMake Sticky\tFirst\n"
          "TextEdit\t40\tMake Sticky\t\n");
    EXPECT_EQ(*find(history(), "TextEdit", "Make Sticky"),
              (HistoryItem{"Make Sticky", std::nullopt, 40, t0, {{"Colour", "blue"}}}))
        << "the later of two lines wins; the date and unknown keys stay";
    EXPECT_EQ(find(history(), "Safari", "Make Sticky")->date, desktop.clock.now());
    EXPECT_EQ(find(history(), "Safari", "Search With Google")->date, t0 + seconds(2));
    EXPECT_EQ(history().find("*"), nullptr) << "an application without item lines is gone";
    EXPECT_EQ(find(history(), "TextEdit", "Search With Google"), nullptr) << "nothing is merged";
}

TEST_F(SettingsWindow, TheViewsGetMonacoTabStopsAndATintWithWhiteTabsInUtf16Positions) {
    const Font font = desktop.settingTextView.fontWithName("Monaco", 13);
    ASSERT_GT(font.maximumAdvancementWidth, 0);
    ASSERT_EQ(controller().pStyle.leftTabStops.size(), 128u);
    EXPECT_DOUBLE_EQ(controller().pStyle.leftTabStops[127], 127 * 4 * font.maximumAdvancementWidth);
    for (SimTextView* view : {&desktop.settingTextView, &desktop.shortcutButtonSettingTextView,
                              &desktop.blacklistAppSettingTextView}) {
        EXPECT_EQ(view->viewFont, font);
        EXPECT_EQ(view->storageFont, font);
        EXPECT_EQ(view->defaultParagraphStyle, controller().pStyle);
        EXPECT_FALSE(view->smartInsertDeleteEnabled);
        // "Ü" is one UTF-16 unit, "𝄞" two: the tabs stand at units 1 and 4.
        view->userEdit("\xC3\x9C\t\xF0\x9D\x84\x9E\tz");
        ASSERT_EQ(view->length(), 6u);
        for (std::size_t at = 0; at < view->length(); ++at) {
            const Color expected = at == 1 || at == 4 ? Color{1, 1, 1, 1} : Color{0.79, 0.79, 1.0, 1.0};
            EXPECT_EQ(view->backgroundColorAt(at), expected) << at;
            EXPECT_EQ(view->paragraphStyleAt(at), controller().pStyle) << at;
        }
    }
}

TEST_F(SettingsWindow, ThePreferenceViewsShowAndStoreTheirPreferences) {
    EXPECT_EQ(desktop.blacklistAppSettingTextView.string(), "Interface Builder\ncom.apple.Preview\n");
    EXPECT_EQ(desktop.shortcutButtonSettingTextView.string(),
              desktop.appServices.localizedString("Default Button Setting"));
    EXPECT_TRUE(desktop.defaultsStore.all().empty()) << "showing a registered default stores nothing";

    desktop.blacklistAppSettingTextView.userEdit("");
    EXPECT_EQ(controller().userDefaults.stringForKey(kBlacklistAppSetting), "");
    desktop.shortcutButtonSettingTextView.userEdit("Copy\tchar\tc\tcommand\n");
    EXPECT_EQ(controller().userDefaults.stringForKey(kShortcutButtonSetting), "Copy\tchar\tc\tcommand\n");
    desktop.settingTextView.userEdit("A\t1\tT\n");
    EXPECT_EQ(desktop.defaultsStore.all().size(), 2u) << "the settings text is no preference";

    // The ended controller hears no more edits; the next one shows what was stored.
    QuoddleAppDelegate& next = relaunch();
    desktop.shortcutButtonSettingTextView.userEdit("typed while no controller listens");
    next.setupSettingTextViews();
    EXPECT_EQ(desktop.shortcutButtonSettingTextView.string(), "Copy\tchar\tc\tcommand\n");
    EXPECT_EQ(desktop.blacklistAppSettingTextView.string(), "");
}

TEST_F(SettingsWindow, ChangingTheLoginSettingMakesTheLoginItemsFollow) {
    for (bool enabled : {true, false}) {
        controller().userDefaults.setBool("LaunchAutomaticallyOnLogin", enabled);
        controller().changeSetting();
        EXPECT_EQ(desktop.loginItems.items.size(), enabled ? 1u : 0u) << enabled;
    }
}

// --- The history commands of a later start, carried out by the running controller -------------------

TEST_F(SettingsWindow, AnExportIsLoadsTextAndLeavesTheTextBeingEditedAlone) {
    fillHistory();
    desktop.settingTextView.userEdit("TextEdit\t9\thalf typed");
    const std::string exported = commands().settingTextOfCurrentHistory();
    EXPECT_EQ(desktop.settingTextView.string(), "TextEdit\t9\thalf typed");
    commands().loadSettingText();
    EXPECT_EQ(exported, desktop.settingTextView.string());
    EXPECT_NE(exported.find("TextEdit\t4\tMake Sticky\tSticky\n"), std::string::npos) << exported;
}

TEST_F(SettingsWindow, AnImportIsApplyOfItsTextAndTheViewShowsTheResult) {
    fillHistory();
    const ServiceHistory before = history();
    desktop.clock.advance(seconds(500));
    const std::string text = "#-- edited\n"
                             "TextEdit\t40\tMake Sticky\t\n"
                             "Safari\t1\tMake Sticky\tSticky\r\n"
                             "Caf\xC3\xA9\t\t2\tSearch \xE2\x80\x94 Web\n";
    desktop.settingTextView.userEdit("what the user was typing");
    EXPECT_EQ(commands().applySettingText(text), "#Apply Setting Text");
    EXPECT_EQ(desktop.settingTextView.string(), "#Apply Setting Text");
    const ServiceHistory imported = history();
    EXPECT_EQ(find(imported, "TextEdit", "Make Sticky")->date, t0) << "the Date is carried over";
    EXPECT_EQ(find(imported, "Safari", "Make Sticky")->date, desktop.clock.now());
    EXPECT_NE(find(imported, "Caf\xC3\xA9", "Search \xE2\x80\x94 Web"), nullptr);

    // The same text pasted into the window and applied gives the same history.
    history() = before;
    apply(text);
    EXPECT_TRUE(history() == imported);
}

TEST_F(SettingsWindow, AnImportIsSavedSoonAndKeptAcrossARelaunch) {
    EXPECT_EQ(commands().applySettingText("Mail\t3\tSummarize\t\n*\t3\tSummarize\tSum\n"),
              "#Apply Setting Text");
    EXPECT_EQ(desktop.defaultsStore.find(kMenuItemHistoryDic), nullptr) << "not at once: saved shortly after";
    desktop.runLoop.advance(seconds(5));
    ASSERT_NE(desktop.defaultsStore.find(kMenuItemHistoryDic), nullptr);
    const ServiceHistory imported = history();
    QuoddleAppDelegate& next = relaunch();
    next.loadMenuItemHistory();
    EXPECT_TRUE(next.menuItemHistoryDic == imported);
    EXPECT_EQ(find(next.menuItemHistoryDic, "*", "Summarize")->userTitle, "Sum");
}

TEST_F(SettingsWindow, AnImportWithoutItemLinesChangesNothingAndSavesNothing) {
    fillHistory();
    const ServiceHistory before = history();
    for (const std::string text : {"", "#Apply Setting Text", "#-- *\n\tno key\t1\tT\nA\t1\n\r\n"}) {
        EXPECT_EQ(commands().applySettingText(text), "#No Menu Item!. Dont Apply.") << text;
        EXPECT_EQ(desktop.settingTextView.string(), "#No Menu Item!. Dont Apply.");
        EXPECT_TRUE(history() == before) << text;
    }
    desktop.runLoop.advance(seconds(10));
    EXPECT_EQ(desktop.defaultsStore.find(kMenuItemHistoryDic), nullptr);
}

// --- Hostile input ----------------------------------------------------------------------------------

TEST_F(SettingsWindow, ATitleWithTabsAndInvalidUtf8BecomeItemsTheStoreKeepsAndThatThenStayPut) {
    history().tableFor("A").put(item("Tab\tbed\ttitle", 2, t0));
    controller().loadSettingText();
    apply(desktop.settingTextView.string() + "App\xC0\t3\tBad \xFF\xC3 bytes \xED\xA0\x80\t\x80user\n");
    ASSERT_NE(find(history(), "A", "Tab"), nullptr);
    EXPECT_EQ(*find(history(), "A", "Tab"), item("Tab", 2, desktop.clock.now(), "bed")) << "a new item";

    // Invalid bytes are replacement characters: valid UTF-8 that the store keeps unchanged.
    ASSERT_EQ(history().size(), 2u);
    const ApplicationHistory* table = history().find("App\xEF\xBF\xBD");
    ASSERT_TRUE(table && table->size() == 1u);
    const HistoryItem& applied = table->items().front();
    EXPECT_TRUE(applied.title.starts_with("Bad \xEF\xBF\xBD")) << applied.title;
    EXPECT_EQ(applied.userTitle, "\xEF\xBF\xBDuser");
    for (const std::string& text : {applied.title, *applied.userTitle})
        EXPECT_EQ(storableString(text), text);
    expectAReloadChangesNothing();
}

TEST_F(SettingsWindow, AMillionLineTextIsAppliedWhole) {
    // Items in seven applications, each followed by a comment, a short line and a duplicate that replaces it.
    std::string text;
    for (int i = 0; i < 1'000'000; i += 4) {
        const std::string app = "App" + std::to_string(i % 7) + "\t", title = "\tTitle " + std::to_string(i);
        text += app + std::to_string(i) + title + "\t\n#-- comment\nshort\tline\r" + app + "1" + title +
                "\tUser\r\n";
    }
    apply(text);
    EXPECT_EQ(desktop.settingTextView.string(), "#Apply Setting Text");
    std::size_t items = 0;
    for (const auto& [key, table] : history().tables())
        items += table.size();
    EXPECT_EQ(items, 250'000u);
    const HistoryItem* last = find(history(), "App" + std::to_string(999'996 % 7), "Title 999996");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->count, 1) << "the later duplicate line won";
    EXPECT_EQ(last->userTitle, "User");
}

} // namespace
} // namespace quoddle
