#include "history/SettingsText.h"

#include "support/Utf16Units.h"

#include "support/Regex.h"
#include "support/UserDefaults.h"

#include <algorithm>

namespace quoddle {

namespace {

const std::string kFieldSeparatorPattern = "\t+";

// UTF-8 lead bytes of U+E000...U+FFFF, and of characters above U+FFFF (surrogate pairs in UTF-16).
bool leadsUpperBmp(unsigned char c) {
    return c == 0xEE || c == 0xEF;
}
bool leadsSupplementary(unsigned char c) {
    return c >= 0xF0;
}

void appendItemLine(std::string& text, const std::string& applicationKey, const HistoryItem& item) {
    text += applicationKey;
    text += '\t';
    text += std::to_string(item.count);
    text += '\t';
    text += item.title;
    text += '\t';
    if (item.userTitle) text += *item.userTitle;
    text += '\n';
}

} // namespace

bool isUtf16OrdinalLess(std::string_view a, std::string_view b) {
    auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (ia == a.end() || ib == b.end()) return ia == a.end() && ib != b.end();
    // Back up to the lead byte of the character that differs; both texts agree up to there.
    std::size_t at = static_cast<std::size_t>(ia - a.begin());
    while (at > 0 && (static_cast<unsigned char>(a[at]) & 0xC0) == 0x80)
        --at;
    const auto ca = static_cast<unsigned char>(a[at]), cb = static_cast<unsigned char>(b[at]);
    if (leadsSupplementary(ca) && leadsUpperBmp(cb)) return true;
    if (leadsUpperBmp(ca) && leadsSupplementary(cb)) return false;
    return static_cast<unsigned char>(*ia) < static_cast<unsigned char>(*ib);
}

std::string settingTextOfHistory(const ServiceHistory& history) {
    using Entry = std::pair<const std::string, ApplicationHistory>;
    std::vector<const Entry*> applications;
    applications.reserve(history.size());
    std::size_t estimate = 0;
    for (const Entry& entry : history.tables()) {
        applications.push_back(&entry);
        estimate += (entry.first.size() + 48) * (entry.second.size() + 1);
    }
    std::sort(applications.begin(), applications.end(),
              [](const Entry* x, const Entry* y) { return isUtf16OrdinalLess(x->first, y->first); });

    std::string text;
    text.reserve(std::max<std::size_t>(30720, estimate));
    for (const Entry* application : applications) {
        text += "#-- ";
        text += application->first;
        text += '\n';
        for (const HistoryItem* item : application->second.itemsByCount())
            appendItemLine(text, application->first, *item);
    }
    return text;
}

ParsedSettingText historyOfSettingText(std::string_view text, const ServiceHistory& previous, TimePoint now) {
    ParsedSettingText parsed;
    std::string line;
    // Item lines of one application usually follow each other: keep its tables at hand. Table references
    // stay valid while the history grows.
    std::string lastKey;
    ApplicationHistory* table = nullptr;
    const ApplicationHistory* before = nullptr;
    forEachLineOfText(text, [&](std::string_view view) {
        // Comments, and lines too short to hold three tab-separated fields, need no split.
        if (view.empty() || view.front() == '#') return;
        if (std::count(view.begin(), view.end(), '\t') < 2) return;
        line.assign(view);
        std::optional<std::vector<std::string>> fields = splitByPattern(line, kFieldSeparatorPattern);
        if (!fields || fields->size() < 3) return;
        std::string& applicationKey = (*fields)[0];
        std::string& title = (*fields)[2];
        if (applicationKey.empty() || title.empty()) return;

        HistoryItem item;
        item.count = intValueOfString((*fields)[1]);
        if (fields->size() > 3 && !(*fields)[3].empty()) item.userTitle = std::move((*fields)[3]);
        if (!table || applicationKey != lastKey) {
            // Room for as many items as the application had: an edited text is mostly the loaded one. Never
            // more, since a hostile text may name a million applications with one item each.
            before = previous.find(applicationKey);
            table = &parsed.history.tableFor(applicationKey, before ? before->size() : 0);
            lastKey = applicationKey;
        }
        const HistoryItem* earlier = before ? before->find(title) : nullptr;
        item.date = earlier && earlier->date ? *earlier->date : now;
        if (earlier) item.otherKeys = earlier->otherKeys;
        item.title = std::move(title);
        table->put(std::move(item));
        ++parsed.acceptedLines;
    });
    return parsed;
}

bool isBlacklistedApplication(std::string_view blacklist, const std::optional<std::string>& bundleIdentifier,
                              const std::optional<std::string>& localizedName) {
    bool found = false;
    forEachLineOfText(blacklist, [&](std::string_view entry) {
        // An empty line names no application.
        if (found || entry.empty()) return;
        found =
            (bundleIdentifier && entry == *bundleIdentifier) || (localizedName && entry == *localizedName);
    });
    return found;
}

Utf16TabScan scanTabsInUtf16Units(std::string_view text) {
    Utf16TabScan scan;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\t') scan.tabPositions.push_back(scan.length);
        scan.length += utf16UnitsStartedBy(byte);
    }
    return scan;
}

} // namespace quoddle
