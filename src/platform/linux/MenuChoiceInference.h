#pragma once
// Which menu item the user chose, inferred for one application. Neither GTK nor Qt reports a choice: a
// choice, Escape and a click outside all close the menus with the same events, and GTK never highlights an
// item chosen by its mnemonic. So the choice is read from the last highlighted item together with the input
// that closed the menus: a button release inside that item, Return, Enter or space mean it was chosen; a
// letter chooses the item of the innermost open menu whose mnemonic it is; Escape or a click outside mean
// nothing was chosen.
//
// The result is the sequence of notifications the original platform sends: "AXMenuOpened" per menu, then
// "AXSelectedChildrenChanged" per highlight; on a choice "AXMenuItemSelected" with the chosen item (after a
// last "AXSelectedChildrenChanged" when the chosen item was not the highlighted one); then "AXMenuClosed"
// for every menu, innermost first. Menus that hide while another stays open are held until the next event
// shows whether they were one level left while navigating (they are closed then) or the start of the
// cascade that closes every menu (the choice is decided when the last one hides).
//
// Plain logic over element handles: the toolkit events and the input arrive through the calls below.

#include "platform/Accessibility.h"
#include "platform/Geometry.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quoddle {

// The input that can close menus, as the input monitor saw it.
struct MenuInput {
    enum class Kind { buttonPress, buttonRelease, keyPress };
    Kind kind = Kind::keyPress;
    Point at;        // buttons: the pointer, in event coordinates
    std::string key; // keys: "Return", "KP_Enter", "space", "Escape", or one lower-case character
};

class MenuChoiceInference {
public:
    struct Hooks {
        // Hands one notification to the application's observers.
        std::function<void(const std::string& notification, const AXUIElementRef& element)> deliver;
        // Where an item is on screen, read while its menu is open (closed menus report fake extents).
        std::function<std::optional<Rect>(const AXUIElementRef& item)> extentsOf;
        // A menu's items, in order.
        std::function<std::vector<AXUIElementRef>(const AXUIElementRef& menu)> itemsOf;
        // A menu's items with their mnemonic letters (lower case); items without one are left out.
        std::function<std::vector<std::pair<AXUIElementRef, std::string>>(const AXUIElementRef& menu)>
            mnemonicsOf;
        // Whether an item opens a submenu (choosing it chooses nothing).
        std::function<bool(const AXUIElementRef& item)> opensSubmenu;
    };

    explicit MenuChoiceInference(Hooks hooks) : hooks_(std::move(hooks)) {}

    void menuShown(const AXUIElementRef& menu);
    // The caller first hands over all input received up to now: it is what closed the menu.
    void menuHidden(const AXUIElementRef& menu);
    void itemHighlighted(const AXUIElementRef& menu, const AXUIElementRef& item);
    // An item of an open menu is on screen now (GTK places a submenu's items only when its popup maps,
    // some time after the menu reported itself open).
    void itemShown(const AXUIElementRef& menu, const AXUIElementRef& item);
    void input(const MenuInput& input);

    // What a menu reports as its selected children: the item highlighted last in it.
    std::vector<AXUIElementRef> selectedChildren(const AXUIElementRef& menu) const;

private:
    struct OpenMenu {
        AXUIElementRef menu;
        AXUIElementRef highlighted;
        std::uint64_t opening = 0; // later openings are deeper menus
    };
    OpenMenu* find(std::vector<OpenMenu>& menus, const AXUIElementRef& menu);
    // The chosen item and its menu, from the last input; none when the menus were cancelled.
    std::optional<std::pair<AXUIElementRef, AXUIElementRef>>
    choice(const std::vector<OpenMenu>& closing) const;
    void closeAll(std::vector<OpenMenu>& menus);
    // Menus that hid while others stayed open, and then the user went on in those: closed.
    void closeLeftSubmenus();
    void decide();
    void noteExtents(const AXUIElementRef& item);

    Hooks hooks_;
    std::vector<OpenMenu> open_;   // in opening order
    std::vector<OpenMenu> hidden_; // hidden, not yet reported closed
    std::uint64_t openings_ = 0;
    AXUIElementRef lastItem_; // the leaf highlighted last in this menu session
    AXUIElementRef lastItemMenu_;
    // Where the items of this session's menus were while they were open: read as each menu opens, because
    // a highlight's event may arrive after the click that closed the menus.
    std::vector<std::pair<AXUIElementRef, Rect>> itemExtents_;
    std::optional<MenuInput> lastInput_;
    std::optional<MenuInput> closingInput_; // the last input when the first menu of a cascade hid
};

} // namespace quoddle
