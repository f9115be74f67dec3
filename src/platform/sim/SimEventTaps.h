#pragma once
// The simulated event tap: the desktop's input events pass through it to the listen-only callback.

#include "platform/EventTap.h"

#include <memory>

namespace quoddle {

class SimEventTap;

class SimEventTaps : public InputTaps {
public:
    std::unique_ptr<InputTap> createListenOnlyTap(InputEventMask mask, InputTapCallback callback,
                                                  void* context) override;
    // Hands an event to the live tap, if there is one that is on the run loop, enabled and watching the type.
    void deliver(InputEventType type);
    // The window system switches the tap off and tells its callback so.
    void disableTap(InputEventType reason);

    bool refuseTaps = false; // as without accessibility access
    int tapsCreated = 0;
    SimEventTap* liveTap = nullptr;
};

class SimEventTap : public InputTap {
public:
    SimEventTap(SimEventTaps& owner, InputEventMask mask, InputTapCallback callback, void* context)
        : owner_(owner), mask_(mask), callback_(callback), context_(context) {}
    ~SimEventTap() override;
    void enable(bool on) override { enabled = on; }
    std::unique_ptr<RunLoopSource> createRunLoopSource() override;

    void deliver(InputEventType type);
    void disable(InputEventType reason);

    bool enabled = true;
    bool onRunLoop = false;
    InputEventMask mask() const { return mask_; }

private:
    SimEventTaps& owner_;
    InputEventMask mask_;
    InputTapCallback callback_;
    void* context_;
};

} // namespace quoddle
