#pragma once
// The press and release of a drag that selects text in a Wayland window, which no client sees. A burst of
// selection events stands for the drag: its first event for the press. The release is the left button
// going up where the compositor tells the button (GNOME Shell with Quoddle's extension), else a quiet
// moment after the burst's last event. Where the button is told, a selection made while it is up (with
// the keys, or by the application) is no drag. A selection in an X window (XWayland) needs none of this:
// its buttons are recorded as on X11, and while they are, or a moment after, the bursts are theirs.

#include "platform/Accessibility.h"
#include "platform/RunLoop.h"
#include "platform/linux/wayland/GnomeShellHelper.h"

#include <chrono>
#include <functional>
#include <optional>

namespace quoddle {

class SelectionDragTrigger {
public:
    struct Gesture {
        std::function<void(const ax::ElementRef& element)> press;
        // `at`: where the button went up, where the compositor told; none when the burst went quiet.
        std::function<void(const ax::ElementRef& element, std::optional<Point> at)> release;
    };
    // Where the pointer is and whether its left button is down; none where nothing tells it (now).
    using PointerProbe = std::function<std::optional<PointerReading>()>;
    // A drag's selection events come every few milliseconds; a hand that pauses longer has let go.
    static constexpr std::chrono::milliseconds kQuiet{250};
    // How often a held button is asked after: within a display frame of its release.
    static constexpr std::chrono::milliseconds kButtonPoll{8};

    SelectionDragTrigger(RunLoop& runLoop, Gesture gesture, PointerProbe probe = nullptr,
                         std::chrono::duration<double> quiet = kQuiet);
    ~SelectionDragTrigger();
    SelectionDragTrigger(const SelectionDragTrigger&) = delete;
    SelectionDragTrigger& operator=(const SelectionDragTrigger&) = delete;

    // An application reported that the element's selection changed.
    void selectionChanged(const ax::ElementRef& element);
    // The X server saw the left button go down or up.
    void recordedButton(bool down);

private:
    struct Burst {
        ax::ElementRef element;
        bool recorded = false;   // made with buttons the X server saw
        bool buttonTold = false; // its end is the button's release, not a quiet moment
    };
    void restartQuiet();
    void quiet();
    void pollButton();
    void stopPolling();

    RunLoop& runLoop_;
    Gesture gesture_;
    PointerProbe probe_;
    std::chrono::duration<double> quiet_;
    std::optional<Burst> burst_;
    std::optional<TimerId> burstTimer_;
    std::optional<TimerId> buttonPoll_;
    bool buttonDown_ = false;
    std::optional<TimerId> afterRelease_; // the moment after a recorded release whose events are still its
};

} // namespace quoddle
