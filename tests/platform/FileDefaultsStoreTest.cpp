#include "platform/defaults/FileDefaultsStore.h"
#include "Library/UserDefaults.h"
#include "platform/PlistValuePrinter.h"
#include "platform/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <sys/stat.h>

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
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

class FileDefaultsStoreTest : public ::testing::Test {
protected:
    FileDefaultsStore::Logger logger() {
        return [this](const std::string& line) { logLines.push_back(line); };
    }
    // What a fresh store, as at the next launch, reads from the file.
    PlistDictionary reloaded() const { return FileDefaultsStore(file).all(); }

    TempFolder folder;
    fs::path file = folder / "preferences.plist";
    std::vector<std::string> logLines;
};

TEST_F(FileDefaultsStoreTest, EveryKindOfValueComesBackExactlyFromTheFile) {
    const PlistDictionary values{
        {"String", "Services"},
        {"Empty string", ""},
        {"Non-ASCII", "Grüße – 日本語 😀 \u200f"},
        {"Zero", 0},
        {"Negative", std::int64_t{-1}},
        {"Minus 2^31", std::int64_t{std::numeric_limits<std::int32_t>::min()}},
        {"2^32", std::int64_t{4294967296}},
        {"Largest", std::numeric_limits<std::int64_t>::max()},
        {"Smallest", std::numeric_limits<std::int64_t>::min()},
        {"Real", 12.75},
        {"Tiny real", 5e-324},
        {"Negative real", -1.0e300},
        {"Infinite", std::numeric_limits<double>::infinity()},
        {"Yes", true},
        {"No", false},
        {"Date", utc(2024, 2, 29, 23, 59, 59, 999)},
        {"Data", PlistData{0, 1, 0xFE, 0xFF, 0}},
        {"Empty data", PlistData{}},
        {"Array", PlistArray{"a", 1, 2.5, false, PlistArray{}, PlistDictionary{}}},
        {"Empty dictionary", PlistDictionary{}},
        {"Dictionary",
         PlistDictionary{{"", "empty key"}, {"ключ", PlistDictionary{{"deep", PlistArray{3}}}}}},
    };
    FileDefaultsStore store(file);
    for (const auto& [key, value] : values) store.set(key, value);
    EXPECT_EQ(store.all(), values);
    ASSERT_TRUE(store.synchronize());

    EXPECT_EQ(reloaded(), values);
}

TEST_F(FileDefaultsStoreTest, ServiceHistoryKeepsEveryDateToTheMillisecond) {
    // Dates before the 2001 reference date, around it and in the second before it are the ones libplist
    // misreads; random ones cover the whole range at millisecond precision.
    std::vector<PlistDate> dates{utc(1970, 1, 1),
                                 utc(1970, 1, 1, 0, 0, 0, 123),
                                 utc(1990, 5, 17, 8, 30, 1, 7),
                                 utc(2000, 12, 31, 23, 59, 59, 500),
                                 utc(2000, 12, 31, 23, 59, 59, 999),
                                 utc(2001, 1, 1),
                                 utc(2001, 1, 1, 0, 0, 0, 1),
                                 utc(1932, 12, 13, 20, 45, 52),
                                 utc(2069, 1, 19, 3, 14, 7, 999)};
    std::mt19937_64 random(20240229);
    std::uniform_int_distribution<std::int64_t> offset(
        duration_cast<milliseconds>(utc(1932, 12, 14) - utc(2001, 1, 1)).count(),
        duration_cast<milliseconds>(utc(2069, 1, 1) - utc(2001, 1, 1)).count());
    while (dates.size() < 5000) dates.push_back(utc(2001, 1, 1) + milliseconds{offset(random)});

    PlistDictionary history;
    for (std::size_t i = 0; i < dates.size(); ++i) {
        std::string app = i % 2 ? "*" : "App " + std::to_string(i % 17);
        std::string title = "Service " + std::to_string(i);
        PlistDictionary item{
            {"Title", title},
            {"Count", static_cast<std::int64_t>(i % 3 == 0 ? -static_cast<std::int64_t>(i) : i)},
            {"Date", dates[i]},
            {"KeyFromALaterVersion", PlistData{1, 2, 3}}};
        if (i % 5 == 0) item["UserTitle"] = "Label " + std::to_string(i);
        auto slot = history.try_emplace(app, PlistDictionary{}).first;
        slot->second.get<PlistDictionary>()->emplace(title, std::move(item));
    }
    FileDefaultsStore store(file);
    store.set("MenuItemHistoryDic", history);
    ASSERT_TRUE(store.synchronize());

    PlistDictionary read = reloaded();
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read.at("MenuItemHistoryDic"), PlistValue(history));
    // Spot-check one pre-2001 date by hand, so that the comparison above cannot hide a systematic error.
    const auto& app0 =
        *read.at("MenuItemHistoryDic").get<PlistDictionary>()->at("App 0").get<PlistDictionary>();
    EXPECT_EQ(*app0.at("Service 0").get<PlistDictionary>()->at("Date").get<PlistDate>(), utc(1970, 1, 1));
}

TEST_F(FileDefaultsStoreTest, DatesAreKeptToTheNearestMillisecondAndClampedToWhatTheFileHolds) {
    const PlistDate base = utc(1990, 5, 17, 8, 30, 1, 7);
    const std::vector<std::pair<PlistDate, PlistDate>> cases{
        {base + microseconds{499}, base},
        {base + microseconds{500}, base + milliseconds{1}},
        {base - microseconds{500}, base},
        {base - microseconds{501}, base - milliseconds{1}},
        {base + nanoseconds{999'999}, base + milliseconds{1}},
        {utc(2001, 1, 1) - nanoseconds{1}, utc(2001, 1, 1)},
        {utc(2150, 1, 1), utc(2069, 1, 19, 3, 14, 7, 999)},
        {utc(1800, 1, 1), utc(1932, 12, 13, 20, 45, 52)},
        {PlistDate::min(), utc(1932, 12, 13, 20, 45, 52)},
        {PlistDate::max(), utc(2069, 1, 19, 3, 14, 7, 999)},
    };
    FileDefaultsStore store(file);
    for (std::size_t i = 0; i < cases.size(); ++i) store.set(std::to_string(i), cases[i].first);
    ASSERT_TRUE(store.synchronize());
    PlistDictionary read = reloaded();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string key = std::to_string(i);
        EXPECT_EQ(*store.find(key)->get<PlistDate>(), cases[i].second) << "case " << i;
        EXPECT_EQ(*read.at(key).get<PlistDate>(), cases[i].second) << "case " << i;
    }
}

TEST_F(FileDefaultsStoreTest, StringsTheFileCannotHoldAreStoredWithReplacementCharacters) {
    FileDefaultsStore store(file);
    static constexpr char kTitle[] = "Bad \xFF byte, cut \xE2\x82 and NUL \0 inside";
    store.set("Title", std::string(kTitle, sizeof kTitle - 1));
    store.set(std::string("Key\xC3", 4), "value");
    ASSERT_TRUE(store.synchronize());
    const PlistDictionary expected{{"Title", "Bad \uFFFD byte, cut \uFFFD and NUL \uFFFD inside"},
                                   {"Key\uFFFD", "value"}};
    EXPECT_EQ(store.all(), expected);
    EXPECT_EQ(reloaded(), expected);
}

TEST_F(FileDefaultsStoreTest, WritesAPrivateFileAndMakesItsFolders) {
    fs::path nested = folder / "config" / "quoddle" / "preferences.plist";
    FileDefaultsStore store(nested);
    store.set("HideDockIcon", false);
    ASSERT_TRUE(store.synchronize());

    EXPECT_EQ(permissionsOf(nested), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(permissionsOf(folder / "config"), fs::perms::owner_all);
    EXPECT_EQ(permissionsOf(nested.parent_path()), fs::perms::owner_all);
    EXPECT_EQ(readBytes(nested).substr(0, 8), "bplist00");
    // Nothing but the file itself is left behind.
    EXPECT_EQ(filesIn(nested.parent_path()), std::vector<fs::path>{nested});
    EXPECT_EQ(FileDefaultsStore(nested).all(), store.all());
}

TEST_F(FileDefaultsStoreTest, WritesOnlyWhenSomethingChanged) {
    FileDefaultsStore store(file);
    EXPECT_TRUE(store.synchronize());
    EXPECT_FALSE(fs::exists(file));

    store.set("WindowAndMouseMargin", 6);
    ASSERT_TRUE(store.synchronize());
    ASSERT_TRUE(fs::exists(file));

    // With the file gone, a write would show as a new file.
    fs::remove(file);
    EXPECT_TRUE(store.synchronize());
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
    EXPECT_EQ(readBytes(file).substr(0, 8), "bplist00");
    EXPECT_TRUE(reloaded().empty());
}

TEST_F(FileDefaultsStoreTest, AMissingFileIsAnEmptyStoreWithoutALogLine) {
    FileDefaultsStore store(folder / "not" / "there" / "preferences.plist", logger());
    EXPECT_TRUE(store.all().empty());
    EXPECT_TRUE(logLines.empty());
}

TEST_F(FileDefaultsStoreTest, AnUnreadableFileIsMovedAsideIntactAndTheDefaultsApply) {
    const std::string valid = [&] {
        FileDefaultsStore writer(folder / "valid.plist");
        writer.set("ServiceButtonWindowWidth", 240);
        writer.set("Name", "Some longer value");
        writer.synchronize();
        return readBytes(folder / "valid.plist");
    }();
    fs::remove(folder / "valid.plist");
    const std::vector<std::pair<std::string, std::string>> damaged{
        {"garbage", "\x01\x02 this is not a property list \xFF"},
        {"truncated binary", valid.substr(0, valid.size() - 5)},
        {"array at the top",
         "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><integer>1</integer></array></plist>"},
        {"empty file", ""},
        {"unfinished XML", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>A</key>"},
    };
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        writeBytes(file, bytes);
        logLines.clear();
        FileDefaultsStore store(file, logger());
        UserDefaults defaults(store);
        defaults.registerDefaults({{"ServiceButtonWindowWidth", 180}});

        EXPECT_TRUE(store.all().empty());
        EXPECT_EQ(defaults.integerForKey("ServiceButtonWindowWidth"), 180);
        EXPECT_FALSE(fs::exists(file));
        auto files = filesIn(folder.path());
        ASSERT_EQ(files.size(), 1u);
        const fs::path aside = files[0];
        EXPECT_EQ(aside.filename().string().rfind("preferences.plist.corrupt-", 0), 0u) << aside;
        EXPECT_EQ(readBytes(aside), bytes);
        ASSERT_EQ(logLines.size(), 1u);
        EXPECT_NE(logLines[0].find(file.string()), std::string::npos) << logLines[0];
        EXPECT_NE(logLines[0].find(aside.string()), std::string::npos) << logLines[0];

        // New values go to a new file; the damaged one stays as it was.
        defaults.setInteger("ServiceButtonWindowWidth", 200);
        ASSERT_TRUE(defaults.synchronize());
        EXPECT_EQ(reloaded(), (PlistDictionary{{"ServiceButtonWindowWidth", 200}}));
        EXPECT_EQ(readBytes(aside), bytes);
        fs::remove(aside);
        fs::remove(file);
    }
}

TEST_F(FileDefaultsStoreTest, ASecondDamagedFileNeverReplacesTheFirstOneAside) {
    writeBytes(file, "first damaged file");
    FileDefaultsStore first(file, logger());
    writeBytes(file, "second damaged file");
    FileDefaultsStore second(file, logger());

    auto files = filesIn(folder.path());
    ASSERT_EQ(files.size(), 2u);
    std::set<std::string> contents{readBytes(files[0]), readBytes(files[1])};
    EXPECT_EQ(contents, (std::set<std::string>{"first damaged file", "second damaged file"}));
    EXPECT_EQ(logLines.size(), 2u);
}

TEST_F(FileDefaultsStoreTest, AFailedWriteReturnsFalseAndKeepsTheValues) {
    // Tests may run as root, for whom permissions do not stop a write; a file where a folder should be does.
    writeBytes(folder / "blocker", "a file, not a folder");
    fs::path path = folder / "blocker" / "quoddle" / "preferences.plist";
    FileDefaultsStore store(path, logger());
    store.set("HideDockIcon", false);

    EXPECT_FALSE(store.synchronize());
    EXPECT_EQ(*store.find("HideDockIcon"), PlistValue(false));
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_NE(logLines[0].find(path.string()), std::string::npos) << logLines[0];

    // The change is still pending: once the way is clear, the next synchronize writes it.
    fs::remove(folder / "blocker");
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(FileDefaultsStore(path).all(), store.all());
}

TEST_F(FileDefaultsStoreTest, AFileThatCannotBeReadIsNeverWrittenOver) {
    fs::create_directory(file);
    writeBytes(file / "inside", "kept");
    FileDefaultsStore store(file, logger());
    EXPECT_TRUE(store.all().empty());
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_NE(logLines[0].find(file.string()), std::string::npos);

    store.set("HideDockIcon", false);
    EXPECT_FALSE(store.synchronize());
    EXPECT_EQ(readBytes(file / "inside"), "kept");
    EXPECT_EQ(*store.find("HideDockIcon"), PlistValue(false));
}

TEST_F(FileDefaultsStoreTest, ReadsXmlPropertyListsAndWritesThemBackAsBinary) {
    writeBytes(file, R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
  <key>BlacklistAppSetting</key><string>Interface Builder
com.apple.Preview
</string>
  <key>WindowAndMouseMargin</key><integer>-6</integer>
  <key>HideDockIcon</key><false/>
  <key>Used</key><date>1990-05-17T08:30:01Z</date>
  <key>Blob</key><data>AAEC/w==</data>
</dict></plist>)");
    FileDefaultsStore store(file, logger());
    const PlistDictionary expected{{"BlacklistAppSetting", "Interface Builder\ncom.apple.Preview\n"},
                                   {"WindowAndMouseMargin", -6},
                                   {"HideDockIcon", false},
                                   {"Used", utc(1990, 5, 17, 8, 30, 1)},
                                   {"Blob", PlistData{0, 1, 2, 0xFF}}};
    EXPECT_EQ(store.all(), expected);
    EXPECT_TRUE(logLines.empty());

    store.set("HideDockIcon", true);
    ASSERT_TRUE(store.synchronize());
    EXPECT_EQ(readBytes(file).substr(0, 8), "bplist00");
    EXPECT_EQ(reloaded(), store.all());
}

class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~EnvironmentVariable() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
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

TEST(FileDefaultsStoreLocation, TheDefaultStoreUsesTheDefaultPath) {
    TempFolder folder;
    EnvironmentVariable config("XDG_CONFIG_HOME", folder.path().c_str());
    FileDefaultsStore store;
    EXPECT_EQ(store.path(), folder / "quoddle" / "preferences.plist");
    store.set("ShowSettingsOnLaunch", true);
    ASSERT_TRUE(store.synchronize());
    EXPECT_TRUE(fs::exists(folder / "quoddle" / "preferences.plist"));
}

} // namespace
} // namespace quoddle
