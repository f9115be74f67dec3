#include "platform/linux/atspi/ElementPresentations.h"

#include "platform/linux/atspi/AtspiTree.h"
#include "platform/linux/atspi/PresentationKinds.h"

namespace quoddle {

namespace presentations {
namespace {

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

} // namespace
} // namespace presentations

using presentations::Children;
using presentations::kStructure;
using presentations::Names;

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
    using namespace presentations;
    static const SystemMenuItemPresentation systemMenuItem;
    static const OwnWidgetPresentation ownWidget;
    static const PlainWindowPresentation plainWindow;
    static const SystemWidePresentation systemWide;
    switch (kind) {
    case AtspiElementKind::object:
        return object();
    case AtspiElementKind::application:
        return application();
    case AtspiElementKind::menuOfMenu:
        return menuOfMenu();
    case AtspiElementKind::systemMenuItem:
        return systemMenuItem;
    case AtspiElementKind::ownWidget:
        return ownWidget;
    case AtspiElementKind::plainWindow:
        return plainWindow;
    case AtspiElementKind::systemWide:
        return systemWide;
    case AtspiElementKind::menuBarOfApplication:
        return menuBarOfApplication();
    case AtspiElementKind::applicationMenuItem:
        return applicationMenuItem();
    case AtspiElementKind::applicationMenu:
        return applicationMenu();
    case AtspiElementKind::servicesMenuItem:
        return servicesMenuItem();
    case AtspiElementKind::servicesMenu:
        return servicesMenu();
    case AtspiElementKind::desktopService:
        return desktopService();
    }
    return object();
}

} // namespace quoddle
