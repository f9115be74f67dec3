#pragma once
// The line rule of every editable text (settings text, shortcut text, blacklist): every carriage return and
// every line feed ends a line by itself, so CR LF leaves an empty line between them.

#include <cstddef>
#include <string_view>

namespace quoddle {

// Calls f(line) for every line; an empty remainder after the last break is no line.
template <typename F> void forEachLineOfText(std::string_view text, F&& f) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        f(text.substr(start, end - start));
        start = end + 1;
    }
}

} // namespace quoddle
