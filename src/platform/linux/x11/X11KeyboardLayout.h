#pragma once
// The keyboard layout port over the X server's keyboard map: what each key types with no modifier.

#include "platform/Ui.h"

#include <cstdint>
#include <optional>

struct _XDisplay;
using Display = _XDisplay;

namespace quoddle {

// The character a keysym types, as one UTF-16 unit: Latin-1 keysyms are their code point, Unicode keysyms
// (0x01000000 | code point) are the code point when it is in the Basic Multilingual Plane, and the keypad's
// digits, operators and space type their character. Everything else (dead keys, function and modifier
// keys, control characters, the older national keysym sets, characters beyond the BMP) types none.
std::optional<char16_t> characterOfKeysym(unsigned long keysym);

class X11KeyboardLayout : public KeyboardLayout {
public:
    // The connection is the caller's and must outlive this object; main thread only.
    explicit X11KeyboardLayout(Display* display) : display_(display) {}

    // The character the key at the macOS key's position types in the first group (layout) at the first
    // shift level, i.e. with no modifier.
    std::optional<char16_t> characterForKeyCode(std::uint16_t virtualKey) const override;

private:
    Display* display_;
};

} // namespace quoddle
