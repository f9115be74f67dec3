#pragma once
// Selections in windows whose text accessibility does not show (Chromium before its tree is there,
// Electron, xterm, Java, Wine): the PRIMARY selection getting a new owner in the process of a left press,
// during that press or just after its release (xterm takes it on the release), stands for a selection made
// by that press. It is reported as a selection change of the pressed window's element.

#include "platform/Accessibility.h"

#include <chrono>
#include <functional>
#include <optional>

namespace quoddle {

class PlainWindowSelections {
public:
    using Clock = std::chrono::steady_clock;
    using Report = std::function<void(ProcessId pid, const ax::ElementRef& window)>;

    explicit PlainWindowSelections(Report report) : report_(std::move(report)) {}

    // A left press on a window of the process where accessibility shows no text under the pointer.
    void pressedWithoutText(ProcessId pid, ax::ElementRef window);
    // A left press anywhere else.
    void pressedElsewhere() { press_.reset(); }
    void released();
    // PRIMARY has a new owner (none: of an unknown process).
    void ownerChanged(std::optional<ProcessId> pid);

private:
    struct Press {
        ProcessId pid;
        ax::ElementRef window;
        bool selected = false;
        std::optional<Clock::time_point> releasedAt;
    };
    std::optional<Press> press_;
    Report report_;
};

} // namespace quoddle
