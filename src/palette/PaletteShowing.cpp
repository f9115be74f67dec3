// Showing the palette once a press, a selection and a release have all been seen, and placing it.
#include "QuoddleAppDelegate.h"
#include "palette/PaletteMetrics.h"
#include "palette/PalettePlacement.h"

namespace quoddle {

namespace {

constexpr double kPaletteAlpha = 0.85;
constexpr int kStatusWindowLevelKey = 9;

bool isTextControlRole(const std::optional<std::string>& role) {
    return role && (*role == "AXTextArea" || *role == "AXTextField" || *role == "AXComboBox");
}

// In a text control the selection must lie in the element that was pressed; a missing identity never
// matches. Other elements are not compared.
bool selectionIsInPressedTextControl() {
    if (!isTextControlRole(gMouseDownElementRole) && !isTextControlRole(gSeletedTextElementRole)) return true;
    return gMouseDownElementInfo && gSeletedTextElementInfo &&
           *gMouseDownElementInfo == *gSeletedTextElementInfo;
}

// A selection and a release since the click data were last emptied, in the pressed text control, and
// not on an image.
bool clickDataAskForPalette() {
    if (!gLastSelectedDate || !gLastClickDate) return false;
    if (!selectionIsInPressedTextControl()) return false;
    return gMouseDownElementRole != "AXImage";
}

void setPaletteWidth(PaletteWindow& window, double width) {
    Rect frame = window.frame();
    frame.size.width = width;
    window.setFrame(frame, false);
}

void setPaletteAppearance(PaletteWindow& window) {
    window.setAlphaValue(kPaletteAlpha);
    window.setLevelForKey(kStatusWindowLevelKey);
    window.setOpaque(false);
    window.setHidesOnDeactivate(false);
}

} // namespace

void QuoddleAppDelegate::showWindow() {
    if (window.isVisible()) return;
    if (!clickDataAskForPalette()) return;
    // The pid first: emptying the click data resets it.
    serviceTargetAppPid = gSeletedTextElementPid;
    isStopAutoHideWindow = false;
    clearClickData();

    window.setFrameOrigin(platform.pointer.mouseLocation());
    // The rebuild reads the width, so it is set before.
    setPaletteWidth(window, static_cast<double>(userDefaults.integerForKey(kServiceButtonWindowWidth)));
    setPaletteAppearance(window);
    if (addServiceButton()) {
        setWindowPosition();
        startCheckMouseTimer();
    }
    getAllServiceMenuItemTitle();
}

void QuoddleAppDelegate::setWindowPosition() {
    const std::vector<Rect> screens = platform.screens.screenFrames();
    const Rect fallback = window.screenFrame().value_or(screens.empty() ? Rect{} : screens.front());
    const Point origin =
        paletteOriginBesidePointer(window.frame().size, platform.pointer.eventLocation(), screens, fallback,
                                   asInt32(userDefaults.integerForKey(kWindowAndMouseMargin)));
    window.setFrameOrigin(origin);
    window.orderFront();
}

} // namespace quoddle
