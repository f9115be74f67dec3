#pragma once
// Posts key presses and releases to the focused window through XTest, by macOS virtual key code.
//
// A shortcut is posted as separate steps (modifiers down, key down and up, modifiers up). A step that
// fails would otherwise leave a modifier down for the whole session, so the poster remembers the
// modifiers it pressed and releases them itself when a step fails and when it is destroyed.

#include "platform/Accessibility.h"

#include <cstdint>
#include <vector>

struct _XDisplay;
using Display = _XDisplay;

namespace quoddle {

class X11KeyPoster {
public:
    // The connection is the caller's and must outlive this object; main thread only.
    explicit X11KeyPoster(Display* display);
    ~X11KeyPoster();
    X11KeyPoster(const X11KeyPoster&) = delete;
    X11KeyPoster& operator=(const X11KeyPoster&) = delete;

    // Presses or releases the key at the macOS key's position; the server has handled it on return.
    // illegalArgument for a code without a key, cannotComplete when XTest is missing or
    // the server refused; on either, the modifiers still held are released first. Releasing a modifier
    // this poster does not hold does nothing (it may be the user's own finger).
    ax::Error postKey(std::uint16_t macVirtualKey, bool keyDown);
    // The modifiers down, the key down and up, the modifiers up; it stops at the first step that fails.
    ax::Error postStroke(const KeyStroke& stroke);

    // Releases every modifier this poster holds.
    void releaseHeldModifiers();
    // The macOS codes of the modifiers this poster holds down, in pressing order.
    const std::vector<std::uint16_t>& heldModifiers() const { return held_; }

private:
    bool fakeKey(std::uint8_t keycode, bool keyDown);

    Display* display_;
    bool hasXTest_ = false;
    std::vector<std::uint16_t> held_;
};

} // namespace quoddle
