#pragma once
// Pattern operations on UTF-8 strings over ICU regular expressions: split on a pattern, and one group of the
// first match. Patterns compile with no flags; positions count UTF-16 code units. Compiled patterns live in
// one process-wide cache and every operation runs under its lock, so callers on any thread are serialised.
//
// Failures of the pattern are absent values; only misuse throws: std::invalid_argument for a group index out
// of bounds, std::out_of_range for a text or pattern of INT_MAX bytes or more (UTF-8 has at least as many
// bytes as UTF-16 units, and ICU counts in 32-bit integers), and RegexError for an error ICU reports while
// matching. Exceptions leave only after the lock is released.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quoddle {

// An error ICU reported while matching, with the pattern, its options and ICU's error code and name.
class RegexError : public std::runtime_error {
public:
    RegexError(std::string regex, std::uint32_t regexOptions, int errorCode, std::string errorName);

    const std::string& regex() const noexcept { return regex_; }
    std::uint32_t regexOptions() const noexcept { return regexOptions_; }
    int errorCode() const noexcept { return errorCode_; }
    const std::string& errorName() const noexcept { return errorName_; }

private:
    std::string regex_;
    std::uint32_t regexOptions_;
    int errorCode_;
    std::string errorName_;
};

// The pieces between matches. A match that is empty where a piece begins is skipped; every match adds the
// piece before it and then one item per group (empty when the group took no part); empty pieces at the end,
// with the group items of their matches, are dropped. None when the pattern does not compile.
std::optional<std::vector<std::string>> splitByPattern(std::string_view text, std::string_view pattern);

// The text of `group` (0: the whole match) in the first match; none when there is no match, the group took
// no part in it, or the pattern does not compile.
std::optional<std::string> firstMatchGroup(std::string_view text, std::string_view pattern, int group);

} // namespace quoddle
