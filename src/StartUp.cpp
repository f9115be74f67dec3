// The start-up sequence: every subsystem comes up in a fixed order, then the system only reacts to events.
#include "Library/ApplicationAdditions.h"
#include "QuoddleAppDelegate.h"
#include "input/PassiveEventTap.h"

namespace quoddle {

void QuoddleAppDelegate::registerForWorkspaceNotifications() {
    if (!workspaceObservers_.empty()) return;
    NotificationCenter& center = platform.workspace.notificationCenter();
    workspaceObservers_ = {
        center.addObserver(NSWorkspaceDidDeactivateApplicationNotification, nullptr,
                           [this](const Notification& n) { didDeactivateApplicationNotification(n); }),
        center.addObserver(NSWorkspaceDidActivateApplicationNotification, nullptr,
                           [this](const Notification& n) { didActivateApplicationNotification(n); }),
        center.addObserver(NSWorkspaceDidLaunchApplicationNotification, nullptr,
                           [this](const Notification& n) { didLaunchApplication(n); }),
    };
}

void QuoddleAppDelegate::applicationDidFinishLaunching() {
    gQuoddleAppDelegate = this;
    uiElement.set_systemWideElement();
    thisAppPid = platform.workspace.currentApplication().processIdentifier;

    serviceButtonArray.clear();
    serviceNameArray.clear();
    shortcutButtonArray.clear();
    shortcutKeyArray.clear();
    prevAllServiceNameDic.clear();
    allServiceNameDic.clear();
    observerDic.clear();
    appElementDic.clear();
    biDic.clear();

    checkAXAPI();
    registerForWorkspaceNotifications();
    setupSettingTextViews();
    loadMenuItemHistory();
    setupAllRunningApp_axObserverCallback();
    installPassiveEventTap();
    // A tap switched off by the user's input comes back instead of staying off until the next start.
    if (!tapNotificationObserver_)
        tapNotificationObserver_ = NotificationCenter::defaultCenter().addObserver(
            kInstallPassiveEventTapNotification, this,
            [this](const Notification& n) { installPassiveEventTap(n); });
    nowLoadingWindow.orderOut();

    userDefaults.setBool("LaunchAutomaticallyOnLogin",
                         isLaunchAutomaticallyOnLogin(platform.loginItems, platform.appServices));
    if (!userDefaults.boolForKey("HideDockIcon")) showDockIcon(platform.appServices);
    if (userDefaults.boolForKey("ShowSettingsOnLaunch")) bringWindowForward(settingWindow);
}

} // namespace quoddle
