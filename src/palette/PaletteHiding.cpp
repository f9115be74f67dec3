// Hiding the palette, and the timer that hides it when the pointer wanders away.
#include "QuoddleAppDelegate.h"
#include "palette/PaletteMetrics.h"

namespace quoddle {

namespace {
constexpr std::chrono::duration<double> kCheckMouseInterval{0.05};
}

void QuoddleAppDelegate::hideWindow() {
    if (window.isVisible()) window.orderOut();
    stopCheckMouseTimer();
}

void QuoddleAppDelegate::startCheckMouseTimer() {
    stopCheckMouseTimer();
    checkMouseTimer = platform.runLoop.scheduleTimer(kCheckMouseInterval, true, [this] { checkMouse(); });
}

void QuoddleAppDelegate::stopCheckMouseTimer() {
    if (!checkMouseTimer) return;
    platform.runLoop.invalidateTimer(*checkMouseTimer);
    checkMouseTimer.reset();
}

void QuoddleAppDelegate::checkMouse() {
    // A press held inside the palette (a button being clicked) must not lose the palette under it.
    if (isPressAppWindow) return;
    const Point p = platform.pointer.mouseLocation();
    const Rect f = window.frame();
    if (p.x >= f.minX() && p.x < f.maxX() && p.y >= f.minY() && p.y < f.maxY()) return;

    // The margin is the user's integer, doubled in 32 bits as the palette's geometry is.
    const std::int32_t d =
        asInt32(2 * std::int64_t{asInt32(userDefaults.integerForKey(kWindowAndMouseMargin))});
    if (p.x < f.minX() - d || p.x > f.maxX() + d || p.y < f.minY() - d || p.y > f.maxY() + d) hideWindow();
}

void QuoddleAppDelegate::windowWillClose(const Window& closing) {
    if (&closing == &window) stopCheckMouseTimer();
}

} // namespace quoddle
