#include "Library/KeyCodeTables.h"

namespace quoddle {

namespace {

constexpr std::uint16_t kHighestKeyCode = 128;
constexpr std::uint16_t kNoKeyCode = 0xFFFF;
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

// Calls `visit(keyCode, text)` for every key code from 0 to 128 that types a character with no modifier,
// in ascending order.
template <typename Visit> void forEachTypedCharacter(const KeyboardLayout& layout, Visit visit) {
    for (std::uint16_t keyCode = 0; keyCode <= kHighestKeyCode; ++keyCode) {
        std::optional<char16_t> unit = layout.characterForKeyCode(keyCode);
        if (!unit) continue;
        if (std::optional<std::string> text = stringOfUnit(*unit)) visit(keyCode, *text);
    }
}

} // namespace

std::uint16_t KeyCodeTables::NSStringToKeyCode(const std::string& character) {
    if (!NSStringToKeyCodeDic) {
        NSStringToKeyCodeDic.emplace().reserve(kTableCapacity);
        // Ascending codes: where several keys type the same character, the highest code wins.
        forEachTypedCharacter(layout_, [this](std::uint16_t keyCode, const std::string& text) {
            NSStringToKeyCodeDic->insert_or_assign(text, keyCode);
        });
    }
    auto it = NSStringToKeyCodeDic->find(character);
    return it == NSStringToKeyCodeDic->end() ? kNoKeyCode : it->second;
}

std::optional<std::string> KeyCodeTables::keyCodeToNSString(std::uint16_t keyCode) {
    if (!keyCodeToNSStringDic) {
        keyCodeToNSStringDic.emplace().reserve(kTableCapacity);
        forEachTypedCharacter(layout_, [this](std::uint16_t code, const std::string& text) {
            keyCodeToNSStringDic->insert_or_assign(code, text);
        });
    }
    auto it = keyCodeToNSStringDic->find(keyCode);
    if (it == keyCodeToNSStringDic->end()) return std::nullopt;
    return it->second;
}

} // namespace quoddle
