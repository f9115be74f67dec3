#pragma once
// UTF-16 positions of UTF-8 text: the platform's text ranges count UTF-16 code units.

#include <cstddef>

namespace quoddle {

// How many UTF-16 units the UTF-8 byte starts: none for a continuation byte, two for the lead byte of a
// character above U+FFFF (a surrogate pair), one otherwise.
constexpr std::size_t utf16UnitsStartedBy(unsigned char byte) {
    if ((byte & 0xC0) == 0x80) return 0;
    return byte >= 0xF0 ? 2 : 1;
}

} // namespace quoddle
