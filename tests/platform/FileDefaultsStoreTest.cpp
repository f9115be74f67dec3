// The store over its file: what it holds at once and after a reload, when it writes, and what it does with
// files it cannot read or write. What the file holds of every kind of value is PlistCodecTest's; what any
// bytes as the file do (a damaged one is moved aside intact, the store starts empty),
// StoredPreferencesFuzz's.
#include "platform/defaults/FileDefaultsStore.h"
#include "platform/PlistValuePrinter.h"
#include "platform/ScopedEnvironment.h"
#include "platform/TempFolder.h"
#include "platform/defaults/PlistCodec.h"

#include <gtest/gtest.h>

namespace quoddle {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

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

TEST_F(FileDefaultsStoreTest, WritesOnlyWhenSomethingChanged) {
    FileDefaultsStore store(file);
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
}

TEST_F(FileDefaultsStoreTest, DamagedFilesAreMovedAsideIntactAndTheStoreStartsEmpty) {
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

} // namespace
} // namespace quoddle
