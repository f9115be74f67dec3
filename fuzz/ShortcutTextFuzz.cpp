// The shortcut text is typed by the user and the integer preferences can hold anything: lay out and click
// whatever comes. The whole input is the shortcut text; its first bytes also give the per-line count, the
// palette width and the margin, so ordinary texts try ordinary and odd numbers alike.
#include "QuoddleAppDelegate.h"
#include "platform/sim/SimDesktop.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

namespace quoddle {
namespace {

std::int64_t paletteWidthOf(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 180;
    const auto width = static_cast<std::int16_t>(data[2] | data[3] << 8);
    // Now and then an absurd width, to reach the guards against overflowing arithmetic.
    if (data[0] & 0x80) return std::numeric_limits<std::int64_t>::max() / (width == 0 ? 1 : width);
    return width;
}

void setPreferences(SimDefaultsStore& defaults, const std::uint8_t* data, std::size_t size) {
    defaults.set(kShortcutButtonSetting, std::string(reinterpret_cast<const char*>(data), size));
    if (size > 1) defaults.set(kShortcutButtonNumPerLine, std::int64_t{static_cast<std::int8_t>(data[1])});
    defaults.set(kServiceButtonWindowWidth, paletteWidthOf(data, size));
    if (size > 4) defaults.set(kWindowAndMouseMargin, std::int64_t{static_cast<std::int8_t>(data[4])});
}

// A target with a little history, and an application in front that receives posted keys.
void prepareDesktop(SimDesktop& desktop, QuoddleAppDelegate& controller) {
    RunningApplication target = desktop.launch("TextEdit", "com.apple.TextEdit");
    desktop.accessibility.addStandardMenuBar(target.processIdentifier, {"Make Sticky", "Search With Google"});
    desktop.workspace.activate(target.processIdentifier);
    controller.menuItemHistoryDic.tableFor("TextEdit").recordUse("Make Sticky", desktop.clock.now());
    controller.menuItemHistoryDic.tableFor("*").recordUse("Search With Google", desktop.clock.now());
    gMouseDownElementRole = "AXTextArea";
    gMouseDownElementInfo = "e";
    gSeletedTextElementRole = "AXTextArea";
    gSeletedTextElementInfo = "e";
    gSeletedTextElementPid = target.processIdentifier;
    gLastClickDate = desktop.clock.now();
    gLastSelectedDate = desktop.clock.now();
}

void clickEveryButton(SimDesktop& desktop, const std::vector<ButtonRef>& buttons) {
    for (const ButtonRef& button : buttons) {
        desktop.window.orderFront();
        static_cast<SimButton&>(*button).performClick();
    }
}

} // namespace
} // namespace quoddle

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quoddle;
    resetProcessWideState();
    {
        SimDesktop desktop;
        setPreferences(desktop.defaultsStore, data, size);
        QuoddleAppDelegate controller(desktop.platform());
        gQuoddleAppDelegate = &controller;
        prepareDesktop(desktop, controller);
        controller.showWindow();
        // Copies: a click may hide the palette, and the lists must outlive the clicks.
        const std::vector<ButtonRef> shortcuts = controller.shortcutButtonArray;
        const std::vector<ButtonRef> services = controller.serviceButtonArray;
        clickEveryButton(desktop, shortcuts);
        clickEveryButton(desktop, services);
        desktop.runLoop.advance(std::chrono::milliseconds(100));
    }
    resetProcessWideState();
    return 0;
}
