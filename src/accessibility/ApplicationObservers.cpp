// One accessibility observer per observed application: selections that may open the palette, and the
// menu choices the history learns from.
#include "accessibility/ApplicationObservers.h"

#include "Library/RegexAdditions.h"
#include "QuoddleAppDelegate.h"
#include "history/SettingsText.h"

namespace quoddle {

namespace {

const char* const kApplicationNotifications[] = {"AXSelectedTextChanged", "AXMenuItemSelected",
                                                 "AXMenuOpened", "AXMenuClosed"};
// The first and the last data block of a text-marker range's description: equal blocks mean a caret.
const char* const kTextMarkerRangePattern =
    "(\\{length = [0-9]+, bytes = 0x[0-9a-zA-Z]+\\}).*(\\{length = [0-9]+, bytes = 0x[0-9a-zA-Z]+\\})";

std::string descriptionText(UIElement& helpers, const std::optional<AXAttributeValue>& value) {
    if (!value) return {};
    return helpers.descriptionOfValue(value, false).value_or("");
}

// An accessibility Boolean or number read as an integer, as the platform's intValue would.
std::optional<std::int64_t> integerOf(const std::optional<AXAttributeValue>& value) {
    if (!value) return std::nullopt;
    if (auto b = value->get<bool>()) return *b ? 1 : 0;
    if (auto i = value->get<std::int64_t>()) return *i;
    if (auto d = value->get<double>()) return static_cast<std::int64_t>(*d);
    return std::nullopt;
}

void menuSelectionChanged(QuoddleAppDelegate& controller, const AXUIElementRef& menu) {
    gSelectMenuItemTitle.reset();
    std::optional<AXAttributeValue> selected =
        controller.uiElement.valueOfAttribute("AXSelectedChildren", menu);
    const AXArray* children = selected ? selected->get<AXArray>() : nullptr;
    if (!children || children->empty()) return;
    const AXUIElementRef* first = children->front().get<AXUIElementRef>();
    if (!first) return;
    std::optional<AXAttributeValue> title = controller.uiElement.valueOfAttribute("AXTitle", *first);
    if (title && title->is<std::string>()) gSelectMenuItemTitle = *title->get<std::string>();
}

} // namespace

void setUIElementInfo(UIElement& helpers, const AXUIElementRef& element, std::optional<std::string>& role,
                      std::optional<std::string>& info, ProcessId& pid) {
    if (!element) return;
    pid = -1;
    if (auto owner = helpers.accessibility().getPid(element)) pid = owner.value;
    std::optional<AXAttributeValue> roleValue = helpers.copyValueOfExistingAttribute("AXRole", element);
    role = roleValue && roleValue->is<std::string>() ? std::optional(*roleValue->get<std::string>())
                                                     : std::nullopt;
    info = descriptionText(helpers, helpers.copyValueOfExistingAttribute("AXPosition", element)) + " - " +
           descriptionText(helpers, helpers.copyValueOfExistingAttribute("AXSize", element));
}

void axObserverCallback(const AXObserverRef& observer, const AXUIElementRef& element,
                        const std::string& notification, const void*) {
    QuoddleAppDelegate* controller = gQuoddleAppDelegate;
    if (!controller) return;
    if (notification == "AXSelectedTextChanged") {
        controller->selectedTextChanged(element);
    } else if (notification == "AXMenuItemSelected") {
        if (!gSelectMenuItemTitle) return;
        auto pid = controller->platform.accessibility.getPid(element);
        // Copy the title: recording must not depend on the global staying put.
        const std::string title = *gSelectMenuItemTitle;
        controller->addMenuItemHistoryWithTitle(title, pid ? pid.value : -11);
    } else if (notification == "AXSelectedChildrenChanged") {
        menuSelectionChanged(*controller, element);
    } else if (notification == "AXMenuClosed") {
        observer->removeNotification(element, "AXSelectedChildrenChanged");
    } else if (notification == "AXMenuOpened") {
        gSelectMenuItemTitle.reset();
        observer->addNotification(element, "AXSelectedChildrenChanged", nullptr);
    }
}

void QuoddleAppDelegate::selectedTextChanged(const AXUIElementRef& element) {
    auto owner = platform.accessibility.getPid(element);
    // Only the application pressed last counts: a keyboard selection or a background change never does.
    if ((owner ? owner.value : -2) != gMouseDownElementPid) return;

    bool selectionIsEmpty;
    if (auto markers = uiElement.copyValueOfExistingAttribute("AXSelectedTextMarkerRange", element)) {
        const std::string description = descriptionText(uiElement, markers);
        auto start = stringByMatching(description, kTextMarkerRangePattern, 1);
        auto end = stringByMatching(description, kTextMarkerRangePattern, 2);
        selectionIsEmpty = start && end && *start == *end;
    } else {
        if (integerOf(uiElement.valueOfAttribute("AXFocused", element)) != 1) {
            gLastSelectedDate.reset();
            return;
        }
        auto range = platform.accessibility.copyAttributeValue(element, "AXSelectedTextRange");
        const AXRangeValue* selected = range ? range.value.get<AXRangeValue>() : nullptr;
        selectionIsEmpty = !selected || selected->length <= 0;
    }

    if (selectionIsEmpty) {
        gLastSelectedDate.reset();
        return;
    }
    setUIElementInfo(uiElement, element, gSeletedTextElementRole, gSeletedTextElementInfo,
                     gSeletedTextElementPid);
    gLastSelectedDate = platform.clock.now();
    showWindow();
}

void QuoddleAppDelegate::setup_axObserverCallback(const std::string& bundleIdentifier) {
    std::vector<RunningApplication> instances =
        platform.workspace.runningApplicationsWithBundleIdentifier(bundleIdentifier);
    if (instances.empty()) return;
    const RunningApplication& application = instances.front();
    const ProcessId pid = application.processIdentifier;
    if (pid == -1) return;
    if (isBlacklistedApplication(userDefaults.stringForKey(kBlacklistAppSetting).value_or(""),
                                 bundleIdentifier, application.localizedName))
        return;

    AXResult<AXObserverRef> created = platform.accessibility.createObserver(pid, axObserverCallback);
    if (!created || !created.value) {
        platform.appServices.log("AXObserverCreate Error " + std::to_string(created.error));
        return;
    }
    AXUIElementRef applicationElement = platform.accessibility.createApplication(pid);
    // One string per identifier for the life of the process: its address is the registrations' context.
    const std::string& context = biDic.try_emplace(bundleIdentifier, bundleIdentifier).first->second;
    for (const char* name : kApplicationNotifications)
        created.value->addNotification(applicationElement, name, &context);
    created.value->addToRunLoop();
    observerDic.insert_or_assign(context, created.value);
    appElementDic.insert_or_assign(context, applicationElement);
}

void QuoddleAppDelegate::setupAllRunningApp_axObserverCallback() {
    for (const RunningApplication& application : platform.workspace.runningApplications())
        if (application.bundleIdentifier) setup_axObserverCallback(*application.bundleIdentifier);
}

void QuoddleAppDelegate::removeAXObserverCallback(const std::string& bundleIdentifier) {
    auto observer = observerDic.find(bundleIdentifier);
    auto element = appElementDic.find(bundleIdentifier);
    if (observer != observerDic.end() && element != appElementDic.end())
        for (const char* name : kApplicationNotifications)
            observer->second->removeNotification(element->second, name);
    if (observer != observerDic.end()) observerDic.erase(observer);
    if (element != appElementDic.end()) appElementDic.erase(element);
}

void QuoddleAppDelegate::didLaunchApplication(const Notification& notification) {
    auto entry = notification.userInfo.find(NSApplicationBundleIdentifierKey);
    if (entry == notification.userInfo.end()) return;
    const auto* bundleIdentifier = std::any_cast<std::string>(&entry->second);
    if (!bundleIdentifier) return;
    const std::string identifier = *bundleIdentifier;
    removeAXObserverCallback(identifier);
    setup_axObserverCallback(identifier);
}

} // namespace quoddle
