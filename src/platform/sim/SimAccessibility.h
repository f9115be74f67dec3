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
// it holds no state, so a handle outliving its element just fails with invalidElement.
class SimElement : public ax::Element {
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
    std::optional<ax::Role> role{};
    std::optional<std::string> title{};
    std::optional<std::string> description{};
    std::optional<Rect> frame{};
    std::vector<ax::Action> actions{};
    // Further attributes, listed in this order after role, title and description.
    std::vector<std::pair<ax::Attribute, ax::Value>> attributes{};
};

// A standard menu bar: item 0 the system menu, item 1 the application menu with its Services submenu.
struct SimMenuBar {
    ax::ElementRef menuBar;
    ax::ElementRef applicationMenu;
    ax::ElementRef servicesItem;
    ax::ElementRef servicesMenu;
    std::vector<ax::ElementRef> services;
};

struct SimAttributeRead {
    ax::ElementRef element;
    ax::Attribute attribute;
};
struct SimPerformedAction {
    ax::ElementRef element;
    ax::Action action;
};
// One key going down or up, as a key stroke posts it.
struct SimKeyEvent {
    ProcessId pid = -1;
    std::uint16_t virtualKey = 0;
    bool keyDown = false;
    friend bool operator==(const SimKeyEvent&, const SimKeyEvent&) = default;
};
struct SimRegistration {
    ProcessId observerPid = -1;
    ax::ElementRef element;
    ax::Notification notification;
    void* context = nullptr;
};

class SimAccessibility : public Accessibility {
public:
    SimAccessibility();
    ~SimAccessibility() override;
    SimAccessibility(const SimAccessibility&) = delete;
    SimAccessibility& operator=(const SimAccessibility&) = delete;

    // The port. While the service is disabled every element call fails with apiDisabled.
    bool isEnabled() const override { return enabled_; }
    ax::ElementRef systemWideElement() override { return systemWide_; }
    ax::ElementRef applicationElement(ProcessId pid) override;
    ax::Result<ax::ElementRef> elementAt(const ax::ElementRef& systemWide, float x, float y) override;
    ax::Result<ax::Value> attribute(const ax::ElementRef& element, ax::Attribute attribute) override;
    ax::Result<std::vector<ax::Attribute>> attributeNames(const ax::ElementRef& element) override;
    ax::Result<std::vector<ax::Action>> actionNames(const ax::ElementRef& element) override;
    ax::Error perform(const ax::ElementRef& element, ax::Action action) override;
    ax::Result<ProcessId> pid(const ax::ElementRef& element) override;
    // Records the stroke as the keys go: each modifier down, the key down and up, each modifier up.
    ax::Error postKeyStroke(const ax::ElementRef& application, const KeyStroke& stroke) override;
    ax::Result<ax::ObserverRef> createObserver(ProcessId pid, ax::ObserverCallback callback) override;

    // Building trees. Misuse (an unknown element or process) throws std::logic_error.
    ax::ElementRef addApplication(ProcessId pid, const std::string& name);
    // The application element of the process; null when it has none.
    ax::ElementRef application(ProcessId pid) const;
    // A window of the application (role window unless another is given), in front of every other.
    ax::ElementRef addWindow(ProcessId pid, SimElementInit init);
    ax::ElementRef add(const ax::ElementRef& parent, SimElementInit init);
    SimMenuBar addStandardMenuBar(ProcessId pid, const std::vector<std::string>& serviceTitles,
                                  const std::string& servicesTitle = "Services");
    // A menu under a menu (bar) item, with one item (press and cancel actions) per title.
    ax::ElementRef addMenu(const ax::ElementRef& item, const std::vector<std::string>& itemTitles);
    std::vector<ax::ElementRef> children(const ax::ElementRef& element) const;
    // Sets or replaces an attribute; also overrides the ones the tree provides (children, parent,
    // position, size), e.g. to build a cyclic parent chain.
    void setAttribute(const ax::ElementRef& element, ax::Attribute name, ax::Value value);
    // The attribute stays readable but is not among the element's attribute names.
    void hideAttributeName(const ax::ElementRef& element, ax::Attribute name);
    // Reading the attribute (listed all the same) fails with the error.
    void failAttribute(const ax::ElementRef& element, ax::Attribute name, ax::Error error);
    void failAttributeNames(const ax::ElementRef& element, ax::Error error);
    void failActionNames(const ax::ElementRef& element, ax::Error error);
    void setFrame(const ax::ElementRef& element, Rect frame);
    void raiseWindow(const ax::ElementRef& window);
    // The element and everything under it vanish; calls on their handles fail from then on.
    void remove(const ax::ElementRef& element);
    void quitApplication(ProcessId pid);
    void setAPIEnabled(bool enabled) { enabled_ = enabled; }
    // Points over Quoddle's own windows are answered by this, before any other window is hit (they are in
    // front, and a backend answers them in-process); it returns null where Quoddle has no window.
    using OwnWindowsHitTest = std::function<ax::ElementRef(double x, double y)>;
    void setOwnWindowsHitTest(OwnWindowsHitTest hitTest) { ownWindowsHitTest_ = std::move(hitTest); }
    void failObserverCreation(ProcessId pid, ax::Error error) { observerErrors_[pid] = error; }

    // Acting as the user or the application. Notifications reach the callback of every observer in the run
    // loop that registered the name on the element or on the element's application element, at once.
    void post(const ax::ElementRef& element, ax::Notification notification);
    // Focuses the element, unfocusing the application's previously focused one.
    void focus(const ax::ElementRef& element);
    void selectText(const ax::ElementRef& element, ax::RangeValue range);
    // A selection known only by its text-marker range, described as the platform prints it.
    void selectTextMarkers(const ax::ElementRef& element, const std::string& description);
    void openMenu(const ax::ElementRef& menu);
    // Highlights the item (null: none) in the open menu.
    void highlightMenuItem(const ax::ElementRef& menu, const ax::ElementRef& item);
    // Chooses the item, then closes every menu it sits in, innermost first.
    void chooseMenuItem(const ax::ElementRef& item);
    void closeMenu(const ax::ElementRef& menu);

    // What the core did, in order.
    const std::vector<SimAttributeRead>& attributeReads() const { return attributeReads_; }
    const std::vector<SimPerformedAction>& performedActions() const { return performedActions_; }
    const std::vector<SimKeyEvent>& keyEvents() const { return keyEvents_; }
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
        std::vector<std::pair<ax::Attribute, ax::Value>> attributes;
        std::set<ax::Attribute> hiddenNames;
        std::map<ax::Attribute, ax::Error> failingAttributes;
        std::optional<ax::Error> attributeNamesError;
        std::optional<ax::Error> actionNamesError;
        std::optional<Rect> frame;
        std::vector<ax::Action> actions;
    };

    ax::ElementRef newNode(ProcessId pid, std::optional<SimElementId> parent, SimElementInit init);
    // The element's node, or the error a call on the handle gets.
    ax::Result<Node*> resolve(const ax::ElementRef& element);
    // For the fixture calls: the node, or std::logic_error.
    Node& nodeOf(const ax::ElementRef& element);
    const Node& nodeOf(const ax::ElementRef& element) const;
    std::optional<ax::Value> attributeOf(const Node& node, ax::Attribute name) const;
    std::vector<ax::Attribute> attributeNamesOf(const Node& node) const;
    ax::ElementRef hitTest(SimElementId id, double x, double y) const;
    void eraseSubtree(SimElementId id);

    bool enabled_ = true;
    OwnWindowsHitTest ownWindowsHitTest_;
    SimElementId nextId_ = 1;
    std::shared_ptr<const SimElement> systemWide_;
    std::unordered_map<SimElementId, Node> nodes_;
    std::unordered_map<ProcessId, SimElementId> applications_;
    std::unordered_map<ProcessId, SimElementId> focused_;
    std::vector<SimElementId> windowStack_; // front-most first
    std::map<ProcessId, ax::Error> observerErrors_;
    std::vector<std::weak_ptr<SimObserver>> observers_;
    std::vector<SimAttributeRead> attributeReads_;
    std::vector<SimPerformedAction> performedActions_;
    std::vector<SimKeyEvent> keyEvents_;
    int callCount_ = 0;
};

// An observer of one process. It may outlive the service (the observer tables are process-wide); it then
// refuses every call and is never called back.
class SimObserver : public ax::Observer, public std::enable_shared_from_this<SimObserver> {
public:
    SimObserver(SimAccessibility* service, ProcessId pid, ax::ObserverCallback callback)
        : service_(service), pid_(pid), callback_(callback) {}
    ax::Error addNotification(const ax::ElementRef& element, ax::Notification notification,
                              void* context) override;
    ax::Error removeNotification(const ax::ElementRef& element, ax::Notification notification) override;
    void addToRunLoop() override { inRunLoop_ = true; }

    ProcessId pid() const { return pid_; }
    bool inRunLoop() const { return inRunLoop_; }

private:
    friend class SimAccessibility;
    struct Registration {
        SimElementId id;
        ax::ElementRef element;
        ax::Notification notification;
        void* context;
    };

    SimAccessibility* service_;
    ProcessId pid_;
    ax::ObserverCallback callback_;
    bool inRunLoop_ = false;
    std::vector<Registration> registrations_;
};

} // namespace quoddle
