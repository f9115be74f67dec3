#include "history/ServiceHistory.h"
#include "platform/PlistValuePrinter.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quoddle {
namespace {

using std::chrono::seconds;
const TimePoint t0 = std::chrono::sys_days{std::chrono::year{2026} / 1 / 1};

HistoryItem item(std::string title, std::int32_t count, TimePoint date) {
    return HistoryItem{std::move(title), std::nullopt, count, date, {}};
}

std::vector<std::string> titles(const std::vector<const HistoryItem*>& items) {
    std::vector<std::string> result;
    for (const HistoryItem* i : items)
        result.push_back(i->title);
    return result;
}

TEST(HistoryItemOrdering, CountSortPutsTheHighestFirstAndDateSortTheLatest) {
    HistoryItem a = item("A", 5, t0 + seconds(1)), b = item("B", 10000, t0),
                c = item("C", 1, t0 + seconds(2));
    EXPECT_EQ(itemDicArrayCountSort(a, b, nullptr), 1);
    EXPECT_EQ(itemDicArrayCountSort(b, a, nullptr), -1);
    EXPECT_EQ(itemDicArrayCountSort(a, a, nullptr), 0);
    EXPECT_EQ(itemDicArrayDateSort(c, a, nullptr), -1);
    EXPECT_EQ(itemDicArrayDateSort(a, c, nullptr), 1);
    EXPECT_EQ(itemDicArrayDateSort(a, a, nullptr), 0);
    HistoryItem undated{"U", std::nullopt, 1, std::nullopt, {}};
    EXPECT_EQ(itemDicArrayDateSort(undated, b, nullptr), 1) << "an item without a Date is the oldest";

    ApplicationHistory table;
    for (const HistoryItem& i : {a, b, c})
        table.put(i);
    EXPECT_EQ(titles(table.itemsSortedByCount()), (std::vector<std::string>{"B", "A", "C"}));
    EXPECT_EQ(titles(table.itemsSortedByDate()), (std::vector<std::string>{"C", "A", "B"}));
}

TEST(HistoryItemOrdering, UpdateCountsUpAndRefreshesTheDateWithoutWrapping) {
    HistoryItem i = item("T", 0, t0);
    updateDateAndCountWithItemDic(i, t0 + seconds(5));
    EXPECT_EQ(i.count, 1);
    EXPECT_EQ(i.date, t0 + seconds(5));
    i.count = std::numeric_limits<std::int32_t>::max();
    updateDateAndCountWithItemDic(i, t0);
    EXPECT_EQ(i.count, std::numeric_limits<std::int32_t>::max());
}

TEST(ApplicationHistory, PutReplacesAnItemAndItsSortKeysAndNothingIsEvicted) {
    ApplicationHistory table;
    for (int i = 0; i < 1000; ++i)
        table.recordUse("Service " + std::to_string(i), t0 + seconds(i));
    EXPECT_EQ(table.size(), 1000u);
    table.put(item("Service 7", 7, t0));
    EXPECT_EQ(table.size(), 1000u);
    EXPECT_EQ(titles(table.itemsWithCountAtLeast(7)), (std::vector<std::string>{"Service 7"}));
    EXPECT_EQ(table.newestItems(1, [](const std::string&) { return false; }).front()->title, "Service 999");
}

TEST(ServiceHistoryStoredForm, RoundTripKeepsEveryKeyIncludingUnknownOnes) {
    ServiceHistory history;
    HistoryItem withUserTitle{"Search With Google", "Google", 12, t0 + std::chrono::milliseconds(1234), {}};
    withUserTitle.otherKeys.emplace("Colour", "blue");
    history.tableFor("Safari").put(withUserTitle);
    history.tableFor("*").put(item("Search With Google", 13, t0));

    PlistDictionary stored = history.toPlist();
    const auto& safariItem =
        *stored.at("Safari").get<PlistDictionary>()->at("Search With Google").get<PlistDictionary>();
    EXPECT_EQ(safariItem.at("UserTitle"), PlistValue("Google"));
    EXPECT_EQ(safariItem.at("Count"), PlistValue(std::int64_t{12}));
    EXPECT_EQ(safariItem.at("Colour"), PlistValue("blue"));
    EXPECT_EQ(stored.at("*")
                  .get<PlistDictionary>()
                  ->at("Search With Google")
                  .get<PlistDictionary>()
                  ->count("UserTitle"),
              0u);

    int skipped = 0;
    ServiceHistory loaded = ServiceHistory::fromPlist(stored, [&](const std::string&) { ++skipped; });
    EXPECT_EQ(skipped, 0);
    EXPECT_TRUE(loaded == history);
    EXPECT_EQ(loaded.itemDate("Safari", "Search With Google"), t0 + std::chrono::milliseconds(1234));
    EXPECT_EQ(loaded.itemDate("Safari", "Nothing"), std::nullopt);
    EXPECT_EQ(loaded.itemDate("Nobody", "Search With Google"), std::nullopt);
}

TEST(ServiceHistoryStoredForm, EntriesOfTheWrongShapeAreSkippedAndTheRestKept) {
    PlistDictionary good{{"Title", "Good"}, {"Count", 3}, {"Date", PlistValue(t0)}};
    PlistDictionary noCount{{"Title", "NoCount"}};
    PlistDictionary textCount{{"Title", "Text"}, {"Count", "many"}};
    PlistDictionary noTitle{{"Count", 2}};
    PlistDictionary hugeCount{{"Title", "Huge"}, {"Count", std::int64_t{1} << 40}};
    PlistDictionary app{{"Good", good},       {"NoCount", noCount},        {"Text", textCount},
                        {"NoTitle", noTitle}, {"Scalar", "just a string"}, {"Huge", hugeCount}};
    PlistDictionary stored{{"TextEdit", app}, {"Broken", PlistArray{PlistValue(1)}}};

    std::vector<std::string> problems;
    ServiceHistory loaded =
        ServiceHistory::fromPlist(stored, [&](const std::string& p) { problems.push_back(p); });
    ASSERT_NE(loaded.find("TextEdit"), nullptr);
    const ApplicationHistory& table = *loaded.find("TextEdit");
    EXPECT_EQ(table.size(), 3u);
    EXPECT_EQ(table.find("Good")->count, 3);
    EXPECT_EQ(table.find("NoCount")->count, 0) << "a missing Count reads as 0";
    EXPECT_EQ(table.find("Huge")->count, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(loaded.find("Broken"), nullptr);
    EXPECT_EQ(problems.size(), 4u); // Text, NoTitle, Scalar, Broken

    problems.clear();
    EXPECT_TRUE(ServiceHistory::fromPlist(PlistValue("not a dictionary"), [&](const std::string& p) {
                    problems.push_back(p);
                }).empty());
    EXPECT_EQ(problems.size(), 1u);
}

} // namespace
} // namespace quoddle
