#include "Preferences.h"

namespace quoddle::preference {

PlistDictionary registeredDefaults(const AppServices& appServices) {
    return {
        {launchAtLogin, false},
        {showSettingsAtStart, true},
        {hideDockIcon, true},
        {paletteMargin, 6},
        {history, PlistDictionary{}},
        {recentApplicationServices, 3},
        {recentAllServices, 1},
        {alwaysShowUseCount, 10000},
        {paletteWidth, 180},
        {servicesMenuTitle, appServices.localizedString("Services")},
        {shortcutText, appServices.localizedString("Default Button Setting")},
        {shortcutButtonsPerRow, 4},
        {blacklist, appServices.localizedString("Default Blacklist Setting")},
    };
}

} // namespace quoddle::preference
