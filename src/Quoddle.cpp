#include "Quoddle.h"

#include "Preferences.h"
#include "support/LaunchAtLogin.h"

namespace quoddle {

namespace {
// Activating one of these makes the Services items be read afresh (the original platform's Finder and
// System Preferences, where the user changes which services there are).
constexpr const char* kServicesChangingApplications[] = {"com.apple.finder", "com.apple.systempreferences"};
} // namespace

Quoddle::Quoddle(Platform& platform)
    : platform_(platform), preferences_(platform.defaultsStore),
      queries_(platform.accessibility, platform.pointer), keyboard_(platform.keyboardLayout),
      servicesMenu_(queries_, platform.appServices, preferences_),
      history_(platform, preferences_, servicesMenu_),
      palette_(platform, preferences_, queries_, clicks_, keyboard_, servicesMenu_, history_,
               platform.workspace.currentApplication().processIdentifier,
               [this](ProcessId pid) { return observers_.whyNotObserved(pid); }),
      observers_(platform, preferences_, queries_, clicks_, history_, [this] { palette_.showIfReady(); }),
      input_(platform, notifications_, palette_), settings_(platform, preferences_, history_) {
    preferences_.registerDefaults(preference::registeredDefaults(platform.appServices));
    platform_.application.setActions(this);
}

Quoddle::~Quoddle() {
    // The run loop and the workspace outlive the application in tests: leave nothing that calls back.
    for (NotificationCenter::ObserverId observer : workspaceObservers_)
        platform_.workspace.notificationCenter().removeObserver(observer);
    platform_.application.setActions(nullptr);
}

void Quoddle::start() {
    if (!settings_.showAccessibilityState()) bringForward(platform_.interface.settingsWindow);
    followWorkspace();
    settings_.setUpTextViews();
    history_.load();
    observers_.observeRunningApplications();
    input_.install();
    platform_.interface.startupWindow.orderOut();

    preferences_.setBool(preference::launchAtLogin,
                         launchesAtLogin(platform_.loginItems, platform_.appServices));
    if (!preferences_.boolForKey(preference::hideDockIcon))
        platform_.appServices.showAsForegroundApplication();
    if (preferences_.boolForKey(preference::showSettingsAtStart))
        bringForward(platform_.interface.settingsWindow);
}

void Quoddle::followWorkspace() {
    if (!workspaceObservers_.empty()) return;
    NotificationCenter& center = platform_.workspace.notificationCenter();
    workspaceObservers_ = {
        // A press or selection made before the switch never brings up the palette afterwards; the press
        // that made the switch does.
        center.addObserver(kApplicationDeactivatedNotification, nullptr,
                           [this](const Notification&) {
                               std::optional<RunningApplication> active =
                                   platform_.workspace.activeApplication();
                               clicks_.applicationDeactivated(
                                   active ? std::optional(active->processIdentifier) : std::nullopt);
                           }),
        center.addObserver(kApplicationActivatedNotification, nullptr,
                           [this](const Notification& n) { applicationActivated(n); }),
        center.addObserver(kApplicationLaunchedNotification, nullptr,
                           [this](const Notification& n) {
                               auto entry = n.userInfo.find(kBundleIdentifierKey);
                               if (entry == n.userInfo.end()) return;
                               if (const auto* identifier = std::any_cast<std::string>(&entry->second))
                                   observers_.applicationLaunched(std::string(*identifier));
                           }),
    };
}

void Quoddle::applicationActivated(const Notification& notification) {
    auto entry = notification.userInfo.find(kApplicationKey);
    if (entry == notification.userInfo.end()) return;
    const auto* application = std::any_cast<RunningApplication>(&entry->second);
    if (!application) return;
    clicks_.applicationActivated(application->processIdentifier);
    if (!application->bundleIdentifier) return;
    for (const char* identifier : kServicesChangingApplications)
        if (*application->bundleIdentifier == identifier) servicesMenu_.forgetTitles();
}

void Quoddle::bringForward(Window& window) {
    window.orderFront();
    platform_.appServices.activate();
    window.orderFront();
}

} // namespace quoddle
