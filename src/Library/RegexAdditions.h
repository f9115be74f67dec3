#pragma once
// Pattern operations on UTF-8 strings over ICU regular expressions: split on a pattern, one capture group of
// the first match, and a match test. Patterns compile with no flags; positions count UTF-16 code units.
// Compiled patterns live in a process-wide cache and every operation runs under one process-wide lock, so
// callers on any thread are serialised.
//
// Failures of the pattern are absent values; only misuse throws: std::invalid_argument for a capture index
// out of bounds or a null pattern, std::out_of_range for a text or pattern of INT_MAX bytes or more (UTF-8
// has at least as many bytes as UTF-16 units, and ICU counts in 32-bit integers), and RegexError for an error
// ICU reports while matching. Exceptions leave only after the lock is released.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quoddle {

// Thrown when ICU fails while matching; the accessors hold what the platform's user information kept under
// "RKLICURegexRegex", "RKLICURegexRegexOptions", "RKLICURegexErrorCode" and "RKLICURegexErrorName".
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
std::optional<std::vector<std::string>> componentsSeparatedByRegex(const std::string& text,
                                                                   const std::string& pattern);
std::optional<std::vector<std::string>> componentsSeparatedByRegex(const std::string& text,
                                                                   const char* pattern);

// The text of group `capture` (0: the whole match) in the first match; none when there is no match, the group
// took no part in it, or the pattern does not compile.
std::optional<std::string> stringByMatching(const std::string& text, const std::string& pattern, int capture);
std::optional<std::string> stringByMatching(const std::string& text, const char* pattern, int capture);

// Whether the pattern matches anywhere in the text; false when the pattern does not compile.
bool isMatchedByRegex(const std::string& text, const std::string& pattern);
bool isMatchedByRegex(const std::string& text, const char* pattern);

namespace regex_detail {

// Work the cache exists to save, counted since the process started.
struct Counters {
    std::uint64_t compiles = 0;    // patterns given to ICU to compile, failed ones included
    std::uint64_t conversions = 0; // texts converted to UTF-16 for matching
    std::uint64_t searches = 0;    // searches run by ICU
};
Counters counters();

} // namespace regex_detail

} // namespace quoddle
