#pragma once
// Port: the user's session login items.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quoddle {

struct LoginItem {
    std::uint64_t id = 0; // identifies the item within the list
    std::string displayName;
    std::optional<std::string> resolvedPath; // none when the item cannot be resolved
};

class LoginItems {
public:
    virtual ~LoginItems() = default;
    // A snapshot of the list in its order; none when the list cannot be opened.
    virtual std::optional<std::vector<LoginItem>> snapshot() const = 0;
    virtual bool insertAtFront(const std::string& path, const std::string& displayName) = 0;
    virtual bool remove(std::uint64_t itemId) = 0;
};

} // namespace quoddle
