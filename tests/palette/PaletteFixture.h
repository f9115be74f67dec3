#pragma once
// A controller on a simulated desktop with a target application whose history the palette draws on.

#include "GeometryPrinters.h"
#include "SimFixture.h"

#include <string>
#include <vector>

namespace quoddle {

class PaletteFixture : public SimFixture {
protected:
    // Launches the application, with a Services menu holding these items, and makes it the palette's target.
    RunningApplication target(const std::string& name = "TextEdit",
                              const std::vector<std::string>& services = {}) {
        RunningApplication app = desktop.launch(name, "com.example." + name);
        desktop.accessibility.addStandardMenuBar(app.processIdentifier, services);
        controller().serviceTargetAppPid = app.processIdentifier;
        return app;
    }
    // "AXPress <title>" for every action performed on a Services item, in order.
    std::vector<std::string> pressedServices() {
        std::vector<std::string> pressed;
        for (const SimPerformedAction& action : desktop.accessibility.performedActions()) {
            auto title = desktop.accessibility.copyAttributeValue(action.element, "AXTitle");
            pressed.push_back(action.action + " " + (title ? *title.value.get<std::string>() : "?"));
        }
        return pressed;
    }
    std::int32_t uses(const std::string& applicationKey, const std::string& title) {
        const ApplicationHistory* table = controller().menuItemHistoryDic.find(applicationKey);
        const HistoryItem* item = table ? table->find(title) : nullptr;
        return item ? item->count : 0;
    }
    void setShortcutText(const std::string& text) { desktop.defaultsStore.set(kShortcutButtonSetting, text); }
    void setPreference(const std::string& key, std::int64_t value) { desktop.defaultsStore.set(key, value); }
    // An item of the application's history, used `count` times, last `daysAgo` days ago.
    void history(const std::string& applicationKey, const std::string& title, std::int32_t count, int daysAgo,
                 std::optional<std::string> userTitle = std::nullopt) {
        const TimePoint date = desktop.clock.now() - std::chrono::hours(24 * daysAgo);
        controller()
            .menuItemHistoryDic.tableFor(applicationKey)
            .put(HistoryItem{title, userTitle, count, date, {}});
    }
    static std::vector<std::string> titles(const std::vector<ButtonRef>& buttons) {
        std::vector<std::string> result;
        for (const ButtonRef& button : buttons)
            result.push_back(button->title());
        return result;
    }
    std::vector<std::string> serviceButtonTitles() { return titles(controller().serviceButtonArray); }
    std::vector<std::string> shortcutButtonTitles() { return titles(controller().shortcutButtonArray); }
    double contentHeight() { return desktop.window.contentViewFrame().size.height; }
};

} // namespace quoddle
