#pragma once
// The core's listen-only event tap over the recorded X input.
//
// Contract: a tap's callback is called on the main loop (the Qt event loop that reads the recording),
// after the X server has processed the event, with constant work per event and never from inside an Xlib
// call. It gets the core's event type. Only the types in
// the tap's mask arrive, and only while the tap is enabled and its source is on the run loop. When the
// recording breaks, the callback gets InputEventType::tapDisabledByUserInput once and the tap stops
// delivering; a new tap (createListenOnlyTap) starts the recording again.

#include "platform/EventTap.h"
#include "platform/linux/x11/XRecordInput.h"

#include <memory>
#include <optional>

namespace quoddle {

// The core's event type for an input event, none for events the core has no type for (releases other
// than the left button's, wheel steps, key releases, motion). A broken recording is
// InputEventType::tapDisabledByUserInput.
std::optional<InputEventType> coreEventTypeOf(const InputEvent& event);

class XRecordEventTaps : public InputTaps {
public:
    // The monitor is shared with others and must outlive every tap made here.
    explicit XRecordEventTaps(XRecordInput& input) : input_(input) {}

    // Null when the recording cannot be started.
    std::unique_ptr<InputTap> createListenOnlyTap(InputEventMask mask, InputTapCallback callback,
                                                  void* context) override;

    // While paused, no tap hears the left button come up, so no selection ends in a palette; presses and
    // keys still arrive, so a palette that is up still hides as usual.
    void setPaused(bool paused) { *paused_ = paused; }
    bool paused() const { return *paused_; }

private:
    XRecordInput& input_;
    std::shared_ptr<bool> paused_ = std::make_shared<bool>(false);
};

} // namespace quoddle
