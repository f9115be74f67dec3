// The palette's service buttons: rebuilt before every showing from the target application's history and
// the all-applications history, below the shortcut rows; a click invokes the Services item.
#include "QuoddleAppDelegate.h"
#include "palette/PaletteMetrics.h"

#include <array>
#include <unordered_set>

namespace quoddle {

namespace {

// Titles that already have a button: a service gets at most one, at its first place.
using TakenTitles = std::unordered_set<std::string>;

void takeOffPalette(std::vector<ButtonRef>& buttons) {
    for (const ButtonRef& button : buttons)
        button->removeFromSuperview();
    buttons.clear();
}

std::optional<std::string> targetApplicationKey(const Workspace& workspace, ProcessId pid) {
    std::optional<RunningApplication> application = workspace.runningApplicationWithProcessIdentifier(pid);
    if (!application) return std::nullopt;
    return application->localizedName;
}

void makeButtonFor(QuoddleAppDelegate& controller, const HistoryItem& item, TakenTitles& taken) {
    controller.makeServiceButton(item.title, item.userTitle);
    taken.insert(item.title);
}

// Every item used at least `alwaysShowItemCount` times, most used first.
void addFrequentButtons(QuoddleAppDelegate& controller, const ApplicationHistory& table,
                        std::int32_t alwaysShowItemCount, TakenTitles& taken) {
    for (const HistoryItem* item : table.itemsWithCountAtLeast(alwaysShowItemCount))
        if (!taken.count(item->title)) makeButtonFor(controller, *item, taken);
}

// The newest untaken items, up to the limit; the limit is tested after adding, so at least one.
void addRecentButtons(QuoddleAppDelegate& controller, const ApplicationHistory& table, std::int32_t limit,
                      TakenTitles& taken) {
    auto isTaken = [&taken](const std::string& title) { return taken.count(title) != 0; };
    for (const HistoryItem* item : table.newestItems(limit, isTaken))
        makeButtonFor(controller, *item, taken);
}

} // namespace

bool QuoddleAppDelegate::addServiceButton() {
    takeOffPalette(serviceButtonArray);
    serviceNameArray.clear();
    takeOffPalette(shortcutButtonArray);
    shortcutKeyArray.clear();
    makeShortcutButton();

    const std::optional<std::string> applicationKey =
        targetApplicationKey(platform.workspace, serviceTargetAppPid);
    const std::int32_t recentAppLimit = asInt32(userDefaults.integerForKey(kRecentAppMenuItemNum));
    const std::int32_t recentAllLimit = asInt32(userDefaults.integerForKey(kRecentAllMenuItemNum));
    const std::int32_t alwaysShowItemCount = asInt32(userDefaults.integerForKey(kAlwaysShowItemCount));
    std::vector<std::string> shortcutServices = serviceNameArrayOfShortcutButton();
    TakenTitles taken(shortcutServices.begin(), shortcutServices.end());

    if (applicationKey) {
        const std::array<std::string, 2> keys{*applicationKey, kAllApplicationsKey};
        for (const std::string& key : keys)
            if (const ApplicationHistory* table = menuItemHistoryDic.find(key))
                addFrequentButtons(*this, *table, alwaysShowItemCount, taken);
        for (const std::string& key : keys)
            if (const ApplicationHistory* table = menuItemHistoryDic.find(key))
                addRecentButtons(*this, *table, key == kAllApplicationsKey ? recentAllLimit : recentAppLimit,
                                 taken);
    }
    return !serviceButtonArray.empty() || !shortcutButtonArray.empty();
}

void QuoddleAppDelegate::makeServiceButton(const std::string& title,
                                           const std::optional<std::string>& userTitle) {
    const auto index = static_cast<std::int64_t>(serviceButtonArray.size());
    ButtonRef button =
        window.addButton(serviceButtonFrame(index, shortcutButtonLine, window.frame().size.width));
    button->setTitle(userTitle.value_or(title));
    button->setBezelStyle(kTexturedRoundedBezelStyle);
    button->setAction([this](Button& sender) { clickServiceButton(sender); });
    button->setTag(static_cast<int>(index));
    setPaletteContentHeight(window, contentHeightForRows(index + 1 + shortcutButtonLine), true);
    serviceNameArray.push_back(title);
    serviceButtonArray.push_back(std::move(button));
}

void QuoddleAppDelegate::clickServiceButton(Button& sender) {
    const int tag = sender.tag();
    if (tag < 0 || static_cast<std::size_t>(tag) >= serviceNameArray.size()) return;
    // A copy: pressing the item may lead to a rebuild of the lists.
    const std::string title = serviceNameArray[static_cast<std::size_t>(tag)];
    clickServiceMenuItem(title);
    hideWindow();
}

} // namespace quoddle
