// Splitting settings-text lines on tab runs: the cached helper against compiling the pattern with plain ICU
// on every call, and against a splitter written by hand for tab runs; all three give the same pieces. A
// fourth measures ICU's matching alone on the same lines, the part of the helper's time no cache can save.

#include "support/Regex.h"
#include "support/TabRunSplitByHand.h"

#include <benchmark/benchmark.h>
#include <unicode/uregex.h>
#include <unicode/ustring.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Pieces = std::vector<std::string>;

const char* const kTabRuns = "\t+";

// Application name, count, title and user title, as the settings text holds them.
const std::vector<std::string>& settingsLines() {
    static const std::vector<std::string> lines = {
        "TextEdit\t12\tMake New Sticky Note\tSticky",
        "Safari\t3\tSearch With Google",
        "*\t140\tLook Up in Dictionary\t\tDictionary",
        "Mail\t1\tNew Email With Selection\t",
        "Preview\t27\tOpen\tOpen in Preview",
        "Caf\xC3\xA9 Notes\t7\tSummarize\tR\xC3\xA9sum\xC3\xA9",
        "\tTerminal\t5\tNew Terminal at Folder",
        "Xcode\t2\tOpen man Page in Terminal\t\t\tman",
    };
    return lines;
}

Pieces splitWithHelper(const std::string& line) {
    return *quoddle::splitByPattern(line, kTabRuns);
}

URegularExpression* compileTabRuns() {
    UErrorCode status = U_ZERO_ERROR;
    UChar pattern[8];
    std::int32_t patternLength = 0;
    u_strFromUTF8WithSub(pattern, 8, &patternLength, kTabRuns, -1, 0xFFFD, nullptr, &status);
    UParseError parseError;
    return uregex_open(pattern, patternLength, 0, &parseError, &status);
}

std::vector<UChar> toUtf16(const std::string& line) {
    std::vector<UChar> units(line.size() + 1);
    UErrorCode status = U_ZERO_ERROR;
    std::int32_t length = 0;
    u_strFromUTF8WithSub(units.data(), static_cast<std::int32_t>(units.size()), &length, line.data(),
                         static_cast<std::int32_t>(line.size()), 0xFFFD, nullptr, &status);
    units.resize(static_cast<std::size_t>(length));
    return units;
}

std::string toUtf8(const UChar* units, std::int32_t length) {
    UErrorCode status = U_ZERO_ERROR;
    std::int32_t size = 0;
    u_strToUTF8WithSub(nullptr, 0, &size, units, length, 0xFFFD, nullptr, &status);
    std::string text(static_cast<std::size_t>(size), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(text.data(), size, &size, units, length, 0xFFFD, nullptr, &status);
    return text;
}

// The same split rules over plain ICU, opening and closing the compiled pattern on every call.
Pieces splitCompilingEachTime(const std::string& line) {
    URegularExpression* regex = compileTabRuns();
    UErrorCode status = U_ZERO_ERROR;
    const std::int32_t groups = uregex_groupCount(regex, &status);
    const std::vector<UChar> units = toUtf16(line);
    const auto length = static_cast<std::int32_t>(units.size());
    uregex_setText(regex, units.data(), length, &status);

    std::vector<std::pair<std::int32_t, std::int32_t>> ranges;
    std::size_t kept = 0;
    std::int32_t last = 0;
    for (bool found = uregex_find(regex, 0, &status); found; found = uregex_findNext(regex, &status)) {
        const std::int32_t start = uregex_start(regex, 0, &status);
        const std::int32_t end = uregex_end(regex, 0, &status);
        if (start == end && start == last) continue;
        ranges.emplace_back(last, start);
        for (std::int32_t group = 1; group <= groups; ++group) {
            const std::int32_t groupStart = uregex_start(regex, group, &status);
            if (groupStart < 0)
                ranges.emplace_back(0, 0);
            else
                ranges.emplace_back(groupStart, uregex_end(regex, group, &status));
        }
        if (start > last) kept = ranges.size();
        last = end;
    }
    if (last < length) {
        ranges.emplace_back(last, length);
        kept = ranges.size();
    }
    Pieces pieces;
    pieces.reserve(kept);
    for (std::size_t i = 0; i < kept; ++i)
        pieces.push_back(toUtf8(units.data() + ranges[i].first, ranges[i].second - ranges[i].first));
    uregex_close(regex);
    return pieces;
}

Pieces splitByHand(const std::string& line) {
    return quoddle::splitOnTabRunsByHand(line);
}

template <Pieces (*split)(const std::string&)> void splitSettingsLines(benchmark::State& state) {
    const std::vector<std::string>& lines = settingsLines();
    for (const std::string& line : lines) {
        if (split(line) != splitByHand(line)) {
            state.SkipWithError("the splits disagree");
            return;
        }
    }
    std::size_t next = 0;
    for (auto _ : state) {
        Pieces pieces = split(lines[next]);
        benchmark::DoNotOptimize(pieces);
        next = next + 1 == lines.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

// ICU's own work on each line: the text set and every match found, with the pattern compiled and the lines
// converted beforehand, and no pieces made.
void icuMatchingOnly(benchmark::State& state) {
    URegularExpression* regex = compileTabRuns();
    std::vector<std::vector<UChar>> lines;
    for (const std::string& line : settingsLines())
        lines.push_back(toUtf16(line));
    UErrorCode status = U_ZERO_ERROR;
    std::size_t next = 0;
    for (auto _ : state) {
        const std::vector<UChar>& units = lines[next];
        uregex_setText(regex, units.data(), static_cast<std::int32_t>(units.size()), &status);
        std::int32_t bounds = 0;
        for (bool found = uregex_findNext(regex, &status); found; found = uregex_findNext(regex, &status))
            bounds += uregex_start(regex, 0, &status) + uregex_end(regex, 0, &status);
        benchmark::DoNotOptimize(bounds);
        next = next + 1 == lines.size() ? 0 : next + 1;
    }
    uregex_close(regex);
    if (U_FAILURE(status)) state.SkipWithError(u_errorName(status));
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(splitSettingsLines<splitWithHelper>)->Name("SplitLine/CachedHelper");
BENCHMARK(splitSettingsLines<splitCompilingEachTime>)->Name("SplitLine/IcuCompiledPerCall");
BENCHMARK(splitSettingsLines<splitByHand>)->Name("SplitLine/HandWritten");
BENCHMARK(icuMatchingOnly)->Name("SplitLine/IcuMatchingOnly");

} // namespace
