// Text from other applications through the regex helpers: the settings-text split on tab runs (checked
// against the split rules written out by hand), the two-block capture of a text-marker description, and the
// input's first line used as a pattern against the rest. Only the documented exceptions may leave the
// helpers.

#include "support/Regex.h"
#include "support/TabRunSplitByHand.h"

#include <unicode/uregex.h>
#include <unicode/ustring.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char* const kTwoBlocks =
    "(\\{length = [0-9]+, bytes = 0x[0-9a-zA-Z]+\\}).*(\\{length = [0-9]+, bytes = 0x[0-9a-zA-Z]+\\})";

void require(bool condition) {
    if (!condition) __builtin_trap();
}

bool isValidUtf8(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    std::int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, text.data(), static_cast<std::int32_t>(text.size()), &status);
    return status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status);
}

// The helpers put no bound on backtracking, and patterns in the application come from its own code; a pattern
// that runs away on this text is left out so the run explores instead of stalling.
bool matchesInReasonableTime(const std::string& text, const std::string& pattern) {
    std::vector<UChar> units(text.size() + 1);
    std::vector<UChar> patternUnits(pattern.size() + 1);
    std::int32_t length = 0;
    std::int32_t patternLength = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(units.data(), static_cast<std::int32_t>(units.size()), &length, text.data(),
                         static_cast<std::int32_t>(text.size()), 0xFFFD, nullptr, &status);
    u_strFromUTF8WithSub(patternUnits.data(), static_cast<std::int32_t>(patternUnits.size()), &patternLength,
                         pattern.data(), static_cast<std::int32_t>(pattern.size()), 0xFFFD, nullptr, &status);
    UParseError parseError;
    URegularExpression* regex = uregex_open(patternUnits.data(), patternLength, 0, &parseError, &status);
    if (U_FAILURE(status)) {
        uregex_close(regex);
        return true; // the helpers must report this pattern as not compiling
    }
    uregex_setTimeLimit(regex, 200, &status);
    uregex_setText(regex, units.data(), length, &status);
    while (uregex_findNext(regex, &status)) {
    }
    uregex_close(regex);
    return status != U_REGEX_TIME_OUT;
}

void splitSettingsLine(const std::string& line) {
    const auto pieces = quoddle::splitByPattern(line, "\t+");
    require(pieces.has_value());
    if (isValidUtf8(line)) require(*pieces == quoddle::splitOnTabRunsByHand(line));
    for (const std::string& piece : *pieces)
        require(isValidUtf8(piece) && piece.find('\t') == std::string::npos);
    require(pieces->empty() || !pieces->back().empty());
}

void captureBlocks(const std::string& description) {
    const auto first = quoddle::firstMatchGroup(description, kTwoBlocks, 1);
    const auto second = quoddle::firstMatchGroup(description, kTwoBlocks, 2);
    require(first.has_value() == second.has_value());
    require(first.has_value() == quoddle::firstMatchGroup(description, kTwoBlocks, 0).has_value());
    if (first && isValidUtf8(description))
        require(description.find(*first) < description.rfind(*second) && first->back() == '}');
}

void matchPattern(const std::string& text, const std::string& pattern, int capture) {
    if (!matchesInReasonableTime(text, pattern)) return;
    try {
        const auto pieces = quoddle::splitByPattern(text, pattern);
        const bool matched = quoddle::firstMatchGroup(text, pattern, 0).has_value();
        require(pieces.has_value() || !matched);
        const auto captured = quoddle::firstMatchGroup(text, pattern, capture);
        require(!captured || matched);
        if (pieces)
            for (const std::string& piece : *pieces)
                require(isValidUtf8(piece));
    } catch (const std::invalid_argument&) {
        // A capture index beyond the pattern's groups.
    } catch (const quoddle::RegexError&) {
        // ICU failed while matching, e.g. its backtrack stack overflowed.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    splitSettingsLine(input);
    captureBlocks(input);
    const std::size_t lineEnd = input.find('\n');
    if (lineEnd != std::string::npos)
        matchPattern(input.substr(lineEnd + 1), input.substr(0, lineEnd), static_cast<int>(size % 4) - 1);
    return 0;
}
