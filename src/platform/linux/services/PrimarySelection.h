#pragma once
// Reading the X PRIMARY selection (the text the user selected last) without ever owning it: a text view
// drops its selection when another client takes PRIMARY. The fallback when an application does not
// expose its selected text through accessibility.

#include <chrono>
#include <optional>
#include <string>

namespace quoddle {

// The PRIMARY selection as UTF-8 text, asked of its owner on a connection of its own and waited for at
// most `limit` (a hung owner costs that, no more). None when there is no owner, the owner does not
// answer in time, answers with no text, or the text is larger than maxBytes.
std::optional<std::string> readPrimarySelection(std::chrono::milliseconds limit,
                                                std::size_t maxBytes = 16 * 1024 * 1024);

} // namespace quoddle
