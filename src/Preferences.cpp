#include "Preferences.h"

namespace quoddle {

std::int32_t shortcutButtonLine = 2;
QuoddleAppDelegate* gQuoddleAppDelegate = nullptr;
std::optional<std::string> gMouseDownElementRole;
std::optional<std::string> gMouseDownElementInfo;
ProcessId gMouseDownElementPid = -1;
std::optional<std::string> gSeletedTextElementRole;
std::optional<std::string> gSeletedTextElementInfo;
ProcessId gSeletedTextElementPid = -1;
std::optional<TimePoint> gLastClickDate;
std::optional<TimePoint> gLastSelectedDate;
std::optional<std::string> gSelectMenuItemTitle;
std::unordered_map<std::string, AXObserverRef> observerDic;
std::unordered_map<std::string, AXUIElementRef> appElementDic;
std::unordered_map<std::string, std::string> biDic;

PlistDictionary quoddleRegisteredDefaults(const AppServices& appServices) {
    return {
        {"LaunchAutomaticallyOnLogin", false},
        {"ShowSettingsOnLaunch", true},
        {"HideDockIcon", true},
        {kWindowAndMouseMargin, 6},
        {kMenuItemHistoryDic, PlistDictionary{}},
        {kRecentAppMenuItemNum, 3},
        {kRecentAllMenuItemNum, 1},
        {kAlwaysShowItemCount, 10000},
        {kServiceButtonWindowWidth, 180},
        {kServiceMenuItemTitle, appServices.localizedString("Services")},
        {kShortcutButtonSetting, appServices.localizedString("Default Button Setting")},
        {kShortcutButtonNumPerLine, 4},
        {kBlacklistAppSetting, appServices.localizedString("Default Blacklist Setting")},
    };
}

void resetProcessWideState() {
    shortcutButtonLine = 2;
    gQuoddleAppDelegate = nullptr;
    gMouseDownElementRole.reset();
    gMouseDownElementInfo.reset();
    gMouseDownElementPid = -1;
    gSeletedTextElementRole.reset();
    gSeletedTextElementInfo.reset();
    gSeletedTextElementPid = -1;
    gLastClickDate.reset();
    gLastSelectedDate.reset();
    gSelectMenuItemTitle.reset();
    observerDic.clear();
    appElementDic.clear();
    biDic.clear();
}

} // namespace quoddle
