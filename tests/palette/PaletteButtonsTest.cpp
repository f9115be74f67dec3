// The palette's buttons: the shortcut grid from the shortcut text and the text's rules for lines and words,
// then services picked from the target application's history and all applications' history; and what their
// clicks do. The split on tab runs is RegexTest's. Then where the palette opens beside the pointer, and when
// the pointer's wandering hides it.
#include "SimFixture.h"

#include "Preferences.h"
#include "history/ServiceHistory.h"
#include "palette/PalettePlacement.h"
#include "palette/ShortcutText.h"

#include <map>

namespace quoddle {
namespace {

struct StoredUse {
    const char* title;
    int count;
    int daysAgo;
    std::optional<std::string> userTitle = std::nullopt;
};
using StoredHistory = std::map<std::string, std::vector<StoredUse>>;

class PaletteButtons : public TextEditScene {
protected:
    double contentHeight() const { return desktop.palette.contentViewFrame().size.height; }
};

struct Picks {
    const char* name;
    StoredHistory history;
    std::vector<std::pair<const char*, int>> preferences;
    std::vector<std::string> titles; // of the service buttons, in order
};

class ServicePicks : public PaletteButtons, public ::testing::WithParamInterface<Picks> {};

// Services the target application used often, then those it used last, then the same from all
// applications: each title once, and none a shortcut line names.
TEST_P(ServicePicks, FrequentThenRecentEachTitleOnceAndShortcutServicesWithheld) {
    // The history as an earlier run stored it.
    ServiceHistory stored;
    for (const auto& [key, uses] : GetParam().history)
        for (const StoredUse& use : uses) {
            const TimePoint date = desktop.clock.now() - std::chrono::hours(24 * use.daysAgo);
            stored.tableFor(key).put(HistoryItem{use.title, use.userTitle, use.count, date, {}});
        }
    desktop.defaultsStore.set(preference::history, stored.toPlist());
    for (const auto& [key, value] : GetParam().preferences)
        desktop.defaultsStore.set(key, value);
    desktop.defaultsStore.set(preference::shortcutText, "Sticky\tservice\tD\n");
    relaunch();
    dragSelect();
    ASSERT_TRUE(paletteShown());
    std::vector<std::string> titles;
    for (const auto& button : desktop.palette.buttons())
        if (button->frame().size.width > 100) titles.push_back(button->title()); // the service rows' width
    EXPECT_EQ(titles, GetParam().titles);
    EXPECT_EQ(contentHeight(), static_cast<double>(1 + GetParam().titles.size()) * 26 + 6)
        << "one shortcut row, then a row per service";
}

const StoredHistory kWorkedExample = {{"TextEdit", {{"A", 5, 3}, {"B", 2, 1}, {"C", 12000, 9}, {"D", 1, 2}}},
                                      {"*", {{"E", 3, 0}, {"B", 4, 1}, {"F", 1, 8}}}};

const Picks kPicks[] = {
    {"TheWorkedExample", kWorkedExample, {}, {"C", "B", "A", "E"}},
    {"ALowerThresholdTakesTheApplicationsFrequentItemsBeforeAllApplications",
     kWorkedExample,
     {{preference::alwaysShowUseCount, 3}},
     {"C", "A", "B", "E", "F"}},
    {"ALimitOfZeroStillAdmitsTheNewestAndAUserTitleLabelsTheButton",
     {{"TextEdit", {{"Old", 1, 5}, {"New", 1, 1, "Label"}}}, {"*", {{"Elsewhere", 1, 0}}}},
     {{preference::recentApplicationServices, 0}},
     {"Label", "Elsewhere"}},
};

INSTANTIATE_TEST_SUITE_P(FromTheHistory, ServicePicks, ::testing::ValuesIn(kPicks),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PaletteButtons, TheShortcutGridLeavesACommentsSlotEmptyAndSetsThePalettesHeight) {
    desktop.defaultsStore.set(preference::shortcutText,
                              "A\tchar\ta\nB\tchar\tb\nC\tchar\tc\n#gap\r\nD\tchar\td\n\tno label\n");
    dragSelect();
    ASSERT_TRUE(paletteShown());
    std::vector<Rect> frames;
    for (const auto& button : desktop.palette.buttons())
        frames.push_back(button->frame());
    // A CR LF leaves an empty line, which takes no slot; the comment takes slot 3, so D is in slot 4.
    EXPECT_EQ(frames,
              (std::vector<Rect>{
                  {{6, 6}, {37, 20}}, {{49, 6}, {37, 20}}, {{92, 6}, {37, 20}}, {{6, 32}, {37, 20}}}));
    EXPECT_EQ(contentHeight(), 58);
}

// A line without a value is abandoned, words and all; a click with the application gone only beeps.
TEST_F(PaletteButtons, AKeyClickPostsItsStrokeToTheActiveApplicationThenAppliesItsWords) {
    desktop.defaultsStore.set(preference::shortcutText,
                              "Copy\tchar\tc\tcommand\n"
                              "Odd\tkeyCode\t36\toption\tshift\tDontHideWindow\tShowShortcutOnly\n"
                              "Pin\tchar\tz\tDontHideWindow\tStopAutoHideWindow\n"
                              "Empty\tchar\n");
    auto events = [this] {
        std::vector<std::pair<int, bool>> keys;
        for (const SimKeyEvent& e : ax().keyEvents())
            keys.emplace_back(e.virtualKey, e.keyDown);
        ax().clearRecords();
        return keys;
    };
    dragSelect();
    click("Empty");
    EXPECT_TRUE(paletteShown()) << "abandoned, words and all";
    click("Copy");
    EXPECT_EQ(events(), (std::vector<std::pair<int, bool>>{{55, true}, {8, true}, {8, false}, {55, false}}));
    EXPECT_FALSE(paletteShown());

    dragSelect();
    const double top = desktop.palette.frame().maxY();
    click("Odd");
    // Modifiers go down and come up in the fixed order shift, option, whatever the line's order.
    EXPECT_EQ(events(), (std::vector<std::pair<int, bool>>{
                            {56, true}, {58, true}, {36, true}, {36, false}, {56, false}, {58, false}}));
    EXPECT_TRUE(paletteShown());
    EXPECT_EQ(desktop.palette.frame().maxY(), top) << "shrunk to the shortcut rows, top edge kept";

    desktop.pressKey();
    dragSelect();
    click("Pin");
    desktop.moveMouseTo({1400, 880});
    desktop.runLoop.advance(std::chrono::milliseconds(200));
    desktop.moveMouseTo({1100, 200});
    desktop.pressLeftButton();
    desktop.releaseLeftButton();
    EXPECT_TRUE(paletteShown()) << "pinned: neither the pointer nor a press elsewhere hides it";
    desktop.pressKey();
    EXPECT_FALSE(paletteShown()) << "a key hides even a pinned palette";
    dragSelect();
    ax().clearRecords(); // the user's own key
    desktop.workspace.quit(textEdit.processIdentifier);
    click("Copy");
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(desktop.appServices.beepCount, 1);
    EXPECT_TRUE(paletteShown());
}

// A user title only labels a button: its click presses the item of the title.
TEST_F(PaletteButtons, AServiceButtonPressesTheItemInTheTargetAndCountsTheUse) {
    desktop.defaultsStore.set(preference::shortcutText, "Sticky\tservice\tMake Sticky\tcommand\n");
    actions().importHistoryText("TextEdit\t1\tNew\tLabel\n");
    dragSelect();
    ax().clearRecords();
    click("Label");
    EXPECT_TRUE(ax().performedActions().empty()) << "TextEdit's menu has no item titled New";
    EXPECT_EQ(desktop.appServices.beepCount, 1);
    EXPECT_FALSE(paletteShown());
    dragSelect();
    click("Sticky");
    ASSERT_EQ(ax().performedActions().size(), 1u);
    EXPECT_EQ(ax().performedActions()[0].element, menus.services[0]);
    EXPECT_TRUE(ax().keyEvents().empty()) << "modifiers mean nothing to a service line";
    EXPECT_EQ(uses("TextEdit", "Make Sticky"), 1);
    EXPECT_EQ(uses("*", "Make Sticky"), 1);
    EXPECT_FALSE(paletteShown());
}

// A line without a label makes no button and a comment takes a slot (the grid above); nor does a line
// without a type, and a line's words count wherever they stand.
TEST(ShortcutText, ALineNeedsALabelAndATypeItsWordsCountWhereverTheyStandAndServicesAreWithheld) {
    EXPECT_FALSE(makesShortcutButton(shortcutFieldsOfLine("label only\t")));
    EXPECT_FALSE(isShortcutCommentLine(" #x"));
    // The label and the value are words too; modifiers come in a fixed order.
    EXPECT_EQ(shortcutModifierKeyCodes({"shift", "char", "command", "control", "option", "shift"}),
              (std::vector<std::uint16_t>{55, 56, 59, 58}));
    EXPECT_TRUE(shortcutLineHasWord({"DontHideWindow", "char", "a"}, kDontHideWindowWord));
    // Every service value is withheld from the picks, even without a label.
    EXPECT_EQ(shortcutServiceNames("A\tservice\tOne\n\tservice\tTwo\n#B\tservice\tThree\nC\tservice\n"),
              (std::vector<std::string>{"One", "Two"}));
}

struct Placement {
    const char* name;
    Point pointer; // event coordinates
    Point origin;  // screen coordinates, bottom-left origin
};

const Placement kPlacements[] = {
    {"RightOfThePointerCentredOnIt", {100, 400}, {106, 432}},
    {"LeftOfThePointerAtTheRightEdge", {1350, 100}, {1164, 732}},
    {"BottomEdgeOnTheScreen", {100, 880}, {106, 0}},
    {"TopEdgeOnTheScreen", {100, 10}, {106, 764}},
    {"OffEveryScreenFallsBackOnThePalettesScreen", {-500, -500}, {0, 764}},
    // A screen holds its left and top edges, not its right and bottom ones (in its bottom-left coordinates).
    {"OnTheLeftEdgeOfTheSecondScreen", {1440, 400}, {1446, 432}},
    {"OnTheTopEdgeOfTheSecondScreen", {1500, 100}, {1506, 664}},
    {"OnTheBottomEdgeOfTheSecondScreenFallsBack", {1500, 900}, {1314, 0}},
};

TEST(PalettePlacement, KeepsThePaletteOnThePointersScreen) {
    // Two screens side by side; the palette is 180 x 136 with a margin of 6.
    const std::vector<Rect> screens{Rect{{0, 0}, {1440, 900}}, Rect{{1440, 0}, {1280, 800}}};
    for (const Placement& placement : kPlacements)
        EXPECT_EQ(paletteOriginBesidePointer({180, 136}, placement.pointer, screens, screens[0], 6),
                  placement.origin)
            << placement.name;
}

class PaletteHiding : public TextEditScene {};

TEST_F(PaletteHiding, ThePointerMayWanderTwiceTheMarginOutside) {
    dragSelect();
    ASSERT_TRUE(paletteShown());
    const Rect f = desktop.palette.frame();
    auto pointerAt = [&](double x) {
        desktop.pointer.moveTo({x, f.minY() + 5});
        desktop.runLoop.advance(std::chrono::milliseconds(60));
    };
    pointerAt(f.maxX() + 12);
    EXPECT_TRUE(paletteShown()) << "12 points out is within the allowance";
    pointerAt(f.maxX() + 12.5);
    EXPECT_FALSE(paletteShown());

    desktop.defaultsStore.set(preference::paletteMargin, 20);
    dragSelect();
    pointerAt(desktop.palette.frame().maxX() + 30);
    EXPECT_TRUE(paletteShown()) << "the margin is read at every tick";
}

TEST_F(PaletteHiding, AbsurdPreferencesStillGiveAPaletteOnTheScreen) {
    desktop.defaultsStore.set(preference::paletteWidth, std::int64_t{1} << 40);
    desktop.defaultsStore.set(preference::paletteMargin, -1000000);
    desktop.defaultsStore.set(preference::shortcutButtonsPerRow, 0);
    dragSelect();
    ASSERT_TRUE(paletteShown());
    EXPECT_GE(desktop.palette.frame().minX(), 0);
    EXPECT_GE(desktop.palette.frame().minY(), 0);
}

} // namespace
} // namespace quoddle
