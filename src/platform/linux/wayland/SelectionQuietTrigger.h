#pragma once
// The press and release of a selection made in a Wayland window, which no client sees: a burst of selection
// events stands for the drag, its first event for the press and a quiet moment after its last for the
// release. A selection in an X window (XWayland) needs none of this: its buttons are recorded as on X11,
// and while they are, or a moment after, the bursts are theirs.

#include "platform/Accessibility.h"
#include "platform/RunLoop.h"

#include <chrono>
#include <functional>
#include <optional>

namespace quoddle {

class SelectionQuietTrigger {
public:
    struct Gesture {
        std::function<void(const ax::ElementRef& element)> press;
        std::function<void(const ax::ElementRef& element)> release;
    };
    // A drag's selection events come every few milliseconds; a hand that pauses longer has let go.
    static constexpr std::chrono::milliseconds kQuiet{250};

    SelectionQuietTrigger(RunLoop& runLoop, Gesture gesture, std::chrono::duration<double> quiet = kQuiet);
    ~SelectionQuietTrigger();
    SelectionQuietTrigger(const SelectionQuietTrigger&) = delete;
    SelectionQuietTrigger& operator=(const SelectionQuietTrigger&) = delete;

    // An application reported that the element's selection changed.
    void selectionChanged(const ax::ElementRef& element);
    // The X server saw the left button go down or up.
    void recordedButton(bool down);

private:
    struct Burst {
        ax::ElementRef element;
        bool recorded = false; // made with buttons the X server saw
    };
    void quiet();

    RunLoop& runLoop_;
    Gesture gesture_;
    std::chrono::duration<double> quiet_;
    std::optional<Burst> burst_;
    std::optional<TimerId> burstTimer_;
    bool buttonDown_ = false;
    std::optional<TimerId> afterRelease_; // the moment after a recorded release whose events are still its
};

} // namespace quoddle
