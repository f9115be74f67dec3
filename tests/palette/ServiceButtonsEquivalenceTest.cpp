// The rebuild picks its buttons without sorting whole tables; over many random histories it must pick
// exactly what sorting them would.
#include "PaletteFixture.h"

#include <algorithm>
#include <climits>
#include <random>
#include <set>

namespace quoddle {
namespace {

struct Limits {
    std::int32_t recentApp, recentAll, alwaysShow;
};

// The rebuild's choice as written: sort each table whole, walk it, skip taken titles. Each pass takes at
// most `limit(key)` items of a table, and only those it admits.
std::vector<std::string> referenceLabels(const ServiceHistory& history, const std::string& applicationKey,
                                         const std::vector<std::string>& shortcutServices, Limits limits) {
    std::set<std::string> taken(shortcutServices.begin(), shortcutServices.end());
    std::vector<std::string> labels;
    auto pass = [&](int (*order)(const HistoryItem&, const HistoryItem&, void*), auto admits, auto limit) {
        for (const std::string& key : {applicationKey, std::string("*")}) {
            const ApplicationHistory* table = history.find(key);
            if (!table) continue;
            std::vector<const HistoryItem*> items;
            for (const HistoryItem& item : table->items())
                items.push_back(&item);
            std::stable_sort(items.begin(), items.end(), [order](const HistoryItem* a, const HistoryItem* b) {
                return order(*a, *b, nullptr) < 0;
            });
            std::int32_t n = 0;
            for (const HistoryItem* item : items) {
                if (taken.count(item->title) || !admits(*item)) continue;
                labels.push_back(item->userTitle.value_or(item->title) + " <" + item->title + ">");
                taken.insert(item->title);
                if (++n >= limit(key)) break;
            }
        }
    };
    pass(
        itemDicArrayCountSort, [&](const HistoryItem& item) { return item.count >= limits.alwaysShow; },
        [](const std::string&) { return INT32_MAX; });
    pass(
        itemDicArrayDateSort, [](const HistoryItem&) { return true; },
        [&](const std::string& key) { return key == "*" ? limits.recentAll : limits.recentApp; });
    return labels;
}

class ServiceButtonsEquivalence : public PaletteFixture {
protected:
    std::mt19937 random{20261207};
    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

    void fillRandomly(ApplicationHistory& table) {
        for (int i = uniform(0, 40); i > 0; --i) {
            // A small pool of titles, counts and dates, so titles repeat across tables and ties are common.
            std::string title = "S" + std::to_string(uniform(0, 50));
            std::optional<std::string> userTitle;
            if (uniform(0, 4) == 0) userTitle = "label " + title;
            std::optional<TimePoint> date = desktop.clock.now() - std::chrono::seconds(uniform(0, 15));
            if (uniform(0, 30) == 0) date.reset();
            table.put(HistoryItem{title, userTitle, uniform(0, 9), date, {}});
        }
    }
};

TEST_F(ServiceButtonsEquivalence, RandomHistoriesGiveWhatFullSortsWould) {
    for (int round = 0; round < 400; ++round) {
        // Now and then the target is itself named "*".
        const std::string name = round % 25 == 0 ? "*" : "App" + std::to_string(round);
        target(name);
        controller().menuItemHistoryDic = ServiceHistory();
        if (uniform(0, 5) != 0) fillRandomly(controller().menuItemHistoryDic.tableFor(name));
        if (uniform(0, 5) != 0) fillRandomly(controller().menuItemHistoryDic.tableFor("*"));

        std::vector<std::string> shortcutServices;
        std::string text;
        for (int i = uniform(0, 4); i > 0; --i) {
            shortcutServices.push_back("S" + std::to_string(uniform(0, 50)));
            text += "K" + std::to_string(i) + "\tservice\t" + shortcutServices.back() + "\n";
        }
        setShortcutText(text);
        const Limits limits{uniform(-1, 4), uniform(-1, 4), uniform(0, 10)};
        setPreference(kRecentAppMenuItemNum, limits.recentApp);
        setPreference(kRecentAllMenuItemNum, limits.recentAll);
        setPreference(kAlwaysShowItemCount, limits.alwaysShow);

        controller().addServiceButton();
        std::vector<std::string> labels;
        for (std::size_t i = 0; i < controller().serviceButtonArray.size(); ++i)
            labels.push_back(controller().serviceButtonArray[i]->title() + " <" +
                             controller().serviceNameArray[i] + ">");
        ASSERT_EQ(labels, referenceLabels(controller().menuItemHistoryDic, name, shortcutServices, limits))
            << "round " << round;
    }
}

} // namespace
} // namespace quoddle
