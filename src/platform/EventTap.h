#pragma once
// Port: a listen-only tap on the window system's input events, and the pointer position.
//
// The tap's callback runs on the main loop, once per event, in the order the events happened, and must
// return at once (the core queues the work of left presses and releases). A tap the window system stops
// is reported to its callback as tapDisabledByTimeout (the core enables it again) or tapDisabledByUserInput
// (the core makes a new one).

#include "platform/Geometry.h"

#include <cstdint>
#include <memory>

namespace quoddle {

// Event types, numbered as the original platform's event system numbers them (log lines show them).
enum class InputEventType : std::uint32_t {
    leftButtonDown = 1,
    leftButtonUp = 2,
    rightButtonDown = 3,
    keyDown = 10,
    otherButtonDown = 25,
    tapDisabledByTimeout = 0xFFFFFFFEu,
    tapDisabledByUserInput = 0xFFFFFFFFu,
};

using InputEventMask = std::uint64_t;
constexpr InputEventMask maskOf(InputEventType type) {
    return InputEventMask{1} << static_cast<std::uint32_t>(type);
}

using InputTapCallback = void (*)(InputEventType type, void* context);

// A tap's event source on the main run loop.
class RunLoopSource {
public:
    virtual ~RunLoopSource() = default;
    virtual void addToRunLoop() = 0;
    virtual void removeFromRunLoop() = 0;
};

class InputTap {
public:
    virtual ~InputTap() = default;
    virtual void enable(bool on) = 0;
    // Null when no source can be made.
    virtual std::unique_ptr<RunLoopSource> createRunLoopSource() = 0;
};

class InputTaps {
public:
    virtual ~InputTaps() = default;
    // A listen-only tap at the end of the session's event stream; null when it cannot be created.
    virtual std::unique_ptr<InputTap> createListenOnlyTap(InputEventMask mask, InputTapCallback callback,
                                                          void* context) = 0;
};

class Pointer {
public:
    virtual ~Pointer() = default;
    // Window-system screen coordinates: origin at the bottom-left of the first screen, y upward.
    virtual Point screenLocation() const = 0;
    // Event coordinates: origin at the top-left of the first screen, y downward.
    virtual Point eventLocation() const = 0;
};

} // namespace quoddle
