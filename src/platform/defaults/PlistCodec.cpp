#include "platform/defaults/PlistCodec.h"

#include "platform/defaults/PlistShape.h"

#include <plist/plist.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace quoddle {

namespace {

using std::chrono::milliseconds;

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistHandle = std::unique_ptr<void, PlistFree>;

struct MallocFree {
    void operator()(void* memory) const { std::free(memory); }
};

// Preferences nest a few levels; a file beyond these limits is refused before libplist reads it (see
// PlistShape.h). A history written by libplist makes a tree about 9 times the file's size, its shared
// strings copied out; 32 times leaves room for any file that does not repeat itself on purpose.
constexpr int kMaxDepth = 256;
constexpr std::uint64_t kTreeBytesPerFileByte = 32;
constexpr std::uint64_t kTreeBytesBesidesFile = 1 << 20;
constexpr std::uint64_t kMaxTreeBytes = std::uint64_t{512} << 20;

constexpr std::chrono::sys_days kReferenceDate = std::chrono::year{2001} / 1 / 1;
constexpr milliseconds kEarliestOffset = std::chrono::seconds{std::numeric_limits<std::int32_t>::min()};
constexpr milliseconds kLatestOffset =
    std::chrono::seconds{std::numeric_limits<std::int32_t>::max()} + milliseconds{999};

// Milliseconds since the reference date, rounded and clamped as storableDate documents.
milliseconds storableOffset(PlistDate date) {
    // On tick counts: the chrono operations would overflow near the ends of the clock's range.
    constexpr auto ticksPerMillisecond =
        std::chrono::duration_cast<PlistDate::duration>(milliseconds{1}).count();
    auto ticks = date.time_since_epoch().count();
    auto whole = ticks / ticksPerMillisecond;
    auto rest = ticks % ticksPerMillisecond;
    if (rest < 0) {
        --whole;
        rest += ticksPerMillisecond;
    }
    if (rest * 2 >= ticksPerMillisecond) ++whole;
    return std::clamp(milliseconds{whole} - kReferenceDate.time_since_epoch(), kEarliestOffset,
                      kLatestOffset);
}

PlistDate dateAtOffset(milliseconds offset) {
    return PlistDate{kReferenceDate.time_since_epoch() + offset};
}

milliseconds offsetOfSeconds(double seconds) {
    // A date that is not a number carries no time at all; the reference date stands in for it.
    if (std::isnan(seconds)) return milliseconds{0};
    double rounded = std::round(seconds * 1000.0);
    rounded = std::clamp(rounded, double(kEarliestOffset.count()), double(kLatestOffset.count()));
    return milliseconds{static_cast<std::int64_t>(rounded)};
}

// The length of the well-formed UTF-8 sequence at text[at], or, negated, the length of the ill-formed part
// that one replacement character stands for (the longest prefix of a well-formed sequence found there).
int utf8SequenceAt(std::string_view text, std::size_t at) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    int continuations = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF)
        continuations = 1;
    else if (lead >= 0xE0 && lead <= 0xEF)
        continuations = 2;
    else if (lead >= 0xF0 && lead <= 0xF4)
        continuations = 3;
    else
        return -1;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F; // no encoded surrogates
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F; // nothing above U+10FFFF
    for (int k = 1; k <= continuations; ++k) {
        if (at + k >= text.size()) return -k;
        unsigned char c = byte(at + k);
        bool inRange = k == 1 ? c >= low && c <= high : c >= 0x80 && c <= 0xBF;
        if (!inRange) return -k;
    }
    return continuations + 1;
}

PlistHandle toPlist(const PlistValue& value);

PlistHandle toPlist(const PlistDictionary& dictionary) {
    PlistHandle node(plist_new_dict());
    for (const auto& [key, value] : dictionary)
        plist_dict_set_item(node.get(), storableString(key).c_str(), toPlist(value).release());
    return node;
}

PlistHandle toPlist(const PlistValue& value) {
    struct Visitor {
        PlistHandle operator()(const std::string& text) const {
            return PlistHandle(plist_new_string(storableString(text).c_str()));
        }
        // libplist 2.2 has only an unsigned integer node, written as 64-bit two's complement when it does
        // not fit 32 bits: the signed value round-trips through the cast.
        PlistHandle operator()(std::int64_t number) const {
            return PlistHandle(plist_new_uint(static_cast<std::uint64_t>(number)));
        }
        PlistHandle operator()(double number) const { return PlistHandle(plist_new_real(number)); }
        PlistHandle operator()(bool flag) const { return PlistHandle(plist_new_bool(flag ? 1 : 0)); }
        PlistHandle operator()(PlistDate date) const {
            // Whole seconds rounded down and a non-negative microsecond part, so that seconds + microseconds
            // is the date also before the reference date.
            auto offset = storableOffset(date);
            auto seconds = std::chrono::floor<std::chrono::seconds>(offset);
            auto micros = std::chrono::duration_cast<std::chrono::microseconds>(offset - seconds);
            return PlistHandle(plist_new_date(static_cast<std::int32_t>(seconds.count()),
                                              static_cast<std::int32_t>(micros.count())));
        }
        PlistHandle operator()(const PlistData& data) const {
            return PlistHandle(plist_new_data(reinterpret_cast<const char*>(data.data()), data.size()));
        }
        PlistHandle operator()(const PlistArray& array) const {
            PlistHandle node(plist_new_array());
            for (const auto& item : array)
                plist_array_append_item(node.get(), toPlist(item).release());
            return node;
        }
        PlistHandle operator()(const PlistDictionary& dictionary) const { return toPlist(dictionary); }
    };
    return std::visit(Visitor{}, value.storage());
}

// The stored seconds since the reference date. plist_get_date_val cannot give them: it truncates (up to
// 1 µs early), drops the sign of the fraction (dates in the second before the reference date read as
// after it) and misreads dates beyond 32 bits. The node written alone as a binary property list is the
// header "bplist00" followed by the date object: marker 0x33 and the big-endian double.
std::optional<double> storedSeconds(plist_t date) {
    char* raw = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(date, &raw, &length);
    std::unique_ptr<char, void (*)(char*)> bytes(raw, plist_to_bin_free);
    if (!bytes || length < 17 || std::memcmp(raw, "bplist00", 8) != 0 ||
        static_cast<unsigned char>(raw[8]) != 0x33)
        return std::nullopt;
    std::uint64_t bits = 0;
    for (int i = 9; i < 17; ++i)
        bits = bits << 8 | static_cast<unsigned char>(raw[i]);
    return std::bit_cast<double>(bits);
}

std::optional<PlistValue> fromPlist(plist_t node, std::string& problem);

std::optional<PlistDictionary> dictionaryFromPlist(plist_t node, std::string& problem) {
    PlistDictionary dictionary;
    plist_dict_iter rawIter = nullptr;
    plist_dict_new_iter(node, &rawIter);
    std::unique_ptr<void, MallocFree> iter(rawIter);
    for (;;) {
        char* rawKey = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter.get(), &rawKey, &item);
        std::unique_ptr<char, MallocFree> key(rawKey);
        if (!item) return dictionary;
        auto value = fromPlist(item, problem);
        if (!value) return std::nullopt;
        dictionary.insert_or_assign(storableString(key ? key.get() : ""), std::move(*value));
    }
}

// The shape check bounds the depth of this recursion.
std::optional<PlistValue> fromPlist(plist_t node, std::string& problem) {
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return PlistValue(storableString(text ? std::string_view(text, length) : std::string_view()));
    }
    case PLIST_UINT: {
        std::uint64_t number = 0;
        plist_get_uint_val(node, &number);
        return PlistValue(static_cast<std::int64_t>(number));
    }
    case PLIST_REAL: {
        double number = 0;
        plist_get_real_val(node, &number);
        return PlistValue(number);
    }
    case PLIST_BOOLEAN:
        return PlistValue(plist_bool_val_is_true(node) == 1);
    case PLIST_DATE: {
        auto seconds = storedSeconds(node);
        if (!seconds) {
            problem = "a date could not be read";
            return std::nullopt;
        }
        return PlistValue(dateAtOffset(offsetOfSeconds(*seconds)));
    }
    case PLIST_DATA: {
        std::uint64_t length = 0;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(plist_get_data_ptr(node, &length));
        return PlistValue(bytes ? PlistData(bytes, bytes + length) : PlistData());
    }
    case PLIST_ARRAY: {
        // The iterator, because reaching an item by its index takes time in proportion to the index.
        PlistArray array;
        plist_array_iter rawIter = nullptr;
        plist_array_new_iter(node, &rawIter);
        std::unique_ptr<void, MallocFree> iter(rawIter);
        for (;;) {
            plist_t item = nullptr;
            plist_array_next_item(node, iter.get(), &item);
            if (!item) return PlistValue(std::move(array));
            auto value = fromPlist(item, problem);
            if (!value) return std::nullopt;
            array.push_back(std::move(*value));
        }
    }
    case PLIST_DICT: {
        auto dictionary = dictionaryFromPlist(node, problem);
        if (!dictionary) return std::nullopt;
        return PlistValue(std::move(*dictionary));
    }
    default:
        problem = "it holds a value of a kind that preferences cannot hold";
        return std::nullopt;
    }
}

} // namespace

PlistDate storableDate(PlistDate date) {
    return dateAtOffset(storableOffset(date));
}

std::string storableString(std::string_view text) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        int length = utf8SequenceAt(text, at);
        if (length > 0 && text[at] != '\0') {
            result.append(text.substr(at, length));
            at += length;
        } else {
            result.append(kReplacement);
            at += length > 0 ? length : -length;
        }
    }
    return result;
}

void makeStorable(PlistValue& value) {
    if (auto* text = value.get<std::string>()) {
        *text = storableString(*text);
    } else if (auto* date = value.get<PlistDate>()) {
        *date = storableDate(*date);
    } else if (auto* array = value.get<PlistArray>()) {
        for (PlistValue& item : *array)
            makeStorable(item);
    } else if (auto* dictionary = value.get<PlistDictionary>()) {
        for (auto it = dictionary->begin(); it != dictionary->end();) {
            makeStorable(it->second);
            std::string key = storableString(it->first);
            if (key == it->first) {
                ++it;
                continue;
            }
            // A key that changes form moves to its stored form.
            PlistValue item = std::move(it->second);
            it = dictionary->erase(it);
            dictionary->insert_or_assign(std::move(key), std::move(item));
        }
    }
}

std::optional<std::string> encodeBinaryPlist(const PlistDictionary& values) {
    PlistHandle root = toPlist(values);
    char* raw = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root.get(), &raw, &length);
    std::unique_ptr<char, void (*)(char*)> bytes(raw, plist_to_bin_free);
    if (!bytes) return std::nullopt;
    return std::string(raw, length);
}

DecodedPlist decodePlist(std::string_view bytes) {
    if (bytes.empty()) return {std::nullopt, "it is empty"};
    if (bytes.size() > kMaxPlistFileSize) return {std::nullopt, "it is larger than 32 MiB"};
    bool binary = bytes.starts_with("bplist00");
    PlistShapeLimits limits{
        kMaxDepth, std::min(kMaxTreeBytes, bytes.size() * kTreeBytesPerFileByte + kTreeBytesBesidesFile)};
    std::string shapeProblem =
        binary ? binaryPlistShapeProblem(bytes, limits) : xmlPlistShapeProblem(bytes, limits);
    if (!shapeProblem.empty()) return {std::nullopt, shapeProblem};
    plist_t raw = nullptr;
    auto length = static_cast<std::uint32_t>(bytes.size());
    binary ? plist_from_bin(bytes.data(), length, &raw) : plist_from_xml(bytes.data(), length, &raw);
    PlistHandle root(raw);
    if (!root) return {std::nullopt, "it is not a property list"};
    if (plist_get_node_type(root.get()) != PLIST_DICT)
        return {std::nullopt, "its top level is not a dictionary"};
    std::string problem;
    auto values = dictionaryFromPlist(root.get(), problem);
    return {std::move(values), std::move(problem)};
}

} // namespace quoddle
