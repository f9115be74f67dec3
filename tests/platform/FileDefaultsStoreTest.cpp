#include "platform/defaults/FileDefaultsStore.h"
#include "platform/PlistValuePrinter.h"
#include "platform/TempFolder.h"
#include "platform/defaults/PlistCodec.h"
#include "support/UserDefaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <random>

namespace quoddle {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

PlistDate utc(int y, unsigned m, unsigned d, int hour = 0, int minute = 0, int second = 0, int millis = 0) {
    return sys_days{year{y} / m / d} + hours{hour} + minutes{minute} + seconds{second} + milliseconds{millis};
}

fs::perms permissionsOf(const fs::path& path) {
    return fs::status(path).permissions() & fs::perms::mask;
}

std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> files{fs::directory_iterator(folder), fs::directory_iterator()};
    std::ranges::sort(files);
    return files;
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

TEST_F(FileDefaultsStoreTest, EveryKindOfValueComesBackExactlyFromTheFile) {
    const PlistDictionary values{
        {"String", "Grüße – 日本語 😀 \u200f"},
        {"Negative", -1},
        {"2^32", std::int64_t{4294967296}},
        {"Largest", std::numeric_limits<std::int64_t>::max()},
        {"Smallest", std::numeric_limits<std::int64_t>::min()},
        {"Real", 0.1},
        {"Tiny real", 5e-324},
        {"Infinite", -std::numeric_limits<double>::infinity()},
        {"Yes", true},
        {"Date", utc(2024, 2, 29, 23, 59, 59, 999)},
        {"Data", PlistData{0, 1, 0xFE, 0xFF, 0}},
        {"Array", PlistArray{"", false, PlistData{}, PlistArray{}, PlistDictionary{}}},
        {"Dictionary",
         PlistDictionary{{"", "empty key"}, {"ключ", PlistDictionary{{"deep", PlistArray{3}}}}}},
    };
    FileDefaultsStore store(file);
    for (const auto& [key, value] : values)
        store.set(key, value);
    ASSERT_TRUE(store.synchronize());
    EXPECT_EQ(store.all(), values);
    EXPECT_EQ(reloaded(), values);
}

TEST_F(FileDefaultsStoreTest, DatesComeBackToTheMillisecond) {
    // Dates before the 2001 reference date and in the second before it are the ones libplist misreads;
    // random ones cover the whole range the file holds.
    PlistArray dates{utc(1970, 1, 1, 0, 0, 0, 123), utc(2000, 12, 31, 23, 59, 59, 999),
                     utc(2001, 1, 1, 0, 0, 0, 1), utc(1932, 12, 13, 20, 45, 52),
                     utc(2069, 1, 19, 3, 14, 7, 999)};
    std::mt19937_64 random(20240229);
    std::uniform_int_distribution<std::int64_t> offset(
        duration_cast<milliseconds>(utc(1932, 12, 14) - utc(2001, 1, 1)).count(),
        duration_cast<milliseconds>(utc(2069, 1, 1) - utc(2001, 1, 1)).count());
    while (dates.size() < 5000)
        dates.emplace_back(utc(2001, 1, 1) + milliseconds{offset(random)});
    FileDefaultsStore store(file);
    store.set("Dates", dates);
    ASSERT_TRUE(store.synchronize());
    EXPECT_EQ(reloaded(), (PlistDictionary{{"Dates", dates}}));
}

TEST_F(FileDefaultsStoreTest, ValuesAreStoredInTheFormTheFileHolds) {
    // Dates to the nearest millisecond (halves to the later one) within the range the file holds; strings
    // and keys as valid UTF-8 without NUL. The store holds at once what a reload gives.
    const PlistDate base = utc(1990, 5, 17, 8, 30, 1, 7);
    const PlistDate earliest = utc(1932, 12, 13, 20, 45, 52), latest = utc(2069, 1, 19, 3, 14, 7, 999);
    static constexpr char kTitle[] = "Bad \xFF byte, cut \xE2\x82 and NUL \0 inside";
    const std::vector<std::pair<PlistValue, PlistValue>> cases{
        {base + microseconds{499}, base},
        {base + microseconds{500}, base + milliseconds{1}},
        {base - microseconds{500}, base},
        {base - microseconds{501}, base - milliseconds{1}},
        {utc(1969, 7, 20, 20, 17, 40, 1) + microseconds{400}, utc(1969, 7, 20, 20, 17, 40, 1)},
        {utc(2001, 1, 1) - nanoseconds{1}, utc(2001, 1, 1)},
        {utc(2150, 1, 1), latest},
        {PlistDate::min(), earliest},
        {PlistDate::max(), latest},
        {std::string(kTitle, sizeof kTitle - 1), "Bad \uFFFD byte, cut \uFFFD and NUL \uFFFD inside"},
    };
    FileDefaultsStore store(file);
    PlistDictionary expected{{"Key\uFFFD", "value"}};
    store.set(std::string("Key\xC3", 4), "value");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        store.set(std::to_string(i), cases[i].first);
        expected[std::to_string(i)] = cases[i].second;
    }
    ASSERT_TRUE(store.synchronize());
    EXPECT_EQ(store.all(), expected);
    EXPECT_EQ(reloaded(), expected);
    EXPECT_NE(store.find(std::string("Key\xC3", 4)), nullptr);
}

TEST_F(FileDefaultsStoreTest, StartsEmptyAndWritesAPrivateFileMakingItsFolders) {
    fs::path nested = folder / "config" / "quoddle" / "preferences.plist";
    FileDefaultsStore store(nested, logger());
    EXPECT_TRUE(store.all().empty());
    EXPECT_TRUE(logLines.empty()) << "a missing file is no problem";

    store.set("HideDockIcon", false);
    ASSERT_TRUE(store.synchronize());
    EXPECT_EQ(permissionsOf(nested), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(permissionsOf(folder / "config"), fs::perms::owner_all);
    EXPECT_EQ(permissionsOf(nested.parent_path()), fs::perms::owner_all);
    // Nothing but the file itself is left behind.
    EXPECT_EQ(filesIn(nested.parent_path()), std::vector<fs::path>{nested});
}

TEST_F(FileDefaultsStoreTest, WritesOnlyWhenSomethingChanged) {
    FileDefaultsStore store(file);
    EXPECT_TRUE(store.synchronize());
    EXPECT_FALSE(fs::exists(file));
    store.set("WindowAndMouseMargin", 6);
    ASSERT_TRUE(store.synchronize());

    // With the file gone, a write would show as a new file.
    fs::remove(file);
    store.set("WindowAndMouseMargin", 6);
    store.remove("NeverStored");
    EXPECT_TRUE(store.synchronize());
    EXPECT_FALSE(fs::exists(file));

    store.set("WindowAndMouseMargin", 7);
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(reloaded(), (PlistDictionary{{"WindowAndMouseMargin", 7}}));
    fs::remove(file);
    store.remove("WindowAndMouseMargin");
    EXPECT_TRUE(store.synchronize());
    ASSERT_TRUE(fs::exists(file));
    EXPECT_TRUE(reloaded().empty());
}

TEST_F(FileDefaultsStoreTest, DamagedFilesAreMovedAsideIntactAndTheDefaultsApply) {
    const std::string valid = *encodeBinaryPlist({{"ServiceButtonWindowWidth", 240}});
    // All moved aside within the same second or so: none may take another's place.
    const std::vector<std::string> damaged{"\x01\x02 not a property list \xFF", "",
                                           valid.substr(0, valid.size() - 5)};
    std::vector<std::pair<fs::path, std::string>> asides;
    for (const std::string& bytes : damaged) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        writeBytes(file, bytes);
        logLines.clear();
        FileDefaultsStore store(file, logger());
        UserDefaults defaults(store);
        defaults.registerDefaults({{"ServiceButtonWindowWidth", 180}});
        EXPECT_TRUE(store.all().empty());
        EXPECT_EQ(defaults.integerForKey("ServiceButtonWindowWidth"), 180);

        EXPECT_FALSE(fs::exists(file));
        // The names sort by time, then by the number added when the name was taken.
        auto files = filesIn(folder.path());
        ASSERT_EQ(files.size(), asides.size() + 1);
        const fs::path aside = files.back();
        EXPECT_TRUE(aside.filename().string().starts_with("preferences.plist.corrupt-")) << aside;
        EXPECT_EQ(readBytes(aside), bytes);
        asides.emplace_back(aside, bytes);
        expectOneLogLineNaming(file);
        expectOneLogLineNaming(aside);

        // New values go to a new file.
        defaults.setInteger("ServiceButtonWindowWidth", 200);
        ASSERT_TRUE(defaults.synchronize());
        EXPECT_EQ(reloaded(), (PlistDictionary{{"ServiceButtonWindowWidth", 200}}));
        fs::remove(file);
    }
    for (const auto& [path, content] : asides)
        EXPECT_EQ(readBytes(path), content) << path;
}

TEST_F(FileDefaultsStoreTest, AFailedWriteReturnsFalseAndKeepsTheValues) {
    // Tests may run as root, for whom permissions do not stop a write; a file where a folder should be does.
    writeBytes(folder / "blocker", "a file, not a folder");
    fs::path path = folder / "blocker" / "quoddle" / "preferences.plist";
    FileDefaultsStore store(path, logger());
    store.set("HideDockIcon", false);
    EXPECT_FALSE(store.synchronize());
    EXPECT_EQ(store.all(), (PlistDictionary{{"HideDockIcon", false}}));
    expectOneLogLineNaming(path);

    // The change is still pending: once the way is clear, the next synchronize writes it.
    fs::remove(folder / "blocker");
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(FileDefaultsStore(path).all(), store.all());
}

// A background write writes the values as they were when it was asked for; a change made meanwhile waits
// for the next synchronisation, and the change handler hears of every change.
TEST_F(FileDefaultsStoreTest, ABackgroundWriteWritesASnapshotAndTheFileOnlyMovesForward) {
    FileDefaultsStore store(file, logger());
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

TEST_F(FileDefaultsStoreTest, AFailedBackgroundWriteIsLoggedAndWrittenAgainLater) {
    writeBytes(folder / "blocker", "a file, not a folder");
    fs::path path = folder / "blocker" / "quoddle" / "preferences.plist";
    {
        FileDefaultsStore store(path, logger());
        store.set("HideDockIcon", false);
        store.synchronizeInBackground();
        EXPECT_FALSE(store.synchronize()); // waits for the background write, then fails itself
        EXPECT_EQ(logLines.size(), 2u);
        fs::remove(folder / "blocker");
        store.synchronizeInBackground();
    } // going waits for the write in progress
    EXPECT_EQ(FileDefaultsStore(path).all(), (PlistDictionary{{"HideDockIcon", false}}));
}

TEST_F(FileDefaultsStoreTest, AFileThatCannotBeReadIsNeverWrittenOver) {
    fs::create_directory(file);
    writeBytes(file / "inside", "kept");
    FileDefaultsStore store(file, logger());
    EXPECT_TRUE(store.all().empty());
    expectOneLogLineNaming(file);

    store.set("HideDockIcon", false);
    EXPECT_FALSE(store.synchronize());
    EXPECT_EQ(readBytes(file / "inside"), "kept");
    EXPECT_EQ(store.all(), (PlistDictionary{{"HideDockIcon", false}}));
}

TEST_F(FileDefaultsStoreTest, ReadsXmlPropertyListsAndWritesThemBackAsBinary) {
    writeBytes(file, R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
  <key>BlacklistAppSetting</key><string>Interface Builder
com.apple.Preview</string>
  <key>WindowAndMouseMargin</key><integer>-6</integer>
  <key>Used</key><date>1990-05-17T08:30:01Z</date>
  <key>Blob</key><data>AAEC/w==</data>
</dict></plist>)");
    FileDefaultsStore store(file, logger());
    EXPECT_EQ(store.all(), (PlistDictionary{{"BlacklistAppSetting", "Interface Builder\ncom.apple.Preview"},
                                            {"WindowAndMouseMargin", -6},
                                            {"Used", utc(1990, 5, 17, 8, 30, 1)},
                                            {"Blob", PlistData{0, 1, 2, 0xFF}}}));
    EXPECT_TRUE(logLines.empty());

    store.set("HideDockIcon", true);
    ASSERT_TRUE(store.synchronize());
    EXPECT_EQ(readBytes(file).substr(0, 8), "bplist00");
    EXPECT_EQ(reloaded(), store.all());
}

// Sets, or given null unsets, a variable while it lives.
struct EnvironmentVariable {
    EnvironmentVariable(const char* name, const char* value) : name(name) {
        if (const char* was = std::getenv(name)) old = was;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~EnvironmentVariable() { old ? ::setenv(name, old->c_str(), 1) : ::unsetenv(name); }
    const char* name;
    std::optional<std::string> old;
};

TEST(FileDefaultsStoreLocation, FollowsXdgConfigHomeElseHome) {
    EnvironmentVariable home("HOME", "/home/ada");
    {
        EnvironmentVariable config("XDG_CONFIG_HOME", "/srv/config");
        EXPECT_EQ(FileDefaultsStore::defaultPath(), fs::path("/srv/config/quoddle/preferences.plist"));
    }
    for (const char* unusable : {static_cast<const char*>(nullptr), "", "relative/config"}) {
        EnvironmentVariable config("XDG_CONFIG_HOME", unusable);
        EXPECT_EQ(FileDefaultsStore::defaultPath(), fs::path("/home/ada/.config/quoddle/preferences.plist"))
            << (unusable ? unusable : "unset");
    }
}

} // namespace
} // namespace quoddle
