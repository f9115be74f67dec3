// The shortcut text is typed by the user and the integer preferences can hold anything: lay out and click
// whatever comes. The whole input is the shortcut text; its first bytes also give the per-row count, the
// palette width and the margin, so ordinary texts try ordinary and odd numbers alike.
#include "Preferences.h"
#include "Quoddle.h"
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
    defaults.set(preference::shortcutText, std::string(reinterpret_cast<const char*>(data), size));
    if (size > 1)
        defaults.set(preference::shortcutButtonsPerRow, std::int64_t{static_cast<std::int8_t>(data[1])});
    defaults.set(preference::paletteWidth, paletteWidthOf(data, size));
    if (size > 4) defaults.set(preference::paletteMargin, std::int64_t{static_cast<std::int8_t>(data[4])});
    defaults.set(preference::showSettingsAtStart, false);
}

} // namespace
} // namespace quoddle

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quoddle;
    SimDesktop desktop;
    setPreferences(desktop.defaultsStore, data, size);
    const RunningApplication target = desktop.launch("TextEdit", "com.apple.TextEdit");
    desktop.accessibility.addStandardMenuBar(target.processIdentifier, {"Make Sticky", "Search With Google"});
    ax::ElementRef text = desktop.accessibility.add(
        desktop.accessibility.addWindow(target.processIdentifier, {.frame = Rect{{0, 0}, {800, 600}}}),
        {.role = ax::Role::textArea, .frame = Rect{{10, 10}, {700, 500}}});
    desktop.workspace.activate(target.processIdentifier);
    Quoddle quoddle(desktop.platform());
    quoddle.start();
    quoddle.actions().importHistoryText("TextEdit\t1\tMake Sticky\t\n*\t1\tSearch With Google\tSearch\n");
    desktop.moveMouseTo({100, 100});
    desktop.pressLeftButton();
    desktop.accessibility.focus(text);
    desktop.accessibility.selectText(text, ax::RangeValue{0, 4});
    desktop.releaseLeftButton();
    // Copies: a click may hide the palette or rebuild its buttons.
    const std::vector<std::shared_ptr<SimButton>> buttons = desktop.palette.buttons();
    for (const auto& button : buttons) {
        desktop.palette.orderFront();
        button->performClick();
    }
    desktop.runLoop.advance(std::chrono::milliseconds(100));
    return 0;
}
