#include "platform/linux/wayland/SelectionDragTrigger.h"

#include <utility>

namespace quoddle {

SelectionDragTrigger::SelectionDragTrigger(RunLoop& runLoop, Gesture gesture, PointerProbe probe,
                                           std::chrono::duration<double> quiet)
    : runLoop_(runLoop), gesture_(std::move(gesture)), probe_(std::move(probe)), quiet_(quiet) {}

SelectionDragTrigger::~SelectionDragTrigger() {
    if (burstTimer_) runLoop_.invalidateTimer(*burstTimer_);
    if (afterRelease_) runLoop_.invalidateTimer(*afterRelease_);
    stopPolling();
}

void SelectionDragTrigger::selectionChanged(const ax::ElementRef& element) {
    if (!element) return;
    const bool recorded = buttonDown_ || afterRelease_;
    if (burst_ && burst_->element != element && !burst_->recorded) {
        // The selection moved to another element: a new drag, as a hand cannot drag in two at once.
        burst_.reset();
        stopPolling();
        if (burstTimer_) runLoop_.invalidateTimer(*std::exchange(burstTimer_, std::nullopt));
    }
    if (!burst_) {
        Burst burst{element, recorded};
        if (!recorded) {
            const std::optional<PointerReading> pointer = probe_ ? probe_() : std::nullopt;
            // The button is up: the keys made this selection, or the application did, or it is the late
            // report of a drag that has ended.
            if (pointer && !pointer->leftButtonDown) return;
            burst.buttonTold = pointer.has_value();
        }
        burst_ = burst;
        if (!recorded) gesture_.press(element);
        if (burst_->buttonTold)
            buttonPoll_ = runLoop_.scheduleTimer(kButtonPoll, true, [this] { pollButton(); });
    }
    burst_->recorded = burst_->recorded || recorded;
    if (!burst_->buttonTold) restartQuiet();
}

void SelectionDragTrigger::restartQuiet() {
    if (burstTimer_) runLoop_.invalidateTimer(*burstTimer_);
    burstTimer_ = runLoop_.scheduleTimer(quiet_, false, [this] {
        burstTimer_.reset();
        quiet();
    });
}

void SelectionDragTrigger::quiet() {
    std::optional<Burst> ended = std::exchange(burst_, std::nullopt);
    if (ended && !ended->recorded) gesture_.release(ended->element, std::nullopt);
}

void SelectionDragTrigger::pollButton() {
    if (!burst_) return stopPolling();
    const std::optional<PointerReading> pointer = probe_();
    if (pointer && pointer->leftButtonDown) return;
    stopPolling();
    if (!pointer) {
        // The helper went away mid-drag: the quiet moment ends it instead.
        burst_->buttonTold = false;
        return restartQuiet();
    }
    std::optional<Burst> ended = std::exchange(burst_, std::nullopt);
    if (!ended->recorded) gesture_.release(ended->element, pointer->at);
}

void SelectionDragTrigger::stopPolling() {
    if (buttonPoll_) runLoop_.invalidateTimer(*std::exchange(buttonPoll_, std::nullopt));
}

void SelectionDragTrigger::recordedButton(bool down) {
    buttonDown_ = down;
    // A recorded press in the middle of a burst (in an X window) ends it unseen.
    if (burst_) burst_->recorded = true;
    if (down) return;
    if (afterRelease_) runLoop_.invalidateTimer(*afterRelease_);
    afterRelease_ = runLoop_.scheduleTimer(quiet_, false, [this] { afterRelease_.reset(); });
}

} // namespace quoddle
