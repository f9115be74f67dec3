#include "platform/sim/SimLoginItems.h"

#include <algorithm>

namespace quoddle {

std::optional<std::vector<LoginItem>> SimLoginItems::snapshot() const {
    if (!canOpen) return std::nullopt;
    return items;
}

bool SimLoginItems::insertAtFront(const std::string& path, const std::string& displayName) {
    if (!canOpen) return false;
    items.insert(items.begin(), LoginItem{nextId_++, displayName, path});
    return true;
}

bool SimLoginItems::remove(std::uint64_t itemId) {
    if (!canOpen) return false;
    return std::erase_if(items, [itemId](const LoginItem& item) { return item.id == itemId; }) > 0;
}

void SimLoginItems::add(const std::string& displayName, std::optional<std::string> resolvedPath) {
    items.push_back(LoginItem{nextId_++, displayName, std::move(resolvedPath)});
}

} // namespace quoddle
