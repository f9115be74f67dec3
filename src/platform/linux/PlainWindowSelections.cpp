#include "platform/linux/PlainWindowSelections.h"

namespace quoddle {

namespace {
// How long after the release a new owner still belongs to the press.
constexpr std::chrono::milliseconds kAfterRelease{500};
} // namespace

void PlainWindowSelections::pressedWithoutText(ProcessId pid, ax::ElementRef window) {
    press_ = Press{pid, std::move(window), false, std::nullopt};
}

void PlainWindowSelections::released() {
    if (!press_) return;
    press_->releasedAt = Clock::now();
    if (press_->selected) report_(press_->pid, press_->window);
}

void PlainWindowSelections::ownerChanged(std::optional<ProcessId> pid) {
    if (!press_ || pid != press_->pid || press_->selected) return;
    if (press_->releasedAt && Clock::now() - *press_->releasedAt > kAfterRelease) return;
    press_->selected = true;
    if (press_->releasedAt) report_(press_->pid, press_->window);
}

} // namespace quoddle
