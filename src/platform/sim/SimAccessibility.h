#pragma once
// The simulated accessibility service: applications with element trees, menu bars with Services menus,
// windows in stacking order for hit testing, observers and keyboard events. Besides the port it offers
// calls that build trees, inject failures, act as the user would, and read back what the core did.

#include "platform/Accessibility.h"
#include "platform/Geometry.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quoddle {

class SimObserver;
using SimElementId = std::uint64_t;

// The handle of a simulated element. Every element has exactly one, so handles compare equal as pointers;
// it holds no state, so a handle outliving its element just fails with kAXErrorInvalidUIElement.
class SimElement : public AXUIElementData {
public:
    SimElement(const void* owner, SimElementId id, ProcessId pid) : owner_(owner), id_(id), pid_(pid) {}
    const void* owner() const { return owner_; }
    // 0 for an application element made for a process that had no accessibility tree at the time.
    SimElementId id() const { return id_; }
    ProcessId pid() const { return pid_; }

private:
    const void* owner_;
    SimElementId id_;
    ProcessId pid_;
};

// What a new element carries. Position and size come from the frame, in event coordinates (origin at the
// top-left of the first screen), and only elements with a frame can be hit.
struct SimElementInit {
    std::string role{};
    std::optional<std::string> title{};
    std::optional<std::string> description{};
    std::optional<Rect> frame{};
    std::vector<std::string> actions{};
    // Further attributes, listed in this order after role, title and description.
    std::vector<std::pair<std::string, AXAttributeValue>> attributes{};
};

// A standard menu bar: item 0 the system menu, item 1 the application menu with its Services submenu.
struct SimMenuBar {
    AXUIElementRef menuBar;
    AXUIElementRef applicationMenu;
    AXUIElementRef servicesItem;
    AXUIElementRef servicesMenu;
    std::vector<AXUIElementRef> services;
};

struct SimAttributeRead {
    AXUIElementRef element;
    std::string attribute;
};
struct SimPerformedAction {
    AXUIElementRef element;
    std::string action;
};
struct SimKeyboardEvent {
    ProcessId pid = -1; // -1 for an event posted through the system-wide element
    char16_t character = 0;
    std::uint16_t virtualKey = 0;
    bool keyDown = false;
    friend bool operator==(const SimKeyboardEvent&, const SimKeyboardEvent&) = default;
};
struct SimRegistration {
    ProcessId observerPid = -1;
    AXUIElementRef element;
    std::string notification;
    const void* context = nullptr;
};

class SimAccessibility : public Accessibility {
public:
    SimAccessibility();
    ~SimAccessibility() override;
    SimAccessibility(const SimAccessibility&) = delete;
    SimAccessibility& operator=(const SimAccessibility&) = delete;

    // The port. While the service is disabled every element call fails with kAXErrorAPIDisabled.
    bool isAPIEnabled() const override { return enabled_; }
    AXUIElementRef createSystemWide() override { return systemWide_; }
    AXUIElementRef createApplication(ProcessId pid) override;
    AXResult<AXUIElementRef> copyElementAtPosition(const AXUIElementRef& systemWide, float x,
                                                   float y) override;
    AXResult<AXAttributeValue> copyAttributeValue(const AXUIElementRef& element,
                                                  const std::string& attribute) override;
    AXResult<std::vector<std::string>> copyAttributeNames(const AXUIElementRef& element) override;
    AXResult<std::vector<std::string>> copyActionNames(const AXUIElementRef& element) override;
    AXError performAction(const AXUIElementRef& element, const std::string& action) override;
    AXResult<ProcessId> getPid(const AXUIElementRef& element) override;
    AXError postKeyboardEvent(const AXUIElementRef& application, char16_t character, std::uint16_t virtualKey,
                              bool keyDown) override;
    AXResult<AXObserverRef> createObserver(ProcessId pid, AXObserverCallback callback) override;

    // Building trees. Misuse (an unknown element or process) throws std::logic_error.
    AXUIElementRef addApplication(ProcessId pid, const std::string& name);
    // The application element of the process; null when it has none.
    AXUIElementRef application(ProcessId pid) const;
    // A window of the application (role "AXWindow" unless another is given), in front of every other.
    AXUIElementRef addWindow(ProcessId pid, SimElementInit init);
    AXUIElementRef add(const AXUIElementRef& parent, SimElementInit init);
    SimMenuBar addStandardMenuBar(ProcessId pid, const std::vector<std::string>& serviceTitles,
                                  const std::string& servicesTitle = "Services");
    // A menu under a menu (bar) item, with one item (press and cancel actions) per title.
    AXUIElementRef addMenu(const AXUIElementRef& item, const std::vector<std::string>& itemTitles);
    std::vector<AXUIElementRef> children(const AXUIElementRef& element) const;
    // Sets or replaces an attribute; also overrides the ones the tree provides ("AXChildren", "AXParent",
    // "AXPosition", "AXSize"), e.g. to build a cyclic parent chain.
    void setAttribute(const AXUIElementRef& element, const std::string& name, AXAttributeValue value);
    // The attribute stays readable but is not among the element's attribute names.
    void hideAttributeName(const AXUIElementRef& element, const std::string& name);
    // Reading the attribute (listed all the same) fails with the error.
    void failAttribute(const AXUIElementRef& element, const std::string& name, AXError error);
    void failAttributeNames(const AXUIElementRef& element, AXError error);
    void failActionNames(const AXUIElementRef& element, AXError error);
    void setFrame(const AXUIElementRef& element, Rect frame);
    void raiseWindow(const AXUIElementRef& window);
    // The element and everything under it vanish; calls on their handles fail from then on.
    void remove(const AXUIElementRef& element);
    void quitApplication(ProcessId pid);
    void setAPIEnabled(bool enabled) { enabled_ = enabled; }
    // Points over Quoddle's own windows are answered by this, before any other window is hit (they are in
    // front, and a backend answers them in-process); it returns null where Quoddle has no window.
    using OwnWindowsHitTest = std::function<AXUIElementRef(double x, double y)>;
    void setOwnWindowsHitTest(OwnWindowsHitTest hitTest) { ownWindowsHitTest_ = std::move(hitTest); }
    void failObserverCreation(ProcessId pid, AXError error) { observerErrors_[pid] = error; }

    // Acting as the user or the application. Notifications reach the callback of every observer in the run
    // loop that registered the name on the element or on the element's application element, at once.
    void post(const AXUIElementRef& element, const std::string& notification);
    // Focuses the element, unfocusing the application's previously focused one.
    void focus(const AXUIElementRef& element);
    void selectText(const AXUIElementRef& element, AXRangeValue range);
    // A selection known only by its text-marker range, described as the platform prints it.
    void selectTextMarkers(const AXUIElementRef& element, const std::string& description);
    void openMenu(const AXUIElementRef& menu);
    // Highlights the item (null: none) in the open menu.
    void highlightMenuItem(const AXUIElementRef& menu, const AXUIElementRef& item);
    // Chooses the item, then closes every menu it sits in, innermost first.
    void chooseMenuItem(const AXUIElementRef& item);
    void closeMenu(const AXUIElementRef& menu);

    // What the core did, in order.
    const std::vector<SimAttributeRead>& attributeReads() const { return attributeReads_; }
    const std::vector<SimPerformedAction>& performedActions() const { return performedActions_; }
    const std::vector<SimKeyboardEvent>& keyboardEvents() const { return keyboardEvents_; }
    // The registrations of the observers still alive, per observer in the order made.
    std::vector<SimRegistration> registrations() const;
    // Every port call so far except isAPIEnabled and the two create calls.
    int callCount() const { return callCount_; }
    void clearRecords();

private:
    friend class SimObserver;
    struct Node {
        std::shared_ptr<const SimElement> handle;
        std::optional<SimElementId> parent;
        std::vector<SimElementId> children;
        std::vector<std::pair<std::string, AXAttributeValue>> attributes;
        std::set<std::string> hiddenNames;
        std::map<std::string, AXError> failingAttributes;
        std::optional<AXError> attributeNamesError;
        std::optional<AXError> actionNamesError;
        std::optional<Rect> frame;
        std::vector<std::string> actions;
    };

    AXUIElementRef newNode(ProcessId pid, std::optional<SimElementId> parent, SimElementInit init);
    // The element's node, or the error a call on the handle gets.
    AXResult<Node*> resolve(const AXUIElementRef& element);
    // For the fixture calls: the node, or std::logic_error.
    Node& nodeOf(const AXUIElementRef& element);
    const Node& nodeOf(const AXUIElementRef& element) const;
    std::optional<AXAttributeValue> attributeOf(const Node& node, const std::string& name) const;
    std::vector<std::string> attributeNamesOf(const Node& node) const;
    AXUIElementRef hitTest(SimElementId id, double x, double y) const;
    void eraseSubtree(SimElementId id);

    bool enabled_ = true;
    OwnWindowsHitTest ownWindowsHitTest_;
    SimElementId nextId_ = 1;
    std::shared_ptr<const SimElement> systemWide_;
    std::unordered_map<SimElementId, Node> nodes_;
    std::unordered_map<ProcessId, SimElementId> applications_;
    std::unordered_map<ProcessId, SimElementId> focused_;
    std::vector<SimElementId> windowStack_; // front-most first
    std::map<ProcessId, AXError> observerErrors_;
    std::vector<std::weak_ptr<SimObserver>> observers_;
    std::vector<SimAttributeRead> attributeReads_;
    std::vector<SimPerformedAction> performedActions_;
    std::vector<SimKeyboardEvent> keyboardEvents_;
    int callCount_ = 0;
};

// An observer of one process. It may outlive the service (the observer tables are process-wide); it then
// refuses every call and is never called back.
class SimObserver : public AXObserver, public std::enable_shared_from_this<SimObserver> {
public:
    SimObserver(SimAccessibility* service, ProcessId pid, AXObserverCallback callback)
        : service_(service), pid_(pid), callback_(callback) {}
    AXError addNotification(const AXUIElementRef& element, const std::string& notification,
                            const void* context) override;
    AXError removeNotification(const AXUIElementRef& element, const std::string& notification) override;
    void addToRunLoop() override { inRunLoop_ = true; }

    ProcessId pid() const { return pid_; }
    bool inRunLoop() const { return inRunLoop_; }

private:
    friend class SimAccessibility;
    struct Registration {
        SimElementId id;
        AXUIElementRef element;
        std::string notification;
        const void* context;
    };

    SimAccessibility* service_;
    ProcessId pid_;
    AXObserverCallback callback_;
    bool inRunLoop_ = false;
    std::vector<Registration> registrations_;
};

} // namespace quoddle
