#include "platform/linux/atspi/MenuChoiceInference.h"

#include <algorithm>

namespace quoddle {

namespace {

bool contains(const Rect& rect, Point p) {
    return p.x >= rect.minX() && p.x < rect.maxX() && p.y >= rect.minY() && p.y < rect.maxY();
}

// Closed GTK menus report their items at INT_MIN, 1 x 1.
bool isPlausibleOnScreen(const Rect& rect) {
    return rect.size.width > 1 && rect.size.height > 1 && rect.minX() > -100000 && rect.minY() > -100000;
}

bool isConfirmKey(const std::string& key) {
    return key == "Return" || key == "KP_Enter" || key == "space";
}

} // namespace

MenuChoiceInference::OpenMenu* MenuChoiceInference::find(std::vector<OpenMenu>& menus,
                                                         const ax::ElementRef& menu) {
    auto it =
        std::find_if(menus.begin(), menus.end(), [&](const OpenMenu& open) { return open.menu == menu; });
    return it == menus.end() ? nullptr : &*it;
}

void MenuChoiceInference::closeLeftSubmenus() {
    if (hidden_.empty() || open_.empty()) return;
    closeAll(hidden_);
    closingInput_.reset();
}

void MenuChoiceInference::menuShown(const ax::ElementRef& menu) {
    if (!menu || find(open_, menu)) return;
    closeLeftSubmenus();
    if (open_.empty() && hidden_.empty()) {
        // A new menu session: earlier highlights say nothing about it.
        lastItem_ = lastItemMenu_ = highlightedNow_ = nullptr;
        itemExtents_.clear();
    }
    open_.push_back({menu, nullptr, ++openings_});
    if (hooks_.itemsOf)
        for (const ax::ElementRef& item : hooks_.itemsOf(menu))
            noteExtents(item);
    hooks_.deliver(ax::Notification::menuOpened, menu);
}

void MenuChoiceInference::menuHidden(const ax::ElementRef& menu) {
    OpenMenu* open = find(open_, menu);
    if (!open) return;
    // The first hide of a cascade: what the user did last is what closed the menus.
    if (hidden_.empty()) {
        closingInput_ = lastInput_;
        closedOnHighlighted_ = inputSinceHighlight_ && highlightedNow_ && highlightedNow_ == lastItem_;
    }
    hidden_.push_back(*open);
    std::erase_if(open_, [&](const OpenMenu& m) { return m.menu == menu; });
    if (open_.empty()) decide();
}

void MenuChoiceInference::itemHighlighted(const ax::ElementRef& menu, const ax::ElementRef& item) {
    if (!item || !find(open_, menu))
        return; // a highlight outside an open menu is no user's (a program's press)
    closeLeftSubmenus();
    OpenMenu* open = find(open_, menu);
    if (open->highlighted != item) {
        open->highlighted = item;
        hooks_.deliver(ax::Notification::selectedChildrenChanged, menu);
    }
    if (hooks_.opensSubmenu && hooks_.opensSubmenu(item)) return;
    lastItem_ = item;
    lastItemMenu_ = menu;
    highlightedNow_ = item;
    inputSinceHighlight_ = false;
    noteExtents(item);
}

void MenuChoiceInference::itemUnhighlighted(const ax::ElementRef& item) {
    // After a click GTK takes the highlight off the item it activates: only a highlight gone before any
    // input is the pointer leaving the item.
    if (item && item == highlightedNow_ && !inputSinceHighlight_) highlightedNow_ = nullptr;
}

void MenuChoiceInference::itemShown(const ax::ElementRef& menu, const ax::ElementRef& item) {
    if (item && find(open_, menu)) noteExtents(item);
}

void MenuChoiceInference::noteExtents(const ax::ElementRef& item) {
    std::optional<Rect> extents = hooks_.extentsOf ? hooks_.extentsOf(item) : std::nullopt;
    if (extents && isPlausibleOnScreen(*extents)) itemExtents_.emplace_back(item, *extents);
}

void MenuChoiceInference::input(const MenuInput& input) {
    // Kept also while no menu is known to be open: input reaches Quoddle before the toolkit's events about
    // what the input did.
    lastInput_ = input;
    inputSinceHighlight_ = true;
}

std::optional<std::pair<ax::ElementRef, ax::ElementRef>>
MenuChoiceInference::choice(const std::vector<OpenMenu>& closing) const {
    if (!closingInput_) return std::nullopt;
    const MenuInput& input = *closingInput_;
    if (input.kind == MenuInput::Kind::buttonRelease) {
        if (!input.at) {
            if (closedOnHighlighted_) return std::pair{lastItemMenu_, lastItem_};
            return std::nullopt;
        }
        for (auto it = itemExtents_.rbegin(); it != itemExtents_.rend(); ++it)
            if (it->first == lastItem_ && contains(it->second, *input.at))
                return std::pair{lastItemMenu_, lastItem_};
        return std::nullopt;
    }
    if (isConfirmKey(input.key)) {
        if (lastItem_) return std::pair{lastItemMenu_, lastItem_};
        return std::nullopt;
    }
    if (input.key.size() == 1 && hooks_.mnemonicsOf && !closing.empty()) {
        // The mnemonic belongs to the innermost menu that was open.
        const ax::ElementRef& innermost =
            std::max_element(closing.begin(), closing.end(), [](const OpenMenu& a, const OpenMenu& b) {
                return a.opening < b.opening;
            })->menu;
        for (const auto& [item, letter] : hooks_.mnemonicsOf(innermost))
            if (letter == input.key && !(hooks_.opensSubmenu && hooks_.opensSubmenu(item)))
                return std::pair{innermost, item};
    }
    return std::nullopt;
}

void MenuChoiceInference::closeAll(std::vector<OpenMenu>& menus) {
    // Innermost first, as menus close.
    std::sort(menus.begin(), menus.end(),
              [](const OpenMenu& a, const OpenMenu& b) { return a.opening > b.opening; });
    for (const OpenMenu& menu : menus)
        hooks_.deliver(ax::Notification::menuClosed, menu.menu);
    menus.clear();
}

void MenuChoiceInference::decide() {
    if (auto chosen = choice(hidden_)) {
        auto [menu, item] = *chosen;
        OpenMenu* open = find(hidden_, menu);
        if (open && open->highlighted != item) {
            open->highlighted = item;
            hooks_.deliver(ax::Notification::selectedChildrenChanged, menu);
        }
        hooks_.deliver(ax::Notification::menuItemSelected, item);
    }
    closeAll(hidden_);
    closingInput_.reset();
}

std::vector<ax::ElementRef> MenuChoiceInference::selectedChildren(const ax::ElementRef& menu) const {
    for (const std::vector<OpenMenu>* list : {&open_, &hidden_})
        for (const OpenMenu& open : *list)
            if (open.menu == menu && open.highlighted) return {open.highlighted};
    return {};
}

} // namespace quoddle
