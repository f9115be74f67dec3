#include "support/Regex.h"

#include <unicode/uregex.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

namespace quoddle {

RegexError::RegexError(std::string regex, std::uint32_t regexOptions, int errorCode, std::string errorName)
    : std::runtime_error("ICU regular expression error #" + std::to_string(errorCode) + ", " + errorName +
                         "."),
      regex_(std::move(regex)), regexOptions_(regexOptions), errorCode_(errorCode),
      errorName_(std::move(errorName)) {}

namespace {

constexpr std::uint32_t kNoOptions = 0; // every operation compiles with no flags
constexpr std::size_t kCacheSets = 13;
constexpr std::size_t kCacheWays = 4;
constexpr std::size_t kSplitRangesKept = 2048; // scratch beyond these sizes is freed after use
constexpr std::size_t kScratchKept = 16384;
constexpr UChar32 kReplacementCharacter = 0xFFFD;
constexpr std::int32_t kCannotContinue = -1;

struct RegexCloser {
    void operator()(URegularExpression* regex) const { uregex_close(regex); }
};
using RegexHandle = std::unique_ptr<URegularExpression, RegexCloser>;

// A stretch of the receiver in UTF-16 code units.
struct Range {
    Range() = default;
    Range(std::int32_t location, std::int32_t length) : location(location), length(length) {}

    std::int32_t location = 0;
    std::int32_t length = 0;
};

void requireLength(std::size_t length, const char* message) {
    // UTF-8 never has fewer bytes than the text has UTF-16 units, so a byte length below the limit is enough.
    if (length >= static_cast<std::size_t>(INT_MAX)) throw std::out_of_range(message);
}

bool isAscii(std::string_view text) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    std::uint64_t bits = 0;
    std::size_t i = 0;
    for (; i + sizeof bits <= text.size(); i += sizeof bits) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        bits |= word;
    }
    for (; i < text.size(); ++i)
        bits |= static_cast<unsigned char>(text[i]);
    return (bits & kHighBits) == 0;
}

// Converts UTF-8 into `units` (resized to fit); invalid sequences become U+FFFD. Returns the UTF-16 length.
std::int32_t toUtf16(std::string_view text, bool ascii, std::vector<UChar>& units, UErrorCode& status) {
    units.resize(text.size() + 1); // never empty: ICU refuses a null text, even an empty one
    if (ascii) {
        std::copy(text.begin(), text.end(), units.begin());
        return static_cast<std::int32_t>(text.size());
    }
    std::int32_t length = 0;
    u_strFromUTF8WithSub(units.data(), static_cast<std::int32_t>(units.size()), &length, text.data(),
                         static_cast<std::int32_t>(text.size()), kReplacementCharacter, nullptr, &status);
    return length;
}

// One compiled pattern and the last receiver it searched, with the state of that search.
class Entry {
public:
    bool holds(std::string_view pattern) const {
        return regex_ && options_ == kNoOptions && pattern_ == pattern;
    }
    bool holds(std::size_t hash, std::string_view pattern) const { return hash_ == hash && holds(pattern); }
    std::uint64_t lastUse() const { return lastUse_; }
    void touch(std::uint64_t clock) { lastUse_ = clock; }
    std::int32_t groupCount() const { return groupCount_; }
    std::int32_t length() const { return length_; }
    const Range& match() const { return match_; }
    // Where the next search continues the current one.
    std::int32_t leftOff() const { return continueFrom_; }

    void hold(RegexHandle regex, std::string_view pattern, std::size_t hash, std::int32_t groupCount) {
        *this = Entry();
        regex_ = std::move(regex);
        pattern_.assign(pattern);
        hash_ = hash;
        groupCount_ = groupCount;
    }

    // Makes `text` the receiver; the same text as last time keeps its units and its last search.
    void takeReceiver(std::string_view text) {
        if (hasReceiver_ && receiver_ == text) return;
        hasReceiver_ = false;
        searched_ = false;
        continueFrom_ = kCannotContinue;
        receiver_.assign(text);
        UErrorCode status = U_ZERO_ERROR;
        // In ASCII text unit positions are byte positions, so pieces are cut from the text itself.
        receiverIsAscii_ = isAscii(text);
        length_ = toUtf16(text, receiverIsAscii_, units_, status);
        if (U_SUCCESS(status)) uregex_setText(regex_.get(), units_.data(), length_, &status);
        if (U_FAILURE(status)) fail(status);
        continueFrom_ = 0; // a matcher given new text finds its next match from the start
        hasReceiver_ = true;
    }

    // Finds the first match at or after `from`: the same search as last time reuses its match, a search from
    // where the last one left off continues it, any other restarts there.
    bool search(std::int32_t from) {
        if (searched_ && searchFrom_ == from) return found_;
        const bool continues = from == continueFrom_;
        searched_ = false;
        continueFrom_ = kCannotContinue;
        UErrorCode status = U_ZERO_ERROR;
        bool found = false;
        if (continues) {
            found = uregex_findNext(regex_.get(), &status);
        } else if (from <= length_) {
            found = uregex_find(regex_.get(), from, &status);
        }
        if (found) {
            const std::int32_t start = uregex_start(regex_.get(), 0, &status);
            const std::int32_t end = uregex_end(regex_.get(), 0, &status);
            match_ = {start, end - start};
            continueFrom_ = end > start ? end : start + stepAfterEmptyMatch(start);
        }
        if (U_FAILURE(status)) fail(status);
        searched_ = true;
        searchFrom_ = from;
        found_ = found;
        return found;
    }

    // The range of a group in the current match; none if the group took no part in it.
    std::optional<Range> group(std::int32_t index) const {
        UErrorCode status = U_ZERO_ERROR;
        const std::int32_t start = uregex_start(regex_.get(), index, &status);
        const std::int32_t end = uregex_end(regex_.get(), index, &status);
        if (U_FAILURE(status)) fail(status);
        if (start < 0) return std::nullopt;
        return Range{start, end - start};
    }

    std::string piece(Range range) {
        if (receiverIsAscii_) return receiver_.substr(range.location, range.length);
        // Every UTF-16 unit takes at most three bytes of UTF-8; ICU reports a piece too long to convert.
        pieceBuffer_.resize(std::min<std::size_t>(3 * static_cast<std::size_t>(range.length), INT_MAX));
        UErrorCode status = U_ZERO_ERROR;
        std::int32_t size = 0;
        u_strToUTF8WithSub(pieceBuffer_.data(), static_cast<std::int32_t>(pieceBuffer_.size()), &size,
                           units_.data() + range.location, range.length, kReplacementCharacter, nullptr,
                           &status);
        if (U_FAILURE(status)) fail(status);
        std::string piece = pieceBuffer_.substr(0, size);
        if (pieceBuffer_.capacity() > kScratchKept) std::string().swap(pieceBuffer_);
        return piece;
    }

private:
    // ICU resumes after an empty match one character on, so a surrogate pair is never cut in two; after an
    // empty match at the end there is nothing further.
    std::int32_t stepAfterEmptyMatch(std::int32_t at) const {
        if (at + 1 < length_ && U16_IS_LEAD(units_[at]) && U16_IS_TRAIL(units_[at + 1])) return 2;
        return 1;
    }

    [[noreturn]] void fail(UErrorCode status) const {
        throw RegexError(pattern_, options_, status, u_errorName(status));
    }

    RegexHandle regex_;
    std::string pattern_;
    std::size_t hash_ = 0;
    std::uint32_t options_ = kNoOptions;
    std::int32_t groupCount_ = 0;
    std::uint64_t lastUse_ = 0;

    bool hasReceiver_ = false;
    std::string receiver_;
    bool receiverIsAscii_ = false;
    std::vector<UChar> units_;
    std::int32_t length_ = 0;
    std::string pieceBuffer_;

    bool searched_ = false;
    std::int32_t searchFrom_ = 0;
    bool found_ = false;
    Range match_;
    std::int32_t continueFrom_ = kCannotContinue;
};

// The process-wide state: compiled patterns in sets of ways, and the lock that serialises every operation.
class Cache {
public:
    std::mutex lock;
    std::vector<Range> splitRanges;

    // The entry holding `pattern` with `text` as its receiver; null if the pattern does not compile.
    Entry* entryFor(std::string_view pattern, std::string_view text) {
        Entry* entry = lookUp(pattern);
        if (entry) entry->takeReceiver(text);
        return entry;
    }

private:
    Entry* lookUp(std::string_view pattern) {
        ++clock_;
        if (lastUsed_ && lastUsed_->holds(pattern)) {
            lastUsed_->touch(clock_);
            return lastUsed_;
        }
        const std::size_t hash = std::hash<std::string_view>{}(pattern);
        Entry* ways = &entries_[(hash ^ kNoOptions) % kCacheSets * kCacheWays];
        Entry* leastRecent = ways;
        for (Entry* way = ways; way != ways + kCacheWays; ++way) {
            if (way->holds(hash, pattern)) return use(way);
            if (way->lastUse() < leastRecent->lastUse()) leastRecent = way;
        }
        // Compile before replacing, so a pattern that fails costs no cached one its place.
        std::int32_t groupCount = 0;
        RegexHandle regex = compile(pattern, groupCount);
        if (!regex) return nullptr;
        leastRecent->hold(std::move(regex), pattern, hash, groupCount);
        return use(leastRecent);
    }

    Entry* use(Entry* entry) {
        entry->touch(clock_);
        lastUsed_ = entry;
        return entry;
    }

    RegexHandle compile(std::string_view pattern, std::int32_t& groupCount) {
        UErrorCode status = U_ZERO_ERROR;
        const std::int32_t length = toUtf16(pattern, isAscii(pattern), patternUnits_, status);
        UParseError parseError;
        RegexHandle regex;
        if (U_SUCCESS(status))
            regex.reset(uregex_open(patternUnits_.data(), length, kNoOptions, &parseError, &status));
        if (U_SUCCESS(status)) groupCount = uregex_groupCount(regex.get(), &status);
        if (U_FAILURE(status)) regex.reset();
        return regex;
    }

    std::array<Entry, kCacheSets * kCacheWays> entries_;
    Entry* lastUsed_ = nullptr;
    std::uint64_t clock_ = 0;
    std::vector<UChar> patternUnits_;
};

Cache& cache() {
    static Cache instance;
    return instance;
}

// Runs `operation` under the lock. An exception it raises is held until the lock is released, so a handler
// may call these operations again.
template <typename Operation> auto locked(Operation operation) {
    std::exception_ptr failure;
    {
        const std::lock_guard guard(cache().lock);
        try {
            return operation(cache());
        } catch (...) {
            failure = std::current_exception();
        }
    }
    std::rethrow_exception(failure);
}

Entry* entryFor(Cache& cache, std::string_view text, std::string_view pattern) {
    requireLength(text.size(), "String length exceeds INT_MAX.");
    requireLength(pattern.size(), "Regex string length exceeds INT_MAX");
    return cache.entryFor(pattern, text);
}

} // namespace

std::optional<std::vector<std::string>> splitByPattern(std::string_view text, std::string_view pattern) {
    return locked([&](Cache& cache) -> std::optional<std::vector<std::string>> {
        Entry* entry = entryFor(cache, text, pattern);
        if (!entry) return std::nullopt;
        std::vector<Range>& ranges = cache.splitRanges;
        ranges.clear();
        std::size_t kept = 0;
        std::int32_t last = 0;
        for (std::int32_t from = 0; entry->search(from); from = entry->leftOff()) {
            const Range& match = entry->match();
            if (match.length == 0 && match.location == last) continue;
            ranges.emplace_back(last, match.location - last);
            for (std::int32_t index = 1; index <= entry->groupCount(); ++index)
                ranges.push_back(entry->group(index).value_or(Range{}));
            if (match.location > last) kept = ranges.size();
            last = match.location + match.length;
        }
        if (last < entry->length()) {
            ranges.emplace_back(last, entry->length() - last);
            kept = ranges.size();
        }
        std::vector<std::string> pieces;
        pieces.reserve(kept);
        for (std::size_t i = 0; i < kept; ++i)
            pieces.push_back(entry->piece(ranges[i]));
        if (ranges.capacity() > kSplitRangesKept) std::vector<Range>().swap(ranges);
        return pieces;
    });
}

std::optional<std::string> firstMatchGroup(std::string_view text, std::string_view pattern, int group) {
    return locked([&](Cache& cache) -> std::optional<std::string> {
        Entry* entry = entryFor(cache, text, pattern);
        if (!entry) return std::nullopt;
        if (group < 0 || group > entry->groupCount())
            throw std::invalid_argument("The capture argument is not valid.");
        if (!entry->search(0)) return std::nullopt;
        const std::optional<Range> range = entry->group(group);
        if (!range) return std::nullopt;
        return entry->piece(*range);
    });
}

} // namespace quoddle
