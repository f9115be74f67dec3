// How AT-SPI objects answer: what the application tells, and the application root and GTK menus
// that need more than that.
#include "platform/linux/atspi/PresentationKinds.h"

#include "platform/linux/atspi/AtspiCall.h"
#include "platform/linux/atspi/AtspiRoles.h"
#include "platform/linux/atspi/AtspiTree.h"

#include <algorithm>
#include <cctype>

namespace quoddle::presentations {

namespace {

// Page text sits a few levels below its document; trees come from other applications, so the walk is bounded.
constexpr int kMaxFocusSteps = 12;

bool isMenuItemRole(AtspiRole role) {
    return role == ATSPI_ROLE_MENU_ITEM || role == ATSPI_ROLE_CHECK_MENU_ITEM ||
           role == ATSPI_ROLE_RADIO_MENU_ITEM || role == ATSPI_ROLE_TEAROFF_MENU_ITEM;
}

std::string lowercase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

Children presentAll(AtspiTree& tree, const std::optional<std::vector<GRef<AtspiAccessible>>>& objects,
                    ProcessId pid, std::vector<ax::ElementRef> presented = {}) {
    if (!objects) return std::nullopt;
    for (const auto& object : *objects)
        if (ax::ElementRef handle = tree.objectElement(object.get(), pid)) presented.push_back(handle);
    return presented;
}

// The answers of an AT-SPI object itself: what the application tells.
class ObjectPresentation : public ElementPresentation {
public:
    std::optional<ax::Role> role(AtspiTree& tree, const AtspiElement& element) const override {
        AtspiAccessible* object = element.accessible.get();
        std::optional<AtspiRole> role = tree.roleOf(object);
        if (!role) return std::nullopt;
        if (*role == ATSPI_ROLE_MENU || isMenuItemRole(*role)) {
            GRef<AtspiAccessible> parent = tree.parentOf(object);
            if (parent && tree.roleOf(parent.get()) == ATSPI_ROLE_MENU_BAR) return ax::Role::menuBarItem;
            // A GTK submenu is an item of its parent menu; its menu is its menuOfMenu view.
            if (*role == ATSPI_ROLE_MENU) return ax::Role::menuItem;
        }
        if (*role == ATSPI_ROLE_TEXT && tree.hasState(object, ATSPI_STATE_SINGLE_LINE))
            return ax::Role::textField;
        return roleOfAtspiRole(*role);
    }

    Children children(AtspiTree& tree, const AtspiElement& element) const override {
        AtspiAccessible* object = element.accessible.get();
        std::optional<AtspiRole> role = tree.roleOf(object);
        if (!role) return std::nullopt;
        if (*role == ATSPI_ROLE_MENU)
            return std::vector{tree.element(AtspiElementKind::menuOfMenu, object, element.pid)};
        std::vector<ax::ElementRef> presented;
        if (*role == ATSPI_ROLE_MENU_BAR) {
            presented.push_back(tree.element(AtspiElementKind::systemMenuItem, object, element.pid));
            if (ax::ElementRef application = tree.applicationElement(element.pid))
                if (const AtspiElement* app = atspiElementOf(application); app && app->accessible)
                    presented.push_back(chainElement(tree, AtspiElementKind::applicationMenuItem, *app));
        }
        return presentAll(tree, tree.childrenOf(object), element.pid, std::move(presented));
    }

    ax::ElementRef parent(AtspiTree& tree, const AtspiElement& element) const override {
        AtspiAccessible* object = element.accessible.get();
        // A menu bar belongs to the application, as on the original platform, not to the panel it sits in.
        if (tree.roleOf(object) == ATSPI_ROLE_MENU_BAR) return tree.applicationElement(element.pid);
        GRef<AtspiAccessible> parent = tree.parentOf(object);
        if (!parent) return nullptr;
        if (tree.roleOf(parent.get()) == ATSPI_ROLE_MENU)
            return tree.element(AtspiElementKind::menuOfMenu, parent.get(), element.pid);
        return tree.objectElement(parent.get(), element.pid);
    }

    ax::Result<ax::Value> attribute(AtspiTree& tree, const AtspiElement& element,
                                    ax::Attribute name) const override {
        AtspiAccessible* object = element.accessible.get();
        if (!object) return {ax::Error::invalidElement};
        AtspiCall call(tree, element.pid);
        if (call.refused()) return {ax::Error::cannotComplete};
        ax::Result<ax::Value> answer = read(tree, element, name);
        if (answer.error == ax::Error::cannotComplete) call.failed();
        return answer;
    }

    Names attributeNames(AtspiTree& tree, const AtspiElement& element) const override {
        AtspiAccessible* object = element.accessible.get();
        if (!object) return {ax::Error::invalidElement};
        AtspiCall call(tree, element.pid);
        if (call.refused()) return {ax::Error::cannotComplete};
        std::vector<ax::Attribute> names = kStructure;
        names.insert(names.end(), {ax::Attribute::title, ax::Attribute::description, ax::Attribute::focused,
                                   ax::Attribute::enabled});
        if (auto component = GRef<AtspiComponent>::adopt(atspi_accessible_get_component_iface(object)))
            names.insert(names.end(), {ax::Attribute::position, ax::Attribute::size});
        if (auto text = GRef<AtspiText>::adopt(atspi_accessible_get_text_iface(object)))
            names.push_back(ax::Attribute::selectedTextRange);
        if (tree.roleOf(object) == ATSPI_ROLE_POPUP_MENU) names.push_back(ax::Attribute::selectedChildren);
        return {ax::Error::success, names};
    }

    ax::Result<std::vector<ax::Action>> actionNames(AtspiTree& tree,
                                                    const AtspiElement& element) const override {
        if (!element.accessible) return {ax::Error::success, {}};
        AtspiCall call(tree, element.pid);
        if (call.refused()) return {ax::Error::cannotComplete};
        auto action = GRef<AtspiAction>::adopt(atspi_accessible_get_action_iface(element.accessible.get()));
        if (!action) return {ax::Error::success, {}};
        GErrorSlot error;
        const int count = atspi_action_get_n_actions(action.get(), error.out());
        if (error) {
            call.failed();
            return {ax::Error::cannotComplete};
        }
        if (count <= 0) return {ax::Error::success, {}};
        return {ax::Error::success, {ax::Action::press}};
    }

    // Runs the element's activating action, whatever the toolkit calls it ("click", "Press", ...).
    ax::Error press(AtspiTree& tree, const AtspiElement& element) const override {
        if (!element.accessible) return ax::Error::actionUnsupported;
        AtspiCall call(tree, element.pid);
        if (call.refused()) return ax::Error::cannotComplete;
        auto action = GRef<AtspiAction>::adopt(atspi_accessible_get_action_iface(element.accessible.get()));
        if (!action) return ax::Error::actionUnsupported;
        GErrorSlot error;
        const int count = atspi_action_get_n_actions(action.get(), error.out());
        if (error || count <= 0) {
            call.failed();
            return error ? ax::Error::cannotComplete : ax::Error::actionUnsupported;
        }
        // GTK calls the activating action "click", Qt "Press"; toggles and others come after it.
        int chosen = 0;
        int rank = 99;
        const char* const preferred[] = {"click", "press", "activate", "toggle"};
        for (int i = 0; i < std::min(count, 32); ++i) {
            std::optional<std::string> name =
                takeGString(atspi_action_get_action_name(action.get(), i, error.out()));
            if (error || !name) continue;
            for (int r = 0; r < 4 && r < rank; ++r)
                if (lowercase(*name) == preferred[r]) {
                    chosen = i;
                    rank = r;
                }
        }
        if (!atspi_action_do_action(action.get(), chosen, error.out()) || error) {
            call.failed();
            return ax::Error::cannotComplete;
        }
        return ax::Error::success;
    }

protected:
    // One attribute of the object; cannotComplete when a call failed.
    ax::Result<ax::Value> read(AtspiTree& tree, const AtspiElement& element, ax::Attribute name) const {
        AtspiAccessible* object = element.accessible.get();
        switch (name) {
        case ax::Attribute::role:
        case ax::Attribute::children:
        case ax::Attribute::parent:
            return ElementPresentation::attribute(tree, element, name);
        case ax::Attribute::title: {
            std::optional<std::string> text = tree.title(object);
            if (!text) return {ax::Error::cannotComplete};
            return {ax::Error::success, std::move(*text)};
        }
        case ax::Attribute::description: {
            GErrorSlot error;
            std::optional<std::string> text =
                takeGString(atspi_accessible_get_description(object, error.out()));
            if (error || !text) return {ax::Error::cannotComplete};
            return {ax::Error::success, std::move(*text)};
        }
        case ax::Attribute::position:
        case ax::Attribute::size: {
            std::optional<Rect> frame = tree.extents(object);
            if (!frame) return {ax::Error::cannotComplete};
            if (name == ax::Attribute::position)
                return {ax::Error::success, ax::PointValue{frame->minX(), frame->minY()}};
            return {ax::Error::success, ax::SizeValue{frame->size.width, frame->size.height}};
        }
        case ax::Attribute::focused:
            return {ax::Error::success, hasFocus(tree, object)};
        case ax::Attribute::enabled:
            return {ax::Error::success, tree.hasState(object, ATSPI_STATE_ENABLED)};
        case ax::Attribute::selectedTextRange:
            return selectedRange(object);
        case ax::Attribute::selectedChildren:
            if (tree.roleOf(object) != ATSPI_ROLE_POPUP_MENU) return {ax::Error::attributeUnsupported};
            return selectedChildren(tree, tree.element(AtspiElementKind::object, object, element.pid));
        case ax::Attribute::focusedElement:
        case ax::Attribute::selectedTextMarkerRange:
            return {ax::Error::attributeUnsupported};
        }
        return {ax::Error::attributeUnsupported};
    }

    static ax::Result<ax::Value> selectedChildren(AtspiTree& tree, const ax::ElementRef& menu) {
        ax::Array selected;
        for (const ax::ElementRef& child : tree.selectedChildrenOf(menu))
            selected.emplace_back(child);
        return {ax::Error::success, std::move(selected)};
    }

private:
    // Text that cannot take the focus itself (a web page's paragraph) has the focus of its nearest ancestor
    // that can (the document), within the same window.
    static bool hasFocus(AtspiTree& tree, AtspiAccessible* object) {
        if (tree.hasState(object, ATSPI_STATE_FOCUSED)) return true;
        if (tree.hasState(object, ATSPI_STATE_FOCUSABLE)) return false;
        if (!GRef<AtspiText>::adopt(atspi_accessible_get_text_iface(object))) return false;
        GRef<AtspiAccessible> ancestor = tree.parentOf(object);
        for (int step = 0; ancestor && step < kMaxFocusSteps; ++step) {
            const std::optional<AtspiRole> role = tree.roleOf(ancestor.get());
            if (!role || *role == ATSPI_ROLE_APPLICATION) return false;
            if (tree.hasState(ancestor.get(), ATSPI_STATE_FOCUSABLE))
                return tree.hasState(ancestor.get(), ATSPI_STATE_FOCUSED);
            if (*role == ATSPI_ROLE_FRAME || *role == ATSPI_ROLE_WINDOW || *role == ATSPI_ROLE_DIALOG)
                return false;
            ancestor = tree.parentOf(ancestor.get());
        }
        return false;
    }

    // Only the range is read, never the text: the selection is the user's.
    static ax::Result<ax::Value> selectedRange(AtspiAccessible* object) {
        auto text = GRef<AtspiText>::adopt(atspi_accessible_get_text_iface(object));
        if (!text) return {ax::Error::attributeUnsupported};
        GErrorSlot error;
        const int selections = atspi_text_get_n_selections(text.get(), error.out());
        if (error) return {ax::Error::cannotComplete};
        if (selections <= 0) {
            const int caret = atspi_text_get_caret_offset(text.get(), error.out());
            if (error) return {ax::Error::cannotComplete};
            return {ax::Error::success, ax::RangeValue{std::max(caret, 0), 0}};
        }
        GMemory<AtspiRange> range(atspi_text_get_selection(text.get(), 0, error.out()));
        if (error || !range) return {ax::Error::cannotComplete};
        const long start = std::min(range->start_offset, range->end_offset);
        const long end = std::max(range->start_offset, range->end_offset);
        return {ax::Error::success, ax::RangeValue{start, end - start}};
    }
};

// An application's root: the menu bar first (one of the tree's own for an application that shows none, so
// every application has a Services menu), then its windows.
class ApplicationPresentation : public ObjectPresentation {
public:
    std::optional<ax::Role> role(AtspiTree&, const AtspiElement&) const override {
        return ax::Role::application;
    }

    Children children(AtspiTree& tree, const AtspiElement& element) const override {
        AtspiAccessible* object = element.accessible.get();
        // Without an AT-SPI application, only the desktop services' menu.
        if (!object) return std::vector{chainElement(tree, AtspiElementKind::menuBarOfApplication, element)};
        std::vector<ax::ElementRef> presented;
        if (GRef<AtspiAccessible> menuBar = tree.findMenuBar(object))
            presented.push_back(tree.element(AtspiElementKind::object, menuBar.get(), element.pid));
        else
            presented.push_back(chainElement(tree, AtspiElementKind::menuBarOfApplication, element));
        return presentAll(tree, tree.childrenOf(object), element.pid, std::move(presented));
    }

    ax::ElementRef parent(AtspiTree&, const AtspiElement&) const override { return nullptr; }
    ax::Result<ax::Value> attribute(AtspiTree& tree, const AtspiElement& element,
                                    ax::Attribute name) const override {
        if (!element.accessible) return ElementPresentation::attribute(tree, element, name);
        ax::Result<ax::Value> answer = ObjectPresentation::attribute(tree, element, name);
        // An application that does not answer (or not in time, on a busy desktop) still has its
        // desktop services.
        if (!answer && name == ax::Attribute::children)
            return {ax::Error::success,
                    ax::Array{chainElement(tree, AtspiElementKind::menuBarOfApplication, element)}};
        return answer;
    }
    Names attributeNames(AtspiTree& tree, const AtspiElement& element) const override {
        if (!element.accessible) return {ax::Error::success, kStructure};
        return ObjectPresentation::attributeNames(tree, element);
    }
    ax::Result<std::vector<ax::Action>> actionNames(AtspiTree&, const AtspiElement&) const override {
        return {ax::Error::success, {}};
    }
    ax::Error press(AtspiTree&, const AtspiElement&) const override { return ax::Error::actionUnsupported; }
};

// The menu of a GTK menu object, whose items are the object's children.
class MenuOfMenuPresentation : public ObjectPresentation {
public:
    std::optional<ax::Role> role(AtspiTree&, const AtspiElement&) const override { return ax::Role::menu; }
    Children children(AtspiTree& tree, const AtspiElement& element) const override {
        return presentAll(tree, tree.childrenOf(element.accessible.get()), element.pid);
    }
    ax::ElementRef parent(AtspiTree& tree, const AtspiElement& element) const override {
        return tree.element(AtspiElementKind::object, element.accessible.get(), element.pid);
    }
    ax::Result<ax::Value> attribute(AtspiTree& tree, const AtspiElement& element,
                                    ax::Attribute name) const override {
        if (name == ax::Attribute::selectedChildren)
            return selectedChildren(
                tree, tree.element(AtspiElementKind::menuOfMenu, element.accessible.get(), element.pid));
        if (name != ax::Attribute::title &&
            std::find(kStructure.begin(), kStructure.end(), name) == kStructure.end())
            return {ax::Error::attributeUnsupported};
        return ObjectPresentation::attribute(tree, element, name);
    }
    Names attributeNames(AtspiTree&, const AtspiElement&) const override {
        std::vector<ax::Attribute> names = kStructure;
        names.insert(names.end(), {ax::Attribute::title, ax::Attribute::selectedChildren});
        return {ax::Error::success, names};
    }
    ax::Result<std::vector<ax::Action>> actionNames(AtspiTree&, const AtspiElement&) const override {
        return {ax::Error::success, {}};
    }
    ax::Error press(AtspiTree&, const AtspiElement&) const override { return ax::Error::actionUnsupported; }
};

} // namespace

const ElementPresentation& object() {
    static const ObjectPresentation presentation;
    return presentation;
}

const ElementPresentation& application() {
    static const ApplicationPresentation presentation;
    return presentation;
}

const ElementPresentation& menuOfMenu() {
    static const MenuOfMenuPresentation presentation;
    return presentation;
}

} // namespace quoddle::presentations
