#pragma once
// Other applications' AT-SPI trees as the core sees them: roles, titles, children and parents in the core's
// vocabulary, with both toolkits' menus normalised to menu bar → menu-bar item → menu → item, and the
// menu bar's item 0 a system-menu slot so that an application's first menu stands at index 1, where the
// core looks for the application menu.
//
// Every AT-SPI call here is bounded by the library's time-out (set at start-up). An application whose call
// runs into that time-out is left alone for a while: calls on its elements then fail at once, so one hung
// application costs one time-out, not one per call.

#include "platform/Accessibility.h"
#include "platform/linux/AtspiElement.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quoddle {

class AtspiTree {
public:
    using Clock = std::chrono::steady_clock;
    // The AT-SPI application object of a process, or null (not registered, or this process).
    using ApplicationOfPid = std::function<GRef<AtspiAccessible>(ProcessId)>;

    AtspiTree(ProcessId ownPid, ApplicationOfPid applicationOfPid, std::chrono::milliseconds callTimeout);

    // Handles.
    AXUIElementRef applicationElement(ProcessId pid);
    // The handle of an object as the core sees it (kind object).
    AXUIElementRef objectElement(AtspiAccessible* object);
    // The handle that stands for a menu: a GTK menu object's menu view, a Qt popup menu itself.
    AXUIElementRef menuElement(AtspiAccessible* menu);
    AXUIElementRef systemWideElement() { return systemWide_; }
    AXUIElementRef ownWidgetElement(const OwnWindowHit& hit);

    // Attributes. Every result follows the port: an error code, or the value.
    AXResult<AXAttributeValue> attribute(const AtspiElement& element, const std::string& name);
    AXResult<std::vector<std::string>> attributeNames(const AtspiElement& element);
    AXResult<std::vector<std::string>> actionNames(const AtspiElement& element);
    // Runs the element's activating action, whatever the toolkit calls it ("click", "Press", ...).
    AXError press(const AtspiElement& element);
    AXResult<ProcessId> pid(const AtspiElement& element);

    // The deepest element at a point (screen coordinates) inside the application's windows, then up to
    // the nearest ancestor that carries text when the deepest does not (a Qt text edit's viewport).
    AXResult<AXUIElementRef> elementAtPoint(ProcessId pid, int x, int y);

    // Presentation, also used by the event routing.
    std::string presentedRole(const AtspiElement& element);
    std::optional<std::vector<AXUIElementRef>> presentedChildren(const AtspiElement& element);
    AXUIElementRef presentedParent(const AtspiElement& element);
    // The element's title, trimmed (toolkits pad menu labels with blanks).
    std::optional<std::string> title(AtspiAccessible* object);
    std::optional<Rect> extents(AtspiAccessible* object);
    bool hasState(AtspiAccessible* object, AtspiStateType state);
    // The item's mnemonic letter, from its key binding (mnemonicOfKeyBinding).
    std::optional<std::string> mnemonic(AtspiAccessible* item);

    // What the application menu's Services item lists (see AtspiElementKind). Without a source, it
    // lists the application's own Services items only.
    struct ServicesMenuSource {
        std::string servicesTitle; // the title of the Services item the tree presents
        // The titles under which an application's own Services item may stand in its menus.
        std::function<std::vector<std::string>()> servicesItemTitles;
        // The desktop services' names, in the menu's order.
        std::function<std::vector<std::string>()> desktopServiceNames;
        // Runs the desktop service of that name on the selection in the application of the process.
        std::function<AXError(ProcessId, const std::string& name)> pressDesktopService;
    };
    void setServicesMenuSource(ServicesMenuSource source) { servicesSource_ = std::move(source); }

    // The selected text of an element with the text interface, read now: only when a desktop service
    // needs it, and never kept. None when the element has no text interface or nothing is selected.
    std::optional<std::string> selectedText(const AtspiElement& element);
    // Whether the element says it can be edited (a paste may replace its selection).
    bool isEditable(const AtspiElement& element);

    // Who answers AXSelectedChildren of a menu (the menu-choice inference, which follows the highlight).
    using SelectedChildrenOfMenu = std::function<std::vector<AXUIElementRef>(const AXUIElementRef& menu)>;
    void setSelectedChildrenOfMenu(SelectedChildrenOfMenu provider) {
        selectedChildren_ = std::move(provider);
    }

private:
    friend class AtspiCall;
    bool isUnresponsive(ProcessId pid);
    void noteCall(ProcessId pid, Clock::duration took, bool failed);

    std::optional<AtspiRole> roleOf(AtspiAccessible* object);
    GRef<AtspiAccessible> parentOf(AtspiAccessible* object);
    std::optional<std::vector<GRef<AtspiAccessible>>> childrenOf(AtspiAccessible* object);
    GRef<AtspiAccessible> findMenuBar(AtspiAccessible* application);
    // The showing child (or, `levels` deep, grandchild) whose extents hold the point.
    GRef<AtspiAccessible> showingChildAt(AtspiAccessible* parent, int x, int y, int levels);
    AXUIElementRef presentedObject(AtspiAccessible* object, ProcessId pid);

    // The application menu and its Services menu (AtspiServicesMenu.cpp).
    static bool isApplicationMenuKind(AtspiElementKind kind);
    AXUIElementRef applicationMenuElement(AtspiElementKind kind, const AtspiElement& of,
                                          const std::string& detail = {});
    std::string applicationMenuRole(const AtspiElement& element);
    std::optional<std::vector<AXUIElementRef>> applicationMenuChildren(const AtspiElement& element);
    AXUIElementRef applicationMenuParent(const AtspiElement& element);
    AXResult<AXAttributeValue> applicationMenuAttribute(const AtspiElement& element, const std::string& name);
    // The items of the application's own Services menu, wherever in its menus it stands.
    std::vector<GRef<AtspiAccessible>> ownServicesItems(AtspiAccessible* application);
    // The items of a menu in either toolkit's shape (GTK menu, Qt item with its popup, popup menu).
    std::optional<std::vector<GRef<AtspiAccessible>>> menuItemsOf(AtspiAccessible* menu);

    ProcessId ownPid_;
    ApplicationOfPid applicationOfPid_;
    std::chrono::milliseconds callTimeout_;
    AtspiElementCache cache_;
    AXUIElementRef systemWide_;
    std::shared_ptr<const AtspiElement> lastOwnWidget_;
    SelectedChildrenOfMenu selectedChildren_;
    ServicesMenuSource servicesSource_;
    std::map<ProcessId, Clock::time_point> unresponsiveUntil_;
};

} // namespace quoddle
