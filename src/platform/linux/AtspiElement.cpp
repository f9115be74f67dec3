#include "platform/linux/AtspiElement.h"

#include <algorithm>

namespace quoddle {

AXUIElementRef AtspiElementCache::element(AtspiElementKind kind, AtspiAccessible* accessible, ProcessId pid,
                                          const std::string& detail) {
    if (!accessible) return nullptr;
    auto& slot = handles_[{accessible, kind, detail}];
    if (auto alive = slot.lock()) return alive;
    auto made =
        std::make_shared<const AtspiElement>(kind, GRef<AtspiAccessible>::retain(accessible), pid, detail);
    slot = made;
    pruneIfLarge();
    return made;
}

AXUIElementRef AtspiElementCache::placeholderApplication(ProcessId pid) {
    auto& slot = placeholders_[pid];
    if (auto alive = slot.lock()) return alive;
    auto made =
        std::make_shared<const AtspiElement>(AtspiElementKind::application, GRef<AtspiAccessible>(), pid);
    slot = made;
    return made;
}

void AtspiElementCache::pruneIfLarge() {
    if (handles_.size() < pruneAt_) return;
    std::erase_if(handles_, [](const auto& entry) { return entry.second.expired(); });
    std::erase_if(placeholders_, [](const auto& entry) { return entry.second.expired(); });
    // Grow the threshold with what is alive, so pruning stays proportional to the work done.
    pruneAt_ = std::max<std::size_t>(256, 2 * handles_.size());
}

} // namespace quoddle
