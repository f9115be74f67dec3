#pragma once
// Preference keys with their registered defaults, and the process-wide state shared by the controller and
// the plain callback functions.

#include "Library/UserDefaults.h"
#include "platform/Accessibility.h"
#include "platform/AppServices.h"
#include "platform/Clock.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace quoddle {

class QuoddleAppDelegate;

inline constexpr const char* kMenuItemHistoryDic = "MenuItemHistoryDic";
inline constexpr const char* kBlacklistAppSetting = "BlacklistAppSetting";
inline constexpr const char* kWindowAndMouseMargin = "WindowAndMouseMargin";
inline constexpr const char* kServiceButtonWindowWidth = "ServiceButtonWindowWidth";
inline constexpr const char* kShortcutButtonSetting = "ShortcutButtonSetting";
inline constexpr const char* kRecentAppMenuItemNum = "RecentAppMenuItemNum";
inline constexpr const char* kRecentAllMenuItemNum = "RecentAllMenuItemNum";
inline constexpr const char* kAlwaysShowItemCount = "AlwaysShowItemCount";
inline constexpr const char* kShortcutButtonNumPerLine = "ShortcutButtonNumPerLine";
inline constexpr const char* kServiceMenuItemTitle = "ServiceMenuItemTitle";

// The thirteen registered defaults. The Services title, the shortcut text and the blacklist are the
// product's resources on each platform (its own shortcut key, its own applications to leave alone), so they
// come from the backend's string table.
PlistDictionary quoddleRegisteredDefaults(const AppServices& appServices);

// Layout constants of the palette's button grid, in points.
inline constexpr std::int32_t serviceButtonMargin = 6;
inline constexpr std::int32_t serviceButtonHeight = 20;
extern std::int32_t shortcutButtonLine;

extern QuoddleAppDelegate* gQuoddleAppDelegate;

// The press state (last left press) and the selection state (last non-empty selection): the click data.
extern std::optional<std::string> gMouseDownElementRole;
extern std::optional<std::string> gMouseDownElementInfo;
extern ProcessId gMouseDownElementPid;
extern std::optional<std::string> gSeletedTextElementRole;
extern std::optional<std::string> gSeletedTextElementInfo;
extern ProcessId gSeletedTextElementPid;
extern std::optional<TimePoint> gLastClickDate;
extern std::optional<TimePoint> gLastSelectedDate;
extern std::optional<std::string> gSelectMenuItemTitle;

// Observer tables, keyed by bundle identifier. biDic keeps one string per identifier whose address is the
// context value of that application's registrations (node-based map: the address never moves).
extern std::unordered_map<std::string, AXObserverRef> observerDic;
extern std::unordered_map<std::string, AXUIElementRef> appElementDic;
extern std::unordered_map<std::string, std::string> biDic;

// Puts every process-wide variable back to its initial value (a new controller in the same process).
void resetProcessWideState();

} // namespace quoddle
