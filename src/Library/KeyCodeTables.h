#pragma once
// The character-to-key-code and key-code-to-character tables of the keyboard layout, each built once, on
// first use, over the virtual key codes 0 to 128 with no modifier.

#include "platform/Ui.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace quoddle {

class KeyCodeTables {
public:
    explicit KeyCodeTables(KeyboardLayout& layout) : layout_(layout) {}
    // 0xFFFF when no key types the string without modifiers.
    std::uint16_t NSStringToKeyCode(const std::string& character);
    std::optional<std::string> keyCodeToNSString(std::uint16_t keyCode);

private:
    KeyboardLayout& layout_;
    std::optional<std::unordered_map<std::string, std::uint16_t>> NSStringToKeyCodeDic;
    std::optional<std::unordered_map<std::uint16_t, std::string>> keyCodeToNSStringDic;
};

} // namespace quoddle
