#pragma once
// "quoddle text": the transforms the shipped desktop services run on a selection, read from standard input
// and written to standard output. The transforms take valid UTF-8 (see isUtf8) and return UTF-8.

#include <unicode/locid.h>

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace quoddle {

// More than this is refused rather than read: a selection that large is a mistake, and the palette waits.
inline constexpr std::size_t kMaxTextBytes = std::size_t{16} << 20;

enum class TextOperation { upper, lower, sort, count };

std::optional<TextOperation> textOperationNamed(std::string_view name);

// Whether `text` is well-formed UTF-8: no stray or missing continuation bytes, overlong forms, surrogates or
// code points past U+10FFFF.
bool isUtf8(std::string_view text);

// Full case mapping in `locale` ("straße" becomes "STRASSE"); every other byte stays as it was.
std::string upperCased(std::string_view text, const icu::Locale& locale);
std::string lowerCased(std::string_view text, const icu::Locale& locale);

// The lines in the collation order of `locale` at tertiary strength; lines that collate equal keep their
// order. A line ends at "\n" or "\r\n" (a lone "\r" is part of its line) and keeps its own line break, but
// the text ends with a line break only when it did before: when its unterminated last line moves, it takes
// the break of the line that takes its place at the end.
std::string sortedLines(std::string_view text, const icu::Locale& locale);

struct TextCounts {
    std::int64_t words = 0;      // word segments holding letters, numbers, kana or ideographs
    std::int64_t characters = 0; // user-perceived characters, line breaks not counted
    std::int64_t lines = 0;      // a final line break starts no line; an empty text has none
};

TextCounts countedText(std::string_view text, const icu::Locale& locale);

// "3 words, 12 characters", with ", 2 lines" when there is more than one.
std::string describedCounts(const TextCounts& counts);

// Reads all of `in`, applies the operation in ICU's default locale and writes the result to `out`; problems
// go to `err`. Returns 0, or 1 when the text is unreadable, too large or not UTF-8 (and nothing is written).
int runTextCommand(TextOperation operation, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace quoddle
