#include "platform/sim/SimDesktop.h"

namespace quoddle {

SimDesktop::SimDesktop()
    : platform_{defaultsStore,
                workspace,
                runLoop,
                clock,
                appServices,
                application,
                accessibility,
                eventTaps,
                pointer,
                screens,
                keyboardLayout,
                loginItems,
                Interface{palette, settingsWindow, startupWindow, historyTextView, shortcutTextView,
                          blacklistTextView, accessibilityStatusField}} {
    const RunningApplication self = workspace.currentApplication();
    paletteElement_ =
        accessibility.add(accessibility.addApplication(self.processIdentifier, *self.localizedName),
                          {.role = ax::Role::window, .title = "Quoddle"});
    accessibility.setOwnWindowsHitTest([this](double x, double y) -> ax::ElementRef {
        const Rect frame = paletteEventFrame();
        if (!palette.isVisible() || x < frame.minX() || x >= frame.maxX() || y < frame.minY() ||
            y >= frame.maxY())
            return nullptr;
        accessibility.setFrame(paletteElement_, frame);
        return paletteElement_;
    });
}

SimDesktop::~SimDesktop() = default;

RunningApplication SimDesktop::launch(const std::string& localizedName, const std::string& bundleIdentifier) {
    return workspace.launch(localizedName, bundleIdentifier, [&](const RunningApplication& application) {
        accessibility.addApplication(application.processIdentifier, localizedName);
    });
}

Rect SimDesktop::paletteEventFrame() const {
    const Rect frame = palette.frame();
    const Point topLeft = pointer.eventPointOfScreenPoint({frame.minX(), frame.maxY()});
    return Rect{topLeft, frame.size};
}

void SimDesktop::clickButton(SimButton& button) {
    // Content coordinates start at the top-left of the content view, which begins below the frame's top
    // edge by the frame allowance.
    const Rect frame = paletteEventFrame();
    const Rect b = button.frame();
    moveMouseTo({frame.minX() + b.minX() + b.size.width / 2,
                 frame.minY() + palette.frameAllowance + b.minY() + b.size.height / 2});
    pressLeftButton();
    releaseLeftButton();
    button.performClick();
    runLoop.runPending();
}

void SimDesktop::input(InputEventType type) {
    eventTaps.deliver(type);
    runLoop.runPending();
}

} // namespace quoddle
