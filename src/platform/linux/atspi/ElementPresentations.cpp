#include "platform/linux/atspi/ElementPresentations.h"

#include "platform/linux/atspi/AtspiCall.h"
#include "platform/linux/atspi/AtspiRoles.h"
#include "platform/linux/atspi/AtspiTree.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace quoddle {

namespace {

using Children = std::optional<std::vector<ax::ElementRef>>;
// Page text sits a few levels below its document; trees come from other applications, so the walk is bounded.
constexpr int kMaxFocusSteps = 12;
using Names = ax::Result<std::vector<ax::Attribute>>;

const std::vector<ax::Attribute> kStructure{ax::Attribute::role, ax::Attribute::children,
                                            ax::Attribute::parent};
const std::vector<ax::Attribute> kStructureOfItems{ax::Attribute::role, ax::Attribute::children,
                                                   ax::Attribute::parent, ax::Attribute::title,
                                                   ax::Attribute::enabled};

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

// An element of the application menu's chain (see AtspiElementKind), which stands on the application object.
ax::ElementRef chainElement(AtspiTree& tree, AtspiElementKind kind, const AtspiElement& of) {
    return tree.element(kind, of.accessible.get(), of.pid);
}

// --- AT-SPI objects ----------------------------------------------------------------------------------------

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

// --- Elements the tree makes up
// ------------------------------------------------------------------------------

// The menu bar's item 0, standing where the original platform has its system menu.
class SystemMenuItemPresentation : public ElementPresentation {
public:
    std::optional<ax::Role> role(AtspiTree&, const AtspiElement&) const override {
        return ax::Role::menuBarItem;
    }
    ax::ElementRef parent(AtspiTree& tree, const AtspiElement& element) const override {
        if (!element.accessible || tree.roleOf(element.accessible.get()) == ATSPI_ROLE_APPLICATION)
            return chainElement(tree, AtspiElementKind::menuBarOfApplication, element);
        return tree.element(AtspiElementKind::object, element.accessible.get(), element.pid);
    }
    ax::Result<ax::Value> attribute(AtspiTree& tree, const AtspiElement& element,
                                    ax::Attribute name) const override {
        if (name == ax::Attribute::title) return {ax::Error::success, "System"};
        return ElementPresentation::attribute(tree, element, name);
    }
    Names attributeNames(AtspiTree&, const AtspiElement&) const override {
        std::vector<ax::Attribute> names = kStructure;
        names.push_back(ax::Attribute::title);
        return {ax::Error::success, names};
    }
};

// A widget of Quoddle's own, answered in-process.
class OwnWidgetPresentation : public ElementPresentation {
public:
    std::optional<ax::Role> role(AtspiTree&, const AtspiElement& element) const override {
        return element.own.role;
    }
    ax::Result<ax::Value> attribute(AtspiTree&, const AtspiElement& element,
                                    ax::Attribute name) const override {
        const Rect& frame = element.own.frame;
        switch (name) {
        case ax::Attribute::role:
            return {ax::Error::success, element.own.role};
        case ax::Attribute::title:
            return {ax::Error::success, element.own.title};
        case ax::Attribute::position:
            return {ax::Error::success, ax::PointValue{frame.minX(), frame.minY()}};
        case ax::Attribute::size:
            return {ax::Error::success, ax::SizeValue{frame.size.width, frame.size.height}};
        default:
            return {ax::Error::attributeUnsupported};
        }
    }
    Names attributeNames(AtspiTree&, const AtspiElement&) const override {
        return {ax::Error::success,
                {ax::Attribute::role, ax::Attribute::title, ax::Attribute::position, ax::Attribute::size}};
    }
};

// Another application's X window with a selection only the PRIMARY selection tells of: it has the focus
// (the press was in it), and its selection, not readable here, is one that is not empty.
class PlainWindowPresentation : public OwnWidgetPresentation {
public:
    ax::Result<ax::Value> attribute(AtspiTree& tree, const AtspiElement& element,
                                    ax::Attribute name) const override {
        if (name == ax::Attribute::focused) return {ax::Error::success, true};
        if (name == ax::Attribute::selectedTextRange) return {ax::Error::success, ax::RangeValue{0, 1}};
        return OwnWidgetPresentation::attribute(tree, element, name);
    }
    Names attributeNames(AtspiTree&, const AtspiElement&) const override {
        return {ax::Error::success,
                {ax::Attribute::role, ax::Attribute::title, ax::Attribute::position, ax::Attribute::size,
                 ax::Attribute::focused, ax::Attribute::selectedTextRange}};
    }
};

// The origin of hit tests: it has no attributes.
class SystemWidePresentation : public ElementPresentation {
public:
    std::optional<ax::Role> role(AtspiTree&, const AtspiElement&) const override {
        return ax::Role::systemWide;
    }
    ax::Result<ax::Value> attribute(AtspiTree&, const AtspiElement&, ax::Attribute) const override {
        return {ax::Error::attributeUnsupported};
    }
    Names attributeNames(AtspiTree&, const AtspiElement&) const override { return {ax::Error::success, {}}; }
};

// The application menu's chain, which stands on the application object. Its steps ask the application
// nothing, so one that does not answer still has its desktop services.
class ChainPresentation : public ElementPresentation {
public:
    ax::Result<ax::Value> attribute(AtspiTree& tree, const AtspiElement& element,
                                    ax::Attribute name) const override {
        if (name == ax::Attribute::parent) return {ax::Error::success, parent(tree, element)};
        return ElementPresentation::attribute(tree, element, name);
    }
    Names attributeNames(AtspiTree&, const AtspiElement&) const override {
        return {ax::Error::success, kStructure};
    }
};

// A chain element that is an item: it has a title and is enabled.
class ChainItemPresentation : public ChainPresentation {
public:
    ax::Result<ax::Value> attribute(AtspiTree& tree, const AtspiElement& element,
                                    ax::Attribute name) const override {
        if (name == ax::Attribute::enabled) return {ax::Error::success, true};
        if (name == ax::Attribute::title) return titleOf(tree, element);
        return ChainPresentation::attribute(tree, element, name);
    }
    Names attributeNames(AtspiTree&, const AtspiElement&) const override {
        return {ax::Error::success, kStructureOfItems};
    }

protected:
    virtual ax::Result<ax::Value> titleOf(AtspiTree& tree, const AtspiElement& element) const = 0;
};

// The menu bar of an application that shows none.
class MenuBarOfApplicationPresentation : public ChainPresentation {
public:
    std::optional<ax::Role> role(AtspiTree&, const AtspiElement&) const override { return ax::Role::menuBar; }
    Children children(AtspiTree& tree, const AtspiElement& element) const override {
        return std::vector{chainElement(tree, AtspiElementKind::systemMenuItem, element),
                           chainElement(tree, AtspiElementKind::applicationMenuItem, element)};
    }
    ax::ElementRef parent(AtspiTree& tree, const AtspiElement& element) const override {
        return tree.applicationElement(element.pid);
    }
};

// The menu bar's item 1, named after the application.
class ApplicationMenuItemPresentation : public ChainItemPresentation {
public:
    std::optional<ax::Role> role(AtspiTree&, const AtspiElement&) const override {
        return ax::Role::menuBarItem;
    }
    Children children(AtspiTree& tree, const AtspiElement& element) const override {
        return std::vector{chainElement(tree, AtspiElementKind::applicationMenu, element)};
    }
    ax::ElementRef parent(AtspiTree& tree, const AtspiElement& element) const override {
        if (!element.accessible) return chainElement(tree, AtspiElementKind::menuBarOfApplication, element);
        if (GRef<AtspiAccessible> menuBar = tree.findMenuBar(element.accessible.get()))
            return tree.element(AtspiElementKind::object, menuBar.get(), element.pid);
        return chainElement(tree, AtspiElementKind::menuBarOfApplication, element);
    }

protected:
    ax::Result<ax::Value> titleOf(AtspiTree& tree, const AtspiElement& element) const override {
        if (!element.accessible) return {ax::Error::success, "Application"};
        AtspiCall call(tree, element.pid);
        if (call.refused()) return {ax::Error::cannotComplete};
        std::optional<std::string> text = tree.title(element.accessible.get());
        if (!text) {
            call.failed();
            return {ax::Error::cannotComplete};
        }
        return {ax::Error::success, std::move(*text)};
    }
};

class ApplicationMenuPresentation : public ChainPresentation {
public:
    std::optional<ax::Role> role(AtspiTree&, const AtspiElement&) const override { return ax::Role::menu; }
    Children children(AtspiTree& tree, const AtspiElement& element) const override {
        return std::vector{chainElement(tree, AtspiElementKind::servicesMenuItem, element)};
    }
    ax::ElementRef parent(AtspiTree& tree, const AtspiElement& element) const override {
        return chainElement(tree, AtspiElementKind::applicationMenuItem, element);
    }
};

class ServicesMenuItemPresentation : public ChainItemPresentation {
public:
    std::optional<ax::Role> role(AtspiTree&, const AtspiElement&) const override {
        return ax::Role::menuItem;
    }
    Children children(AtspiTree& tree, const AtspiElement& element) const override {
        return std::vector{chainElement(tree, AtspiElementKind::servicesMenu, element)};
    }
    ax::ElementRef parent(AtspiTree& tree, const AtspiElement& element) const override {
        return chainElement(tree, AtspiElementKind::applicationMenu, element);
    }

protected:
    ax::Result<ax::Value> titleOf(AtspiTree& tree, const AtspiElement&) const override {
        const std::string& title = tree.servicesMenuSource().servicesTitle;
        return {ax::Error::success, title.empty() ? "Services" : title};
    }
};

// The application's own Services items, from wherever its menus keep them, then the desktop services.
class ServicesMenuPresentation : public ChainPresentation {
public:
    std::optional<ax::Role> role(AtspiTree&, const AtspiElement&) const override { return ax::Role::menu; }
    Children children(AtspiTree& tree, const AtspiElement& element) const override {
        std::vector<ax::ElementRef> presented;
        std::set<std::string> titles;
        for (const auto& item : element.accessible ? tree.ownServicesItems(element.accessible.get())
                                                   : std::vector<GRef<AtspiAccessible>>{}) {
            if (std::optional<std::string> name = tree.title(item.get())) titles.insert(*name);
            presented.push_back(tree.objectElement(item.get(), element.pid));
        }
        // A desktop service of the same name as one of the application's own would never be reached.
        if (const auto& names = tree.servicesMenuSource().desktopServiceNames)
            for (const std::string& name : names())
                if (titles.insert(name).second)
                    presented.push_back(tree.element(AtspiElementKind::desktopService,
                                                     element.accessible.get(), element.pid, name));
        return presented;
    }
    ax::ElementRef parent(AtspiTree& tree, const AtspiElement& element) const override {
        return chainElement(tree, AtspiElementKind::servicesMenuItem, element);
    }
};

// One desktop service, named by the element's detail.
class DesktopServicePresentation : public ChainItemPresentation {
public:
    std::optional<ax::Role> role(AtspiTree&, const AtspiElement&) const override {
        return ax::Role::menuItem;
    }
    ax::ElementRef parent(AtspiTree& tree, const AtspiElement& element) const override {
        return chainElement(tree, AtspiElementKind::servicesMenu, element);
    }
    ax::Result<std::vector<ax::Action>> actionNames(AtspiTree&, const AtspiElement&) const override {
        return {ax::Error::success, {ax::Action::press}};
    }
    ax::Error press(AtspiTree& tree, const AtspiElement& element) const override {
        const auto& pressDesktopService = tree.servicesMenuSource().pressDesktopService;
        if (!pressDesktopService) return ax::Error::cannotComplete;
        return pressDesktopService(element.pid, element.detail);
    }

protected:
    ax::Result<ax::Value> titleOf(AtspiTree&, const AtspiElement& element) const override {
        return {ax::Error::success, element.detail};
    }
};

} // namespace

Children ElementPresentation::children(AtspiTree&, const AtspiElement&) const {
    return std::vector<ax::ElementRef>{};
}

ax::ElementRef ElementPresentation::parent(AtspiTree&, const AtspiElement&) const {
    return nullptr;
}

ax::Result<ax::Value> ElementPresentation::attribute(AtspiTree& tree, const AtspiElement& element,
                                                     ax::Attribute name) const {
    switch (name) {
    case ax::Attribute::role:
        if (std::optional<ax::Role> known = role(tree, element)) return {ax::Error::success, *known};
        return {ax::Error::cannotComplete};
    case ax::Attribute::children:
        if (Children presented = children(tree, element))
            return {ax::Error::success, ax::Array(presented->begin(), presented->end())};
        return {ax::Error::cannotComplete};
    case ax::Attribute::parent:
        if (ax::ElementRef up = parent(tree, element)) return {ax::Error::success, up};
        return {ax::Error::noValue};
    default:
        return {ax::Error::attributeUnsupported};
    }
}

Names ElementPresentation::attributeNames(AtspiTree&, const AtspiElement&) const {
    return {ax::Error::success, kStructure};
}

ax::Result<std::vector<ax::Action>> ElementPresentation::actionNames(AtspiTree&, const AtspiElement&) const {
    return {ax::Error::success, {}};
}

ax::Error ElementPresentation::press(AtspiTree&, const AtspiElement&) const {
    return ax::Error::actionUnsupported;
}

const ElementPresentation& presentationOf(AtspiElementKind kind) {
    static const ObjectPresentation object;
    static const ApplicationPresentation application;
    static const MenuOfMenuPresentation menuOfMenu;
    static const SystemMenuItemPresentation systemMenuItem;
    static const OwnWidgetPresentation ownWidget;
    static const PlainWindowPresentation plainWindow;
    static const SystemWidePresentation systemWide;
    static const MenuBarOfApplicationPresentation menuBarOfApplication;
    static const ApplicationMenuItemPresentation applicationMenuItem;
    static const ApplicationMenuPresentation applicationMenu;
    static const ServicesMenuItemPresentation servicesMenuItem;
    static const ServicesMenuPresentation servicesMenu;
    static const DesktopServicePresentation desktopService;
    switch (kind) {
    case AtspiElementKind::object:
        return object;
    case AtspiElementKind::application:
        return application;
    case AtspiElementKind::menuOfMenu:
        return menuOfMenu;
    case AtspiElementKind::systemMenuItem:
        return systemMenuItem;
    case AtspiElementKind::ownWidget:
        return ownWidget;
    case AtspiElementKind::plainWindow:
        return plainWindow;
    case AtspiElementKind::systemWide:
        return systemWide;
    case AtspiElementKind::menuBarOfApplication:
        return menuBarOfApplication;
    case AtspiElementKind::applicationMenuItem:
        return applicationMenuItem;
    case AtspiElementKind::applicationMenu:
        return applicationMenu;
    case AtspiElementKind::servicesMenuItem:
        return servicesMenuItem;
    case AtspiElementKind::servicesMenu:
        return servicesMenu;
    case AtspiElementKind::desktopService:
        return desktopService;
    }
    return object;
}

} // namespace quoddle
