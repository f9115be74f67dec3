#include "history/SettingsText.h"
#include "SimFixture.h"
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

// --- Writing the text -------------------------------------------------------------------------------

TEST(SettingTextOfHistory, EmptyHistoryGivesEmptyTextAndTwoApplicationsGiveFourLines) {
    EXPECT_EQ(settingTextOfHistory(ServiceHistory()), "");

    ServiceHistory history;
    history.tableFor("TextEdit").put(item("Make Sticky", 3, t0));
    history.tableFor("*").put(item("Make Sticky", 7, t0));
    EXPECT_EQ(settingTextOfHistory(history), "#-- *\n"
                                             "*\t7\tMake Sticky\t\n"
                                             "#-- TextEdit\n"
                                             "TextEdit\t3\tMake Sticky\t\n");
}

TEST(SettingTextOfHistory, KeysInOrdinalOrderItemsByCountAndUserTitlesInTheFourthField) {
    ServiceHistory history;
    for (const char* key : {"safari", "Safari", "*", "1Password", "Émail", "Zed"})
        history.tableFor(key).put(item("S", 1, t0));
    ApplicationHistory& mail = history.tableFor("Mail");
    mail.put(item("Low", 1, t0));
    mail.put(item("High", 10000, t0, "Hi"));
    mail.put(item("Middle", 5, t0));

    std::vector<std::string> headers, mailLines;
    forEachLineOfText(settingTextOfHistory(history), [&](std::string_view line) {
        if (line.starts_with("#-- ")) headers.emplace_back(line.substr(4));
        if (line.starts_with("Mail\t")) mailLines.emplace_back(line);
    });
    EXPECT_EQ(headers,
              (std::vector<std::string>{"*", "1Password", "Mail", "Safari", "Zed", "safari", "Émail"}));
    EXPECT_EQ(mailLines,
              (std::vector<std::string>{"Mail\t10000\tHigh\tHi", "Mail\t5\tMiddle\t", "Mail\t1\tLow\t"}));
}

TEST(Utf16OrdinalOrder, FollowsCodeUnitsNotBytes) {
    EXPECT_TRUE(isUtf16OrdinalLess("A", "a"));
    EXPECT_TRUE(isUtf16OrdinalLess("ab", "abc"));
    EXPECT_FALSE(isUtf16OrdinalLess("abc", "abc"));
    // U+1F600 is a surrogate pair starting at 0xD83D, which sorts before U+FFFD although its UTF-8 bytes
    // sort after.
    EXPECT_TRUE(isUtf16OrdinalLess("x\xF0\x9F\x98\x80", "x\xEF\xBF\xBD"));
    EXPECT_FALSE(isUtf16OrdinalLess("x\xEF\xBF\xBD", "x\xF0\x9F\x98\x80"));
    EXPECT_TRUE(isUtf16OrdinalLess("\xC3\xA9", "\xE4\xB8\x80")) << "U+00E9 before U+4E00";
}

// --- Reading the text -------------------------------------------------------------------------------

TEST(HistoryOfSettingText, FieldsAreSplitOnTabRunsAndShortOrEmptyLinesAreSkipped) {
    ParsedSettingText parsed = historyOfSettingText("# a comment\tx\ty\n"
                                                    "A\t\t\t1\t\tFirst\t\tUser\t\tignored\n"
                                                    "\tA\t2\tLeading tab\n"
                                                    "A\t3\n"
                                                    "A\t4\tNo user title\t\t\n"
                                                    "B  \t5\t  Spaced  \n"
                                                    "\n",
                                                    ServiceHistory(), t0);
    EXPECT_EQ(parsed.acceptedLines, 3u);
    ASSERT_NE(find(parsed.history, "A", "First"), nullptr);
    EXPECT_EQ(*find(parsed.history, "A", "First"), item("First", 1, t0, "User"));
    EXPECT_EQ(*find(parsed.history, "A", "No user title"), item("No user title", 4, t0));
    EXPECT_NE(find(parsed.history, "B  ", "  Spaced  "), nullptr) << "spaces are never trimmed";
    EXPECT_EQ(parsed.history.size(), 2u);
}

TEST(HistoryOfSettingText, CarriageReturnsLineFeedsAndBothCutLinesAlike) {
    ServiceHistory expected;
    for (const char* text : {"A\t1\tX\t\nA\t2\tY\t\n", "A\t1\tX\t\rA\t2\tY\t\r", "A\t1\tX\t\r\nA\t2\tY\t\r\n",
                             "A\t1\tX\r\n\r\nA\t2\tY"}) {
        ParsedSettingText parsed = historyOfSettingText(text, ServiceHistory(), t0);
        EXPECT_EQ(parsed.acceptedLines, 2u) << text;
        if (expected.empty()) expected = parsed.history;
        EXPECT_TRUE(parsed.history == expected) << text;
    }
}

TEST(HistoryOfSettingText, CountsReadLikeTheIntegerConversionOfTheText) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"abc", 0},
        {" 12a", 12},
        {"-7", -7},
        {"+8", 8},
        {"99999999999", std::numeric_limits<std::int32_t>::max()},
        {"-99999999999", std::numeric_limits<std::int32_t>::min()},
    };
    for (auto [count, expected] : cases) {
        ParsedSettingText parsed =
            historyOfSettingText(std::string("A\t") + count + "\tT\n", ServiceHistory(), t0);
        ASSERT_EQ(parsed.acceptedLines, 1u) << count;
        EXPECT_EQ(find(parsed.history, "A", "T")->count, expected) << count;
    }
}

TEST(HistoryOfSettingText, DatesAndUnknownKeysComeFromThePreviousHistoryAndLaterDuplicatesWin) {
    ServiceHistory previous;
    HistoryItem known = item("Known", 9, t0, "K");
    known.otherKeys.emplace("Colour", "blue");
    previous.tableFor("A").put(known);
    const TimePoint now = t0 + seconds(3600);

    ParsedSettingText parsed =
        historyOfSettingText("A\t1\tKnown\tFirst\nA\t2\tKnown\t\nB\t3\tKnown\t\n", previous, now);
    EXPECT_EQ(parsed.acceptedLines, 3u) << "a replaced duplicate still counts as accepted";
    const HistoryItem* a = find(parsed.history, "A", "Known");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->count, 2) << "the later line wins";
    EXPECT_FALSE(a->userTitle);
    EXPECT_EQ(a->date, t0);
    EXPECT_EQ(a->otherKeys, known.otherKeys);
    EXPECT_EQ(find(parsed.history, "B", "Known")->date, now) << "another application: a new item";
}

TEST(Blacklist, EntriesMatchABundleIdentifierOrANameExactly) {
    const std::string defaults = "Interface Builder\ncom.apple.Preview\n";
    EXPECT_TRUE(isBlacklistedApplication(defaults, "com.apple.Preview", "Preview"));
    EXPECT_TRUE(isBlacklistedApplication(defaults, "com.apple.InterfaceBuilder3", "Interface Builder"));
    EXPECT_FALSE(isBlacklistedApplication(defaults, "com.apple.preview", "preview")) << "case counts";
    EXPECT_FALSE(isBlacklistedApplication("com.apple.Preview \n", "com.apple.Preview", std::nullopt));
    EXPECT_TRUE(isBlacklistedApplication("x\r\ncom.apple.Preview\r\n", "com.apple.Preview", std::nullopt));
    EXPECT_FALSE(isBlacklistedApplication("", "com.apple.Preview", "Preview"));
    EXPECT_FALSE(isBlacklistedApplication("\n\n", "", "")) << "an empty line names no application";
    EXPECT_FALSE(isBlacklistedApplication(defaults, std::nullopt, std::nullopt));
}

TEST(Utf16TabScan, CountsCodeUnitsOfMultiByteCharacters) {
    // é is one unit, 😀 two.
    Utf16TabScan scan = scanTabsInUtf16Units("\xC3\xA9\t\xF0\x9F\x98\x80\tx");
    EXPECT_EQ(scan.length, 6u);
    EXPECT_EQ(scan.tabPositions, (std::vector<std::size_t>{1, 4}));
}

// --- The settings window ----------------------------------------------------------------------------

class SettingsWindow : public SimFixture {
protected:
    void SetUp() override { controller().setupSettingTextViews(); }
    ServiceHistory& history() { return controller().menuItemHistoryDic; }
    void apply(const std::string& text) {
        desktop.settingTextView.userEdit(text);
        controller().setSettingText();
    }
    // A history of two applications whose items carry distinct dates, one with a user title.
    void fillHistory() {
        history().tableFor("TextEdit").put(item("Make Sticky", 4, t0, "Sticky"));
        history().tableFor("TextEdit").put(item("Search With Google", 2, t0 + seconds(1)));
        history().tableFor("Safari").put(item("Search With Google", 1, t0 + seconds(2)));
        history().tableFor("*").put(item("Search With Google", 3, t0 + seconds(2)));
        history().tableFor("*").put(item("Make Sticky", 4, t0));
    }
};

TEST_F(SettingsWindow, LoadThenApplyWithoutEditsKeepsEverything) {
    fillHistory();
    const ServiceHistory before = history();
    desktop.clock.advance(seconds(500));
    controller().loadSettingText();
    controller().setSettingText();
    EXPECT_EQ(desktop.settingTextView.string(), "#Apply Setting Text");
    EXPECT_TRUE(history() == before);

    controller().setSettingText();
    EXPECT_EQ(desktop.settingTextView.string(), "#No Menu Item!. Dont Apply.")
        << "the result line is a comment";
    EXPECT_TRUE(history() == before);
}

TEST_F(SettingsWindow, AnEditedCountKeepsItsDateAndAMovedItemIsNew) {
    fillHistory();
    desktop.clock.advance(seconds(500));
    apply("TextEdit\t40\tMake Sticky\tSticky\n"
          "Safari\t1\tMake Sticky\t\n"
          "Safari\t1\tSearch With Google\t\n");
    EXPECT_EQ(find(history(), "TextEdit", "Make Sticky")->count, 40);
    EXPECT_EQ(find(history(), "TextEdit", "Make Sticky")->date, t0);
    EXPECT_EQ(find(history(), "Safari", "Make Sticky")->date, desktop.clock.now());
    EXPECT_EQ(find(history(), "Safari", "Search With Google")->date, t0 + seconds(2));
    EXPECT_EQ(history().find("*"), nullptr) << "applications not in the text are gone";
    EXPECT_EQ(find(history(), "TextEdit", "Search With Google"), nullptr) << "nothing is merged";
}

TEST_F(SettingsWindow, ATextWithoutItemLinesChangesNothing) {
    fillHistory();
    const ServiceHistory before = history();
    for (const char* text :
         {"", "#-- TextEdit\n", "\tTextEdit\t1\tX\n", "A\t1\n\n\r\n", "#Apply Setting Text"}) {
        apply(text);
        EXPECT_EQ(desktop.settingTextView.string(), "#No Menu Item!. Dont Apply.") << text;
        EXPECT_TRUE(history() == before) << text;
    }
    desktop.runLoop.advance(seconds(10));
    EXPECT_EQ(desktop.defaultsStore.find(kMenuItemHistoryDic), nullptr) << "nothing applied, nothing saved";
}

TEST_F(SettingsWindow, AnAppliedTextIsSavedShortlyAfterwards) {
    fillHistory();
    controller().loadSettingText();
    std::string text = desktop.settingTextView.string();
    // Delete every line of Safari.
    std::string kept;
    forEachLineOfText(text, [&](std::string_view line) {
        if (!line.starts_with("Safari")) (kept += line) += '\n';
    });
    apply(kept);
    EXPECT_EQ(history().find("Safari"), nullptr);
    EXPECT_EQ(history().size(), 2u);

    desktop.runLoop.advance(seconds(5));
    ASSERT_NE(desktop.defaultsStore.find(kMenuItemHistoryDic), nullptr);
    EXPECT_EQ(*desktop.defaultsStore.find(kMenuItemHistoryDic), PlistValue(history().toPlist()));
}

TEST_F(SettingsWindow, TheViewsGetMonacoAndATabStopEveryFourCells) {
    const Font font = desktop.settingTextView.fontWithName("Monaco", 13);
    ASSERT_GT(font.maximumAdvancementWidth, 0);
    EXPECT_EQ(controller().settingTextFont, font);
    ASSERT_EQ(controller().pStyle.leftTabStops.size(), 128u);
    EXPECT_EQ(controller().pStyle.leftTabStops[0], 0);
    EXPECT_DOUBLE_EQ(controller().pStyle.leftTabStops[127], 127 * 4 * font.maximumAdvancementWidth);
    for (SimTextView* view : {&desktop.settingTextView, &desktop.shortcutButtonSettingTextView,
                              &desktop.blacklistAppSettingTextView}) {
        EXPECT_EQ(view->viewFont, font);
        EXPECT_EQ(view->storageFont, font);
        EXPECT_EQ(view->defaultParagraphStyle, controller().pStyle);
        EXPECT_FALSE(view->smartInsertDeleteEnabled);
    }
}

TEST_F(SettingsWindow, EveryEditTintsTheTextAndWhitensEachTabInUtf16Positions) {
    for (SimTextView* view : {&desktop.settingTextView, &desktop.shortcutButtonSettingTextView,
                              &desktop.blacklistAppSettingTextView}) {
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
    EXPECT_EQ(next.userDefaults.stringForKey(kShortcutButtonSetting), "Copy\tchar\tc\tcommand\n");
    next.setupSettingTextViews();
    EXPECT_EQ(desktop.shortcutButtonSettingTextView.string(), "Copy\tchar\tc\tcommand\n");
    EXPECT_EQ(desktop.blacklistAppSettingTextView.string(), "");
}

TEST_F(SettingsWindow, ChangingTheLoginSettingMakesTheLoginItemsFollow) {
    controller().userDefaults.setBool("LaunchAutomaticallyOnLogin", true);
    controller().changeSetting();
    ASSERT_EQ(desktop.loginItems.items.size(), 1u);
    EXPECT_EQ(desktop.loginItems.items[0].resolvedPath, desktop.appServices.bundlePathValue);

    controller().userDefaults.setBool("LaunchAutomaticallyOnLogin", false);
    controller().changeSetting();
    EXPECT_TRUE(desktop.loginItems.items.empty());
}

// --- Hostile input ----------------------------------------------------------------------------------

TEST_F(SettingsWindow, ATitleWithTabsBecomesTitleAndUserTitleAndThenStaysPut) {
    history().tableFor("A").put(item("Tab\tbed\ttitle", 2, t0));
    controller().loadSettingText();
    controller().setSettingText();
    const HistoryItem* split = find(history(), "A", "Tab");
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(split->userTitle, "bed");
    EXPECT_EQ(split->count, 2);

    const ServiceHistory once = history();
    controller().loadSettingText();
    controller().setSettingText();
    EXPECT_TRUE(history() == once);
}

TEST_F(SettingsWindow, InvalidUtf8BecomesReplacementCharactersThatTheStoreKeepsAsTheyAre) {
    apply("App\xC0\t3\tBad \xFF\xC3 bytes \xED\xA0\x80\t\x80user\n");
    ASSERT_EQ(history().size(), 1u);
    const auto& [key, table] = *history().tables().begin();
    EXPECT_EQ(key, "App\xEF\xBF\xBD");
    ASSERT_EQ(table.size(), 1u);
    const HistoryItem& applied = table.items().front();
    EXPECT_EQ(applied.count, 3);
    EXPECT_TRUE(applied.title.starts_with("Bad \xEF\xBF\xBD")) << applied.title;
    EXPECT_EQ(applied.userTitle, "\xEF\xBF\xBDuser");
    for (const std::string& text : {key, applied.title, *applied.userTitle})
        EXPECT_EQ(storableString(text), text) << "valid UTF-8, stored unchanged";

    const ServiceHistory once = history();
    controller().loadSettingText();
    controller().setSettingText();
    EXPECT_TRUE(history() == once);
}

TEST_F(SettingsWindow, AMillionLineTextIsAppliedWhole) {
    std::string text;
    text.reserve(30'000'000);
    for (int i = 0; i < 1'000'000; ++i) {
        // A mix of items in a few applications, comments and short lines.
        const std::string app = "App" + std::to_string((i - i % 4) % 7);
        const std::string title = "Title " + std::to_string(i - i % 4);
        if (i % 4 == 0) text += app + "\t" + std::to_string(i) + "\t" + title + "\t\n";
        if (i % 4 == 1) text += "#-- comment\n";
        if (i % 4 == 2) text += "short\tline\r";
        if (i % 4 == 3) text += app + "\t1\t" + title + "\tUser\r\n"; // replaces the item of line i - 3
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
