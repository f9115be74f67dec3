#pragma once
// The settings text: the service history written as tab-separated lines for the user to edit, and read
// back into a new history. Also the blacklist test, which shares the text's line rules.

#include "history/ServiceHistory.h"
#include "support/TextLines.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quoddle {

inline constexpr const char* kApplySettingTextResult = "#Apply Setting Text";
inline constexpr const char* kNoMenuItemResult = "#No Menu Item!. Dont Apply.";

// Ordinal order of UTF-16 code units, the platform's plain string comparison. It differs from byte order
// only between characters U+E000...U+FFFF and those above U+FFFF.
bool isUtf16OrdinalLess(std::string_view a, std::string_view b);

// Application keys in ordinal order, each as a header "#-- key" followed by its items, highest count first.
std::string settingTextOfHistory(const ServiceHistory& history);

struct ParsedSettingText {
    ServiceHistory history;
    std::size_t acceptedLines = 0;
};

// Reads a settings text into a new history. The text carries no dates: an item keeps the Date (and any
// stored keys this system does not know) that its application key and title have in `previous`, else it
// gets `now`. A later line for the same application key and title replaces an earlier one.
ParsedSettingText historyOfSettingText(std::string_view text, const ServiceHistory& previous, TimePoint now);

// True when the bundle identifier or the localized name equals one of the blacklist's lines exactly.
bool isBlacklistedApplication(std::string_view blacklist, const std::optional<std::string>& bundleIdentifier,
                              const std::optional<std::string>& localizedName);

// Where the tabs of a text stand, and its length, in UTF-16 code units: text attributes are set by those.
struct Utf16TabScan {
    std::size_t length = 0;
    std::vector<std::size_t> tabPositions;
};
Utf16TabScan scanTabsInUtf16Units(std::string_view text);

} // namespace quoddle
