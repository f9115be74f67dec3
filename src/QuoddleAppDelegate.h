#pragma once
// The controller: the one object that owns the long-lived state and receives every outside event. Its
// member functions are defined in the folder of the subsystem that owns them.

#include "Library/KeyCodeTables.h"
#include "Library/UIElement.h"
#include "Library/UserDefaults.h"
#include "Preferences.h"
#include "history/ServiceHistory.h"
#include "platform/Platform.h"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quoddle {

class QuoddleAppDelegate : public ApplicationActions {
public:
    // Registers the preference defaults, as the class initialiser does before the first instance exists.
    explicit QuoddleAppDelegate(Platform& platform);
    ~QuoddleAppDelegate() override;
    QuoddleAppDelegate(const QuoddleAppDelegate&) = delete;
    QuoddleAppDelegate& operator=(const QuoddleAppDelegate&) = delete;

    // Application life (QuoddleAppDelegate.cpp, StartUp.cpp).
    void applicationDidFinishLaunching();
    void applicationWillTerminate() override;
    bool applicationShouldHandleReopen(bool hasVisibleWindows) override;
    void checkAXAPI();
    void openUniversalAccessPref() override;
    void showSettingWindow() override;
    void didDeactivateApplicationNotification(const Notification& notification);
    void didActivateApplicationNotification(const Notification& notification);
    void clearClickData();

    // Service history (history/ServiceHistory.cpp).
    HistoryItem makeMenuItemDicWithTitle(const std::string& title,
                                         const std::optional<std::string>& userTitle, std::int32_t count,
                                         std::optional<TimePoint> date) const;
    std::optional<TimePoint> itemDateWithAppName(const std::string& applicationKey,
                                                 const std::string& title) const;
    void addMenuItemHistoryWithTitle(const std::string& title, ProcessId pid);
    void loadMenuItemHistory();
    void saveMenuItemHistory();
    // Puts the history into the user defaults, for a synchronisation to write.
    void storeMenuItemHistory();
    // Saves the history a short while after it changed, so a crash loses only the last seconds.
    void scheduleHistorySave();

    // Settings text and settings window (history/SettingsWindow.cpp).
    // The look of the three text views, and the two preference views bound to their preferences.
    void setupSettingTextViews();
    void loadSettingText() override;
    void setSettingText() override;
    // The history commands of a later start: Load's text without touching the view, and Apply of the given
    // text, which leaves the view as Apply does and answers its result line.
    std::string settingTextOfCurrentHistory() override;
    std::string applySettingText(const std::string& text) override;
    void setMyAttrToTextStorage(TextView& textView);
    void textStorageDidProcessEditing(TextView& textView);
    void changeSetting() override;

    // Services menu (accessibility/ServicesMenu.cpp).
    void getAllServiceMenuItemTitle();
    void clickServiceMenuItem(const std::string& title);

    // Application observers (accessibility/ApplicationObservers.cpp).
    void setup_axObserverCallback(const std::string& bundleIdentifier);
    void setupAllRunningApp_axObserverCallback();
    void removeAXObserverCallback(const std::string& bundleIdentifier);
    void didLaunchApplication(const Notification& notification);
    void selectedTextChanged(const AXUIElementRef& element);

    // Passive event tap and click tracking (input/PassiveEventTap.cpp).
    void installPassiveEventTap();
    void installPassiveEventTap(const Notification& sender);
    void releasePassiveEventTap();
    void enablePassiveEventTap();
    void leftMouseDown();
    void leftMouseUp();

    // Palette contents (palette/ServiceButtons.cpp, palette/ShortcutButtons.cpp).
    bool addServiceButton();
    void makeServiceButton(const std::string& title, const std::optional<std::string>& userTitle);
    void clickServiceButton(Button& sender);
    void makeShortcutButton();
    std::vector<std::string> serviceNameArrayOfShortcutButton() const;
    void clickShortCutKeyButton(Button& sender);

    // Showing, placing and hiding the palette (palette/PaletteShowing.cpp, palette/PaletteHiding.cpp).
    void showWindow();
    void setWindowPosition();
    void hideWindow();
    void startCheckMouseTimer();
    void stopCheckMouseTimer();
    void checkMouse();
    void windowWillClose(const Window& closing);

    // The platform and the helpers built on it.
    Platform& platform;
    UserDefaults userDefaults;
    UIElement uiElement;
    KeyCodeTables keyCodeTables;

    // Outlets.
    PaletteWindow& window;
    Window& settingWindow;
    Window& nowLoadingWindow;
    TextView& settingTextView;
    TextView& shortcutButtonSettingTextView;
    TextView& blacklistAppSettingTextView;
    TextField& axapiMessageTextField;

    ParagraphStyle pStyle;
    Font settingTextFont;
    std::unique_ptr<EventTap> passiveEventTapPort;
    std::unique_ptr<RunLoopSource> passiveEventTapRLSR;
    ServiceHistory menuItemHistoryDic;
    std::optional<TimerId> checkMouseTimer;
    bool isStopAutoHideWindow = false;
    std::vector<ButtonRef> shortcutButtonArray;
    std::vector<std::vector<std::string>> shortcutKeyArray;
    std::vector<ButtonRef> serviceButtonArray;
    std::vector<std::string> serviceNameArray;
    std::unordered_map<std::string, std::string> allServiceNameDic;
    std::unordered_map<std::string, std::string> prevAllServiceNameDic;
    ProcessId serviceTargetAppPid = -1;
    ProcessId thisAppPid = -1;
    bool isPressAppWindow = false;

private:
    void registerForWorkspaceNotifications();
    // Brings a window forward: order front, activate the application, order front again.
    void bringWindowForward(Window& target);

    std::optional<TimerId> historySaveTimer_;
    std::vector<NotificationCenter::ObserverId> workspaceObservers_;
    std::optional<NotificationCenter::ObserverId> tapNotificationObserver_;
};

} // namespace quoddle
