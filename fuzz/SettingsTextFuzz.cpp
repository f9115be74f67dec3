// Applies the input as a settings text in the settings window of a simulated Quoddle, then loads the result
// back and applies that: the second round trip must change nothing, since everything an applied text
// produced is something the text can carry.
#include "Quoddle.h"
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
    static Quoddle& quoddle = []() -> Quoddle& {
        static Quoddle made(desktop.platform());
        made.start();
        return made;
    }();
    ApplicationActions& actions = quoddle.actions();
    // A previous history whose dates the first apply may carry over.
    actions.importHistoryText("A\t1\tT\t\n");
    const std::string previous = actions.historyText();
    desktop.clock.advance(std::chrono::seconds(1));

    desktop.historyTextView.userEdit(std::string(reinterpret_cast<const char*>(data), size));
    actions.applyHistoryText();
    const bool applied = desktop.historyTextView.string() == kApplySettingTextResult;
    check(applied || desktop.historyTextView.string() == kNoMenuItemResult, "an unknown result line");
    const std::string first = actions.historyText();
    check(applied || first == previous, "a text without item lines changed the history");
    const ParsedSettingText parsed = historyOfSettingText(first, ServiceHistory(), desktop.clock.now());
    for (const auto& [key, table] : parsed.history.tables()) {
        check(!key.empty() && key.front() != '#' && carriesNoLineBreakOrTab(key),
              "a key the text cannot carry");
        for (const HistoryItem& item : table.items())
            check(!item.title.empty() && carriesNoLineBreakOrTab(item.title),
                  "a title the text cannot carry");
    }

    desktop.clock.advance(std::chrono::seconds(1));
    actions.loadHistoryText();
    check(desktop.historyTextView.string() == first, "load wrote another text");
    actions.applyHistoryText();
    check(actions.historyText() == first, "the second round trip changed the history");
    return 0;
}
