// The service history: uses recorded from the menus and the palette, its stored form, and the picks the
// palette makes of it.
#include "SimFixture.h"

#include "Preferences.h"
#include "history/ServiceHistory.h"

#include <algorithm>
#include <random>

namespace quoddle {
namespace {

const TimePoint t0 = std::chrono::sys_days{std::chrono::year{2026} / 3 / 1};

class Recording : public TextEditScene {};

TEST_F(Recording, AChoiceFromAServicesMenuCountsUnderTheApplicationAndUnderAll) {
    // Reading the known titles does not wait for a palette with buttons.
    desktop.defaultsStore.set(preference::shortcutText, "");
    dragSelect();
    ASSERT_FALSE(paletteShown());
    // A second TextEdit launching leaves one observer for the bundle, on the first: each choice counts once.
    desktop.launch("TextEdit", "com.apple.TextEdit");
    chooseFromServicesMenu(0);
    chooseFromServicesMenu(0);
    EXPECT_EQ(uses("TextEdit", "Make Sticky"), 2);
    EXPECT_EQ(uses("*", "Make Sticky"), 2);
    // A title no Services menu holds is not counted.
    ax().openMenu(menus.applicationMenu);
    ax().highlightMenuItem(menus.applicationMenu, ax().children(menus.applicationMenu)[0]);
    ax().chooseMenuItem(ax().children(menus.applicationMenu)[0]);
    EXPECT_EQ(actions().historyText().find("About"), std::string::npos);
    // Opening a menu forgets the earlier highlight: a choice then reports nothing.
    ax().openMenu(menus.servicesMenu);
    ax().post(menus.services[1], ax::Notification::menuItemSelected);
    EXPECT_EQ(uses("TextEdit", "Search With Google"), 0);
    // Nor does a choice in a process without a name, or in one that has gone.
    const RunningApplication unnamed = desktop.workspace.launchUnnamedOrUnbundled(
        std::nullopt, "org.example.x",
        [&](const RunningApplication& app) { ax().addApplication(app.processIdentifier, "X"); });
    const SimMenuBar unnamedMenus = ax().addStandardMenuBar(unnamed.processIdentifier, {"Make Sticky"});
    chooseFromServicesMenu(0, &unnamedMenus);
    desktop.workspace.quit(textEdit.processIdentifier);
    chooseFromServicesMenu(0);
    EXPECT_EQ(uses("*", "Make Sticky"), 2);
}

// The first read of a large menu bar takes long: the palette is shown, and can draw, before it.
TEST_F(Recording, TheServicesMenuIsReadOnlyAfterThePaletteIsShown) {
    pressAt({200, 200});
    selectIn(textArea, 5);
    desktop.releaseLeftButton();
    ASSERT_TRUE(paletteShown());
    EXPECT_EQ(quoddle().knownServiceTitleCount(), 0u);
    desktop.runLoop.advance(std::chrono::milliseconds(100));
    EXPECT_EQ(quoddle().knownServiceTitleCount(), menus.services.size());
}

TEST_F(Recording, AUseIsStoredShortlyAfterwardsAndAtTheEnd) {
    dragSelect();
    desktop.pressKey();
    chooseFromServicesMenu(1);
    EXPECT_EQ(desktop.defaultsStore.find(preference::history), nullptr);
    desktop.runLoop.advance(std::chrono::seconds(3));
    ASSERT_NE(desktop.defaultsStore.find(preference::history), nullptr);
    chooseFromServicesMenu(1);
    const int writes = desktop.defaultsStore.synchronizeCount;
    actions().terminate();
    const ServiceHistory stored = ServiceHistory::fromPlist(*desktop.defaultsStore.find(preference::history),
                                                            [](const std::string&) {});
    EXPECT_EQ(stored.find("TextEdit")->find("Search With Google")->count, 2);
    EXPECT_EQ(desktop.defaultsStore.synchronizeCount, writes + 1) << "the end writes at once";
}

TEST(StoredHistory, RoundTripsEveryKeySkipsEntriesOfTheWrongShapeAndCountsSaturate) {
    ServiceHistory history;
    history.tableFor("Safari").put(
        {"Search", "Google", 12, t0 + std::chrono::milliseconds(1234), {{"Colour", "blue"}}});
    history.tableFor("*").put(HistoryItem{"Search", std::nullopt, 13, t0, {}});
    int skipped = 0;
    EXPECT_TRUE(ServiceHistory::fromPlist(history.toPlist(), [&](const std::string&) { ++skipped; }) ==
                history);
    EXPECT_EQ(skipped, 0);

    PlistDictionary app{{"Good", PlistDictionary{{"Title", "Good"}, {"Count", 3}}},
                        {"NoCount", PlistDictionary{{"Title", "NoCount"}}},
                        {"Text", PlistDictionary{{"Title", "Text"}, {"Count", "many"}}},
                        {"NoTitle", PlistDictionary{{"Count", 2}}},
                        {"Scalar", "just a string"},
                        {"Huge", PlistDictionary{{"Title", "Huge"}, {"Count", std::int64_t{1} << 40}}}};
    std::vector<std::string> problems;
    ServiceHistory loaded =
        ServiceHistory::fromPlist(PlistDictionary{{"TextEdit", app}, {"Broken", PlistArray{PlistValue(1)}}},
                                  [&](const std::string& p) { problems.push_back(p); });
    const ApplicationHistory& table = *loaded.find("TextEdit");
    EXPECT_EQ(table.size(), 3u);
    EXPECT_EQ(table.find("NoCount")->count, 0) << "a missing Count reads as 0";
    EXPECT_EQ(table.find("Huge")->count, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(problems.size(), 4u) << "Text, NoTitle, Scalar and Broken are each named";

    // A use of a count at the top of its range leaves it there, and still dates the item.
    ApplicationHistory full;
    full.put(HistoryItem{"T", std::nullopt, std::numeric_limits<std::int32_t>::max(), t0, {}});
    full.recordUse("T", t0 + std::chrono::seconds(1));
    EXPECT_EQ(full.find("T")->count, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(full.find("T")->date, t0 + std::chrono::seconds(1));
}

// The palette picks without sorting whole tables; over random tables it must pick what full sorts would.
TEST(HistoryPicks, AreWhatSortingTheWholeTableWouldGive) {
    std::mt19937 random{20261207};
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int round = 0; round < 500; ++round) {
        ApplicationHistory table;
        for (int i = uniform(0, 40); i > 0; --i) {
            const std::string title = "S" + std::to_string(uniform(0, 50));
            const int count = uniform(0, 5);
            table.put(HistoryItem{title, std::nullopt, count, t0 + std::chrono::hours(uniform(0, 6)), {}});
        }
        const std::string excludedTitle = "S" + std::to_string(uniform(0, 50));
        auto excluded = [&](const std::string& title) { return title == excludedTitle; };
        const int limit = uniform(-1, 6), threshold = uniform(0, 6);

        std::vector<const HistoryItem*> all;
        for (const HistoryItem& item : table.items())
            all.push_back(&item);
        std::vector<const HistoryItem*> byDate = all, byCount = all;
        std::stable_sort(byDate.begin(), byDate.end(), [](auto a, auto b) { return *a->date > *b->date; });
        std::stable_sort(byCount.begin(), byCount.end(), [](auto a, auto b) { return a->count > b->count; });
        std::vector<const HistoryItem*> newest, frequent;
        for (const HistoryItem* item : byDate)
            if (!excluded(item->title) && newest.size() < static_cast<std::size_t>(std::max(limit, 1)))
                newest.push_back(item);
        for (const HistoryItem* item : byCount)
            if (item->count >= threshold) frequent.push_back(item);
        ASSERT_EQ(table.newestItems(limit, excluded), newest) << "round " << round;
        ASSERT_EQ(table.itemsWithCountAtLeast(threshold), frequent) << "round " << round;
        ASSERT_EQ(table.itemsByCount(), byCount);
    }
}

} // namespace
} // namespace quoddle
