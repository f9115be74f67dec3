// Applies the input as a settings text in the settings window of a simulated controller, then loads the
// result back and applies that: the second round trip must change nothing, since everything an applied
// text produced is something the text can carry.
#include "QuoddleAppDelegate.h"
#include "history/SettingsText.h"
#include "platform/sim/SimDesktop.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace quoddle;

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "SettingsTextFuzz: %s\n", what);
    std::abort();
}

bool carriesNoLineBreakOrTab(const std::string& text) {
    return text.find_first_of("\t\r\n") == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static SimDesktop desktop;
    static QuoddleAppDelegate& controller = []() -> QuoddleAppDelegate& {
        static QuoddleAppDelegate made(desktop.platform());
        made.setupSettingTextViews();
        return made;
    }();

    // A previous history whose dates the first apply may carry over.
    controller.menuItemHistoryDic = ServiceHistory();
    controller.menuItemHistoryDic.tableFor("A").put(
        HistoryItem{"T", std::nullopt, 1, desktop.clock.now(), {}});
    const ServiceHistory previous = controller.menuItemHistoryDic;
    desktop.clock.advance(std::chrono::seconds(1));

    const std::string text(reinterpret_cast<const char*>(data), size);
    desktop.settingTextView.userEdit(text);
    controller.setSettingText();
    const ServiceHistory first = controller.menuItemHistoryDic;
    const bool applied = desktop.settingTextView.string() == kApplySettingTextResult;
    check(applied || desktop.settingTextView.string() == kNoMenuItemResult, "an unknown result line");
    check(applied || first == previous, "a text without item lines changed the history");

    for (const auto& [key, table] : first.tables()) {
        check(!key.empty() && key.front() != '#' && carriesNoLineBreakOrTab(key),
              "a key the text cannot carry");
        for (const HistoryItem& item : table.items()) {
            check(!item.title.empty() && carriesNoLineBreakOrTab(item.title),
                  "a title the text cannot carry");
            check(!item.userTitle || (!item.userTitle->empty() &&
                                      item.userTitle->find_first_of("\t\r\n") == std::string::npos),
                  "a user title the text cannot carry");
            check(item.date.has_value(), "an item without a date");
        }
    }

    desktop.clock.advance(std::chrono::seconds(1));
    controller.loadSettingText();
    check(desktop.settingTextView.string() == settingTextOfHistory(first), "load wrote another text");
    controller.setSettingText();
    check(controller.menuItemHistoryDic == first, "the second round trip changed the history");
    return 0;
}
