// The preferences file: what a property-list file holds of every kind of value, both ways, and what the
// codec refuses to read; then the store over the file: what it holds at once and after a reload, when it
// writes, and what it does with files it cannot read or write. What any bytes as the file do (a damaged one
// is moved aside intact, the store starts empty) is StoredPreferencesFuzz's. Last, how the core's user
// defaults read the values of a store.
#include "platform/PlistValuePrinter.h"
#include "platform/ScopedEnvironment.h"
#include "platform/TempFolder.h"
#include "platform/defaults/FileDefaultsStore.h"
#include "platform/defaults/PlistCodec.h"
#include "platform/sim/SimDefaultsStore.h"
#include "support/UserDefaults.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>

namespace quoddle {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

const PlistDate kReference = utc(2001, 1, 1);
const PlistDate kEarliest = utc(1932, 12, 13, 20, 45, 52), kLatest = utc(2069, 1, 19, 3, 14, 7, 999);

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
// An array (type 0xA) or a dictionary (0xD: the keys, then the values) of object references.
std::string container(unsigned type, const std::vector<std::uint64_t>& refs) {
    std::string bytes = withCount(type, type == 0xD ? refs.size() / 2 : refs.size());
    for (auto ref : refs)
        bytes += bigEndian(ref, 4);
    return bytes;
}
std::string asciiObject(const std::string& text) {
    return withCount(0x5, text.size()) + text;
}
std::string binaryPlist(const std::vector<std::string>& objects) {
    std::string bytes = "bplist00", table;
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
    return binaryPlist({container(0xD, {1, 2}), asciiObject("V"), valueObject});
}
PlistValue decodedValue(const std::string& bytes) {
    auto decoded = decodePlist(bytes);
    if (!decoded.values) return "not decoded: " + decoded.problem;
    return decoded.values->at("V");
}
bool writes(const PlistValue& value, const std::string& object) {
    return encodeBinaryPlist({{"V", value}})->find(object) != std::string::npos;
}
// {"V": [[...[]...]]}: that many arrays, each holding the next one that many times.
std::string nested(std::uint64_t arrays, std::size_t copies = 1) {
    std::vector<std::string> objects{container(0xD, {1, 2}), asciiObject("V")};
    for (std::uint64_t i = 2; i < arrays + 1; ++i)
        objects.push_back(container(0xA, std::vector<std::uint64_t>(copies, i + 1)));
    objects.push_back(container(0xA, {}));
    return binaryPlist(objects);
}

TEST(PlistCodecDates, AreSecondsSinceTheReferenceDateBothWays) {
    // Seconds as another writer stores them, the date read, and whether exactly those seconds are written.
    const std::vector<std::tuple<double, PlistDate, bool>> cases{
        {-0.5, utc(2000, 12, 31, 23, 59, 59, 500), true}, // the second before 2001, whose sign libplist drops
        {730943999.999, utc(2024, 2, 29, 23, 59, 59, 999), true},
        {-0.0004, kReference, false},
        {0.0006, kReference + milliseconds{1}, false},
        {730943999.9994, utc(2024, 2, 29, 23, 59, 59, 999), false},
        {1e300, kLatest, false},
        {-std::numeric_limits<double>::infinity(), kEarliest, false},
        {std::nan(""), kReference, false},
    };
    for (const auto& [seconds, date, exact] : cases) {
        const std::string object = "\x33" + bigEndian(std::bit_cast<std::uint64_t>(seconds), 8);
        EXPECT_EQ(decodedValue(oneValue(object)), PlistValue(date)) << seconds;
        EXPECT_TRUE(!exact || writes(date, object)) << seconds;
    }
}

TEST(PlistCodecValues, IntegersAreSignedSixtyFourBitAndStringsValidUtf8) {
    const std::vector<std::pair<std::string, PlistValue>> read{
        {"\x13" + bigEndian(static_cast<std::uint64_t>(-5), 8), -5},
        {std::string("\x10\xFF", 2), 255}, // narrower integers are unsigned
        {std::string("\x12\xFF\xFF\xFF\xFF", 5), std::int64_t{4294967295}},
        {asciiObject("a\xFFz"), "a\uFFFDz"},
        {std::string("\x63\x00\xE9\xD8\x3D\xDE\x00", 7), "é😀"},
    };
    for (const auto& [object, expected] : read)
        EXPECT_EQ(decodedValue(oneValue(object)), expected);
    const std::int64_t smallest = std::numeric_limits<std::int64_t>::min();
    EXPECT_TRUE(writes(smallest, "\x13" + bigEndian(static_cast<std::uint64_t>(smallest), 8)));

    const std::string r = "\uFFFD";
    const std::vector<std::pair<std::string, std::string>> strings{
        {"\xC3", r},                         // cut short at the end
        {"\xE2\x82x", r + "x"},              // cut short: one replacement for the prefix
        {"\xED\xA0\x80", r + r + r},         // an encoded surrogate
        {"\xF4\x90\x80\x80", r + r + r + r}, // beyond U+10FFFF
        {"\xC0\xAF", r + r},                 // overlong
        {"\xE0\x80\x80", r + r + r},         // overlong
        {"a\xFFz\x80", "a" + r + "z" + r},   // bytes that never occur
    };
    for (const auto& [text, expected] : strings)
        EXPECT_EQ(storableString(text), expected) << text;
}

// What a file holds comes back exactly; anything else in the form the file holds: dates to the nearest
// millisecond (halves to the later one) within its range, strings and keys as valid UTF-8 without NUL.
TEST(PlistCodecValues, ComeBackFromTheFileExactlyOrInTheFormItHolds) {
    const PlistDate base = utc(1990, 5, 17, 8, 30, 1, 7);
    const PlistDictionary exact{
        {"String", "Grüße – 日本語 😀 \u200f"},
        {"Largest", std::numeric_limits<std::int64_t>::max()},
        {"Smallest", std::numeric_limits<std::int64_t>::min()},
        {"Real", 0.1},
        {"Infinite", -std::numeric_limits<double>::infinity()},
        {"Yes", true},
        {"Data", PlistData{0, 1, 0xFE, 0xFF, 0}},
        {"Array", PlistArray{"", false, PlistData{}, PlistArray{}, PlistDictionary{}}},
        {"Dictionary",
         PlistDictionary{{"", "empty key"}, {"ключ", PlistDictionary{{"deep", PlistArray{3}}}}}}};
    const std::vector<std::pair<PlistValue, PlistValue>> changed{
        {base + microseconds{499}, base},
        {base + microseconds{500}, base + milliseconds{1}},
        {utc(1969, 7, 20, 20, 17, 40, 1) + microseconds{400}, utc(1969, 7, 20, 20, 17, 40, 1)},
        {PlistDate::min(), kEarliest},
        {PlistDate::max(), kLatest},
        {PlistDictionary{{std::string("bad\xff key"), PlistArray{std::string("nul\0in", 6), base}}},
         PlistDictionary{{"bad\uFFFD key", PlistArray{"nul\uFFFDin", base}}}}};
    PlistDictionary values = exact, expected = exact;
    for (std::size_t i = 0; i < changed.size(); ++i) {
        values[std::to_string(i)] = changed[i].first;
        expected[std::to_string(i)] = changed[i].second;
    }
    // The dates libplist misreads, before 2001 and in the second before it, are PlistCodecDates' both ways;
    // random ones cover the whole range the file holds.
    PlistArray dates{kReference + 1ms};
    std::mt19937_64 random(20240229);
    std::uniform_int_distribution<std::int64_t> offset(
        duration_cast<milliseconds>(kEarliest - kReference).count(),
        duration_cast<milliseconds>(kLatest - kReference).count());
    while (dates.size() < 5000)
        dates.emplace_back(kReference + milliseconds{offset(random)});
    values["Dates"] = expected["Dates"] = dates;

    const auto decoded = decodePlist(encodeBinaryPlist(values).value());
    ASSERT_TRUE(decoded.values) << decoded.problem;
    EXPECT_EQ(*decoded.values, expected);
}

// As other programs write them.
TEST(PlistCodecValues, XmlPropertyListsAreRead) {
    const auto decoded = decodePlist(R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>BlacklistAppSetting</key><string>Interface Builder
com.apple.Preview</string><key>WindowAndMouseMargin</key><integer>-6</integer>
  <key>Used</key><date>1990-05-17T08:30:01Z</date></dict></plist>)");
    EXPECT_EQ(decoded.values,
              (PlistDictionary{{"BlacklistAppSetting", "Interface Builder\ncom.apple.Preview"},
                               {"WindowAndMouseMargin", -6},
                               {"Used", utc(1990, 5, 17, 8, 30, 1)}}))
        << decoded.problem;
}

TEST(PlistCodecLimits, RefusesWhatLibplistCannotReadSafelyAndCopiesSharedPartsWithin) {
    const std::string tooLarge = "its shared parts expand too much", tooDeep = "it nests too deeply",
                      damaged = "its structure is damaged", nulKey = "a dictionary key holds a NUL character";
    // Closing tags inside comments and the like close nothing.
    std::string xml = "<?xml version=\"1.0\"?><plist><dict><key>V</key>";
    for (int i = 0; i < 100'000; ++i)
        xml += "<array><!-- > </array> --><![CDATA[</array>]]><?pi </array> ?>";
    std::string tableBeyondTheFile = oneValue(asciiObject("x"));
    tableBeyondTheFile.back() = '\x7F';
    const std::vector<std::pair<std::string, std::string>> refused{
        {nested(41, 2), tooLarge}, // 2^40 nodes once libplist copies the shared arrays out
        {binaryPlist({container(0xD, {1, 2}), asciiObject("V"),
                      container(0xA, std::vector<std::uint64_t>(10'000, 3)),
                      asciiObject(std::string(100'000, 'x'))}),
         tooLarge},             // few nodes, but a gigabyte of copies
        {nested(256), tooDeep}, // the top dictionary and 256 arrays
        {xml, tooDeep},
        // libplist would end the process on reading such a key.
        {binaryPlist({container(0xD, {1, 2}), asciiObject(std::string("a\0z", 3)), "\x09"}), nulKey},
        {binaryPlist({container(0xD, {1, 2}), std::string("\x61\0\0", 3), "\x09"}), nulKey},
        {std::string(kMaxPlistFileSize + 1, ' '), "it is larger than 32 MiB"},
        {tableBeyondTheFile, damaged},
        {binaryPlist({container(0xA, {0})}), damaged}, // an array inside itself
        {binaryPlist({container(0xD, {1, 2}), asciiObject("V"), container(0xA, {9})}),
         damaged}, // no such object
        {"bplist00", damaged},
        {oneValue("\x80\x01"), "it holds a value of a kind that preferences cannot hold"},
        {binaryPlist({container(0xA, {})}), "its top level is not a dictionary"},
        {"", "it is empty"},
    };
    for (std::size_t i = 0; i < refused.size(); ++i) {
        auto decoded = decodePlist(refused[i].first);
        EXPECT_EQ(decoded.values, std::nullopt) << "case " << i;
        EXPECT_EQ(decoded.problem, refused[i].second) << "case " << i;
    }
    EXPECT_TRUE(decodePlist(nested(255)).values.has_value()) << "256 levels are read";
    // Shared parts within the limits, as a writer that merges equal objects makes them, are read as copies.
    EXPECT_EQ(decodePlist(binaryPlist({container(0xD, {1, 2, 3, 3}), asciiObject("Mail"), asciiObject("*"),
                                       container(0xA, {4}), "\x10\x02"}))
                  .values,
              (PlistDictionary{{"Mail", PlistArray{2}}, {"*", PlistArray{2}}}));
}

class FileDefaultsStoreTest : public ::testing::Test {
protected:
    FileDefaultsStore::Logger logger() {
        return [this](const std::string& line) { logLines.push_back(line); };
    }
    // What a fresh store, as at the next launch, reads from the file.
    PlistDictionary reloaded() const { return FileDefaultsStore(file).all(); }
    void expectOneLogLineNaming(const fs::path& path) {
        ASSERT_EQ(logLines.size(), 1u);
        EXPECT_NE(logLines[0].find(path.string()), std::string::npos) << logLines[0];
    }

    TempFolder folder;
    fs::path file = folder / "preferences.plist";
    std::vector<std::string> logLines;
};

TEST_F(FileDefaultsStoreTest, StartsEmptyHoldsWhatAReloadGivesAndWritesAPrivateFileMakingItsFolders) {
    const fs::path nested = folder / "config" / "quoddle" / "preferences.plist";
    FileDefaultsStore store(nested, logger());
    EXPECT_TRUE(store.all().empty());
    EXPECT_TRUE(logLines.empty()) << "a missing file is no problem";
    // A value is held in the form the file holds from the moment it is set, keys and nested values included.
    store.set(
        std::string("Key\xC3", 4),
        PlistDictionary{{"bad\xff key", PlistArray{std::string("nul\0in", 6), utc(2026, 3, 4) + 1500us}}});
    const PlistDictionary expected{
        {"Key\uFFFD", PlistDictionary{{"bad\uFFFD key", PlistArray{"nul\uFFFDin", utc(2026, 3, 4) + 2ms}}}}};
    EXPECT_EQ(store.all(), expected);
    EXPECT_NE(store.find(std::string("Key\xC3", 4)), nullptr);
    ASSERT_TRUE(store.synchronize());
    EXPECT_EQ(FileDefaultsStore(nested).all(), expected);
    EXPECT_TRUE(readBytes(nested).starts_with("bplist00")) << "a binary property list";
    EXPECT_EQ(fs::status(nested).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(folder / "config").permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(nested.parent_path()).permissions(), fs::perms::owner_all);
    // Nothing but the file itself is left behind.
    EXPECT_EQ(filesIn(nested.parent_path()), std::vector<fs::path>{nested});
}

// It writes only when something changed. A background write writes the values as they were when it was
// asked for; a change made meanwhile waits for the next synchronisation, and the change handler hears of
// every change.
TEST_F(FileDefaultsStoreTest, WritesOnlyWhenSomethingChangedAndInTheBackgroundASnapshot) {
    FileDefaultsStore store(file, logger());
    // With the file removed first, a write shows as a new file.
    auto writes = [&](auto change) {
        fs::remove(file);
        change();
        EXPECT_TRUE(store.synchronize());
        return fs::exists(file);
    };
    EXPECT_FALSE(writes([] {}));
    EXPECT_TRUE(writes([&] { store.set("WindowAndMouseMargin", 6); }));
    EXPECT_FALSE(writes([&] { store.set("WindowAndMouseMargin", 6), store.remove("NeverStored"); }));
    EXPECT_TRUE(writes([&] { store.set("WindowAndMouseMargin", 7); }));
    EXPECT_EQ(reloaded(), (PlistDictionary{{"WindowAndMouseMargin", 7}}));
    EXPECT_TRUE(writes([&] { store.remove("WindowAndMouseMargin"); }));
    EXPECT_TRUE(reloaded().empty());

    int changes = 0;
    store.setChangeHandler([&] { ++changes; });
    store.set("RecentAppMenuItemNum", 3);
    store.synchronizeInBackground();
    store.set("RecentAppMenuItemNum", 4);
    store.set("ShowSettingsOnLaunch", false);
    store.set("ShowSettingsOnLaunch", false); // unchanged: no change to hear of
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(store.all(), (PlistDictionary{{"RecentAppMenuItemNum", 4}, {"ShowSettingsOnLaunch", false}}));
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(reloaded(), store.all());

    // Many background writes in a row end with the last values in the file.
    for (int i = 0; i < 50; ++i) {
        store.set("RecentAppMenuItemNum", i);
        store.synchronizeInBackground();
    }
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(reloaded().at("RecentAppMenuItemNum"), PlistValue(49));
    EXPECT_TRUE(logLines.empty());
}

TEST_F(FileDefaultsStoreTest, DamagedFilesAreMovedAsideIntactAndTheStoreStartsEmpty) {
    // All moved aside within the same second or so: none may take another's place.
    const std::vector<std::string> damaged{"\x01\x02 not a property list \xFF", ""};
    std::vector<std::pair<fs::path, std::string>> asides;
    for (const std::string& bytes : damaged) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        writeBytes(file, bytes);
        logLines.clear();
        FileDefaultsStore store(file, logger());
        // The names sort by time, then by the number added when the name was taken.
        auto files = filesIn(folder.path());
        ASSERT_EQ(files.size(), asides.size() + 1);
        const fs::path aside = files.back();
        EXPECT_TRUE(aside.filename().string().starts_with("preferences.plist.corrupt-")) << aside;
        asides.emplace_back(aside, bytes);
        expectOneLogLineNaming(file);
        expectOneLogLineNaming(aside);

        // New values go to a new file.
        store.set("ServiceButtonWindowWidth", 200);
        ASSERT_TRUE(store.synchronize());
        EXPECT_EQ(reloaded(), (PlistDictionary{{"ServiceButtonWindowWidth", 200}}));
        fs::remove(file);
    }
    for (const auto& [path, content] : asides)
        EXPECT_EQ(readBytes(path), content) << path;
}

// Tests may run as root, for whom permissions do not stop a write; a file where a folder should be does.
TEST_F(FileDefaultsStoreTest, AFailedWriteKeepsTheValuesAndTheChangeAndAnUnreadableFileIsNeverWrittenOver) {
    writeBytes(folder / "blocker", "a file, not a folder");
    fs::path path = folder / "blocker" / "quoddle" / "preferences.plist";
    {
        FileDefaultsStore store(path, logger());
        store.set("HideDockIcon", false);
        EXPECT_FALSE(store.synchronize());
        EXPECT_EQ(store.all(), (PlistDictionary{{"HideDockIcon", false}}));
        expectOneLogLineNaming(path);
        // A background write that fails is logged, and leaves the change to the next synchronisation.
        store.synchronizeInBackground();
        EXPECT_FALSE(store.synchronize()); // waits for the background write, then fails itself
        EXPECT_EQ(logLines.size(), 3u);
        fs::remove(folder / "blocker");
        store.synchronizeInBackground();
    } // going waits for the write in progress
    EXPECT_EQ(FileDefaultsStore(path).all(), (PlistDictionary{{"HideDockIcon", false}}));

    fs::create_directory(file);
    writeBytes(file / "inside", "kept");
    logLines.clear();
    FileDefaultsStore store(file, logger());
    EXPECT_TRUE(store.all().empty());
    expectOneLogLineNaming(file);
    store.set("HideDockIcon", false);
    EXPECT_FALSE(store.synchronize());
    EXPECT_EQ(readBytes(file / "inside"), "kept");
}

TEST(FileDefaultsStoreLocation, FollowsXdgConfigHomeElseHome) {
    test::ScopedEnvironment environment;
    environment.set("HOME", "/home/ada");
    environment.set("XDG_CONFIG_HOME", "/srv/config");
    EXPECT_EQ(FileDefaultsStore::defaultPath(), fs::path("/srv/config/quoddle/preferences.plist"));
    for (const char* unusable : {static_cast<const char*>(nullptr), "", "relative/config"}) {
        environment.set("XDG_CONFIG_HOME", unusable);
        EXPECT_EQ(FileDefaultsStore::defaultPath(), fs::path("/home/ada/.config/quoddle/preferences.plist"))
            << (unusable ? unusable : "unset");
    }
}

TEST(UserDefaults, StringsReadLikeThePlatformsAndStoredValuesWinOverRegisteredOnes) {
    const std::pair<const char*, std::int32_t> ints[] = {
        {" 12a", 12},
        {"\t -7x", -7},
        {"+5", 5},
        {"abc", 0},
        {"- 3", 0},
        {"99999999999999999999", std::numeric_limits<std::int32_t>::max()},
        {"-99999999999999999999", std::numeric_limits<std::int32_t>::min()}};
    for (auto [text, value] : ints)
        EXPECT_EQ(intValueOfString(text), value) << text;
    for (const char* yes : {"YES", "yes", "true", "T", " 1", "-0009"})
        EXPECT_TRUE(boolValueOfString(yes)) << yes;
    for (const char* no : {"NO", "false", "0", "", "  ", "maybe", "000"})
        EXPECT_FALSE(boolValueOfString(no)) << no;

    SimDefaultsStore store;
    UserDefaults defaults(store);
    defaults.registerDefaults({{"Width", 180}, {"Flag", true}, {"Name", "Services"}});
    EXPECT_EQ(defaults.integerForKey("Width"), 180);
    EXPECT_TRUE(defaults.boolForKey("Flag"));
    defaults.setInteger("Width", 240);
    EXPECT_EQ(defaults.integerForKey("Width"), 240);

    defaults.setObject("s", "42 points");
    defaults.setObject("d", 12.9);
    defaults.setObject("b", true);
    defaults.setObject("dict", PlistDictionary{});
    EXPECT_EQ(defaults.integerForKey("s"), 42);
    EXPECT_EQ(defaults.integerForKey("d"), 12);
    EXPECT_EQ(defaults.integerForKey("b"), 1);
    EXPECT_EQ(defaults.integerForKey("dict"), 0);
    EXPECT_FALSE(defaults.boolForKey("missing"));
    EXPECT_EQ(defaults.stringForKey("missing"), std::nullopt);
    EXPECT_EQ(defaults.stringForKey("dict"), std::nullopt);
    EXPECT_EQ(defaults.stringForKey("b"), "1");
}

} // namespace
} // namespace quoddle
