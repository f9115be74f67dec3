#include "accessibility/ApplicationObservers.h"

#include "Preferences.h"
#include "history/SettingsText.h"
#include "support/Regex.h"

namespace quoddle {

namespace {

constexpr ax::Notification kApplicationNotifications[] = {
    ax::Notification::selectedTextChanged, ax::Notification::menuItemSelected, ax::Notification::menuOpened,
    ax::Notification::menuClosed};
// The first and the last data block of a text-marker range's description: equal blocks mean a caret.
constexpr const char* kTextMarkerRangePattern =
    "(\\{length = [0-9]+, bytes = 0x[0-9a-zA-Z]+\\}).*(\\{length = [0-9]+, bytes = 0x[0-9a-zA-Z]+\\})";

// An accessibility Boolean or number read as an integer.
std::optional<std::int64_t> integerOf(const std::optional<ax::Value>& value) {
    if (!value) return std::nullopt;
    if (auto b = value->get<bool>()) return *b ? 1 : 0;
    if (auto i = value->get<std::int64_t>()) return *i;
    if (auto d = value->get<double>()) return static_cast<std::int64_t>(*d);
    return std::nullopt;
}

} // namespace

ApplicationObservers::ApplicationObservers(Platform& platform, const UserDefaults& preferences,
                                           ElementQueries& queries, ClickState& clicks,
                                           HistoryRecorder& history, std::function<void()> selectionReported)
    : platform_(platform), preferences_(preferences), queries_(queries), clicks_(clicks), history_(history),
      selectionReported_(std::move(selectionReported)) {}

void ApplicationObservers::observe(const std::string& bundleIdentifier) {
    std::vector<RunningApplication> instances =
        platform_.workspace.applicationsWithBundleIdentifier(bundleIdentifier);
    if (instances.empty()) return;
    const RunningApplication& application = instances.front();
    const ProcessId pid = application.processIdentifier;
    if (pid == -1) return;
    if (isBlacklistedApplication(preferences_.stringForKey(preference::blacklist).value_or(""),
                                 bundleIdentifier, application.localizedName))
        return;

    ax::Result<ax::ObserverRef> created = platform_.accessibility.createObserver(pid, &onNotification);
    if (!created || !created.value) {
        platform_.appServices.log("AXObserverCreate Error " +
                                  std::to_string(static_cast<std::int32_t>(created.error)));
        return;
    }
    ax::ElementRef applicationElement = platform_.accessibility.applicationElement(pid);
    for (ax::Notification notification : kApplicationNotifications)
        created.value->addNotification(applicationElement, notification, this);
    created.value->addToRunLoop();
    observed_.insert_or_assign(bundleIdentifier, Observed{created.value, applicationElement, pid});
}

std::optional<std::string> ApplicationObservers::whyNotObserved(ProcessId pid) const {
    std::optional<RunningApplication> application = platform_.workspace.applicationWithPid(pid);
    if (!application || !application->bundleIdentifier) return std::nullopt;
    if (auto it = observed_.find(*application->bundleIdentifier);
        it != observed_.end() && it->second.pid == pid)
        return std::nullopt;
    if (!isBlacklistedApplication(preferences_.stringForKey(preference::blacklist).value_or(""),
                                  application->bundleIdentifier, application->localizedName))
        return std::nullopt;
    return "no palette: " + application->localizedName.value_or(*application->bundleIdentifier) +
           " is on the blacklist";
}

void ApplicationObservers::observeRunningApplications() {
    for (const RunningApplication& application : platform_.workspace.runningApplications())
        if (application.bundleIdentifier) observe(*application.bundleIdentifier);
}

void ApplicationObservers::stopObserving(const std::string& bundleIdentifier) {
    auto it = observed_.find(bundleIdentifier);
    if (it == observed_.end()) return;
    for (ax::Notification notification : kApplicationNotifications)
        it->second.observer->removeNotification(it->second.applicationElement, notification);
    observed_.erase(it);
}

void ApplicationObservers::applicationLaunched(const std::string& bundleIdentifier) {
    stopObserving(bundleIdentifier);
    observe(bundleIdentifier);
}

void ApplicationObservers::onNotification(const ax::ObserverRef& observer, const ax::ElementRef& element,
                                          ax::Notification notification, void* context) {
    auto& self = *static_cast<ApplicationObservers*>(context);
    switch (notification) {
    case ax::Notification::selectedTextChanged:
        self.selectionChanged(element);
        return;
    case ax::Notification::menuItemSelected:
        if (self.highlightedTitle_) {
            ax::Result<ProcessId> pid = self.platform_.accessibility.pid(element);
            // A copy: recording must not depend on the highlight staying put.
            const std::string title = *self.highlightedTitle_;
            self.history_.recordUse(title, pid ? pid.value : -11);
        }
        return;
    case ax::Notification::selectedChildrenChanged:
        self.highlightChanged(element);
        return;
    case ax::Notification::menuClosed:
        observer->removeNotification(element, ax::Notification::selectedChildrenChanged);
        return;
    case ax::Notification::menuOpened:
        self.highlightedTitle_.reset();
        observer->addNotification(element, ax::Notification::selectedChildrenChanged, context);
        return;
    }
}

void ApplicationObservers::highlightChanged(const ax::ElementRef& menu) {
    highlightedTitle_.reset();
    std::optional<ax::Value> selected = queries_.listedAttribute(menu, ax::Attribute::selectedChildren);
    const ax::Array* children = selected ? selected->get<ax::Array>() : nullptr;
    if (!children || children->empty()) return;
    const ax::ElementRef* first = children->front().get<ax::ElementRef>();
    if (!first) return;
    std::optional<ax::Value> title = queries_.listedAttribute(*first, ax::Attribute::title);
    if (const std::string* text = title ? title->get<std::string>() : nullptr) highlightedTitle_ = *text;
}

std::optional<bool> ApplicationObservers::selectionIsEmpty(const ax::ElementRef& element) {
    if (std::optional<ax::Value> markers =
            queries_.attribute(element, ax::Attribute::selectedTextMarkerRange)) {
        const ax::OpaqueValue* opaque = markers->get<ax::OpaqueValue>();
        const std::string description = opaque ? opaque->description : std::string();
        std::optional<std::string> start = firstMatchGroup(description, kTextMarkerRangePattern, 1);
        std::optional<std::string> end = firstMatchGroup(description, kTextMarkerRangePattern, 2);
        return start && end && *start == *end;
    }
    if (integerOf(queries_.listedAttribute(element, ax::Attribute::focused)) != 1) return std::nullopt;
    ax::Result<ax::Value> range =
        platform_.accessibility.attribute(element, ax::Attribute::selectedTextRange);
    const ax::RangeValue* selected = range ? range.value.get<ax::RangeValue>() : nullptr;
    return !selected || selected->length <= 0;
}

void ApplicationObservers::selectionChanged(const ax::ElementRef& element) {
    ax::Result<ProcessId> owner = platform_.accessibility.pid(element);
    // Only the application pressed last counts: a keyboard selection or a background change never does.
    if ((owner ? owner.value : -2) != clicks_.pressedPid()) {
        clicks_.selectionIgnored(
            clicks_.pressedPid() == -1
                ? "no palette: nothing accessible was under the pointer at the press"
                : "no palette: the selection changed in another application than the one pressed");
        selectionReported_();
        return;
    }
    const std::optional<bool> empty = selectionIsEmpty(element);
    ElementSummary summary = queries_.summaryOf(element);
    if (!empty) {
        // An element that lost the focus (the paragraph a drag left) says nothing of the selection another
        // one holds now; it takes back only a selection it held itself.
        if (const std::string* held = clicks_.selectionIdentity(); held && *held == summary.identity)
            clicks_.selectionEmptied();
        clicks_.selectionIgnored(
            "no palette: the selected text is in an element that does not have the focus");
        selectionReported_();
        return;
    }
    if (*empty) {
        clicks_.selectionEmptied();
        return;
    }
    clicks_.selectionSeen(std::move(summary));
    selectionReported_();
}

} // namespace quoddle
