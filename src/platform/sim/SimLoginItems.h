#pragma once
// The simulated session login items: a list a test can fill beforehand.

#include "platform/LoginItems.h"

namespace quoddle {

class SimLoginItems : public LoginItems {
public:
    std::optional<std::vector<LoginItem>> snapshot() const override;
    bool insertAtFront(const std::string& path, const std::string& displayName) override;
    bool remove(std::uint64_t itemId) override;

    // An entry as the user or another program would add it; none as the path: it cannot be resolved.
    void add(const std::string& displayName, std::optional<std::string> resolvedPath);

    std::vector<LoginItem> items;
    bool canOpen = true;

private:
    std::uint64_t nextId_ = 1;
};

} // namespace quoddle
