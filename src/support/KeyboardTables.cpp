#include "support/KeyboardTables.h"

namespace quoddle {

namespace {

constexpr std::uint16_t kHighestKeyCode = 128;
constexpr std::size_t kTableCapacity = 128;

// UTF-8 text of one UTF-16 unit. A lone surrogate half is no character of its own and has none.
std::optional<std::string> stringOfUnit(char16_t unit) {
    const auto c = static_cast<std::uint32_t>(unit);
    if (c >= 0xD800 && c <= 0xDFFF) return std::nullopt;
    std::string text;
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
    return text;
}

} // namespace

std::optional<std::uint16_t> KeyboardTables::keyCodeTyping(const std::string& character) {
    if (!keyCodeOfCharacter_) {
        keyCodeOfCharacter_.emplace().reserve(kTableCapacity);
        // Ascending codes: where several keys type the same character, the highest code wins.
        for (std::uint16_t keyCode = 0; keyCode <= kHighestKeyCode; ++keyCode)
            if (std::optional<char16_t> unit = layout_.characterForKeyCode(keyCode))
                if (std::optional<std::string> text = stringOfUnit(*unit))
                    keyCodeOfCharacter_->insert_or_assign(*text, keyCode);
    }
    auto it = keyCodeOfCharacter_->find(character);
    if (it == keyCodeOfCharacter_->end()) return std::nullopt;
    return it->second;
}

} // namespace quoddle
