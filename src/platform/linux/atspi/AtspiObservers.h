#pragma once
// Accessibility observers over AT-SPI events. AT-SPI listeners are global, so each event kind is
// registered once; an event is copied into a queue by the listener (libatspi may call listeners from inside
// a blocking call, re-entrantly) and handled on a later pass of the main loop: routed by the source's
// process to that application's observers, in the core's vocabulary.
//
// Event mapping:
//   object:text-selection-changed,
//   object:text-caret-moved                  → selectedTextChanged on the text element
//   the menu events of AtspiMenuEvents.h, with the input that closed the menus → menuOpened,
//   selectedChildrenChanged, menuItemSelected, menuClosed (MenuChoiceInference)
//   object:children-changed on the desktop    → the set of applications changed

#include "platform/Accessibility.h"
#include "platform/RunLoop.h"
#include "platform/linux/atspi/AtspiTree.h"
#include "platform/linux/atspi/MenuChoiceInference.h"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quoddle {

class AtspiObserver : public ax::Observer {
public:
    AtspiObserver(ProcessId pid, ax::ObserverCallback callback) : pid_(pid), callback_(callback) {}
    ax::Error addNotification(const ax::ElementRef& element, ax::Notification notification,
                              void* context) override;
    ax::Error removeNotification(const ax::ElementRef& element, ax::Notification notification) override;
    void addToRunLoop() override { inRunLoop_ = true; }

    ProcessId pid() const { return pid_; }
    // Calls back for every registration of the name on the element or on the application element.
    void notify(const std::shared_ptr<AtspiObserver>& self, const ax::ElementRef& element,
                const ax::ElementRef& applicationElement, ax::Notification notification);

private:
    struct Registration {
        ax::ElementRef element;
        ax::Notification notification;
        void* context;
    };
    ProcessId pid_;
    ax::ObserverCallback callback_;
    bool inRunLoop_ = false;
    std::vector<Registration> registrations_;
};

class AtspiEventHub {
public:
    // Waits for input the monitor has not yet handed over, and hands it to `menuInput` first.
    using DrainInput = std::function<void()>;

    AtspiEventHub(AtspiTree& tree, RunLoop& runLoop, ProcessId ownPid, DrainInput drainInput);
    ~AtspiEventHub();
    AtspiEventHub(const AtspiEventHub&) = delete;
    AtspiEventHub& operator=(const AtspiEventHub&) = delete;

    ax::Result<ax::ObserverRef> createObserver(ProcessId pid, ax::ObserverCallback callback);
    // Input that may close menus, from the input monitor.
    void menuInput(const MenuInput& input);
    // Input only the application's menus may have had (where the compositor tells the button over its
    // windows), and whether it has menus open.
    void menuInputOf(ProcessId pid, const MenuInput& input) { menusOf(pid).input(input); }
    bool menusOpen(ProcessId pid) const {
        auto found = menus_.find(pid);
        return found != menus_.end() && found->second->anyOpen();
    }
    // Told when a menu of the application opens.
    void setMenuShownHandler(std::function<void(ProcessId)> handler) { menuShown_ = std::move(handler); }
    // Quoddle's own press of a menu item is recorded by the palette: the toolkit's answer to it is not a
    // choice of the user's.
    void ownPressStarted(ProcessId pid);
    // Reports selectedTextChanged for a text element shortly after now, for widgets that do not report
    // every selection of theirs. After a drag (the press and the release apart) the selection it made is
    // there to read at once: then also right after the release's own handling, within the frame.
    void selectionMayHaveChanged(const ax::ElementRef& element, bool dragged);
    // Reports a selection change of the element now (one the application itself does not report).
    void reportSelection(ProcessId pid, const ax::ElementRef& element) {
        deliver(pid, ax::Notification::selectedTextChanged, element);
    }
    void setApplicationsChangedHandler(std::function<void()> handler) {
        applicationsChanged_ = std::move(handler);
    }
    // Told of each selection change an application reports, before the observers are.
    void setSelectionReportHandler(std::function<void(const ax::ElementRef&)> handler) {
        selectionReported_ = std::move(handler);
    }

private:
    struct QueuedEvent {
        std::string type;
        GRef<AtspiAccessible> source;
        int detail1 = 0;
    };
    static void onEvent(AtspiEvent* event, void* self);
    void drain();
    void handle(const QueuedEvent& event);
    void handleMenuEvent(const QueuedEvent& event, AtspiRole role, ProcessId pid);
    MenuChoiceInference& menusOf(ProcessId pid);
    void deliver(ProcessId pid, ax::Notification notification, const ax::ElementRef& element);

    AtspiTree& tree_;
    RunLoop& runLoop_;
    ProcessId ownPid_;
    DrainInput drainInput_;
    std::vector<GRef<AtspiEventListener>> listeners_;
    std::deque<QueuedEvent> queue_;
    bool drainQueued_ = false;
    std::vector<std::weak_ptr<AtspiObserver>> observers_;
    std::map<ProcessId, std::unique_ptr<MenuChoiceInference>> menus_;
    std::map<ProcessId, std::chrono::steady_clock::time_point> ignoreMenusUntil_;
    std::function<void()> applicationsChanged_;
    std::function<void(const ax::ElementRef&)> selectionReported_;
    std::function<void(ProcessId)> menuShown_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace quoddle
