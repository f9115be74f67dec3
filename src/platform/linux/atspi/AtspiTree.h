#pragma once
// Other applications' AT-SPI trees as the core sees them: roles, titles, children and parents in the core's
// vocabulary, with both toolkits' menus normalised to menu bar → menu-bar item → menu → item, and the
// menu bar's item 0 a system-menu slot so that an application's first menu stands at index 1, where the
// core looks for the application menu. How each kind of element answers is in ElementPresentations.
//
// Every AT-SPI call here is bounded by the library's time-out (set at start-up). An application whose call
// runs into that time-out is left alone for a while: calls on its elements then fail at once, so one hung
// application costs one time-out, not one per call. A person's press ends that pause, since the press and
// the buttons it leads to are worth one time-out: an application that was only slow (Firefox building its
// menus) is then served in full.

#include "platform/Accessibility.h"
#include "platform/linux/atspi/AtspiElement.h"

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
    using Log = std::function<void(const std::string& line)>;

    AtspiTree(ProcessId ownPid, ApplicationOfPid applicationOfPid, std::chrono::milliseconds callTimeout,
              Log log);

    // Ends every application's pause after a time-out (at a press of the left button).
    void askAgainAfterAPress();

    // Handles.
    ax::ElementRef applicationElement(ProcessId pid);
    // The handle of an object as the core sees it (kind object, or application for an application object).
    ax::ElementRef objectElement(AtspiAccessible* object);
    ax::ElementRef objectElement(AtspiAccessible* object, ProcessId pid);
    // The handle that stands for a menu: a GTK menu object's menu view, a Qt popup menu itself.
    ax::ElementRef menuElement(AtspiAccessible* menu);
    ax::ElementRef systemWideElement() { return systemWide_; }
    ax::ElementRef ownWidgetElement(const OwnWindowHit& hit);
    // The element standing for another application's X window (kind plainWindow).
    ax::ElementRef plainWindowElement(ProcessId pid, const OwnWindowHit& window);
    // Whether the element carries text the tree can read.
    bool hasText(const AtspiElement& element);
    ax::ElementRef element(AtspiElementKind kind, AtspiAccessible* accessible, ProcessId pid,
                           const std::string& detail = {}) {
        return cache_.element(kind, accessible, pid, detail);
    }

    // The port's element operations, as the element's kind answers them.
    ax::Result<ax::Value> attribute(const AtspiElement& element, ax::Attribute name);
    ax::Result<std::vector<ax::Attribute>> attributeNames(const AtspiElement& element);
    ax::Result<std::vector<ax::Action>> actionNames(const AtspiElement& element);
    ax::Error press(const AtspiElement& element);
    ax::Result<ProcessId> pid(const AtspiElement& element);
    std::optional<std::vector<ax::ElementRef>> presentedChildren(const AtspiElement& element);

    // The deepest element at a point (screen coordinates) inside the application's windows, then up to
    // the nearest ancestor that carries text when the deepest does not (a Qt text edit's viewport). The X
    // window under the point places the windows of a toolkit that answers in window coordinates.
    ax::Result<ax::ElementRef> elementAtPoint(ProcessId pid, int x, int y, const Rect& xWindow);

    // The selected text of an element with the text interface, read now: only when a button needs it, and
    // never kept. None when the element has no text interface or nothing is selected.
    std::optional<std::string> selectedText(const AtspiElement& element);
    // Whether the element says it can be edited (a paste may replace its selection).
    bool isEditable(const AtspiElement& element);
    // The screen point at the bottom right of the selection's last character; none when nothing is
    // selected or the toolkit gives no place for it. Offsets and places only: the text is not read.
    std::optional<Point> selectionEndPoint(const AtspiElement& element);
    // Edits the element's text where its selection is (at its caret when none): deletes what is selected,
    // then inserts the text when there is one. False when it has no editable text or refuses.
    bool replaceSelection(const AtspiElement& element, const std::string& text);
    // Where the compositor shows the process's window (on Wayland, where toolkits answer in window
    // coordinates): the process's extents are moved by it from now on.
    void setWindowOrigin(ProcessId pid, Point origin) { windowOffsets_[pid] = origin; }

    // What the application menu's Services item lists (see AtspiElementKind). Without a source, it
    // lists the application's own Services items only.
    struct ServicesMenuSource {
        std::string servicesTitle; // the title of the Services item the tree presents
        // The titles under which an application's own Services item may stand in its menus.
        std::function<std::vector<std::string>()> servicesItemTitles;
        // The desktop services' names, in the menu's order.
        std::function<std::vector<std::string>()> desktopServiceNames;
        // Runs the desktop service of that name on the selection in the application of the process.
        std::function<ax::Error(ProcessId, const std::string& name)> pressDesktopService;
    };
    void setServicesMenuSource(ServicesMenuSource source) { servicesSource_ = std::move(source); }
    const ServicesMenuSource& servicesMenuSource() const { return servicesSource_; }

    // Who answers the selected children of a menu (the menu-choice inference, which follows the highlight).
    using SelectedChildrenOfMenu = std::function<std::vector<ax::ElementRef>(const ax::ElementRef& menu)>;
    void setSelectedChildrenOfMenu(SelectedChildrenOfMenu provider) {
        selectedChildren_ = std::move(provider);
    }
    std::vector<ax::ElementRef> selectedChildrenOf(const ax::ElementRef& menu) const {
        return selectedChildren_ ? selectedChildren_(menu) : std::vector<ax::ElementRef>{};
    }

    // Reading objects, for the presentations and the event routing. Each answers none on a failed call.
    std::optional<AtspiRole> roleOf(AtspiAccessible* object);
    GRef<AtspiAccessible> parentOf(AtspiAccessible* object);
    std::optional<std::vector<GRef<AtspiAccessible>>> childrenOf(AtspiAccessible* object);
    // The element's title, trimmed (toolkits pad menu labels with blanks).
    std::optional<std::string> title(AtspiAccessible* object);
    std::optional<Rect> extents(AtspiAccessible* object);
    bool hasState(AtspiAccessible* object, AtspiStateType state);
    // The item's mnemonic letter, from its key binding (mnemonicOfKeyBinding).
    std::optional<std::string> mnemonic(AtspiAccessible* item);
    // The menu bar of an application's windows, the active window's first.
    GRef<AtspiAccessible> findMenuBar(AtspiAccessible* application);
    // The items of a menu in either toolkit's shape (GTK menu, Qt item with its popup, popup menu).
    std::optional<std::vector<GRef<AtspiAccessible>>> menuItemsOf(AtspiAccessible* menu);
    // The items of the application's own Services menu, wherever in its menus it stands.
    std::vector<GRef<AtspiAccessible>> ownServicesItems(AtspiAccessible* application);

private:
    friend class AtspiCall;
    bool isUnresponsive(ProcessId pid);
    void noteCall(ProcessId pid, const char* operation, Clock::duration took, bool failed);
    // The showing child (or, `levels` deep, grandchild) whose extents hold the point.
    GRef<AtspiAccessible> showingChildAt(AtspiAccessible* parent, int x, int y, int levels,
                                         bool windowRelative);
    // GTK 4 gives window coordinates where screen coordinates are asked for (and no stacking among its
    // windows either): its extents are moved by where its window was last found on the screen.
    bool answersInWindowCoordinates(ProcessId pid);
    // Finds which of the application's windows is the X window (its client-side decoration draws a margin
    // of the same width on every side, which the toolkit's window leaves out) and where it starts.
    void placeWindowAt(ProcessId pid, const std::vector<GRef<AtspiAccessible>>& windows, const Rect& xWindow);
    std::optional<Point> windowOffsetOf(AtspiAccessible* object);

    ProcessId ownPid_;
    ApplicationOfPid applicationOfPid_;
    std::chrono::milliseconds callTimeout_;
    Log log_;
    AtspiElementCache cache_;
    ax::ElementRef systemWide_;
    std::shared_ptr<const AtspiElement> lastOwnWidget_;
    std::shared_ptr<const AtspiElement> lastPlainWindow_;
    SelectedChildrenOfMenu selectedChildren_;
    ServicesMenuSource servicesSource_;
    std::map<ProcessId, Clock::time_point> unresponsiveUntil_;
    std::map<ProcessId, bool> windowRelative_;
    std::map<ProcessId, Point> windowOffsets_;
};

} // namespace quoddle
