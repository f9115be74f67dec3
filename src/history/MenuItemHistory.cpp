// The controller's service-history operations: recording a use, loading and saving the stored form.
#include "QuoddleAppDelegate.h"

namespace quoddle {

namespace {
constexpr std::chrono::seconds kHistorySaveDelay{2};
}

HistoryItem QuoddleAppDelegate::makeMenuItemDicWithTitle(const std::string& title,
                                                         const std::optional<std::string>& userTitle,
                                                         std::int32_t count,
                                                         std::optional<TimePoint> date) const {
    return HistoryItem{title, userTitle, count, date.value_or(platform.clock.now()), {}};
}

std::optional<TimePoint> QuoddleAppDelegate::itemDateWithAppName(const std::string& applicationKey,
                                                                 const std::string& title) const {
    return menuItemHistoryDic.itemDate(applicationKey, title);
}

void QuoddleAppDelegate::addMenuItemHistoryWithTitle(const std::string& title, ProcessId pid) {
    // Only titles known from a Services menu count: this is what keeps other menu choices out.
    if (!allServiceNameDic.count(title)) return;
    std::optional<RunningApplication> application =
        platform.workspace.runningApplicationWithProcessIdentifier(pid);
    if (!application || !application->localizedName || application->localizedName->empty()) return;

    const TimePoint now = platform.clock.now();
    for (const std::string& key : {*application->localizedName, std::string(kAllApplicationsKey)})
        menuItemHistoryDic.tableFor(key).recordUse(title, now);
    scheduleHistorySave();
}

void QuoddleAppDelegate::loadMenuItemHistory() {
    const PlistValue* stored = userDefaults.objectForKey(kMenuItemHistoryDic);
    if (!stored) {
        menuItemHistoryDic = ServiceHistory();
        return;
    }
    menuItemHistoryDic = ServiceHistory::fromPlist(*stored, [this](const std::string& problem) {
        platform.appServices.log("Quoddle: skipped part of the stored service history: " + problem);
    });
}

void QuoddleAppDelegate::storeMenuItemHistory() {
    if (historySaveTimer_) {
        platform.runLoop.invalidateTimer(*historySaveTimer_);
        historySaveTimer_.reset();
    }
    userDefaults.setObject(kMenuItemHistoryDic, menuItemHistoryDic.toPlist());
}

void QuoddleAppDelegate::saveMenuItemHistory() {
    storeMenuItemHistory();
    if (!userDefaults.synchronize())
        platform.appServices.log("Quoddle: the service history could not be written; it stays in memory");
}

void QuoddleAppDelegate::scheduleHistorySave() {
    // The first unsaved change starts the delay; later ones ride along, so steady use cannot postpone
    // the save indefinitely. The file is written beside the main loop: a large history takes a while.
    if (historySaveTimer_) return;
    historySaveTimer_ = platform.runLoop.scheduleTimer(kHistorySaveDelay, false, [this] {
        historySaveTimer_.reset();
        storeMenuItemHistory();
        userDefaults.synchronizeInBackground();
    });
}

} // namespace quoddle
