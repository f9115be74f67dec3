#pragma once
// The simulated event tap: the desktop's input events pass through it to the listen-only callback.

#include "platform/EventTap.h"

#include <memory>

namespace quoddle {

class SimEventTap;

class SimEventTaps : public EventTaps {
public:
    std::unique_ptr<EventTap> createListenOnlyTap(CGEventMask mask, CGEventTapCallBack callback,
                                                  void* userInfo) override;
    // Hands an event to the live tap, if there is one that is on the run loop, enabled and watching the type.
    void deliver(CGEventType type, Point eventLocation);
    // The window system switches the tap off and tells its callback so.
    void disableTap(CGEventType reason);

    bool refuseTaps = false; // as without accessibility access
    int tapsCreated = 0;
    SimEventTap* liveTap = nullptr;
};

class SimEventTap : public EventTap {
public:
    SimEventTap(SimEventTaps& owner, CGEventMask mask, CGEventTapCallBack callback, void* userInfo)
        : owner_(owner), mask_(mask), callback_(callback), userInfo_(userInfo) {}
    ~SimEventTap() override;
    void enable(bool on) override { enabled = on; }
    std::unique_ptr<RunLoopSource> createRunLoopSource() override;

    void deliver(CGEventType type, Point eventLocation);
    void disable(CGEventType reason);

    bool enabled = true;
    bool onRunLoop = false;
    CGEventMask mask() const { return mask_; }

private:
    SimEventTaps& owner_;
    CGEventMask mask_;
    CGEventTapCallBack callback_;
    void* userInfo_;
};

} // namespace quoddle
