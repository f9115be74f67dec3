// The shortcut buttons: laid out from the shortcut text at every rebuild; a click invokes a service or
// posts a key with modifiers to the application in front, then applies the line's flags.
#include "QuoddleAppDelegate.h"
#include "palette/PaletteMetrics.h"
#include "palette/ShortcutText.h"

#include <algorithm>

namespace quoddle {

namespace {

std::string shortcutText(const UserDefaults& defaults) {
    return defaults.stringForKey(kShortcutButtonSetting).value_or("");
}

// The grid divides by this count, so a setting below 1 lays the buttons out one per row.
std::int32_t shortcutButtonsPerLine(const UserDefaults& defaults) {
    return std::max(asInt32(defaults.integerForKey(kShortcutButtonNumPerLine)), std::int32_t{1});
}

// The key a "char" or "keyCode" line posts; none for a character no key types and for other types.
std::optional<std::uint16_t> shortcutKeyCode(const std::string& type, const std::string& value,
                                             KeyCodeTables& keyCodeTables) {
    if (type == kShortcutButtonSetting_type_char) {
        const std::uint16_t keyCode = keyCodeTables.NSStringToKeyCode(value);
        if (keyCode == 0xFFFF) return std::nullopt;
        return keyCode;
    }
    if (type == kShortcutButtonSetting_type_keyCode)
        return static_cast<std::uint16_t>(static_cast<std::uint32_t>(intValueOfString(value)));
    return std::nullopt;
}

// Posts the line's key, wrapped in its modifiers, to the active application. False (after a beep) when
// that application's element cannot be made.
bool postShortcutKey(QuoddleAppDelegate& controller, const std::vector<std::string>& fields) {
    Platform& platform = controller.platform;
    std::optional<RunningApplication> active = platform.workspace.activeApplication();
    AXUIElementRef application =
        active ? platform.accessibility.createApplication(active->processIdentifier) : nullptr;
    if (!application) {
        platform.appServices.beep();
        return false;
    }
    auto post = [&](std::uint16_t keyCode, bool down) {
        platform.accessibility.postKeyboardEvent(application, 0, keyCode, down);
    };
    const std::vector<std::uint16_t> modifiers = shortcutModifierKeyCodes(fields);
    for (std::uint16_t modifier : modifiers)
        post(modifier, true);
    if (std::optional<std::uint16_t> keyCode =
            shortcutKeyCode(fields[1], fields[2], controller.keyCodeTables)) {
        post(*keyCode, true);
        post(*keyCode, false);
    }
    for (std::uint16_t modifier : modifiers)
        post(modifier, false);
    return true;
}

void applyShortcutFlags(QuoddleAppDelegate& controller, const std::vector<std::string>& fields) {
    if (!shortcutLineHasWord(fields, kDontHideWindowWord)) controller.hideWindow();
    if (shortcutLineHasWord(fields, kShowShortcutOnlyWord))
        setPaletteRowsKeepingTop(controller.window, shortcutButtonLine);
    if (shortcutLineHasWord(fields, kStopAutoHideWindowWord)) {
        controller.isStopAutoHideWindow = true;
        controller.stopCheckMouseTimer();
    }
}

} // namespace

void QuoddleAppDelegate::makeShortcutButton() {
    if (!serviceButtonArray.empty()) return;
    shortcutButtonLine = 0;
    ShortcutLayout layout = layOutShortcutText(
        shortcutText(userDefaults), shortcutButtonsPerLine(userDefaults), window.frame().size.width);
    for (ShortcutButtonPlan& plan : layout.buttons) {
        ButtonRef button = window.addButton(plan.frame);
        button->setTitle(plan.fields.front());
        button->setBezelStyle(kTexturedRoundedBezelStyle);
        button->setAction([this](Button& sender) { clickShortCutKeyButton(sender); });
        button->setTag(static_cast<int>(shortcutButtonArray.size()));
        shortcutKeyArray.push_back(std::move(plan.fields));
        shortcutButtonArray.push_back(std::move(button));
    }
    if (layout.slots == 0) return;
    shortcutButtonLine = layout.lines;
    setPaletteContentHeight(window, contentHeightForRows(shortcutButtonLine), false);
}

std::vector<std::string> QuoddleAppDelegate::serviceNameArrayOfShortcutButton() const {
    return shortcutServiceNames(shortcutText(userDefaults));
}

void QuoddleAppDelegate::clickShortCutKeyButton(Button& sender) {
    const int tag = sender.tag();
    if (tag < 0 || static_cast<std::size_t>(tag) >= shortcutKeyArray.size()) return;
    // A copy: invoking a service or hiding the palette must not pull the fields from under this click.
    const std::vector<std::string> fields = shortcutKeyArray[static_cast<std::size_t>(tag)];
    // Without a value there is nothing to invoke or post: the click is abandoned, flags and all.
    if (fields.size() < 3) return;
    if (fields[1] == kShortcutButtonSetting_type_service) {
        clickServiceMenuItem(fields[2]);
    } else if (!postShortcutKey(*this, fields)) {
        return;
    }
    applyShortcutFlags(*this, fields);
}

} // namespace quoddle
