#pragma once
// What an AT-SPI event says about an application's menus, by toolkit shape (measured on GTK 3.24 and Qt 6.4):
//   GTK  object:state-changed:selected on a menu       1: its menu opened (a submenu: also highlighted in
//                                                         its parent menu); 0: it closed
//   GTK  object:state-changed:selected on a menu item  1: highlighted
//   Qt   object:state-changed:showing on a popup menu  1: opened; 0: closed
//   Qt   object:state-changed:focused on a menu item   1: highlighted
//   GTK  object:state-changed:showing on a menu item   1: on screen, where it can be clicked
// Everything else (items showing as their menu opens, focus on menu-bar items, de-highlights) says nothing
// the choice depends on.

#include <atspi/atspi.h>

#include <optional>
#include <string>
#include <string_view>

namespace quoddle {

enum class MenuEventKind {
    none,
    menuShown,
    submenuShown,
    menuHidden,
    itemHighlighted,
    itemUnhighlighted,
    itemShown
};

// The source's role and its parent's (none when it has no parent).
MenuEventKind menuEventKindOf(std::string_view type, int detail1, AtspiRole source,
                              std::optional<AtspiRole> parent);

// A menu item's mnemonic letter (lower case) from its AT-SPI key binding: GTK gives "b;<Alt>e:s:b;<Primary>z"
// (the mnemonic first, bare), Qt "Alt+B", or the item's shortcut ("Ctrl+Z") when it has one, which is none.
std::optional<std::string> mnemonicOfKeyBinding(const std::string& binding);

} // namespace quoddle
