#pragma once
// The listen-only event tap's callback: it never changes, delays or swallows an event.

#include "platform/EventTap.h"

namespace quoddle {

// Left presses, left releases, right presses, key presses and other buttons' presses; nothing else.
inline constexpr CGEventMask kPassiveEventTapMask =
    CGEventMaskBit(kCGEventLeftMouseDown) | CGEventMaskBit(kCGEventLeftMouseUp) |
    CGEventMaskBit(kCGEventRightMouseDown) | CGEventMaskBit(kCGEventKeyDown) |
    CGEventMaskBit(kCGEventOtherMouseDown);

inline constexpr const char* kInstallPassiveEventTapNotification = "installPassiveEventTapNotification";

// Constant work and no query of another process: the work of left presses and releases is queued for a
// later pass of the main loop.
CGEvent* MyPassiveEventTapCallBack(void* proxy, CGEventType type, CGEvent* event, void* userInfo);

} // namespace quoddle
