#pragma once
// A controller on a simulated desktop with a target application whose history the palette draws on.

#include "GeometryPrinters.h"
#include "SimFixture.h"

#include <string>
#include <vector>

namespace quoddle {

class PaletteFixture : public SimFixture {
protected:
    // Launches the application and makes it the palette's target.
    RunningApplication target(const std::string& name = "TextEdit") {
        RunningApplication app = desktop.workspace.launch(name, "com.example." + name);
        controller().serviceTargetAppPid = app.processIdentifier;
        return app;
    }
    void setShortcutText(const std::string& text) { desktop.defaultsStore.set(kShortcutButtonSetting, text); }
    void setPreference(const std::string& key, std::int64_t value) { desktop.defaultsStore.set(key, value); }
    // An item of the application's history, used `count` times, last `daysAgo` days ago.
    void history(const std::string& applicationKey, const std::string& title, std::int32_t count, int daysAgo,
                 std::optional<std::string> userTitle = std::nullopt) {
        const TimePoint date = desktop.clock.now() - std::chrono::hours(24 * daysAgo);
        controller().menuItemHistoryDic.tableFor(applicationKey).put(HistoryItem{title, userTitle, count, date, {}});
    }
    static std::vector<std::string> titles(const std::vector<ButtonRef>& buttons) {
        std::vector<std::string> result;
        for (const ButtonRef& button : buttons) result.push_back(button->title());
        return result;
    }
    std::vector<std::string> serviceButtonTitles() { return titles(controller().serviceButtonArray); }
    std::vector<std::string> shortcutButtonTitles() { return titles(controller().shortcutButtonArray); }
    double contentHeight() { return desktop.window.contentViewFrame().size.height; }
};

} // namespace quoddle
