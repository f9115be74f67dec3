#include "platform/linux/atspi/AtspiMenuEvents.h"

namespace quoddle {

namespace {

bool isMenuItem(AtspiRole role) {
    return role == ATSPI_ROLE_MENU_ITEM || role == ATSPI_ROLE_CHECK_MENU_ITEM ||
           role == ATSPI_ROLE_RADIO_MENU_ITEM;
}

bool isMenu(std::optional<AtspiRole> role) {
    return role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_POPUP_MENU;
}

} // namespace

MenuEventKind menuEventKindOf(std::string_view type, int detail1, AtspiRole source,
                              std::optional<AtspiRole> parent) {
    const bool on = detail1 != 0;
    if (type == "object:state-changed:selected" && source == ATSPI_ROLE_MENU) {
        if (!on) return MenuEventKind::menuHidden;
        return parent == ATSPI_ROLE_MENU ? MenuEventKind::submenuShown : MenuEventKind::menuShown;
    }
    if (type == "object:state-changed:showing" && source == ATSPI_ROLE_POPUP_MENU)
        return on ? MenuEventKind::menuShown : MenuEventKind::menuHidden;
    if ((type == "object:state-changed:selected" || type == "object:state-changed:focused") && on &&
        isMenuItem(source) && isMenu(parent))
        return MenuEventKind::itemHighlighted;
    // The pointer left the item (GTK), or another item took the highlight.
    if (type == "object:state-changed:selected" && !on && isMenuItem(source) && isMenu(parent))
        return MenuEventKind::itemUnhighlighted;
    if (type == "object:state-changed:showing" && on && isMenuItem(source) && isMenu(parent))
        return MenuEventKind::itemShown;
    return MenuEventKind::none;
}

std::optional<std::string> mnemonicOfKeyBinding(const std::string& binding) {
    auto lower = [](std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return text;
    };
    const std::string field = binding.substr(0, binding.find(';'));
    if (field.size() == 1) return lower(field);
    if (field.size() == 5 && lower(field.substr(0, 4)) == "alt+") return lower(field.substr(4));
    return std::nullopt;
}

} // namespace quoddle
