#include "accessibility/ServicesMenu.h"

#include "Preferences.h"

namespace quoddle {

ax::ElementRef ServicesMenu::servicesMenuOf(ProcessId pid,
                                            const std::vector<std::string>& servicesItemTitles) {
    // Each step passes none on when it finds nothing, so one check at the end covers them all.
    ax::ElementRef menuBar =
        queries_.childWithRole(queries_.accessibility().applicationElement(pid), ax::Role::menuBar);
    ax::ElementRef applicationMenuItem = queries_.childAt(menuBar, 1);
    ax::ElementRef applicationMenu = queries_.childAt(applicationMenuItem, 0);
    ax::ElementRef servicesItem = queries_.childTitled(applicationMenu, servicesItemTitles);
    return queries_.childAt(servicesItem, 0);
}

std::vector<std::string> ServicesMenu::servicesItemTitles(bool withPlainTitle) const {
    std::vector<std::string> titles;
    if (withPlainTitle) titles.push_back("Services");
    titles.push_back(appServices_.localizedString("Services"));
    if (std::optional<std::string> preferred = preferences_.stringForKey(preference::servicesMenuTitle))
        titles.push_back(*preferred);
    return titles;
}

void ServicesMenu::learnTitlesFrom(ProcessId pid) {
    if (!known_.empty()) return;
    ax::ElementRef menu = servicesMenuOf(pid, servicesItemTitles(false));
    if (!menu) {
        known_ = previous_;
        return;
    }
    std::optional<ax::Value> children = queries_.attribute(menu, ax::Attribute::children);
    const ax::Array* items = children ? children->get<ax::Array>() : nullptr;
    if (!items) return;
    for (const ax::Value& entry : *items) {
        const ax::ElementRef* item = entry.get<ax::ElementRef>();
        if (!item || !*item) continue;
        // An item whose title cannot be read is skipped; the rest of the menu still counts.
        std::optional<ax::Value> title = queries_.attribute(*item, ax::Attribute::title);
        if (const std::string* text = title ? title->get<std::string>() : nullptr) known_.insert(*text);
    }
}

void ServicesMenu::forgetTitles() {
    if (!known_.empty()) previous_ = known_;
    known_.clear();
}

bool ServicesMenu::press(ProcessId pid, const std::string& title) {
    ax::ElementRef item = queries_.childTitled(servicesMenuOf(pid, servicesItemTitles(true)), {title});
    if (!item) {
        appServices_.beep();
        appServices_.explain("no service: the application's Services menu has no item \"" + title + "\"");
        return false;
    }
    queries_.accessibility().perform(item, ax::Action::press);
    return true;
}

} // namespace quoddle
