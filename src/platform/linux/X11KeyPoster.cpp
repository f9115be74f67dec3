#include "platform/linux/X11KeyPoster.h"

#include "platform/linux/MacKeyCodes.h"
#include "platform/linux/X11Handles.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>

namespace quoddle {

X11KeyPoster::X11KeyPoster(Display* display) : display_(display) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    hasXTest_ = display_ && XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor);
}

X11KeyPoster::~X11KeyPoster() {
    releaseHeldModifiers();
}

bool X11KeyPoster::fakeKey(std::uint8_t keycode, bool keyDown) {
    if (!hasXTest_ || displayConnectionBroken(display_)) return false;
    X11ErrorTrap trap(display_);
    if (!XTestFakeKeyEvent(display_, keycode, keyDown ? True : False, CurrentTime)) return false;
    // Waiting for the server keeps the order of keys against whatever the caller does next, and brings
    // back its refusal, if any, to this step.
    return trap.syncSucceeded();
}

void X11KeyPoster::releaseHeldModifiers() {
    // Latest first, as a person lets go.
    while (!held_.empty()) {
        const std::uint16_t modifier = held_.back();
        held_.pop_back();
        if (std::optional<std::uint8_t> keycode = xKeycodeForMacKey(modifier)) fakeKey(*keycode, false);
    }
}

AXError X11KeyPoster::postKey(std::uint16_t macVirtualKey, bool keyDown) {
    const MacKeyMapping* mapping = macKeyMapping(macVirtualKey);
    if (!mapping) {
        releaseHeldModifiers();
        return kAXErrorIllegalArgument;
    }
    const auto heldAt = std::find(held_.begin(), held_.end(), macVirtualKey);
    if (mapping->isModifier && !keyDown && heldAt == held_.end()) return kAXErrorSuccess;
    if (!fakeKey(mapping->xKeycode, keyDown)) {
        if (mapping->isModifier && !keyDown) held_.erase(heldAt);
        releaseHeldModifiers();
        return kAXErrorCannotComplete;
    }
    if (mapping->isModifier) {
        if (keyDown && heldAt == held_.end()) held_.push_back(macVirtualKey);
        if (!keyDown) held_.erase(heldAt);
    }
    return kAXErrorSuccess;
}

} // namespace quoddle
