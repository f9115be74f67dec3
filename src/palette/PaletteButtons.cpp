#include "palette/PaletteButtons.h"

#include "Preferences.h"
#include "palette/PaletteMetrics.h"
#include "palette/ShortcutText.h"

#include <algorithm>
#include <array>

namespace quoddle {

namespace {

void takeOffPalette(std::vector<ButtonRef>& buttons) {
    for (const ButtonRef& button : buttons)
        button->removeFromSuperview();
    buttons.clear();
}

// The grid divides by this count, so a setting below 1 lays the buttons out one per row.
std::int32_t shortcutButtonsPerRow(const UserDefaults& preferences) {
    return std::max(asInt32(preferences.integerForKey(preference::shortcutButtonsPerRow)), std::int32_t{1});
}

} // namespace

PaletteButtons::PaletteButtons(Platform& platform, const UserDefaults& preferences, KeyboardTables& keyboard,
                               ServicesMenu& servicesMenu, HistoryRecorder& history, PaletteHost& host)
    : platform_(platform), preferences_(preferences), keyboard_(keyboard), servicesMenu_(servicesMenu),
      history_(history), host_(host), palette_(platform.interface.palette) {}

bool PaletteButtons::rebuild(ProcessId target) {
    target_ = target;
    takeOffPalette(serviceButtons_);
    takeOffPalette(shortcutButtons_);
    layOutShortcutButtons();

    const std::string text = preferences_.stringForKey(preference::shortcutText).value_or("");
    takenTitles_ = shortcutServiceNames(text);
    std::optional<RunningApplication> application = platform_.workspace.applicationWithPid(target);
    // Without the application's name neither history is consulted.
    if (application && application->localizedName) addServiceButtons(*application->localizedName);
    return !serviceButtons_.empty() || !shortcutButtons_.empty();
}

void PaletteButtons::layOutShortcutButtons() {
    shortcutRows_ = 0;
    ShortcutLayout layout =
        layOutShortcutText(preferences_.stringForKey(preference::shortcutText).value_or(""),
                           shortcutButtonsPerRow(preferences_), palette_.frame().size.width);
    for (ShortcutButtonPlan& plan : layout.buttons) {
        ButtonRef button = palette_.addButton(plan.frame);
        button->setTitle(plan.fields.front());
        button->setAction([this, fields = std::move(plan.fields)] { shortcutButtonClicked(fields); });
        shortcutButtons_.push_back(std::move(button));
    }
    if (layout.slots == 0) return;
    shortcutRows_ = layout.lines;
    setPaletteContentHeight(palette_, contentHeightForRows(shortcutRows_), false);
}

void PaletteButtons::addServiceButtons(const std::string& applicationKey) {
    const std::int32_t recentApplicationLimit =
        asInt32(preferences_.integerForKey(preference::recentApplicationServices));
    const std::int32_t recentAllLimit = asInt32(preferences_.integerForKey(preference::recentAllServices));
    const std::int32_t alwaysShowUseCount =
        asInt32(preferences_.integerForKey(preference::alwaysShowUseCount));
    auto isTaken = [this](const std::string& title) {
        return std::find(takenTitles_.begin(), takenTitles_.end(), title) != takenTitles_.end();
    };
    const std::array<std::string, 2> keys{applicationKey, kAllApplicationsKey};
    // Top to bottom: the most used of the application, then of all applications (every one used at least
    // so often), then the newest of each, up to their limits.
    for (const std::string& key : keys)
        if (const ApplicationHistory* table = history_.history().find(key))
            for (const HistoryItem* item : table->itemsWithCountAtLeast(alwaysShowUseCount))
                if (!isTaken(item->title)) addServiceButton(*item);
    for (const std::string& key : keys)
        if (const ApplicationHistory* table = history_.history().find(key))
            for (const HistoryItem* item : table->newestItems(
                     key == kAllApplicationsKey ? recentAllLimit : recentApplicationLimit, isTaken))
                addServiceButton(*item);
}

void PaletteButtons::addServiceButton(const HistoryItem& item) {
    const auto index = static_cast<std::int64_t>(serviceButtons_.size());
    ButtonRef button =
        palette_.addButton(serviceButtonFrame(index, shortcutRows_, palette_.frame().size.width));
    button->setTitle(item.userTitle.value_or(item.title));
    button->setAction([this, title = item.title] { serviceButtonClicked(title); });
    setPaletteContentHeight(palette_, contentHeightForRows(index + 1 + shortcutRows_), true);
    takenTitles_.push_back(item.title);
    serviceButtons_.push_back(std::move(button));
}

void PaletteButtons::serviceButtonClicked(const std::string& title) {
    if (servicesMenu_.press(target_, title)) history_.recordUse(title, target_);
    host_.hidePalette();
}

void PaletteButtons::shortcutButtonClicked(const std::vector<std::string>& fields) {
    // Without a value there is nothing to invoke or post: the click is abandoned, words and all.
    if (fields.size() < 3) return;
    if (fields[1] == kServiceLineType) {
        if (servicesMenu_.press(target_, fields[2])) history_.recordUse(fields[2], target_);
    } else if (!postShortcutKey(fields)) {
        return;
    }
    applyShortcutWords(fields);
}

bool PaletteButtons::postShortcutKey(const std::vector<std::string>& fields) {
    // The application in front at the moment of the click, not necessarily the palette's target.
    std::optional<RunningApplication> active = platform_.workspace.activeApplication();
    ax::ElementRef application =
        active ? platform_.accessibility.applicationElement(active->processIdentifier) : nullptr;
    if (!application) {
        platform_.appServices.beep();
        return false;
    }
    KeyStroke stroke{shortcutModifierKeyCodes(fields), std::nullopt};
    if (fields[1] == kCharacterLineType)
        stroke.key = keyboard_.keyCodeTyping(fields[2]);
    else if (fields[1] == kKeyCodeLineType)
        stroke.key = static_cast<std::uint16_t>(static_cast<std::uint32_t>(intValueOfString(fields[2])));
    platform_.accessibility.postKeyStroke(application, stroke);
    return true;
}

void PaletteButtons::applyShortcutWords(const std::vector<std::string>& fields) {
    if (!shortcutLineHasWord(fields, kDontHideWindowWord)) host_.hidePalette();
    if (shortcutLineHasWord(fields, kShowShortcutOnlyWord)) setPaletteRowsKeepingTop(palette_, shortcutRows_);
    if (shortcutLineHasWord(fields, kStopAutoHideWindowWord)) host_.pinPalette();
}

} // namespace quoddle
