#include "platform/linux/x11/X11KeyPoster.h"

#include "platform/linux/x11/KeyCodeTranslation.h"
#include "platform/linux/x11/X11Handles.h"

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

ax::Error X11KeyPoster::postKey(std::uint16_t macVirtualKey, bool keyDown) {
    const MacKeyMapping* mapping = macKeyMapping(macVirtualKey);
    if (!mapping) {
        releaseHeldModifiers();
        return ax::Error::illegalArgument;
    }
    const auto heldAt = std::find(held_.begin(), held_.end(), macVirtualKey);
    if (mapping->isModifier && !keyDown && heldAt == held_.end()) return ax::Error::success;
    if (!fakeKey(mapping->xKeycode, keyDown)) {
        if (mapping->isModifier && !keyDown) held_.erase(heldAt);
        releaseHeldModifiers();
        return ax::Error::cannotComplete;
    }
    if (mapping->isModifier) {
        if (keyDown && heldAt == held_.end()) held_.push_back(macVirtualKey);
        if (!keyDown) held_.erase(heldAt);
    }
    return ax::Error::success;
}

ax::Error X11KeyPoster::postStroke(const KeyStroke& stroke) {
    std::vector<std::pair<std::uint16_t, bool>> steps;
    for (std::uint16_t modifier : stroke.modifiers)
        steps.emplace_back(modifier, true);
    if (stroke.key) {
        steps.emplace_back(*stroke.key, true);
        steps.emplace_back(*stroke.key, false);
    }
    for (std::uint16_t modifier : stroke.modifiers)
        steps.emplace_back(modifier, false);
    for (const auto& [key, down] : steps)
        if (ax::Error error = postKey(key, down); error != ax::Error::success) return error;
    return ax::Error::success;
}

} // namespace quoddle
