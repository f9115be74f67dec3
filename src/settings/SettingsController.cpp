#include "settings/SettingsController.h"

#include "Preferences.h"
#include "history/SettingsText.h"
#include "support/LaunchAtLogin.h"

namespace quoddle {

namespace {

constexpr const char* kFontName = "Monaco";
constexpr double kFontSize = 13;
constexpr int kTabStopCount = 128;
constexpr double kCharactersPerTabStop = 4;
constexpr Color kTintedBackground{0.79, 0.79, 1.0, 1.0};
constexpr Color kTabBackground{1.0, 1.0, 1.0, 1.0};
constexpr Color kBlack{0, 0, 0, 1};
constexpr const char* kAccessibilityOn = "\"Enable access for assistive devices\" is ON.";

// The view always shows the preference's effective value; an edit that differs from it is stored, so showing
// a registered default never writes it into the stored preferences.
void storeEdit(UserDefaults& preferences, const TextView& view, const char* key) {
    std::string text = view.string();
    if (preferences.stringForKey(key) != text) preferences.setObject(key, std::move(text));
}

} // namespace

SettingsController::SettingsController(Platform& platform, UserDefaults& preferences,
                                       HistoryRecorder& history)
    : platform_(platform), preferences_(preferences), history_(history), interface_(platform.interface) {}

SettingsController::~SettingsController() {
    for (TextView* view :
         {&interface_.historyTextView, &interface_.shortcutTextView, &interface_.blacklistTextView})
        view->setEditedHandler(nullptr);
}

void SettingsController::setUpTextViews() {
    font_ = interface_.historyTextView.fontWithName(kFontName, kFontSize);
    tabStops_.leftTabStops.clear();
    for (int i = 0; i < kTabStopCount; ++i)
        tabStops_.leftTabStops.push_back(i * font_.maximumAdvancementWidth * kCharactersPerTabStop);

    interface_.shortcutTextView.setString(preferences_.stringForKey(preference::shortcutText).value_or(""));
    interface_.blacklistTextView.setString(preferences_.stringForKey(preference::blacklist).value_or(""));
    for (TextView* view :
         {&interface_.shortcutTextView, &interface_.historyTextView, &interface_.blacklistTextView}) {
        view->setFont(font_);
        view->setTextStorageFont(font_);
        view->setDefaultParagraphStyle(tabStops_);
        applyTextAttributes(*view);
        view->setSmartInsertDeleteEnabled(false);
        view->setEditedHandler([this, view] { textViewEdited(*view); });
    }
}

bool SettingsController::showAccessibilityState() {
    if (!platform_.accessibility.isEnabled()) return false;
    // Each desktop says it in its own words.
    interface_.accessibilityStatusField.setStringValue(
        platform_.appServices.localizedString(kAccessibilityOn));
    interface_.accessibilityStatusField.setTextColor(kBlack);
    return true;
}

void SettingsController::showInHistoryView(const std::string& text) {
    TextView& view = interface_.historyTextView;
    view.setString(text);
    view.setFont(font_);
    view.setTextStorageFont(font_);
    applyTextAttributes(view);
}

void SettingsController::loadHistoryText() {
    showInHistoryView(settingTextOfHistory(history_.history()));
}

std::string SettingsController::apply(std::string_view text) {
    ParsedSettingText parsed = historyOfSettingText(text, history_.history(), platform_.clock.now());
    const char* result = kNoMenuItemResult;
    if (parsed.acceptedLines > 0) {
        // An applied text is the user's deliberate edit: it is stored soon, not only at the end.
        history_.replace(std::move(parsed.history));
        result = kApplySettingTextResult;
    }
    showInHistoryView(result);
    return result;
}

void SettingsController::applyHistoryText() {
    apply(interface_.historyTextView.string());
}

std::string SettingsController::historyText() const {
    return settingTextOfHistory(history_.history());
}

std::string SettingsController::importHistoryText(const std::string& text) {
    // Not copied into the view first: the view would style a text of megabytes only to replace it with the
    // result line, which is all that Apply leaves there.
    return apply(text);
}

void SettingsController::launchAtLoginChanged() {
    setLaunchAtLogin(platform_.loginItems, platform_.appServices,
                     preferences_.boolForKey(preference::launchAtLogin));
}

void SettingsController::applyTextAttributes(TextView& view) {
    const Utf16TabScan scan = scanTabsInUtf16Units(view.string());
    const TextRange whole{0, scan.length};
    view.addParagraphStyle(tabStops_, whole);
    view.addBackgroundColor(kTintedBackground, whole);
    for (std::size_t position : scan.tabPositions)
        view.addBackgroundColor(kTabBackground, TextRange{position, 1});
}

void SettingsController::textViewEdited(TextView& view) {
    applyTextAttributes(view);
    if (&view == &interface_.shortcutTextView) storeEdit(preferences_, view, preference::shortcutText);
    if (&view == &interface_.blacklistTextView) storeEdit(preferences_, view, preference::blacklist);
}

} // namespace quoddle
