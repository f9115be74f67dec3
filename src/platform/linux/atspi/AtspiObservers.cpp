#include "platform/linux/atspi/AtspiObservers.h"

#include "platform/linux/atspi/AtspiMenuEvents.h"

#include <algorithm>

namespace quoddle {

namespace {

const char* const kEventTypes[] = {
    "object:text-selection-changed", "object:text-caret-moved",      "object:state-changed:selected",
    "object:state-changed:showing",  "object:state-changed:focused", "object:children-changed",
};

constexpr std::size_t kMaxMenuItemsMeasured = 64;
constexpr std::chrono::milliseconds kAfterRelease{30};
// A press of Quoddle's own makes GTK highlight the item briefly; that is not the user at a menu.
constexpr std::chrono::milliseconds kOwnPressQuiet{500};

} // namespace

// --- Observers ---------------------------------------------------------------------------------------------

ax::Error AtspiObserver::addNotification(const ax::ElementRef& element, ax::Notification notification,
                                         void* context) {
    if (!element) return ax::Error::illegalArgument;
    for (const Registration& r : registrations_)
        if (r.element == element && r.notification == notification) return ax::Error::success;
    registrations_.push_back({element, notification, context});
    return ax::Error::success;
}

ax::Error AtspiObserver::removeNotification(const ax::ElementRef& element, ax::Notification notification) {
    const auto removed = std::erase_if(registrations_, [&](const Registration& r) {
        return r.element == element && r.notification == notification;
    });
    return removed ? ax::Error::success : ax::Error::notificationUnsupported;
}

void AtspiObserver::notify(const std::shared_ptr<AtspiObserver>& self, const ax::ElementRef& element,
                           const ax::ElementRef& applicationElement, ax::Notification notification) {
    if (!inRunLoop_) return;
    // The callback may change the registrations (a menu registers on open, withdraws on close).
    const std::vector<Registration> registrations = registrations_;
    for (const Registration& r : registrations)
        if (r.notification == notification && (r.element == element || r.element == applicationElement))
            callback_(self, element, notification, r.context);
}

// --- The hub -----------------------------------------------------------------------------------------------

AtspiEventHub::AtspiEventHub(AtspiTree& tree, RunLoop& runLoop, ProcessId ownPid, DrainInput drainInput)
    : tree_(tree), runLoop_(runLoop), ownPid_(ownPid), drainInput_(std::move(drainInput)) {
    tree_.setSelectedChildrenOfMenu([this](const ax::ElementRef& menu) -> std::vector<ax::ElementRef> {
        const AtspiElement* element = atspiElementOf(menu);
        if (!element) return {};
        auto it = menus_.find(element->pid);
        return it == menus_.end() ? std::vector<ax::ElementRef>{} : it->second->selectedChildren(menu);
    });
    for (const char* type : kEventTypes) {
        auto listener =
            GRef<AtspiEventListener>::adopt(atspi_event_listener_new(&AtspiEventHub::onEvent, this, nullptr));
        GErrorSlot error;
        if (atspi_event_listener_register(listener.get(), type, error.out()))
            listeners_.push_back(std::move(listener));
    }
}

AtspiEventHub::~AtspiEventHub() {
    *alive_ = false;
    for (auto& listener : listeners_) {
        for (const char* type : kEventTypes) {
            GErrorSlot error;
            atspi_event_listener_deregister(listener.get(), type, error.out());
        }
    }
    tree_.setSelectedChildrenOfMenu(nullptr);
}

void AtspiEventHub::onEvent(AtspiEvent* event, void* self) {
    // Called by libatspi, possibly from inside a blocking call of ours: copy and queue, nothing else.
    auto* hub = static_cast<AtspiEventHub*>(self);
    if (event->source && event->type)
        hub->queue_.push_back({event->type, GRef<AtspiAccessible>::retain(event->source), event->detail1});
    g_boxed_free(ATSPI_TYPE_EVENT, event);
    if (hub->drainQueued_) return;
    hub->drainQueued_ = true;
    hub->runLoop_.post([hub, alive = std::weak_ptr<bool>(hub->alive_)] {
        if (auto stillAlive = alive.lock(); stillAlive && *stillAlive) hub->drain();
    });
}

namespace {

bool reportsSelection(const std::string& type) {
    // A GTK entry reports a drag's selection only as caret moves; the core reads the range either way.
    return type == "object:text-selection-changed" || type == "object:text-caret-moved";
}

} // namespace

void AtspiEventHub::drain() {
    drainQueued_ = false;
    // Handling an event calls AT-SPI, which may queue more events: they are handled in this same pass.
    while (!queue_.empty()) {
        QueuedEvent event = std::move(queue_.front());
        queue_.pop_front();
        // The core reads the selection as it is now, so of a burst (an application behind a drag reports
        // every step) only the last report of each element is worth its round trips.
        const bool reportedAgain =
            reportsSelection(event.type) &&
            std::any_of(queue_.begin(), queue_.end(), [&](const QueuedEvent& later) {
                return later.source.get() == event.source.get() && reportsSelection(later.type);
            });
        if (!reportedAgain) handle(event);
    }
}

ax::Result<ax::ObserverRef> AtspiEventHub::createObserver(ProcessId pid, ax::ObserverCallback callback) {
    if (!callback || pid <= 0) return {ax::Error::illegalArgument};
    auto observer = std::make_shared<AtspiObserver>(pid, callback);
    std::erase_if(observers_, [](const std::weak_ptr<AtspiObserver>& o) { return o.expired(); });
    observers_.push_back(observer);
    return {ax::Error::success, observer};
}

void AtspiEventHub::deliver(ProcessId pid, ax::Notification notification, const ax::ElementRef& element) {
    if (!element) return;
    const ax::ElementRef applicationElement = tree_.applicationElement(pid);
    const std::vector<std::weak_ptr<AtspiObserver>> observers = observers_;
    for (const auto& weak : observers)
        if (auto observer = weak.lock(); observer && observer->pid() == pid)
            observer->notify(observer, element, applicationElement, notification);
}

void AtspiEventHub::handle(const QueuedEvent& event) {
    AtspiAccessible* source = event.source.get();
    if (event.type.starts_with("object:children-changed")) {
        // Applications come and go as children of the desktop; other children changes are of no interest.
        auto desktop = GRef<AtspiAccessible>::adopt(atspi_get_desktop(0));
        if (source == desktop.get() && applicationsChanged_) applicationsChanged_();
        return;
    }
    GErrorSlot error;
    const auto pid = static_cast<ProcessId>(atspi_accessible_get_process_id(source, error.out()));
    // Never about this process: its own accessibility answers are not asked for from the main loop.
    if (error || pid <= 0 || pid == ownPid_) return;

    if (reportsSelection(event.type)) {
        const ax::ElementRef element = tree_.objectElement(source);
        if (selectionReported_) selectionReported_(element);
        deliver(pid, ax::Notification::selectedTextChanged, element);
        return;
    }
    const AtspiRole role = atspi_accessible_get_role(source, error.out());
    if (error) return;
    if (auto quiet = ignoreMenusUntil_.find(pid); quiet != ignoreMenusUntil_.end()) {
        if (std::chrono::steady_clock::now() < quiet->second) return;
        ignoreMenusUntil_.erase(quiet);
    }
    handleMenuEvent(event, role, pid);
}

void AtspiEventHub::handleMenuEvent(const QueuedEvent& event, AtspiRole role, ProcessId pid) {
    AtspiAccessible* source = event.source.get();
    GErrorSlot error;
    auto parent = GRef<AtspiAccessible>::adopt(atspi_accessible_get_parent(source, error.out()));
    std::optional<AtspiRole> parentRole;
    if (parent && !error) parentRole = atspi_accessible_get_role(parent.get(), error.out());
    if (error) return;

    MenuChoiceInference& menus = menusOf(pid);
    switch (menuEventKindOf(event.type, event.detail1, role, parentRole)) {
    case MenuEventKind::none:
        return;
    case MenuEventKind::submenuShown:
        menus.itemHighlighted(tree_.menuElement(parent.get()), tree_.objectElement(source));
        menus.menuShown(tree_.menuElement(source));
        if (menuShown_) menuShown_(pid);
        return;
    case MenuEventKind::menuShown:
        menus.menuShown(tree_.menuElement(source));
        if (menuShown_) menuShown_(pid);
        return;
    case MenuEventKind::menuHidden:
        // The input that closed the menu reached the X server before the toolkit's event did: read it now.
        if (drainInput_) drainInput_();
        menus.menuHidden(tree_.menuElement(source));
        return;
    case MenuEventKind::itemHighlighted:
        menus.itemHighlighted(tree_.menuElement(parent.get()), tree_.objectElement(source));
        return;
    case MenuEventKind::itemUnhighlighted:
        // Whether a click came first decides what the highlight's end means.
        if (drainInput_) drainInput_();
        menus.itemUnhighlighted(tree_.objectElement(source));
        return;
    case MenuEventKind::itemShown:
        menus.itemShown(tree_.menuElement(parent.get()), tree_.objectElement(source));
        return;
    }
}

MenuChoiceInference& AtspiEventHub::menusOf(ProcessId pid) {
    auto& slot = menus_[pid];
    if (!slot) {
        MenuChoiceInference::Hooks hooks;
        hooks.deliver = [this, pid](ax::Notification notification, const ax::ElementRef& element) {
            deliver(pid, notification, element);
        };
        hooks.extentsOf = [this](const ax::ElementRef& item) -> std::optional<Rect> {
            const AtspiElement* element = atspiElementOf(item);
            return element ? tree_.extents(element->accessible.get()) : std::nullopt;
        };
        hooks.itemsOf = [this](const ax::ElementRef& menu) {
            const AtspiElement* element = atspiElementOf(menu);
            std::vector<ax::ElementRef> items;
            if (element) items = tree_.presentedChildren(*element).value_or(std::vector<ax::ElementRef>{});
            // A long menu (recent files) is read only as far as a person can reach quickly.
            if (items.size() > kMaxMenuItemsMeasured) items.resize(kMaxMenuItemsMeasured);
            return items;
        };
        hooks.mnemonicsOf = [this](const ax::ElementRef& menu) {
            std::vector<std::pair<ax::ElementRef, std::string>> items;
            const AtspiElement* element = atspiElementOf(menu);
            if (!element) return items;
            for (const ax::ElementRef& item :
                 tree_.presentedChildren(*element).value_or(std::vector<ax::ElementRef>{}))
                if (const AtspiElement* child = atspiElementOf(item); child && child->accessible)
                    if (auto letter = tree_.mnemonic(child->accessible.get()))
                        items.emplace_back(item, *letter);
            return items;
        };
        hooks.opensSubmenu = [this](const ax::ElementRef& item) {
            const AtspiElement* element = atspiElementOf(item);
            if (!element || !element->accessible) return false;
            // GTK: the item is itself a menu; Qt: the item holds a popup menu.
            GErrorSlot error;
            if (atspi_accessible_get_role(element->accessible.get(), error.out()) == ATSPI_ROLE_MENU)
                return true;
            if (atspi_accessible_get_child_count(element->accessible.get(), error.out()) <= 0) return false;
            auto child = GRef<AtspiAccessible>::adopt(
                atspi_accessible_get_child_at_index(element->accessible.get(), 0, error.out()));
            return child && atspi_accessible_get_role(child.get(), error.out()) == ATSPI_ROLE_POPUP_MENU;
        };
        slot = std::make_unique<MenuChoiceInference>(std::move(hooks));
    }
    return *slot;
}

void AtspiEventHub::menuInput(const MenuInput& input) {
    for (auto& [pid, menus] : menus_)
        menus->input(input);
}

void AtspiEventHub::selectionMayHaveChanged(const ax::ElementRef& element, bool dragged) {
    const AtspiElement* pressed = atspiElementOf(element);
    if (!pressed || pressed->kind != AtspiElementKind::object || !pressed->accessible) return;
    auto text = GRef<AtspiText>::adopt(atspi_accessible_get_text_iface(pressed->accessible.get()));
    if (!text) return;
    const auto report = [this, element, alive = std::weak_ptr<bool>(alive_)] {
        if (auto stillAlive = alive.lock(); stillAlive && *stillAlive)
            deliver(atspiElementOf(element)->pid, ax::Notification::selectedTextChanged, element);
    };
    // Posted twice: the core handles the release in a task posted from this one, and the report must come
    // after it. A click is not read now: a click on selected text clears it only when the application
    // handles the release, so an early read would see the old selection.
    if (dragged) runLoop_.post([this, report] { runLoop_.post(report); });
    // After the application has handled the release itself.
    runLoop_.scheduleTimer(kAfterRelease, false, report);
}

void AtspiEventHub::ownPressStarted(ProcessId pid) {
    ignoreMenusUntil_[pid] = std::chrono::steady_clock::now() + kOwnPressQuiet;
}

} // namespace quoddle
