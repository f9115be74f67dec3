#pragma once
// Which menu item the user chose, inferred for one application. Neither GTK nor Qt reports a choice: a
// choice, Escape and a click outside all close the menus with the same events, and GTK never highlights an
// item chosen by its mnemonic. So the choice is read from the last highlighted item together with the input
// that closed the menus: a button release inside that item, Return, Enter or space mean it was chosen; a
// letter chooses the item of the innermost open menu whose mnemonic it is; Escape or a click outside mean
// nothing was chosen.
//
// The result is the sequence of notifications the original platform sends: menuOpened per menu, then
// selectedChildrenChanged per highlight; on a choice menuItemSelected with the chosen item (after a
// last selectedChildrenChanged when the chosen item was not the highlighted one); then menuClosed
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
    // Buttons: the pointer, in event coordinates. None where the button is told but not where the menus
    // are (Wayland windows): a release then chooses the item highlighted last, as menus highlight the
    // item under the pointer.
    std::optional<Point> at;
    std::string key; // keys: "Return", "KP_Enter", "space", "Escape", or one lower-case character
};

class MenuChoiceInference {
public:
    struct Hooks {
        // Hands one notification to the application's observers.
        std::function<void(ax::Notification notification, const ax::ElementRef& element)> deliver;
        // Where an item is on screen, read while its menu is open (closed menus report fake extents).
        std::function<std::optional<Rect>(const ax::ElementRef& item)> extentsOf;
        // A menu's items, in order.
        std::function<std::vector<ax::ElementRef>(const ax::ElementRef& menu)> itemsOf;
        // A menu's items with their mnemonic letters (lower case); items without one are left out.
        std::function<std::vector<std::pair<ax::ElementRef, std::string>>(const ax::ElementRef& menu)>
            mnemonicsOf;
        // Whether an item opens a submenu (choosing it chooses nothing).
        std::function<bool(const ax::ElementRef& item)> opensSubmenu;
    };

    explicit MenuChoiceInference(Hooks hooks) : hooks_(std::move(hooks)) {}

    void menuShown(const ax::ElementRef& menu);
    // The caller first hands over all input received up to now: it is what closed the menu.
    void menuHidden(const ax::ElementRef& menu);
    void itemHighlighted(const ax::ElementRef& menu, const ax::ElementRef& item);
    void itemUnhighlighted(const ax::ElementRef& item);
    // An item of an open menu is on screen now (GTK places a submenu's items only when its popup maps,
    // some time after the menu reported itself open).
    void itemShown(const ax::ElementRef& menu, const ax::ElementRef& item);
    void input(const MenuInput& input);
    // Whether a menu is open, or hidden while the choice is not yet decided.
    bool anyOpen() const { return !open_.empty() || !hidden_.empty(); }

    // What a menu reports as its selected children: the item highlighted last in it.
    std::vector<ax::ElementRef> selectedChildren(const ax::ElementRef& menu) const;

private:
    struct OpenMenu {
        ax::ElementRef menu;
        ax::ElementRef highlighted;
        std::uint64_t opening = 0; // later openings are deeper menus
    };
    OpenMenu* find(std::vector<OpenMenu>& menus, const ax::ElementRef& menu);
    // The chosen item and its menu, from the last input; none when the menus were cancelled.
    std::optional<std::pair<ax::ElementRef, ax::ElementRef>>
    choice(const std::vector<OpenMenu>& closing) const;
    void closeAll(std::vector<OpenMenu>& menus);
    // Menus that hid while others stayed open, and then the user went on in those: closed.
    void closeLeftSubmenus();
    void decide();
    void noteExtents(const ax::ElementRef& item);

    Hooks hooks_;
    std::vector<OpenMenu> open_;   // in opening order
    std::vector<OpenMenu> hidden_; // hidden, not yet reported closed
    std::uint64_t openings_ = 0;
    ax::ElementRef lastItem_; // the leaf highlighted last in this menu session
    ax::ElementRef lastItemMenu_;
    // Where the items of this session's menus were while they were open: read as each menu opens, because
    // a highlight's event may arrive after the click that closed the menus.
    std::vector<std::pair<ax::ElementRef, Rect>> itemExtents_;
    std::optional<MenuInput> lastInput_;
    std::optional<MenuInput> closingInput_; // the last input when the first menu of a cascade hid
    // For a release with no place: whether the leaf highlighted last still was when the menus hid, and the
    // input came after it was highlighted (not, say, the release of the click that opened the menu).
    ax::ElementRef highlightedNow_;
    bool inputSinceHighlight_ = false;
    bool closedOnHighlighted_ = false;
};

} // namespace quoddle
