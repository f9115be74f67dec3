#include "QuoddleAppDelegate.h"

namespace quoddle {

namespace {

inline constexpr const char* kFinderBundleIdentifier = "com.apple.finder";
inline constexpr const char* kSystemPreferencesBundleIdentifier = "com.apple.systempreferences";

// A file URL for a path, with the characters a URL cannot carry percent-encoded.
std::string fileURLWithPath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                     c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 0xF];
        }
    }
    return url;
}

} // namespace

QuoddleAppDelegate::QuoddleAppDelegate(Platform& platform)
    : platform(platform), userDefaults(platform.defaultsStore),
      uiElement(platform.accessibility, platform.pointer), keyCodeTables(platform.keyboardLayout),
      window(platform.interface.window), settingWindow(platform.interface.settingWindow),
      nowLoadingWindow(platform.interface.nowLoadingWindow),
      settingTextView(platform.interface.settingTextView),
      shortcutButtonSettingTextView(platform.interface.shortcutButtonSettingTextView),
      blacklistAppSettingTextView(platform.interface.blacklistAppSettingTextView),
      axapiMessageTextField(platform.interface.axapiMessageTextField) {
    userDefaults.registerDefaults(quoddleRegisteredDefaults(platform.appServices));
    window.setWillCloseHandler([this] { windowWillClose(window); });
    platform.application.setActionTarget(this);
}

QuoddleAppDelegate::~QuoddleAppDelegate() {
    // The run loop and the notification centres outlive the controller in tests: leave nothing behind
    // that would call back into it.
    if (historySaveTimer_) platform.runLoop.invalidateTimer(*historySaveTimer_);
    if (checkMouseTimer) platform.runLoop.invalidateTimer(*checkMouseTimer);
    for (auto observer : workspaceObservers_)
        platform.workspace.notificationCenter().removeObserver(observer);
    if (tapNotificationObserver_)
        NotificationCenter::defaultCenter().removeObserver(*tapNotificationObserver_);
    window.setWillCloseHandler(nullptr);
    platform.application.setActionTarget(nullptr);
    for (TextView* view : {&settingTextView, &shortcutButtonSettingTextView, &blacklistAppSettingTextView})
        view->setDidProcessEditingHandler(nullptr);
    if (gQuoddleAppDelegate == this) gQuoddleAppDelegate = nullptr;
}

void QuoddleAppDelegate::applicationWillTerminate() {
    saveMenuItemHistory();
}

bool QuoddleAppDelegate::applicationShouldHandleReopen(bool) {
    bringWindowForward(settingWindow);
    return true;
}

void QuoddleAppDelegate::bringWindowForward(Window& target) {
    target.orderFront();
    platform.appServices.activateIgnoringOtherApps();
    target.orderFront();
}

void QuoddleAppDelegate::checkAXAPI() {
    if (platform.accessibility.isAPIEnabled()) {
        axapiMessageTextField.setStringValue("\"Enable access for assistive devices\" is ON.");
        axapiMessageTextField.setTextColor(Color{0, 0, 0, 1});
        return;
    }
    bringWindowForward(window);
}

void QuoddleAppDelegate::openUniversalAccessPref() {
    std::vector<std::string> directories = platform.workspace.systemPreferencePanesDirectories();
    if (directories.size() != 1) return;
    std::string path = directories.front();
    if (path.empty() || path.back() != '/') path += '/';
    platform.workspace.openURL(fileURLWithPath(path + "UniversalAccessPref.prefPane"));
}

void QuoddleAppDelegate::showSettingWindow() {
    bringWindowForward(window);
}

void QuoddleAppDelegate::didDeactivateApplicationNotification(const Notification&) {
    clearClickData();
}

void QuoddleAppDelegate::didActivateApplicationNotification(const Notification& notification) {
    auto entry = notification.userInfo.find(NSWorkspaceApplicationKey);
    if (entry == notification.userInfo.end()) return;
    const auto* application = std::any_cast<RunningApplication>(&entry->second);
    if (!application || !application->bundleIdentifier) return;
    const std::string& bundleIdentifier = *application->bundleIdentifier;
    if (bundleIdentifier != kFinderBundleIdentifier && bundleIdentifier != kSystemPreferencesBundleIdentifier)
        return;
    if (!allServiceNameDic.empty()) prevAllServiceNameDic = allServiceNameDic;
    allServiceNameDic.clear();
}

void QuoddleAppDelegate::clearClickData() {
    gLastClickDate.reset();
    gLastSelectedDate.reset();
    gMouseDownElementInfo.reset();
    gMouseDownElementRole.reset();
    gSeletedTextElementInfo.reset();
    gSeletedTextElementRole.reset();
    gMouseDownElementPid = -1;
    gSeletedTextElementPid = -1;
}

} // namespace quoddle
