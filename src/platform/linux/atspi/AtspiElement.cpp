#include "platform/linux/atspi/AtspiElement.h"

#include <algorithm>

namespace quoddle {

ax::ElementRef AtspiElementCache::element(AtspiElementKind kind, AtspiAccessible* accessible, ProcessId pid,
                                          const std::string& detail) {
    if (!accessible && !standsOnTheApplication(kind)) return nullptr;
    auto& slot = handles_[{accessible, pid, kind, detail}];
    if (auto alive = slot.lock()) return alive;
    auto made =
        std::make_shared<const AtspiElement>(kind, GRef<AtspiAccessible>::retain(accessible), pid, detail);
    slot = made;
    pruneIfLarge();
    return made;
}

bool standsOnTheApplication(AtspiElementKind kind) {
    switch (kind) {
    case AtspiElementKind::systemMenuItem:
    case AtspiElementKind::menuBarOfApplication:
    case AtspiElementKind::applicationMenuItem:
    case AtspiElementKind::applicationMenu:
    case AtspiElementKind::servicesMenuItem:
    case AtspiElementKind::servicesMenu:
    case AtspiElementKind::desktopService:
        return true;
    case AtspiElementKind::object:
    case AtspiElementKind::menuOfMenu:
    case AtspiElementKind::application:
    case AtspiElementKind::ownWidget:
    case AtspiElementKind::plainWindow:
    case AtspiElementKind::systemWide:
        return false;
    }
    return false;
}

ax::ElementRef AtspiElementCache::placeholderApplication(ProcessId pid) {
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
