// The controller's settings-window operations: the look of the three text views, loading and applying the
// settings text, and the two preference views kept live.
#include "Library/ApplicationAdditions.h"
#include "QuoddleAppDelegate.h"
#include "history/SettingsText.h"

namespace quoddle {

namespace {

constexpr const char* kSettingTextFontName = "Monaco";
constexpr double kSettingTextFontSize = 13;
constexpr int kTabStopCount = 128;
constexpr double kCharactersPerTabStop = 4;
constexpr Color kTintedBackground{0.79, 0.79, 1.0, 1.0};
constexpr Color kTabBackground{1.0, 1.0, 1.0, 1.0};

// The view always shows the preference's effective value; an edit that differs from it is stored, so
// showing a registered default never writes it into the stored domain.
void storeEditOfPreferenceView(UserDefaults& userDefaults, const TextView& view, const char* key) {
    std::string text = view.string();
    if (userDefaults.stringForKey(key) != text) userDefaults.setObject(key, std::move(text));
}

} // namespace

void QuoddleAppDelegate::setupSettingTextViews() {
    settingTextFont = settingTextView.fontWithName(kSettingTextFontName, kSettingTextFontSize);
    pStyle.leftTabStops.clear();
    for (int i = 0; i < kTabStopCount; ++i)
        pStyle.leftTabStops.push_back(i * settingTextFont.maximumAdvancementWidth * kCharactersPerTabStop);

    shortcutButtonSettingTextView.setString(userDefaults.stringForKey(kShortcutButtonSetting).value_or(""));
    blacklistAppSettingTextView.setString(userDefaults.stringForKey(kBlacklistAppSetting).value_or(""));

    for (TextView* view : {&shortcutButtonSettingTextView, &settingTextView, &blacklistAppSettingTextView}) {
        view->setFont(settingTextFont);
        view->setTextStorageFont(settingTextFont);
        view->setDefaultParagraphStyle(pStyle);
        setMyAttrToTextStorage(*view);
        view->setSmartInsertDeleteEnabled(false);
        view->setDidProcessEditingHandler([this, view] { textStorageDidProcessEditing(*view); });
    }
}

void QuoddleAppDelegate::loadSettingText() {
    settingTextView.setString(settingTextOfHistory(menuItemHistoryDic));
    settingTextView.setFont(settingTextFont);
    settingTextView.setTextStorageFont(settingTextFont);
    setMyAttrToTextStorage(settingTextView);
}

void QuoddleAppDelegate::setSettingText() {
    ParsedSettingText parsed =
        historyOfSettingText(settingTextView.string(), menuItemHistoryDic, platform.clock.now());
    if (parsed.acceptedLines > 0) {
        menuItemHistoryDic = std::move(parsed.history);
        // An applied text is the user's deliberate edit: store it soon rather than only at termination.
        scheduleHistorySave();
        settingTextView.setString(kApplySettingTextResult);
    } else {
        settingTextView.setString(kNoMenuItemResult);
    }
    settingTextView.setFont(settingTextFont);
    settingTextView.setTextStorageFont(settingTextFont);
    setMyAttrToTextStorage(settingTextView);
}

void QuoddleAppDelegate::setMyAttrToTextStorage(TextView& textView) {
    const Utf16TabScan scan = scanTabsInUtf16Units(textView.string());
    const TextRange whole{0, scan.length};
    textView.addParagraphStyle(pStyle, whole);
    textView.addBackgroundColor(kTintedBackground, whole);
    for (std::size_t position : scan.tabPositions)
        textView.addBackgroundColor(kTabBackground, TextRange{position, 1});
}

void QuoddleAppDelegate::textStorageDidProcessEditing(TextView& textView) {
    setMyAttrToTextStorage(textView);
    if (&textView == &shortcutButtonSettingTextView)
        storeEditOfPreferenceView(userDefaults, textView, kShortcutButtonSetting);
    else if (&textView == &blacklistAppSettingTextView)
        storeEditOfPreferenceView(userDefaults, textView, kBlacklistAppSetting);
}

void QuoddleAppDelegate::changeSetting() {
    setLaunchAutomaticallyOnLogin(platform.loginItems, platform.appServices,
                                  userDefaults.boolForKey("LaunchAutomaticallyOnLogin"));
}

} // namespace quoddle
