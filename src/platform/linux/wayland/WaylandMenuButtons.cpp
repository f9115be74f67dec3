#include "platform/linux/wayland/WaylandMenuButtons.h"

#include <utility>

namespace quoddle {

void WaylandMenuButtons::menuShown(ProcessId pid) {
    if (watched_ == pid || !hooks_.inWaylandWindow(pid)) return;
    stop();
    const std::optional<PointerReading> pointer = hooks_.pointer();
    if (!pointer) return;
    watched_ = pid;
    // A menu opened by a press on its title: that press closes nothing, only a later one does.
    down_ = pointer->leftButtonDown;
    poll_ = runLoop_.scheduleTimer(kPoll, true, [this] { readNow(); });
}

void WaylandMenuButtons::readNow() {
    if (!watched_) return;
    const ProcessId pid = *watched_;
    const std::optional<PointerReading> pointer = hooks_.pointer();
    if (pointer && pointer->leftButtonDown != down_) {
        down_ = pointer->leftButtonDown;
        hooks_.input(
            pid, {down_ ? MenuInput::Kind::buttonPress : MenuInput::Kind::buttonRelease, std::nullopt, {}});
    }
    if (!pointer || !hooks_.menusOpen(pid)) stop();
}

void WaylandMenuButtons::stop() {
    watched_.reset();
    if (poll_) runLoop_.invalidateTimer(*std::exchange(poll_, std::nullopt));
}

} // namespace quoddle
