#include "platform/linux/AtspiTree.h"

#include "platform/linux/AtspiCall.h"

#include "platform/linux/AtspiMenuEvents.h"
#include "platform/linux/AtspiRoles.h"

#include <algorithm>
#include <cctype>
#include <deque>

namespace quoddle {

namespace {

// Trees come from other applications: bound what is read of them.
constexpr int kMaxChildren = 4096;
constexpr int kMaxHitDepth = 32;
constexpr std::size_t kMaxChildrenSearchedAtPoint = 256;
constexpr std::size_t kMaxChildrenLookedThrough = 16;
constexpr int kMaxTextAncestorSteps = 4;
constexpr int kMenuBarSearchDepth = 6;
constexpr int kMenuBarSearchBudget = 400;
// After a call ran into the time-out, the application's calls fail at once for this long.
constexpr std::chrono::seconds kUnresponsiveBackoff{3};

std::string trimmed(std::string text) {
    auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    return text;
}

std::string lowercase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool isMenuItemRole(AtspiRole role) {
    return role == ATSPI_ROLE_MENU_ITEM || role == ATSPI_ROLE_CHECK_MENU_ITEM ||
           role == ATSPI_ROLE_RADIO_MENU_ITEM || role == ATSPI_ROLE_TEAROFF_MENU_ITEM;
}

template <typename Interface> GRef<Interface> adoptInterface(Interface* proxy) {
    return GRef<Interface>::adopt(proxy);
}

} // namespace

AtspiTree::AtspiTree(ProcessId ownPid, ApplicationOfPid applicationOfPid,
                     std::chrono::milliseconds callTimeout)
    : ownPid_(ownPid), applicationOfPid_(std::move(applicationOfPid)), callTimeout_(callTimeout),
      systemWide_(
          std::make_shared<const AtspiElement>(AtspiElementKind::systemWide, GRef<AtspiAccessible>(), -1)) {}

bool AtspiTree::isUnresponsive(ProcessId pid) {
    auto it = unresponsiveUntil_.find(pid);
    if (it == unresponsiveUntil_.end()) return false;
    if (Clock::now() < it->second) return true;
    unresponsiveUntil_.erase(it);
    return false;
}

void AtspiTree::noteCall(ProcessId pid, Clock::duration took, bool failed) {
    if (failed && took >= callTimeout_ * 4 / 5) unresponsiveUntil_[pid] = Clock::now() + kUnresponsiveBackoff;
}

// --- Handles ---------------------------------------------------------------------------------------------

AXUIElementRef AtspiTree::applicationElement(ProcessId pid) {
    if (GRef<AtspiAccessible> application = applicationOfPid_(pid))
        return cache_.element(AtspiElementKind::application, application.get(), pid);
    return cache_.placeholderApplication(pid);
}

AXUIElementRef AtspiTree::objectElement(AtspiAccessible* object) {
    if (!object) return nullptr;
    GErrorSlot error;
    const auto pid = static_cast<ProcessId>(atspi_accessible_get_process_id(object, error.out()));
    if (error) return nullptr;
    return presentedObject(object, pid);
}

AXUIElementRef AtspiTree::presentedObject(AtspiAccessible* object, ProcessId pid) {
    if (roleOf(object) == ATSPI_ROLE_APPLICATION)
        return cache_.element(AtspiElementKind::application, object, pid);
    return cache_.element(AtspiElementKind::object, object, pid);
}

AXUIElementRef AtspiTree::menuElement(AtspiAccessible* menu) {
    AXUIElementRef plain = objectElement(menu);
    if (!plain) return nullptr;
    if (roleOf(menu) != ATSPI_ROLE_MENU) return plain;
    return cache_.element(AtspiElementKind::menuOfMenu, menu, atspiElementOf(plain)->pid);
}

AXUIElementRef AtspiTree::ownWidgetElement(const OwnWindowHit& hit) {
    // The same widget at the same place keeps its handle.
    if (lastOwnWidget_ && lastOwnWidget_->own.role == hit.role && lastOwnWidget_->own.title == hit.title &&
        lastOwnWidget_->own.frame == hit.frame)
        return lastOwnWidget_;
    auto element =
        std::make_shared<AtspiElement>(AtspiElementKind::ownWidget, GRef<AtspiAccessible>(), ownPid_);
    element->own = hit;
    lastOwnWidget_ = element;
    return element;
}

// --- Reading objects ---------------------------------------------------------------------------------------

std::optional<AtspiRole> AtspiTree::roleOf(AtspiAccessible* object) {
    GErrorSlot error;
    AtspiRole role = atspi_accessible_get_role(object, error.out());
    if (error) return std::nullopt;
    return role;
}

GRef<AtspiAccessible> AtspiTree::parentOf(AtspiAccessible* object) {
    GErrorSlot error;
    auto parent = GRef<AtspiAccessible>::adopt(atspi_accessible_get_parent(object, error.out()));
    if (error) return {};
    return parent;
}

std::optional<std::vector<GRef<AtspiAccessible>>> AtspiTree::childrenOf(AtspiAccessible* object) {
    GErrorSlot error;
    const int count = atspi_accessible_get_child_count(object, error.out());
    if (error || count < 0) return std::nullopt;
    std::vector<GRef<AtspiAccessible>> children;
    for (int i = 0; i < std::min(count, kMaxChildren); ++i) {
        auto child =
            GRef<AtspiAccessible>::adopt(atspi_accessible_get_child_at_index(object, i, error.out()));
        if (error) return std::nullopt;
        if (child) children.push_back(std::move(child));
    }
    return children;
}

std::optional<std::string> AtspiTree::title(AtspiAccessible* object) {
    GErrorSlot error;
    std::optional<std::string> name = takeGString(atspi_accessible_get_name(object, error.out()));
    if (error || !name) return std::nullopt;
    return trimmed(std::move(*name));
}

std::optional<Rect> AtspiTree::extents(AtspiAccessible* object) {
    auto component = adoptInterface(atspi_accessible_get_component_iface(object));
    if (!component) return std::nullopt;
    GErrorSlot error;
    GMemory<AtspiRect> rect(
        atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, error.out()));
    if (error || !rect) return std::nullopt;
    return Rect{{double(rect->x), double(rect->y)}, {double(rect->width), double(rect->height)}};
}

bool AtspiTree::hasState(AtspiAccessible* object, AtspiStateType state) {
    auto states = GRef<AtspiStateSet>::adopt(atspi_accessible_get_state_set(object));
    return states && atspi_state_set_contains(states.get(), state);
}

std::optional<std::string> AtspiTree::mnemonic(AtspiAccessible* item) {
    auto action = adoptInterface(atspi_accessible_get_action_iface(item));
    if (!action) return std::nullopt;
    GErrorSlot error;
    std::optional<std::string> binding =
        takeGString(atspi_action_get_key_binding(action.get(), 0, error.out()));
    if (error || !binding) return std::nullopt;
    return mnemonicOfKeyBinding(*binding);
}

GRef<AtspiAccessible> AtspiTree::findMenuBar(AtspiAccessible* application) {
    // Breadth first from the application's windows, the active window's bar preferred: menu bars sit a few
    // levels below their frame.
    std::deque<std::pair<GRef<AtspiAccessible>, int>> queue;
    auto windows = childrenOf(application);
    if (!windows) return {};
    std::stable_partition(windows->begin(), windows->end(), [this](const GRef<AtspiAccessible>& w) {
        return hasState(w.get(), ATSPI_STATE_ACTIVE);
    });
    for (auto& window : *windows)
        queue.emplace_back(std::move(window), 1);
    int budget = kMenuBarSearchBudget;
    while (!queue.empty() && budget-- > 0) {
        auto [object, depth] = std::move(queue.front());
        queue.pop_front();
        std::optional<AtspiRole> role = roleOf(object.get());
        if (role == ATSPI_ROLE_MENU_BAR) return object;
        // Menus and text hold no menu bar; skip their (possibly large) subtrees.
        if (!role || depth >= kMenuBarSearchDepth || *role == ATSPI_ROLE_MENU || *role == ATSPI_ROLE_TEXT ||
            *role == ATSPI_ROLE_TABLE || *role == ATSPI_ROLE_TREE_TABLE || *role == ATSPI_ROLE_LIST)
            continue;
        if (auto children = childrenOf(object.get()))
            for (auto& child : *children)
                queue.emplace_back(std::move(child), depth + 1);
    }
    return {};
}

// --- Presentation ------------------------------------------------------------------------------------------

std::string AtspiTree::presentedRole(const AtspiElement& element) {
    switch (element.kind) {
    case AtspiElementKind::application:
        return "AXApplication";
    case AtspiElementKind::menuOfMenu:
        return "AXMenu";
    case AtspiElementKind::systemMenuItem:
        return "AXMenuBarItem";
    case AtspiElementKind::ownWidget:
        return element.own.role;
    case AtspiElementKind::systemWide:
        return "AXSystemWide";
    case AtspiElementKind::menuBarOfApplication:
    case AtspiElementKind::applicationMenuItem:
    case AtspiElementKind::applicationMenu:
    case AtspiElementKind::servicesMenuItem:
    case AtspiElementKind::servicesMenu:
    case AtspiElementKind::desktopService:
        return applicationMenuRole(element);
    case AtspiElementKind::object:
        break;
    }
    std::optional<AtspiRole> role = roleOf(element.accessible.get());
    if (!role) return {};
    if (*role == ATSPI_ROLE_MENU || isMenuItemRole(*role)) {
        GRef<AtspiAccessible> parent = parentOf(element.accessible.get());
        if (parent && roleOf(parent.get()) == ATSPI_ROLE_MENU_BAR) return "AXMenuBarItem";
        // A GTK submenu is an item of its parent menu; its menu is its menuOfMenu view.
        if (*role == ATSPI_ROLE_MENU) return "AXMenuItem";
    }
    if (*role == ATSPI_ROLE_TEXT && hasState(element.accessible.get(), ATSPI_STATE_SINGLE_LINE))
        return "AXTextField";
    return axRoleOfAtspiRole(*role);
}

std::optional<std::vector<AXUIElementRef>> AtspiTree::presentedChildren(const AtspiElement& element) {
    AtspiAccessible* object = element.accessible.get();
    std::vector<AXUIElementRef> presented;
    auto presentAll = [&](std::vector<GRef<AtspiAccessible>>& children) {
        for (auto& child : children)
            if (AXUIElementRef handle = presentedObject(child.get(), element.pid))
                presented.push_back(handle);
    };
    switch (element.kind) {
    case AtspiElementKind::systemMenuItem:
    case AtspiElementKind::ownWidget:
    case AtspiElementKind::systemWide:
        return presented;
    case AtspiElementKind::menuBarOfApplication:
    case AtspiElementKind::applicationMenuItem:
    case AtspiElementKind::applicationMenu:
    case AtspiElementKind::servicesMenuItem:
    case AtspiElementKind::servicesMenu:
    case AtspiElementKind::desktopService:
        return applicationMenuChildren(element);
    case AtspiElementKind::application: {
        if (!object) return std::nullopt;
        // The menu bar first, as the original platform lists it among the application's children; one
        // of its own for an application that shows none, so every application has a Services menu.
        if (GRef<AtspiAccessible> menuBar = findMenuBar(object))
            presented.push_back(cache_.element(AtspiElementKind::object, menuBar.get(), element.pid));
        else
            presented.push_back(applicationMenuElement(AtspiElementKind::menuBarOfApplication, element));
        auto windows = childrenOf(object);
        if (!windows) return std::nullopt;
        presentAll(*windows);
        return presented;
    }
    case AtspiElementKind::menuOfMenu: {
        auto items = childrenOf(object);
        if (!items) return std::nullopt;
        presentAll(*items);
        return presented;
    }
    case AtspiElementKind::object:
        break;
    }
    std::optional<AtspiRole> role = roleOf(object);
    if (!role) return std::nullopt;
    if (*role == ATSPI_ROLE_MENU)
        return std::vector{cache_.element(AtspiElementKind::menuOfMenu, object, element.pid)};
    auto children = childrenOf(object);
    if (!children) return std::nullopt;
    if (*role == ATSPI_ROLE_MENU_BAR) {
        presented.push_back(cache_.element(AtspiElementKind::systemMenuItem, object, element.pid));
        if (GRef<AtspiAccessible> application = applicationOfPid_(element.pid))
            presented.push_back(
                cache_.element(AtspiElementKind::applicationMenuItem, application.get(), element.pid));
    }
    presentAll(*children);
    return presented;
}

AXUIElementRef AtspiTree::presentedParent(const AtspiElement& element) {
    AtspiAccessible* object = element.accessible.get();
    switch (element.kind) {
    case AtspiElementKind::application:
    case AtspiElementKind::ownWidget:
    case AtspiElementKind::systemWide:
        return nullptr;
    case AtspiElementKind::systemMenuItem:
        if (roleOf(object) == ATSPI_ROLE_APPLICATION)
            return cache_.element(AtspiElementKind::menuBarOfApplication, object, element.pid);
        return cache_.element(AtspiElementKind::object, object, element.pid);
    case AtspiElementKind::menuBarOfApplication:
    case AtspiElementKind::applicationMenuItem:
    case AtspiElementKind::applicationMenu:
    case AtspiElementKind::servicesMenuItem:
    case AtspiElementKind::servicesMenu:
    case AtspiElementKind::desktopService:
        return applicationMenuParent(element);
    case AtspiElementKind::menuOfMenu:
        return cache_.element(AtspiElementKind::object, object, element.pid);
    case AtspiElementKind::object:
        break;
    }
    // A menu bar belongs to the application, as on the original platform, not to the panel it sits in.
    if (roleOf(object) == ATSPI_ROLE_MENU_BAR) return applicationElement(element.pid);
    GRef<AtspiAccessible> parent = parentOf(object);
    if (!parent) return nullptr;
    std::optional<AtspiRole> role = roleOf(parent.get());
    if (role == ATSPI_ROLE_MENU)
        return cache_.element(AtspiElementKind::menuOfMenu, parent.get(), element.pid);
    return presentedObject(parent.get(), element.pid);
}

// --- The port's operations ---------------------------------------------------------------------------------

AXResult<AXAttributeValue> AtspiTree::attribute(const AtspiElement& element, const std::string& name) {
    if (element.kind == AtspiElementKind::ownWidget) {
        if (name == "AXRole") return {kAXErrorSuccess, element.own.role};
        if (name == "AXTitle") return {kAXErrorSuccess, element.own.title};
        if (name == "AXPosition")
            return {kAXErrorSuccess, AXPointValue{element.own.frame.minX(), element.own.frame.minY()}};
        if (name == "AXSize")
            return {kAXErrorSuccess,
                    AXSizeValue{element.own.frame.size.width, element.own.frame.size.height}};
        return {kAXErrorAttributeUnsupported};
    }
    if (element.kind == AtspiElementKind::systemWide) return {kAXErrorAttributeUnsupported};
    if (isApplicationMenuKind(element.kind)) return applicationMenuAttribute(element, name);
    AtspiAccessible* object = element.accessible.get();
    if (!object) return {kAXErrorInvalidUIElement};
    AtspiCall call(*this, element.pid);
    if (call.refused()) return {kAXErrorCannotComplete};
    auto fail = [&](AXError error) -> AXResult<AXAttributeValue> {
        call.failed();
        return {error};
    };

    if (name == "AXRole") {
        std::string role = presentedRole(element);
        if (role.empty()) return fail(kAXErrorCannotComplete);
        return {kAXErrorSuccess, std::move(role)};
    }
    if (name == "AXChildren") {
        auto children = presentedChildren(element);
        if (!children) return fail(kAXErrorCannotComplete);
        AXArray array(children->begin(), children->end());
        return {kAXErrorSuccess, std::move(array)};
    }
    if (name == "AXParent") {
        AXUIElementRef parent = presentedParent(element);
        if (!parent) return {kAXErrorNoValue};
        return {kAXErrorSuccess, parent};
    }
    if (element.kind == AtspiElementKind::systemMenuItem) {
        if (name == "AXTitle") return {kAXErrorSuccess, "System"};
        return {kAXErrorAttributeUnsupported};
    }
    if (name == "AXSelectedChildren") {
        if (element.kind != AtspiElementKind::menuOfMenu && roleOf(object) != ATSPI_ROLE_POPUP_MENU)
            return {kAXErrorAttributeUnsupported};
        AXArray selected;
        if (selectedChildren_) {
            AXUIElementRef self = element.kind == AtspiElementKind::menuOfMenu
                                      ? cache_.element(AtspiElementKind::menuOfMenu, object, element.pid)
                                      : cache_.element(AtspiElementKind::object, object, element.pid);
            for (const AXUIElementRef& child : selectedChildren_(self))
                selected.emplace_back(child);
        }
        return {kAXErrorSuccess, std::move(selected)};
    }
    if (element.kind == AtspiElementKind::menuOfMenu && name != "AXTitle")
        return {kAXErrorAttributeUnsupported};
    if (name == "AXTitle") {
        std::optional<std::string> text = title(object);
        if (!text) return fail(kAXErrorCannotComplete);
        return {kAXErrorSuccess, std::move(*text)};
    }
    if (name == "AXDescription") {
        GErrorSlot error;
        std::optional<std::string> text = takeGString(atspi_accessible_get_description(object, error.out()));
        if (error || !text) return fail(kAXErrorCannotComplete);
        return {kAXErrorSuccess, std::move(*text)};
    }
    if (name == "AXPosition" || name == "AXSize") {
        std::optional<Rect> frame = extents(object);
        if (!frame) return fail(kAXErrorCannotComplete);
        if (name == "AXPosition") return {kAXErrorSuccess, AXPointValue{frame->minX(), frame->minY()}};
        return {kAXErrorSuccess, AXSizeValue{frame->size.width, frame->size.height}};
    }
    if (name == "AXFocused") return {kAXErrorSuccess, hasState(object, ATSPI_STATE_FOCUSED)};
    if (name == "AXEnabled") return {kAXErrorSuccess, hasState(object, ATSPI_STATE_ENABLED)};
    if (name == "AXSelectedTextRange") {
        // Only the range is read, never the text: the selection is the user's.
        auto text = adoptInterface(atspi_accessible_get_text_iface(object));
        if (!text) return {kAXErrorAttributeUnsupported};
        GErrorSlot error;
        const int selections = atspi_text_get_n_selections(text.get(), error.out());
        if (error) return fail(kAXErrorCannotComplete);
        if (selections <= 0) {
            const int caret = atspi_text_get_caret_offset(text.get(), error.out());
            if (error) return fail(kAXErrorCannotComplete);
            return {kAXErrorSuccess, AXRangeValue{std::max(caret, 0), 0}};
        }
        GMemory<AtspiRange> range(atspi_text_get_selection(text.get(), 0, error.out()));
        if (error || !range) return fail(kAXErrorCannotComplete);
        const long start = std::min(range->start_offset, range->end_offset);
        const long end = std::max(range->start_offset, range->end_offset);
        return {kAXErrorSuccess, AXRangeValue{start, end - start}};
    }
    return {kAXErrorAttributeUnsupported};
}

AXResult<std::vector<std::string>> AtspiTree::attributeNames(const AtspiElement& element) {
    std::vector<std::string> names{"AXRole", "AXChildren", "AXParent"};
    switch (element.kind) {
    case AtspiElementKind::ownWidget:
        return {kAXErrorSuccess, {"AXRole", "AXTitle", "AXPosition", "AXSize"}};
    case AtspiElementKind::systemWide:
        return {kAXErrorSuccess, {}};
    case AtspiElementKind::systemMenuItem:
        names.push_back("AXTitle");
        return {kAXErrorSuccess, names};
    case AtspiElementKind::menuOfMenu:
        names.insert(names.end(), {"AXTitle", "AXSelectedChildren"});
        return {kAXErrorSuccess, names};
    case AtspiElementKind::menuBarOfApplication:
    case AtspiElementKind::applicationMenu:
    case AtspiElementKind::servicesMenu:
        return {kAXErrorSuccess, names};
    case AtspiElementKind::applicationMenuItem:
    case AtspiElementKind::servicesMenuItem:
    case AtspiElementKind::desktopService:
        names.insert(names.end(), {"AXTitle", "AXEnabled"});
        return {kAXErrorSuccess, names};
    case AtspiElementKind::application:
    case AtspiElementKind::object:
        break;
    }
    AtspiAccessible* object = element.accessible.get();
    if (!object) return {kAXErrorInvalidUIElement};
    AtspiCall call(*this, element.pid);
    if (call.refused()) return {kAXErrorCannotComplete};
    names.insert(names.end(), {"AXTitle", "AXDescription", "AXFocused", "AXEnabled"});
    if (auto component = adoptInterface(atspi_accessible_get_component_iface(object)))
        names.insert(names.end(), {"AXPosition", "AXSize"});
    if (auto text = adoptInterface(atspi_accessible_get_text_iface(object)))
        names.push_back("AXSelectedTextRange");
    if (roleOf(object) == ATSPI_ROLE_POPUP_MENU) names.push_back("AXSelectedChildren");
    return {kAXErrorSuccess, names};
}

AXResult<std::vector<std::string>> AtspiTree::actionNames(const AtspiElement& element) {
    if (element.kind == AtspiElementKind::desktopService) return {kAXErrorSuccess, {"AXPress"}};
    if (element.kind != AtspiElementKind::object || !element.accessible) return {kAXErrorSuccess, {}};
    AtspiCall call(*this, element.pid);
    if (call.refused()) return {kAXErrorCannotComplete};
    auto action = adoptInterface(atspi_accessible_get_action_iface(element.accessible.get()));
    if (!action) return {kAXErrorSuccess, {}};
    GErrorSlot error;
    const int count = atspi_action_get_n_actions(action.get(), error.out());
    if (error) {
        call.failed();
        return {kAXErrorCannotComplete};
    }
    if (count <= 0) return {kAXErrorSuccess, {}};
    return {kAXErrorSuccess, {"AXPress"}};
}

AXError AtspiTree::press(const AtspiElement& element) {
    if (element.kind == AtspiElementKind::desktopService) {
        if (!servicesSource_.pressDesktopService) return kAXErrorCannotComplete;
        return servicesSource_.pressDesktopService(element.pid, element.detail);
    }
    if (element.kind != AtspiElementKind::object || !element.accessible) return kAXErrorActionUnsupported;
    AtspiCall call(*this, element.pid);
    if (call.refused()) return kAXErrorCannotComplete;
    auto action = adoptInterface(atspi_accessible_get_action_iface(element.accessible.get()));
    if (!action) return kAXErrorActionUnsupported;
    GErrorSlot error;
    const int count = atspi_action_get_n_actions(action.get(), error.out());
    if (error || count <= 0) {
        call.failed();
        return error ? kAXErrorCannotComplete : kAXErrorActionUnsupported;
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
        return kAXErrorCannotComplete;
    }
    return kAXErrorSuccess;
}

AXResult<ProcessId> AtspiTree::pid(const AtspiElement& element) {
    if (element.kind == AtspiElementKind::systemWide) return {kAXErrorIllegalArgument};
    return {kAXErrorSuccess, element.pid};
}

GRef<AtspiAccessible> AtspiTree::showingChildAt(AtspiAccessible* parent, int x, int y, int levels) {
    auto children = childrenOf(parent);
    if (!children || children->size() > kMaxChildrenSearchedAtPoint) return {};
    // Later children are drawn over earlier ones.
    for (auto it = children->rbegin(); it != children->rend(); ++it) {
        if (!hasState(it->get(), ATSPI_STATE_SHOWING)) continue;
        std::optional<Rect> frame = extents(it->get());
        if (frame && x >= frame->minX() && x < frame->maxX() && y >= frame->minY() && y < frame->maxY())
            return *it;
    }
    // A child may stand for its content without covering it (a GTK notebook's page is a tab whose extents
    // are the tab's): its own children are looked at too.
    if (levels > 1 && children->size() <= kMaxChildrenLookedThrough)
        for (auto it = children->rbegin(); it != children->rend(); ++it)
            if (GRef<AtspiAccessible> inner = showingChildAt(it->get(), x, y, levels - 1)) return inner;
    return {};
}

AXResult<AXUIElementRef> AtspiTree::elementAtPoint(ProcessId pid, int x, int y) {
    GRef<AtspiAccessible> application = applicationOfPid_(pid);
    if (!application) return {kAXErrorCannotComplete};
    AtspiCall call(*this, pid);
    if (call.refused()) return {kAXErrorCannotComplete};
    auto windows = childrenOf(application.get());
    if (!windows) {
        call.failed();
        return {kAXErrorCannotComplete};
    }
    // The window under the point: a showing one that contains it, the active one first (X stacking already
    // chose the application; AT-SPI knows no stacking order among its windows).
    GRef<AtspiAccessible> current;
    for (int pass = 0; pass < 2 && !current; ++pass)
        for (auto& window : *windows) {
            if (!hasState(window.get(), ATSPI_STATE_SHOWING)) continue;
            if (pass == 0 && !hasState(window.get(), ATSPI_STATE_ACTIVE)) continue;
            std::optional<Rect> frame = extents(window.get());
            if (frame && x >= frame->minX() && x < frame->maxX() && y >= frame->minY() && y < frame->maxY()) {
                current = window;
                break;
            }
        }
    if (!current) return {kAXErrorNoValue};
    for (int depth = 0; depth < kMaxHitDepth; ++depth) {
        auto component = adoptInterface(atspi_accessible_get_component_iface(current.get()));
        if (!component) break;
        GErrorSlot error;
        auto deeper = GRef<AtspiAccessible>::adopt(atspi_component_get_accessible_at_point(
            component.get(), x, y, ATSPI_COORD_TYPE_SCREEN, error.out()));
        // Some containers do not pass the question on (a GTK notebook answers only for its tabs): then the
        // child under the point is looked for among the children.
        if (error || !deeper || deeper.get() == current.get())
            deeper = showingChildAt(current.get(), x, y, 2);
        if (!deeper) break;
        current = std::move(deeper);
    }
    // A Qt text edit's deepest element is its viewport: the text is one or two levels up.
    if (auto text = adoptInterface(atspi_accessible_get_text_iface(current.get())); !text) {
        GRef<AtspiAccessible> ancestor = parentOf(current.get());
        for (int step = 0; ancestor && step < kMaxTextAncestorSteps; ++step) {
            std::optional<AtspiRole> role = roleOf(ancestor.get());
            if (!role || *role == ATSPI_ROLE_FRAME || *role == ATSPI_ROLE_APPLICATION) break;
            if (auto ancestorText = adoptInterface(atspi_accessible_get_text_iface(ancestor.get()));
                ancestorText && (*role == ATSPI_ROLE_TEXT || *role == ATSPI_ROLE_ENTRY ||
                                 *role == ATSPI_ROLE_PASSWORD_TEXT || *role == ATSPI_ROLE_DOCUMENT_TEXT)) {
                current = ancestor;
                break;
            }
            ancestor = parentOf(ancestor.get());
        }
    }
    return {kAXErrorSuccess, presentedObject(current.get(), pid)};
}

} // namespace quoddle
