#pragma once
// One Services item of one application's history: how often and when last it was used.

#include "platform/Clock.h"
#include "platform/PlistValue.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quoddle {

inline constexpr const char* kTitleKey = "Title";
inline constexpr const char* kUserTitleKey = "UserTitle";
inline constexpr const char* kCountKey = "Count";
inline constexpr const char* kDateKey = "Date";

struct HistoryItem {
    std::string title;
    std::optional<std::string> userTitle; // absent, never empty, when unset
    std::int32_t count = 0;
    std::optional<TimePoint> date; // absent only in hand-edited stored histories
    PlistDictionary otherKeys;     // stored keys this system does not know, kept for the next save

    friend bool operator==(const HistoryItem&, const HistoryItem&) = default;
};

// Orderings: -1 when the first goes first, +1 when the second does, 0 when equal. The context is ignored.
// Highest Count first.
int itemDicArrayCountSort(const HistoryItem& first, const HistoryItem& second, void* context);
// Latest Date first; an item without a Date counts as the oldest.
int itemDicArrayDateSort(const HistoryItem& first, const HistoryItem& second, void* context);

// Count + 1 (saturating) and Date = now.
void updateDateAndCountWithItemDic(HistoryItem& item, TimePoint now);

// The stored form of an item; and back, none for an entry of the wrong shape (not a dictionary, no
// string Title, a Count that is not a number).
PlistDictionary plistOfHistoryItem(const HistoryItem& item);
std::optional<HistoryItem> historyItemOfPlist(const PlistValue& stored);

} // namespace quoddle
