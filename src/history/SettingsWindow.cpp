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

// Apply: a text with at least one item line replaces the history; the view then holds the result line.
std::string applyToHistory(QuoddleAppDelegate& controller, std::string_view text) {
    ParsedSettingText parsed =
        historyOfSettingText(text, controller.menuItemHistoryDic, controller.platform.clock.now());
    const char* result = kNoMenuItemResult;
    if (parsed.acceptedLines > 0) {
        controller.menuItemHistoryDic = std::move(parsed.history);
        // An applied text is the user's deliberate edit: store it soon rather than only at termination.
        controller.scheduleHistorySave();
        result = kApplySettingTextResult;
    }
    TextView& view = controller.settingTextView;
    view.setString(result);
    view.setFont(controller.settingTextFont);
    view.setTextStorageFont(controller.settingTextFont);
    controller.setMyAttrToTextStorage(view);
    return result;
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
    applyToHistory(*this, settingTextView.string());
}

std::string QuoddleAppDelegate::settingTextOfCurrentHistory() {
    return settingTextOfHistory(menuItemHistoryDic);
}

std::string QuoddleAppDelegate::applySettingText(const std::string& text) {
    // Not copied into the view first: the view would style a text of megabytes only to replace it with the
    // result line, which is all that Apply leaves there.
    return applyToHistory(*this, text);
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
