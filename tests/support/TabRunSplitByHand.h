#pragma once
// The settings-text field split written by hand, as a reference: a run of tabs separates two pieces, a
// leading tab gives an empty first piece, trailing tabs give none.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace quoddle {

inline std::vector<std::string> splitOnTabRunsByHand(std::string_view text) {
    std::vector<std::string> pieces;
    std::size_t kept = 0;
    std::size_t last = 0;
    for (std::size_t tab = text.find('\t'); tab != std::string_view::npos; tab = text.find('\t', last)) {
        pieces.emplace_back(text.substr(last, tab - last));
        if (tab > last) kept = pieces.size();
        last = std::min(text.find_first_not_of('\t', tab), text.size());
    }
    if (last < text.size()) {
        pieces.emplace_back(text.substr(last));
        kept = pieces.size();
    }
    pieces.resize(kept);
    return pieces;
}

} // namespace quoddle
