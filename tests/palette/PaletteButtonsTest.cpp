// The palette's buttons: the shortcut grid from the shortcut text, then services picked from the target
// application's history and all applications' history; and what their clicks do.
#include "SimFixture.h"

#include "Preferences.h"
#include "history/HistoryItem.h"

#include <map>

namespace quoddle {
namespace {

struct StoredUse {
    const char* title;
    int count;
    int daysAgo;
    const char* userTitle = nullptr;
};

class PaletteButtons : public TextEditScene {
protected:
    // The history and shortcut text as stored before Quoddle starts.
    void SetUp() override {
        PlistDictionary tables;
        for (const auto& [key, uses] : history) {
            PlistDictionary items;
            for (const StoredUse& use : uses) {
                HistoryItem item{use.title,
                                 std::nullopt,
                                 use.count,
                                 desktop.clock.now() - std::chrono::hours(24 * use.daysAgo),
                                 {}};
                if (use.userTitle) item.userTitle = use.userTitle;
                items.emplace(use.title, plistOfHistoryItem(item));
            }
            tables.emplace(key, std::move(items));
        }
        desktop.defaultsStore.set(preference::history, std::move(tables));
        if (shortcutText) desktop.defaultsStore.set(preference::shortcutText, *shortcutText);
        TextEditScene::SetUp();
    }
    double contentHeight() const { return desktop.palette.contentViewFrame().size.height; }
    std::vector<std::string> serviceTitles() const {
        std::vector<std::string> titles;
        for (const auto& button : desktop.palette.buttons())
            if (button->frame().size.width > 100) titles.push_back(button->title());
        return titles;
    }

    std::map<std::string, std::vector<StoredUse>> history;
    std::optional<std::string> shortcutText;
};

class WorkedExample : public PaletteButtons {
protected:
    void SetUp() override {
        shortcutText = "Sticky\tservice\tD\n";
        history = {{"TextEdit", {{"A", 5, 3}, {"B", 2, 1}, {"C", 12000, 9}, {"D", 1, 2}}},
                   {"*", {{"E", 3, 0}, {"B", 4, 1}, {"F", 1, 8}}}};
        PaletteButtons::SetUp();
    }
};

TEST_F(WorkedExample, FrequentThenRecentEachTitleOnceAndShortcutServicesWithheld) {
    dragSelect();
    ASSERT_TRUE(paletteShown());
    EXPECT_EQ(serviceTitles(), (std::vector<std::string>{"C", "B", "A", "E"}));
    // One shortcut row, four service rows.
    EXPECT_EQ(contentHeight(), 5 * 26 + 6);
}

TEST_F(WorkedExample, ALowerThresholdTakesTheApplicationsFrequentItemsBeforeAllApplications) {
    desktop.defaultsStore.set(preference::alwaysShowUseCount, 3);
    dragSelect();
    EXPECT_EQ(serviceTitles(), (std::vector<std::string>{"C", "A", "B", "E", "F"}));
}

class WithRecentLimits : public PaletteButtons {
protected:
    void SetUp() override {
        history = {{"TextEdit", {{"Old", 1, 5}, {"New", 1, 1, "Label"}}}, {"*", {{"Elsewhere", 1, 0}}}};
        desktop.defaultsStore.set(preference::recentApplicationServices, 0);
        PaletteButtons::SetUp();
    }
};

TEST_F(WithRecentLimits, ALimitOfZeroStillAdmitsTheNewestAndAUserTitleLabelsTheButton) {
    dragSelect();
    ASSERT_TRUE(paletteShown());
    EXPECT_EQ(serviceTitles(), (std::vector<std::string>{"Label", "Elsewhere"}));
    // The label is only shown: the click presses the item by its title.
    ax().clearRecords();
    click("Label");
    ASSERT_EQ(ax().performedActions().size(), 0u) << "TextEdit's menu has no item titled New";
    EXPECT_EQ(desktop.appServices.beepCount, 1);
    EXPECT_FALSE(paletteShown());
}

TEST_F(PaletteButtons, TheShortcutGridLeavesACommentsSlotEmptyAndSetsThePalettesHeight) {
    desktop.defaultsStore.set(preference::shortcutText,
                              "A\tchar\ta\nB\tchar\tb\nC\tchar\tc\n#gap\r\nD\tchar\td\n\tno label\n");
    dragSelect();
    ASSERT_TRUE(paletteShown());
    std::vector<double> xs, ys;
    for (const auto& button : desktop.palette.buttons()) {
        xs.push_back(button->frame().minX());
        ys.push_back(button->frame().minY());
        EXPECT_EQ(button->frame().size.width, 37);
    }
    // A CR LF leaves an empty line, which takes no slot; the comment takes slot 3, so D is in slot 4.
    EXPECT_EQ(xs, (std::vector<double>{6, 49, 92, 6}));
    EXPECT_EQ(ys, (std::vector<double>{6, 6, 6, 32}));
    EXPECT_EQ(contentHeight(), 58);
}

TEST_F(PaletteButtons, WithNothingToShowThePaletteStaysHidden) {
    desktop.defaultsStore.set(preference::shortcutText, "");
    dragSelect();
    EXPECT_FALSE(paletteShown());
    EXPECT_EQ(quoddle().knownServiceTitleCount(), 2u) << "the titles are read all the same";
}

TEST_F(PaletteButtons, AKeyClickPostsItsStrokeToTheActiveApplicationThenAppliesItsWords) {
    desktop.defaultsStore.set(preference::shortcutText,
                              "Copy\tchar\tc\tcommand\n"
                              "Odd\tkeyCode\t36\toption\tshift\tDontHideWindow\tShowShortcutOnly\n"
                              "Pin\tchar\tz\tDontHideWindow\tStopAutoHideWindow\n");
    history = {};
    auto events = [this] {
        std::vector<std::pair<int, bool>> keys;
        for (const SimKeyEvent& e : ax().keyEvents())
            keys.emplace_back(e.virtualKey, e.keyDown);
        ax().clearRecords();
        return keys;
    };
    dragSelect();
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
}

TEST_F(PaletteButtons, AClickWithoutAValueOrAReachableApplicationDoesNothing) {
    desktop.defaultsStore.set(preference::shortcutText, "Empty\tchar\n"
                                                        "Copy\tchar\tc\tcontrol\n");
    dragSelect();
    click("Empty");
    EXPECT_TRUE(paletteShown()) << "abandoned, words and all";
    desktop.workspace.quit(textEdit.processIdentifier);
    click("Copy");
    EXPECT_TRUE(ax().keyEvents().empty());
    EXPECT_EQ(desktop.appServices.beepCount, 1);
    EXPECT_TRUE(paletteShown());
}

TEST_F(PaletteButtons, AServiceButtonPressesTheItemInTheTargetAndCountsTheUse) {
    desktop.defaultsStore.set(preference::shortcutText, "Sticky\tservice\tMake Sticky\tcommand\n");
    dragSelect();
    ax().clearRecords();
    click("Sticky");
    ASSERT_EQ(ax().performedActions().size(), 1u);
    EXPECT_EQ(ax().performedActions()[0].element, menus.services[0]);
    EXPECT_TRUE(ax().keyEvents().empty()) << "modifiers mean nothing to a service line";
    EXPECT_EQ(uses("TextEdit", "Make Sticky"), 1);
    EXPECT_EQ(uses("*", "Make Sticky"), 1);
    EXPECT_FALSE(paletteShown());
    // The use makes a service button next time, in every application, unless a shortcut line names it.
    dragSelect(4, notesText);
    EXPECT_TRUE(serviceTitles().empty());
    desktop.pressKey();
    desktop.defaultsStore.set(preference::shortcutText, "");
    dragSelect(4, notesText);
    EXPECT_EQ(serviceTitles(), std::vector<std::string>{"Make Sticky"});
}

} // namespace
} // namespace quoddle
