#include "cli/TextCommand.h"

#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <istream>
#include <memory>
#include <new>
#include <ostream>
#include <stdexcept>
#include <vector>

namespace quoddle {

namespace {

// ICU indexes its strings with 32-bit integers.
std::int32_t icuLength(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) throw std::length_error("the text is too long");
    return static_cast<std::int32_t>(text.size());
}

void require(UErrorCode status, const char* what) {
    if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
    if (U_FAILURE(status)) throw std::runtime_error(std::string(what) + " (" + u_errorName(status) + ")");
}

icu::UnicodeString utf16(std::string_view text) {
    icu::UnicodeString units = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), icuLength(text)));
    if (units.isBogus()) throw std::bad_alloc();
    return units;
}

std::string utf8(const icu::UnicodeString& units) {
    // A bogus string is ICU's way of saying a case mapping ran out of memory.
    if (units.isBogus()) throw std::bad_alloc();
    std::string text;
    units.toUTF8String(text);
    return text;
}

// A line of the text, its line break not included, and where its sort key starts. Lines are many and small:
// everything else about them is read off the text and the keys.
struct Line {
    std::uint32_t begin = 0;
    std::uint32_t length = 0;
    std::uint32_t key = 0;
};

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t position = 0;
    while (position < text.size()) {
        std::size_t end = std::min(text.find('\n', position), text.size());
        const std::size_t next = end + 1;
        if (end < text.size() && end > position && text[end - 1] == '\r') --end;
        lines.push_back(
            {static_cast<std::uint32_t>(position), static_cast<std::uint32_t>(end - position), 0});
        position = next;
    }
    return lines;
}

// The "\r\n" or "\n" after a line, or nothing after an unterminated last line.
std::string_view lineBreakAfter(const Line& line, std::string_view text) {
    const std::string_view rest = text.substr(line.begin + line.length);
    return rest.substr(0, rest.starts_with("\r\n") ? 2 : rest.starts_with('\n') ? 1 : 0);
}

// Owns the UText the break iterators read the UTF-8 through, without copying it to UTF-16.
struct Utf8Text {
    explicit Utf8Text(std::string_view text) {
        UErrorCode status = U_ZERO_ERROR;
        handle.adoptInstead(utext_openUTF8(nullptr, text.data(), icuLength(text), &status));
        require(status, "the text could not be opened for segmentation");
    }
    icu::LocalUTextPointer handle;
};

using Segmenter = icu::BreakIterator* (*)(const icu::Locale&, UErrorCode&);

std::unique_ptr<icu::BreakIterator> segmenter(Segmenter create, const icu::Locale& locale, Utf8Text& text) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(create(locale, status));
    require(status, "no segmentation rules for the locale");
    iterator->setText(text.handle.getAlias(), status);
    require(status, "the text could not be segmented");
    return iterator;
}

std::string counted(std::int64_t number, const char* singular, const char* plural) {
    return std::to_string(number) + ' ' + (number == 1 ? singular : plural);
}

// Reads all of `in` into `text`; returns what went wrong, or nothing.
std::string readFailure(std::istream& in, std::string& text) {
    constexpr std::size_t kChunk = 64 * 1024;
    // One byte past the limit tells a text of exactly the limit from a larger one, without reading on.
    while (text.size() <= kMaxTextBytes) {
        const std::size_t old = text.size();
        text.resize(old + std::min(kChunk, kMaxTextBytes + 1 - old));
        in.read(text.data() + old, static_cast<std::streamsize>(text.size() - old));
        text.resize(old + static_cast<std::size_t>(in.gcount()));
        if (in.bad()) return "standard input could not be read";
        if (!in) return "";
    }
    return "the text is larger than 16 MiB";
}

} // namespace

std::optional<TextOperation> textOperationNamed(std::string_view name) {
    if (name == "upper") return TextOperation::upper;
    if (name == "lower") return TextOperation::lower;
    if (name == "sort") return TextOperation::sort;
    if (name == "count") return TextOperation::count;
    return std::nullopt;
}

bool isUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t position = 0;
    while (position < text.size()) {
        if (bytes[position] < 0x80) {
            ++position;
            continue;
        }
        // A sequence is at most 4 bytes long, so a window of 4 keeps ICU's 32-bit offsets small.
        const std::int32_t window =
            static_cast<std::int32_t>(std::min<std::size_t>(4, text.size() - position));
        std::int32_t length = 0;
        UChar32 codePoint = 0;
        U8_NEXT(bytes + position, length, window, codePoint);
        if (codePoint < 0) return false;
        position += static_cast<std::size_t>(length);
    }
    return true;
}

std::string upperCased(std::string_view text, const icu::Locale& locale) {
    return utf8(utf16(text).toUpper(locale));
}

std::string lowerCased(std::string_view text, const icu::Locale& locale) {
    return utf8(utf16(text).toLower(locale));
}

std::string sortedLines(std::string_view text, const icu::Locale& locale) {
    icuLength(text); // the lines keep 32-bit offsets into the text
    std::vector<Line> lines = splitLines(text);
    if (lines.empty()) return "";

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    require(status, "no collation for the locale");
    collator->setStrength(icu::Collator::TERTIARY);

    // Sort keys, computed once per line and kept in one buffer, make each comparison a byte comparison; ICU
    // ends each with the only zero byte in it.
    std::vector<std::uint8_t> keys;
    std::vector<std::uint8_t> scratch(256);
    for (Line& line : lines) {
        const icu::UnicodeString units = utf16(text.substr(line.begin, line.length));
        const auto capacity = static_cast<std::int32_t>(scratch.size());
        std::int32_t length = collator->getSortKey(units, scratch.data(), capacity);
        if (length > capacity) {
            scratch.resize(static_cast<std::size_t>(length));
            length = collator->getSortKey(units, scratch.data(), length);
        }
        if (length <= 0) throw std::runtime_error("a line could not be collated");
        if (keys.size() + static_cast<std::size_t>(length) > UINT32_MAX)
            throw std::length_error("the text has too many lines to sort");
        line.key = static_cast<std::uint32_t>(keys.size());
        keys.insert(keys.end(), scratch.begin(), scratch.begin() + length);
    }
    const auto* key = reinterpret_cast<const char*>(keys.data());
    std::stable_sort(lines.begin(), lines.end(), [key](const Line& a, const Line& b) {
        return std::strcmp(key + a.key, key + b.key) < 0;
    });

    // Without a final line break the new last line gives up its break to the old last line, wherever that
    // went; either way the output holds exactly the bytes of the input.
    const bool endsWithLineBreak = text.back() == '\n';
    const std::string_view spare = lineBreakAfter(lines.back(), text);
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        const std::string_view lineBreak = lineBreakAfter(line, text);
        result += text.substr(line.begin, line.length);
        if (i + 1 < lines.size())
            result += lineBreak.empty() ? spare : lineBreak;
        else if (endsWithLineBreak)
            result += lineBreak;
    }
    return result;
}

TextCounts countedText(std::string_view text, const icu::Locale& locale) {
    TextCounts counts;
    counts.lines = std::count(text.begin(), text.end(), '\n');
    if (text.empty()) return counts;
    if (text.back() != '\n') ++counts.lines;

    Utf8Text units(text);
    auto words = segmenter(&icu::BreakIterator::createWordInstance, locale, units);
    for (std::int32_t end = words->next(); end != icu::BreakIterator::DONE; end = words->next()) {
        // The rule status tells words from the spaces and punctuation between them.
        if (words->getRuleStatus() >= UBRK_WORD_NONE_LIMIT) ++counts.words;
    }

    auto characters = segmenter(&icu::BreakIterator::createCharacterInstance, locale, units);
    // Over UTF-8 the boundaries are byte offsets into `text`.
    std::int32_t start = characters->first();
    for (std::int32_t end = characters->next(); end != icu::BreakIterator::DONE;
         start = end, end = characters->next()) {
        const std::string_view character = text.substr(start, end - start);
        if (character != "\n" && character != "\r\n") ++counts.characters;
    }
    return counts;
}

std::string describedCounts(const TextCounts& counts) {
    std::string description =
        counted(counts.words, "word", "words") + ", " + counted(counts.characters, "character", "characters");
    if (counts.lines > 1) description += ", " + counted(counts.lines, "line", "lines");
    return description;
}

int runTextCommand(TextOperation operation, std::istream& in, std::ostream& out, std::ostream& err) {
    std::string result;
    try {
        std::string text;
        if (const std::string failure = readFailure(in, text); !failure.empty()) {
            err << "quoddle text: " << failure << '\n';
            return 1;
        }
        // A replacing service must get the text back whole or not at all, never with substitutes.
        if (!isUtf8(text)) {
            err << "quoddle text: the text is not UTF-8\n";
            return 1;
        }
        const icu::Locale& locale = icu::Locale::getDefault();
        switch (operation) {
        case TextOperation::upper:
            result = upperCased(text, locale);
            break;
        case TextOperation::lower:
            result = lowerCased(text, locale);
            break;
        case TextOperation::sort:
            result = sortedLines(text, locale);
            break;
        case TextOperation::count:
            result = describedCounts(countedText(text, locale)) + '\n';
            break;
        }
    } catch (const std::bad_alloc&) {
        err << "quoddle text: not enough memory for the text\n";
        return 1;
    } catch (const std::exception& error) {
        err << "quoddle text: " << error.what() << '\n';
        return 1;
    }
    out.write(result.data(), static_cast<std::streamsize>(result.size()));
    out.flush();
    if (!out) {
        err << "quoddle text: the result could not be written\n";
        return 1;
    }
    return 0;
}

} // namespace quoddle
