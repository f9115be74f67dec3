// The controller's Services menu operations: learning the titles of a target application's Services
// items, and pressing one of them by title.
#include "QuoddleAppDelegate.h"

namespace quoddle {

namespace {

// Menu bar, application menu (after the system menu), its Services item, and that item's submenu. Each
// step passes none on when it finds nothing, so one check at the end covers them all.
AXUIElementRef copyServicesMenu(Accessibility& accessibility, UIElement& helpers, ProcessId pid,
                                const std::vector<std::string>& servicesItemTitles) {
    AXUIElementRef menuBar =
        helpers.copyRoleElementInChildren(accessibility.createApplication(pid), "AXMenuBar");
    AXUIElementRef applicationMenuItem = helpers.copyIndexElementInChildren(menuBar, 1);
    AXUIElementRef applicationMenu = helpers.copyIndexElementInChildren(applicationMenuItem, 0);
    AXUIElementRef servicesItem = helpers.copyTitleElementInChildren(applicationMenu, servicesItemTitles);
    return helpers.copyIndexElementInChildren(servicesItem, 0);
}

} // namespace

void QuoddleAppDelegate::getAllServiceMenuItemTitle() {
    if (!allServiceNameDic.empty()) return;

    std::vector<std::string> candidates{platform.appServices.localizedString("Services")};
    if (auto preferred = userDefaults.stringForKey(kServiceMenuItemTitle)) candidates.push_back(*preferred);
    AXUIElementRef servicesMenu =
        copyServicesMenu(platform.accessibility, uiElement, serviceTargetAppPid, candidates);
    if (!servicesMenu) {
        allServiceNameDic.insert(prevAllServiceNameDic.begin(), prevAllServiceNameDic.end());
        return;
    }

    auto children = platform.accessibility.copyAttributeValue(servicesMenu, "AXChildren");
    const AXArray* items = children ? children.value.get<AXArray>() : nullptr;
    if (!items) return;
    for (const auto& entry : *items) {
        auto item = entry.get<AXUIElementRef>();
        if (!item || !*item) continue;
        // An item whose title cannot be read is skipped; the rest of the menu still counts.
        auto title = uiElement.copyValueOfExistingAttribute("AXTitle", *item);
        if (auto text = title ? title->get<std::string>() : nullptr)
            allServiceNameDic.try_emplace(*text, "1");
    }
}

void QuoddleAppDelegate::clickServiceMenuItem(const std::string& title) {
    std::vector<std::string> candidates{"Services", platform.appServices.localizedString("Services")};
    if (auto preferred = userDefaults.stringForKey(kServiceMenuItemTitle)) candidates.push_back(*preferred);
    AXUIElementRef servicesMenu =
        copyServicesMenu(platform.accessibility, uiElement, serviceTargetAppPid, candidates);
    AXUIElementRef item = uiElement.copyTitleElementInChildren(servicesMenu, {title});
    if (!item) {
        platform.appServices.beep();
        return;
    }
    // A press the application ignores cannot be told from one it carries out; the use counts either way.
    platform.accessibility.performAction(item, "AXPress");
    addMenuItemHistoryWithTitle(title, serviceTargetAppPid);
}

} // namespace quoddle
