#pragma once
// The handles the Linux backend gives the core for accessibility elements, and the cache that keeps one
// handle per element.

#include "platform/Accessibility.h"
#include "platform/linux/GObjectHandles.h"
#include "platform/linux/OwnWindows.h"

#include <atspi/atspi.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

namespace quoddle {

// What a handle stands for. AT-SPI menus come in two shapes (GTK: a menu object that is both the menu-bar
// item and the menu; Qt: an item holding a popup menu); the core walks the one shape bar → bar item →
// menu → item, so a GTK menu object is presented twice: as the item (kind object) and as its menu.
enum class AtspiElementKind {
    object,         // an AT-SPI object, presented by its role and place
    menuOfMenu,     // the menu of a GTK menu object: its items are this element's children
    systemMenuItem, // the menu bar's item 0, standing where the original platform has its system menu
    application,    // an application's root (the AT-SPI application object; null when it has none)
    ownWidget,      // a widget of Quoddle's own, answered in-process
    // The X window of an application whose text accessibility does not show (Chromium before its tree is
    // there, xterm, Java, Wine): its selection is known from the PRIMARY selection's owner only. Its role,
    // title and frame are in `own`.
    plainWindow,
    systemWide, // the origin of hit tests
    // The application menu the original platform has at the menu bar's index 1, which Linux applications
    // lack: it holds the Services item, whose menu lists the application's own Services items and the
    // desktop services. The object of each is the application object.
    menuBarOfApplication, // the menu bar of an application that shows none
    applicationMenuItem,
    applicationMenu,
    servicesMenuItem,
    servicesMenu,
    desktopService, // one desktop service, named by the element's detail
};

class AtspiElement : public ax::Element {
public:
    AtspiElement(AtspiElementKind kind, GRef<AtspiAccessible> accessible, ProcessId pid,
                 std::string detail = {})
        : kind(kind), accessible(std::move(accessible)), pid(pid), detail(std::move(detail)) {}

    const AtspiElementKind kind;
    // object and menuOfMenu: the object; systemMenuItem: the menu bar (the application object for a menu
    // bar of menuBarOfApplication); application and the application menu's kinds: the application object.
    const GRef<AtspiAccessible> accessible;
    const ProcessId pid;
    const std::string detail; // desktopService: the service's name
    OwnWindowHit own;         // ownWidget and plainWindow only
};

// The kinds that stand on the application object, which an application without AT-SPI lacks.
bool standsOnTheApplication(AtspiElementKind kind);

inline const AtspiElement* atspiElementOf(const ax::ElementRef& element) {
    return dynamic_cast<const AtspiElement*>(element.get());
}

// One handle per (object, kind) while any handle lives: the core compares handles. Entries of handles
// that have gone are dropped as the cache grows.
class AtspiElementCache {
public:
    ax::ElementRef element(AtspiElementKind kind, AtspiAccessible* accessible, ProcessId pid,
                           const std::string& detail = {});
    // The application element of a process without an AT-SPI application (keys can still be posted to it,
    // and it has the application menu of desktop services).
    ax::ElementRef placeholderApplication(ProcessId pid);

private:
    void pruneIfLarge();

    using Key = std::tuple<AtspiAccessible*, ProcessId, AtspiElementKind, std::string>;
    std::map<Key, std::weak_ptr<const AtspiElement>> handles_;
    std::map<ProcessId, std::weak_ptr<const AtspiElement>> placeholders_;
    std::size_t pruneAt_ = 256;
};

} // namespace quoddle
