#include "platform/linux/wayland/SelectionQuietTrigger.h"

#include <utility>

namespace quoddle {

SelectionQuietTrigger::SelectionQuietTrigger(RunLoop& runLoop, Gesture gesture,
                                             std::chrono::duration<double> quiet)
    : runLoop_(runLoop), gesture_(std::move(gesture)), quiet_(quiet) {}

SelectionQuietTrigger::~SelectionQuietTrigger() {
    if (burstTimer_) runLoop_.invalidateTimer(*burstTimer_);
    if (afterRelease_) runLoop_.invalidateTimer(*afterRelease_);
}

void SelectionQuietTrigger::selectionChanged(const ax::ElementRef& element) {
    if (!element) return;
    const bool recorded = buttonDown_ || afterRelease_;
    if (burst_ && burst_->element != element && !burst_->recorded) {
        // The selection moved to another element: a new drag, as a hand cannot drag in two at once.
        burst_.reset();
    }
    if (!burst_) {
        burst_ = Burst{element, recorded};
        if (!recorded) gesture_.press(element);
    }
    burst_->recorded = burst_->recorded || recorded;
    if (burstTimer_) runLoop_.invalidateTimer(*burstTimer_);
    burstTimer_ = runLoop_.scheduleTimer(quiet_, false, [this] {
        burstTimer_.reset();
        quiet();
    });
}

void SelectionQuietTrigger::quiet() {
    std::optional<Burst> ended = std::exchange(burst_, std::nullopt);
    if (ended && !ended->recorded) gesture_.release(ended->element);
}

void SelectionQuietTrigger::recordedButton(bool down) {
    buttonDown_ = down;
    // A recorded press in the middle of a burst (in an X window) ends it unseen.
    if (burst_) burst_->recorded = true;
    if (down) return;
    if (afterRelease_) runLoop_.invalidateTimer(*afterRelease_);
    afterRelease_ = runLoop_.scheduleTimer(quiet_, false, [this] { afterRelease_.reset(); });
}

} // namespace quoddle
