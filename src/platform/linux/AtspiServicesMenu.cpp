// The application menu every application gets from the tree: the menu bar's item 1, standing where the
// original platform has the menu named after the application, holding the Services item. Its menu lists
// the application's own Services items, from wherever its menus keep them, then the desktop services.
#include "platform/linux/AtspiTree.h"

#include "platform/linux/AtspiCall.h"

#include <algorithm>
#include <set>

namespace quoddle {

namespace {

// Menus come from other applications: bound what is read of them.
constexpr std::size_t kMaxTopLevelMenus = 24;
constexpr std::size_t kMaxItemsLookedAt = 96;
// A selection longer than this is not read (in the toolkit's offset units).
constexpr int kMaxSelectionLength = 16 * 1024 * 1024;

template <typename Interface> GRef<Interface> adoptInterface(Interface* proxy) {
    return GRef<Interface>::adopt(proxy);
}

} // namespace

bool AtspiTree::isApplicationMenuKind(AtspiElementKind kind) {
    switch (kind) {
    case AtspiElementKind::menuBarOfApplication:
    case AtspiElementKind::applicationMenuItem:
    case AtspiElementKind::applicationMenu:
    case AtspiElementKind::servicesMenuItem:
    case AtspiElementKind::servicesMenu:
    case AtspiElementKind::desktopService:
        return true;
    case AtspiElementKind::object:
    case AtspiElementKind::menuOfMenu:
    case AtspiElementKind::systemMenuItem:
    case AtspiElementKind::application:
    case AtspiElementKind::ownWidget:
    case AtspiElementKind::systemWide:
        return false;
    }
    return false;
}

AXUIElementRef AtspiTree::applicationMenuElement(AtspiElementKind kind, const AtspiElement& of,
                                                 const std::string& detail) {
    return cache_.element(kind, of.accessible.get(), of.pid, detail);
}

std::string AtspiTree::applicationMenuRole(const AtspiElement& element) {
    switch (element.kind) {
    case AtspiElementKind::menuBarOfApplication:
        return "AXMenuBar";
    case AtspiElementKind::applicationMenuItem:
        return "AXMenuBarItem";
    case AtspiElementKind::applicationMenu:
    case AtspiElementKind::servicesMenu:
        return "AXMenu";
    default:
        return "AXMenuItem";
    }
}

std::optional<std::vector<GRef<AtspiAccessible>>> AtspiTree::menuItemsOf(AtspiAccessible* menu) {
    std::optional<AtspiRole> role = roleOf(menu);
    if (role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_POPUP_MENU) return childrenOf(menu);
    if (role != ATSPI_ROLE_MENU_ITEM) return std::nullopt;
    // A Qt item holds its menu as a popup-menu child.
    auto children = childrenOf(menu);
    if (!children) return std::nullopt;
    for (auto& child : *children)
        if (roleOf(child.get()) == ATSPI_ROLE_POPUP_MENU) return childrenOf(child.get());
    return std::nullopt;
}

std::vector<GRef<AtspiAccessible>> AtspiTree::ownServicesItems(AtspiAccessible* application) {
    std::set<std::string> candidates{"Services", servicesSource_.servicesTitle};
    if (servicesSource_.servicesItemTitles)
        for (std::string& title : servicesSource_.servicesItemTitles())
            candidates.insert(std::move(title));
    candidates.erase("");
    GRef<AtspiAccessible> menuBar = findMenuBar(application);
    if (!menuBar) return {};
    auto menus = childrenOf(menuBar.get());
    if (!menus) return {};
    std::size_t looked = 0;
    for (std::size_t m = 0; m < std::min(menus->size(), kMaxTopLevelMenus); ++m) {
        auto items = menuItemsOf((*menus)[m].get());
        if (!items) continue;
        for (auto& item : *items) {
            if (++looked > kMaxItemsLookedAt) return {};
            std::optional<std::string> name = title(item.get());
            if (!name || !candidates.contains(*name)) continue;
            if (auto services = menuItemsOf(item.get())) return std::move(*services);
        }
    }
    return {};
}

std::optional<std::vector<AXUIElementRef>> AtspiTree::applicationMenuChildren(const AtspiElement& element) {
    auto only = [&](AtspiElementKind kind) {
        return std::optional<std::vector<AXUIElementRef>>{{applicationMenuElement(kind, element)}};
    };
    switch (element.kind) {
    case AtspiElementKind::menuBarOfApplication:
        return std::vector{
            cache_.element(AtspiElementKind::systemMenuItem, element.accessible.get(), element.pid),
            applicationMenuElement(AtspiElementKind::applicationMenuItem, element)};
    case AtspiElementKind::applicationMenuItem:
        return only(AtspiElementKind::applicationMenu);
    case AtspiElementKind::applicationMenu:
        return only(AtspiElementKind::servicesMenuItem);
    case AtspiElementKind::servicesMenuItem:
        return only(AtspiElementKind::servicesMenu);
    case AtspiElementKind::servicesMenu:
        break;
    default:
        return std::vector<AXUIElementRef>{};
    }
    std::vector<AXUIElementRef> presented;
    std::set<std::string> titles;
    for (auto& item : ownServicesItems(element.accessible.get())) {
        if (std::optional<std::string> name = title(item.get())) titles.insert(*name);
        presented.push_back(presentedObject(item.get(), element.pid));
    }
    // A desktop service of the same name as one of the application's own would never be reached.
    if (servicesSource_.desktopServiceNames)
        for (const std::string& name : servicesSource_.desktopServiceNames())
            if (titles.insert(name).second)
                presented.push_back(applicationMenuElement(AtspiElementKind::desktopService, element, name));
    return presented;
}

AXUIElementRef AtspiTree::applicationMenuParent(const AtspiElement& element) {
    switch (element.kind) {
    case AtspiElementKind::menuBarOfApplication:
        return applicationElement(element.pid);
    case AtspiElementKind::applicationMenuItem:
        if (GRef<AtspiAccessible> menuBar = findMenuBar(element.accessible.get()))
            return cache_.element(AtspiElementKind::object, menuBar.get(), element.pid);
        return applicationMenuElement(AtspiElementKind::menuBarOfApplication, element);
    case AtspiElementKind::applicationMenu:
        return applicationMenuElement(AtspiElementKind::applicationMenuItem, element);
    case AtspiElementKind::servicesMenuItem:
        return applicationMenuElement(AtspiElementKind::applicationMenu, element);
    case AtspiElementKind::servicesMenu:
        return applicationMenuElement(AtspiElementKind::servicesMenuItem, element);
    case AtspiElementKind::desktopService:
        return applicationMenuElement(AtspiElementKind::servicesMenu, element);
    default:
        return nullptr;
    }
}

AXResult<AXAttributeValue> AtspiTree::applicationMenuAttribute(const AtspiElement& element,
                                                               const std::string& name) {
    if (!element.accessible) return {kAXErrorInvalidUIElement};
    if (name == "AXRole") return {kAXErrorSuccess, applicationMenuRole(element)};
    if (name == "AXParent") return {kAXErrorSuccess, applicationMenuParent(element)};
    const bool isItem = element.kind == AtspiElementKind::applicationMenuItem ||
                        element.kind == AtspiElementKind::servicesMenuItem ||
                        element.kind == AtspiElementKind::desktopService;
    if (name == "AXEnabled" && isItem) return {kAXErrorSuccess, true};
    if (name == "AXTitle" && isItem) {
        if (element.kind == AtspiElementKind::desktopService) return {kAXErrorSuccess, element.detail};
        if (element.kind == AtspiElementKind::servicesMenuItem)
            return {kAXErrorSuccess,
                    servicesSource_.servicesTitle.empty() ? "Services" : servicesSource_.servicesTitle};
        AtspiCall call(*this, element.pid);
        if (call.refused()) return {kAXErrorCannotComplete};
        std::optional<std::string> text = title(element.accessible.get());
        if (!text) {
            call.failed();
            return {kAXErrorCannotComplete};
        }
        return {kAXErrorSuccess, std::move(*text)};
    }
    if (name == "AXChildren") {
        AtspiCall call(*this, element.pid);
        // An application that does not answer still has its desktop services.
        if (call.refused() && element.kind != AtspiElementKind::servicesMenu) return {kAXErrorCannotComplete};
        auto children = applicationMenuChildren(element);
        if (!children) return {kAXErrorCannotComplete};
        return {kAXErrorSuccess, AXArray(children->begin(), children->end())};
    }
    return {kAXErrorAttributeUnsupported};
}

std::optional<std::string> AtspiTree::selectedText(const AtspiElement& element) {
    if (element.kind != AtspiElementKind::object || !element.accessible) return std::nullopt;
    AtspiCall call(*this, element.pid);
    if (call.refused()) return std::nullopt;
    auto text = adoptInterface(atspi_accessible_get_text_iface(element.accessible.get()));
    if (!text) return std::nullopt;
    GErrorSlot error;
    const int selections = atspi_text_get_n_selections(text.get(), error.out());
    if (error || selections <= 0) {
        if (error) call.failed();
        return std::nullopt;
    }
    GMemory<AtspiRange> range(atspi_text_get_selection(text.get(), 0, error.out()));
    if (error || !range) {
        call.failed();
        return std::nullopt;
    }
    const int start = std::min(range->start_offset, range->end_offset);
    const int end = std::max(range->start_offset, range->end_offset);
    if (start < 0 || end == start || end - start > kMaxSelectionLength) return std::nullopt;
    std::optional<std::string> selected =
        takeGString(atspi_text_get_text(text.get(), start, end, error.out()));
    if (error) {
        call.failed();
        return std::nullopt;
    }
    return selected;
}

bool AtspiTree::isEditable(const AtspiElement& element) {
    if (element.kind != AtspiElementKind::object || !element.accessible) return false;
    AtspiCall call(*this, element.pid);
    if (call.refused()) return false;
    return hasState(element.accessible.get(), ATSPI_STATE_EDITABLE);
}

} // namespace quoddle
