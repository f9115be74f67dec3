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

// Count + 1 (saturating) and Date = now.
void recordUseOf(HistoryItem& item, TimePoint now);

// The stored form of an item; and back, none for an entry of the wrong shape (not a dictionary, no
// string Title, a Count that is not a number).
PlistDictionary plistOfHistoryItem(const HistoryItem& item);
std::optional<HistoryItem> historyItemOfPlist(const PlistValue& stored);

} // namespace quoddle
