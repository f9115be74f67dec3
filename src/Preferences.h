#pragma once
// The preference keys, as the stored preferences name them, and the defaults registered for them.

#include "platform/AppServices.h"
#include "platform/PlistValue.h"

namespace quoddle::preference {

inline constexpr const char* launchAtLogin = "LaunchAutomaticallyOnLogin";
inline constexpr const char* showSettingsAtStart = "ShowSettingsOnLaunch";
inline constexpr const char* hideDockIcon = "HideDockIcon";
// Distance between pointer and palette, and half the allowance around the palette before it hides.
inline constexpr const char* paletteMargin = "WindowAndMouseMargin";
inline constexpr const char* history = "MenuItemHistoryDic";
inline constexpr const char* recentApplicationServices = "RecentAppMenuItemNum";
inline constexpr const char* recentAllServices = "RecentAllMenuItemNum";
// The use count from which a service is always offered.
inline constexpr const char* alwaysShowUseCount = "AlwaysShowItemCount";
inline constexpr const char* paletteWidth = "ServiceButtonWindowWidth";
// A further title under which an application menu's Services item is looked for.
inline constexpr const char* servicesMenuTitle = "ServiceMenuItemTitle";
inline constexpr const char* shortcutText = "ShortcutButtonSetting";
inline constexpr const char* shortcutButtonsPerRow = "ShortcutButtonNumPerLine";
inline constexpr const char* blacklist = "BlacklistAppSetting";

// The thirteen registered defaults. The Services title, the shortcut text and the blacklist are the
// product's resources on each platform (its own shortcut keys, its own applications to leave alone), so
// they come from the backend's string table.
PlistDictionary registeredDefaults(const AppServices& appServices);

} // namespace quoddle::preference
