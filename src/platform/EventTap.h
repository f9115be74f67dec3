#pragma once
// Port: a listen-only tap on the window system's input events, and the pointer position.
//
// The tap's callback runs on the main loop, once per event, in the order the events happened, and must
// return at once (the core queues the work of left presses and releases). A tap the window system stops
// is reported to its callback as kCGEventTapDisabledByTimeout (the core enables it again) or
// kCGEventTapDisabledByUserInput (the core makes a new one).

#include "platform/Geometry.h"

#include <cstdint>
#include <memory>

namespace quoddle {

// Event types as the event system numbers them.
using CGEventType = std::uint32_t;
inline constexpr CGEventType kCGEventLeftMouseDown = 1;
inline constexpr CGEventType kCGEventLeftMouseUp = 2;
inline constexpr CGEventType kCGEventRightMouseDown = 3;
inline constexpr CGEventType kCGEventKeyDown = 10;
inline constexpr CGEventType kCGEventOtherMouseDown = 25;
inline constexpr CGEventType kCGEventTapDisabledByTimeout = 0xFFFFFFFEu;
inline constexpr CGEventType kCGEventTapDisabledByUserInput = 0xFFFFFFFFu;

using CGEventMask = std::uint64_t;
constexpr CGEventMask CGEventMaskBit(CGEventType type) {
    return CGEventMask{1} << type;
}

// An input event as the tap hands it over; a listen-only tap returns it unchanged.
struct CGEvent {
    CGEventType type = 0;
    Point location; // event coordinates: origin at the top-left of the first screen
};

using CGEventTapCallBack = CGEvent* (*)(void* proxy, CGEventType type, CGEvent* event, void* userInfo);

// A tap's event source on the main run loop.
class RunLoopSource {
public:
    virtual ~RunLoopSource() = default;
    virtual void addToRunLoop() = 0;
    virtual void removeFromRunLoop() = 0;
};

class EventTap {
public:
    virtual ~EventTap() = default;
    virtual void enable(bool on) = 0;
    // Null when no source can be made.
    virtual std::unique_ptr<RunLoopSource> createRunLoopSource() = 0;
};

class EventTaps {
public:
    virtual ~EventTaps() = default;
    // A listen-only tap at the end of the session's event stream; null when it cannot be created.
    virtual std::unique_ptr<EventTap> createListenOnlyTap(CGEventMask mask, CGEventTapCallBack callback,
                                                          void* userInfo) = 0;
};

class Pointer {
public:
    virtual ~Pointer() = default;
    // Window-system screen coordinates: origin at the bottom-left of the first screen, y upward.
    virtual Point mouseLocation() const = 0;
    // Event coordinates: origin at the top-left of the first screen, y downward.
    virtual Point eventLocation() const = 0;
};

} // namespace quoddle
