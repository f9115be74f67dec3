#include "history/HistoryItem.h"

#include <limits>

namespace quoddle {

void recordUseOf(HistoryItem& item, TimePoint now) {
    item.date = now;
    // A count at the top of its range stays there rather than wrapping to the most negative value.
    if (item.count < std::numeric_limits<std::int32_t>::max()) ++item.count;
}

PlistDictionary plistOfHistoryItem(const HistoryItem& item) {
    PlistDictionary stored = item.otherKeys;
    stored.insert_or_assign(kTitleKey, item.title);
    stored.insert_or_assign(kCountKey, std::int64_t{item.count});
    if (item.date) stored.insert_or_assign(kDateKey, *item.date);
    if (item.userTitle) stored.insert_or_assign(kUserTitleKey, *item.userTitle);
    return stored;
}

std::optional<HistoryItem> historyItemOfPlist(const PlistValue& stored) {
    const PlistDictionary* dictionary = stored.get<PlistDictionary>();
    if (!dictionary) return std::nullopt;
    HistoryItem item;
    for (const auto& [key, value] : *dictionary) {
        if (key == kTitleKey) {
            if (!value.is<std::string>()) return std::nullopt;
            item.title = *value.get<std::string>();
        } else if (key == kCountKey) {
            if (auto integer = value.get<std::int64_t>()) {
                constexpr auto lo = std::numeric_limits<std::int32_t>::min();
                constexpr auto hi = std::numeric_limits<std::int32_t>::max();
                item.count = static_cast<std::int32_t>(*integer < lo ? lo : *integer > hi ? hi : *integer);
            } else if (auto real = value.get<double>()) {
                if (!(*real >= -2147483648.0 && *real <= 2147483647.0)) return std::nullopt;
                item.count = static_cast<std::int32_t>(*real);
            } else {
                return std::nullopt;
            }
        } else if (key == kDateKey && value.is<PlistDate>()) {
            item.date = *value.get<PlistDate>();
        } else if (key == kUserTitleKey && value.is<std::string>() && !value.get<std::string>()->empty()) {
            item.userTitle = *value.get<std::string>();
        } else {
            // Unknown keys, and known ones of an unexpected kind, travel along untouched.
            item.otherKeys.emplace(key, value);
        }
    }
    if (!dictionary->count(kTitleKey)) return std::nullopt;
    return item;
}

} // namespace quoddle
