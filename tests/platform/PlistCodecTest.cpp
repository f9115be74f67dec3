#include "platform/defaults/PlistCodec.h"
#include "platform/PlistValuePrinter.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

namespace quoddle {
namespace {

using namespace std::chrono;

PlistDate utc(int y, unsigned m, unsigned d, int hour = 0, int minute = 0, int second = 0, int millis = 0) {
    return sys_days{year{y} / m / d} + hours{hour} + minutes{minute} + seconds{second} + milliseconds{millis};
}
const PlistDate kReference = utc(2001, 1, 1);
const PlistDate kEarliest = utc(1932, 12, 13, 20, 45, 52);
const PlistDate kLatest = utc(2069, 1, 19, 3, 14, 7, 999);

// Binary property lists assembled by hand from the published format, as any other writer may produce them:
// the objects in order, object 0 on top, offsets and object references 4 bytes wide.
std::string bigEndian(std::uint64_t value, int size) {
    std::string bytes;
    for (int shift = (size - 1) * 8; shift >= 0; shift -= 8)
        bytes += static_cast<char>(value >> shift & 0xFF);
    return bytes;
}
std::string withCount(unsigned type, std::uint64_t count) {
    if (count < 15) return std::string(1, static_cast<char>(type << 4 | count));
    return std::string(1, static_cast<char>(type << 4 | 0xF)) + "\x13" + bigEndian(count, 8);
}
std::string arrayObject(const std::vector<std::uint64_t>& refs) {
    std::string bytes = withCount(0xA, refs.size());
    for (auto ref : refs) bytes += bigEndian(ref, 4);
    return bytes;
}
std::string dictObject(const std::vector<std::uint64_t>& keys, const std::vector<std::uint64_t>& values) {
    std::string bytes = withCount(0xD, keys.size());
    for (auto ref : keys) bytes += bigEndian(ref, 4);
    for (auto ref : values) bytes += bigEndian(ref, 4);
    return bytes;
}
std::string asciiObject(const std::string& text) {
    return withCount(0x5, text.size()) + text;
}
std::string dateObject(double seconds) {
    return "\x33" + bigEndian(std::bit_cast<std::uint64_t>(seconds), 8);
}
std::string binaryPlist(const std::vector<std::string>& objects) {
    std::string bytes = "bplist00";
    std::string table;
    for (const auto& object : objects) {
        table += bigEndian(bytes.size(), 4);
        bytes += object;
    }
    std::uint64_t tableAt = bytes.size();
    return bytes + table + std::string(6, '\0') + "\x04\x04" + bigEndian(objects.size(), 8) +
           bigEndian(0, 8) + bigEndian(tableAt, 8);
}
// {"V": value}
std::string oneValue(const std::string& valueObject) {
    return binaryPlist({dictObject({1}, {2}), asciiObject("V"), valueObject});
}
PlistValue decodedValue(const std::string& bytes) {
    auto decoded = decodePlist(bytes);
    if (!decoded.values) return "not decoded: " + decoded.problem;
    return decoded.values->at("V");
}

// The big-endian double after the first date marker of an encoded {"V": date}.
double writtenSeconds(PlistDate date) {
    std::string bytes = *encodeBinaryPlist({{"V", date}});
    std::size_t marker = bytes.find('\x33', 8);
    std::uint64_t bits = 0;
    for (std::size_t i = marker + 1; i < marker + 9; ++i)
        bits = bits << 8 | static_cast<unsigned char>(bytes[i]);
    return std::bit_cast<double>(bits);
}

TEST(PlistCodecDates, ReadsTheDatesOfOtherWritersToTheNearestMillisecond) {
    const std::vector<std::pair<double, PlistDate>> cases{
        {-0.5, utc(2000, 12, 31, 23, 59, 59, 500)}, // the second before 2001, whose sign libplist drops
        {-0.0004, kReference},
        {0.0006, kReference + milliseconds{1}},
        {-978307200.0, utc(1970, 1, 1)},
        {-978307199.877, utc(1970, 1, 1, 0, 0, 0, 123)},
        {-335374198.993, utc(1990, 5, 17, 8, 30, 1, 7)},
        {730943999.999, utc(2024, 2, 29, 23, 59, 59, 999)},
        {730943999.9994, utc(2024, 2, 29, 23, 59, 59, 999)},
        {1e300, kLatest},
        {-std::numeric_limits<double>::infinity(), kEarliest},
        {std::nan(""), kReference},
    };
    for (const auto& [seconds, expected] : cases)
        EXPECT_EQ(decodedValue(oneValue(dateObject(seconds))), PlistValue(expected)) << seconds;
}

TEST(PlistCodecDates, WritesTheExactSecondsSinceTheReferenceDate) {
    EXPECT_EQ(writtenSeconds(utc(1970, 1, 1, 0, 0, 0, 123)), -978307199.877);
    EXPECT_EQ(writtenSeconds(utc(1990, 5, 17, 8, 30, 1, 7)), -335374198.993);
    EXPECT_EQ(writtenSeconds(utc(2000, 12, 31, 23, 59, 59, 500)), -0.5);
    EXPECT_EQ(writtenSeconds(kReference), 0.0);
    EXPECT_EQ(writtenSeconds(utc(2024, 2, 29, 23, 59, 59, 999)), 730943999.999);
}

TEST(PlistCodecIntegers, AreSignedSixtyFourBitBothWays) {
    EXPECT_EQ(decodedValue(oneValue("\x13" + bigEndian(static_cast<std::uint64_t>(-5), 8))), PlistValue(-5));
    EXPECT_EQ(decodedValue(oneValue(std::string("\x10\xFF", 2))), PlistValue(255));
    EXPECT_EQ(decodedValue(oneValue(std::string("\x11\xFF\xFF", 3))), PlistValue(65535));
    EXPECT_EQ(decodedValue(oneValue(std::string("\x12\xFF\xFF\xFF\xFF", 5))),
              PlistValue(std::int64_t{4294967295}));

    const std::int64_t smallest = std::numeric_limits<std::int64_t>::min();
    std::string bytes = *encodeBinaryPlist({{"V", smallest}, {"W", -1}});
    EXPECT_NE(bytes.find("\x13" + bigEndian(static_cast<std::uint64_t>(smallest), 8)), std::string::npos);
    EXPECT_NE(bytes.find("\x13" + std::string(8, '\xFF')), std::string::npos);
}

TEST(PlistCodecStrings, IllFormedUtf8AndNulBecomeReplacementCharacters) {
    const std::string r = "\uFFFD";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"plain", "plain"},
        {"é 日本 😀", "é 日本 😀"},
        {"\xC3", r},                         // cut short at the end
        {"\xE2\x82x", r + "x"},              // cut short: one replacement for the prefix
        {"\xED\xA0\x80", r + r + r},         // an encoded surrogate
        {"\xF4\x90\x80\x80", r + r + r + r}, // beyond U+10FFFF
        {"\xC0\xAF", r + r},                 // overlong
        {"\xE0\x80\x80", r + r + r},         // overlong
        {"\xF0\x9F\x98", r},                 // four-byte sequence cut short
        {"a\xFF"
         "b\x80",
         "a" + r + "b" + r}, // bytes that never occur
        {std::string("a\0b", 3), "a" + r + "b"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(storableString(text), expected) << text;
}

TEST(PlistCodecStrings, ReadsStringsAsValidUtf8) {
    EXPECT_EQ(decodedValue(oneValue("\x53"
                                    "a\xFF"
                                    "b")),
              PlistValue("a\uFFFDb"));
    EXPECT_EQ(decodedValue(oneValue(std::string("\x62\x00\x78\xD8\x3D", 5))), PlistValue("x"))
        << "libplist drops a lone surrogate";
    EXPECT_EQ(decodedValue(oneValue(std::string("\x63\x00\xE9\xD8\x3D\xDE\x00", 7))), PlistValue("é😀"));
}

TEST(PlistCodecLimits, RefusesFilesThatWouldExhaustLibplist) {
    // 40 levels of arrays holding the next level twice: 2^40 nodes once libplist copies them out.
    std::vector<std::string> bomb{dictObject({1}, {2}), asciiObject("V")};
    for (std::uint64_t i = 2; i < 42; ++i) bomb.push_back(arrayObject({i + 1, i + 1}));
    bomb.push_back(arrayObject({}));
    EXPECT_EQ(decodePlist(binaryPlist(bomb)).problem, "its shared parts expand too much");

    // One 100 kB string 10,000 times over: a gigabyte once copied out.
    std::vector<std::uint64_t> refs(10'000, 3);
    EXPECT_EQ(decodePlist(binaryPlist({dictObject({1}, {2}), asciiObject("V"), arrayObject(refs),
                                       asciiObject(std::string(100'000, 'x'))}))
                  .problem,
              "its shared parts expand too much");

    std::vector<std::string> chain{dictObject({1}, {2}), asciiObject("V")};
    for (std::uint64_t i = 2; i < 100'000; ++i) chain.push_back(arrayObject({i + 1}));
    chain.push_back(arrayObject({}));
    EXPECT_EQ(decodePlist(binaryPlist(chain)).problem, "it nests too deeply");

    std::string xml = "<plist><dict><key>V</key>";
    for (int i = 0; i < 100'000; ++i) xml += "<array>";
    EXPECT_EQ(decodePlist(xml).problem, "it nests too deeply");

    // Closing tags inside comments do not close anything.
    std::string hidden = "<?xml version=\"1.0\"?><plist><dict><key>V</key>";
    for (int i = 0; i < 100'000; ++i)
        hidden += "<array><!-- </array> --><![CDATA[</array>]]><?pi </array> ?>";
    EXPECT_EQ(decodePlist(hidden).problem, "it nests too deeply");

    EXPECT_EQ(decodePlist(std::string(kMaxPlistFileSize + 1, ' ')).problem, "it is larger than 32 MiB");
}

TEST(PlistCodecLimits, NestingUpTo256LevelsIsRead) {
    auto nested = [](int arrays) {
        std::vector<std::string> objects{dictObject({1}, {2}), asciiObject("V")};
        for (std::uint64_t i = 2; i < std::uint64_t(arrays) + 1; ++i) objects.push_back(arrayObject({i + 1}));
        objects.push_back(arrayObject({}));
        return binaryPlist(objects);
    };
    // The top dictionary and 255 arrays make 256 levels.
    EXPECT_TRUE(decodePlist(nested(255)).values.has_value());
    EXPECT_EQ(decodePlist(nested(256)).problem, "it nests too deeply");
}

TEST(PlistCodecLimits, SharedPartsWithinTheLimitsAreReadAsCopies) {
    // One history item dictionary shared by two applications, as a writer that merges equal objects makes it.
    auto decoded = decodePlist(binaryPlist({
        dictObject({1, 2}, {3, 3}),
        asciiObject("Mail"),
        asciiObject("*"),
        dictObject({4}, {5}),
        asciiObject("Make Sticky"),
        dictObject({6, 7}, {4, 8}),
        asciiObject("Title"),
        asciiObject("Count"),
        std::string("\x10\x02", 2),
    }));
    ASSERT_TRUE(decoded.values) << decoded.problem;
    PlistDictionary table{{"Make Sticky", PlistDictionary{{"Title", "Make Sticky"}, {"Count", 2}}}};
    EXPECT_EQ(*decoded.values, (PlistDictionary{{"Mail", table}, {"*", table}}));
}

TEST(PlistCodecLimits, DamagedOrForeignStructuresAreRefused) {
    std::string valid = oneValue(asciiObject("x"));
    auto withTrailerByte = [&](std::size_t fromEnd, char value) {
        std::string bytes = valid;
        bytes[bytes.size() - fromEnd] = value;
        return bytes;
    };
    for (const std::string& bytes : {
             withTrailerByte(1, '\x7F'),      // table beyond the file
             withTrailerByte(9, '\x09'),      // top object beyond the count
             withTrailerByte(26, '\x00'),     // offsets zero bytes wide
             binaryPlist({arrayObject({0})}), // an array inside itself
             binaryPlist({dictObject({1}, {2}), asciiObject("V"), arrayObject({9})}), // reference to nothing
             std::string("bplist00", 8),
         })
        EXPECT_EQ(decodePlist(bytes).values, std::nullopt);

    // libplist would end the process on reading such a key.
    EXPECT_EQ(decodePlist(binaryPlist({dictObject({1}, {2}),
                                       std::string("\x53"
                                                   "a\0b",
                                                   4),
                                       "\x09"}))
                  .problem,
              "a dictionary key holds a NUL character");
    EXPECT_EQ(decodePlist(binaryPlist({dictObject({1}, {2}), std::string("\x61\0\0", 3), "\x09"})).problem,
              "a dictionary key holds a NUL character");
    // As a value, libplist cuts it at NUL.
    EXPECT_EQ(decodedValue(oneValue(std::string("\x53"
                                                "a\0b",
                                                4))),
              PlistValue("a"));

    auto uid = decodePlist(oneValue(std::string("\x80\x01", 2)));
    EXPECT_EQ(uid.values, std::nullopt);
    EXPECT_EQ(uid.problem, "it holds a value of a kind that preferences cannot hold");
    EXPECT_EQ(decodePlist(binaryPlist({arrayObject({})})).problem, "its top level is not a dictionary");
    EXPECT_EQ(decodePlist("").problem, "it is empty");
}

} // namespace
} // namespace quoddle
