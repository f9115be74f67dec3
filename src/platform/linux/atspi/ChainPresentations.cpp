// How the application menu's chain answers: menu bar, application menu, Services item and menu, and the
// desktop services in it. It stands on the application object and asks the application little.
#include "platform/linux/atspi/PresentationKinds.h"

#include "platform/linux/atspi/AtspiCall.h"
#include "platform/linux/atspi/AtspiTree.h"

#include <set>

namespace quoddle::presentations {

ax::ElementRef chainElement(AtspiTree& tree, AtspiElementKind kind, const AtspiElement& of) {
    return tree.element(kind, of.accessible.get(), of.pid);
}

namespace {

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

const ElementPresentation& menuBarOfApplication() {
    static const MenuBarOfApplicationPresentation presentation;
    return presentation;
}

const ElementPresentation& applicationMenuItem() {
    static const ApplicationMenuItemPresentation presentation;
    return presentation;
}

const ElementPresentation& applicationMenu() {
    static const ApplicationMenuPresentation presentation;
    return presentation;
}

const ElementPresentation& servicesMenuItem() {
    static const ServicesMenuItemPresentation presentation;
    return presentation;
}

const ElementPresentation& servicesMenu() {
    static const ServicesMenuPresentation presentation;
    return presentation;
}

const ElementPresentation& desktopService() {
    static const DesktopServicePresentation presentation;
    return presentation;
}

} // namespace quoddle::presentations
