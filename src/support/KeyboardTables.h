#pragma once
// Which key types a character under the keyboard layout: a table over the virtual key codes 0 to 128 with no
// modifier, built once, on first use.

#include "platform/Ui.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace quoddle {

class KeyboardTables {
public:
    explicit KeyboardTables(KeyboardLayout& layout) : layout_(layout) {}
    // The key that types the character (one character, as UTF-8) with no modifier; where several do, the one
    // with the highest code. None when no key types it.
    std::optional<std::uint16_t> keyCodeTyping(const std::string& character);

private:
    KeyboardLayout& layout_;
    std::optional<std::unordered_map<std::string, std::uint16_t>> keyCodeOfCharacter_;
};

} // namespace quoddle
