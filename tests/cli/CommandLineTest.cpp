#include "cli/CommandLine.h"
#include "../platform/TempFolder.h"
#include "Preferences.h"
#include "history/SettingsText.h"
#include "platform/defaults/FileDefaultsStore.h"
#include "platform/sim/SimAppServices.h"
#include "platform/sim/SimDefaultsStore.h"
#include "platform/sim/SimRunLoop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sstream>

namespace quoddle {
namespace {

using std::chrono::seconds;

class UnwritableStore : public SimDefaultsStore {
public:
    bool synchronize() override { return false; }
};

class CommandLine : public ::testing::Test {
protected:
    int run(std::vector<std::string> arguments, const std::string& input = "") {
        out.str("");
        err.str("");
        in.str(input);
        in.clear();
        CommandLineContext context{out,   err,        in, [this]() -> DefaultsStore& { return *store; },
                                   clock, appServices};
        return runCommandLine(arguments, context);
    }
    ServiceHistory storedHistory() const {
        const PlistValue* stored = store->find(kMenuItemHistoryDic);
        return stored ? ServiceHistory::fromPlist(*stored, [](const std::string&) {}) : ServiceHistory();
    }
    void storeHistory(const ServiceHistory& history) { store->set(kMenuItemHistoryDic, history.toPlist()); }

    SimDefaultsStore simStore;
    DefaultsStore* store = &simStore;
    SimClock clock;
    SimAppServices appServices;
    std::ostringstream out, err;
    std::istringstream in;
};

TEST_F(CommandLine, WithoutArgumentsTheApplicationRuns) {
    char program[] = "quoddle";
    char* argv[] = {program, nullptr};
    EXPECT_EQ(runCommandLine(1, argv, out, err, in), kRunApplication);
    EXPECT_EQ(run({}), kRunApplication);
    EXPECT_EQ(out.str() + err.str(), "");
}

TEST_F(CommandLine, HelpAndVersion) {
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(out.str().find("history import FILE"), std::string::npos);
    EXPECT_EQ(run({"-h"}), 0);
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_TRUE(std::regex_match(out.str(), std::regex("quoddle [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << out.str();
    EXPECT_EQ(err.str(), "");
}

TEST_F(CommandLine, UnknownOrIncompleteArgumentsAreUsageErrors) {
    const std::vector<std::vector<std::string>> wrong = {
        {"--frobnicate"},      {"history"},       {"history", "import"},   {"history", "export", "extra"},
        {"history", "delete"}, {"defaults", "x"}, {"--version", "--help"}, {"-psn_0_12345"},
    };
    for (const auto& arguments : wrong) {
        EXPECT_EQ(run(arguments), 2) << arguments[0];
        EXPECT_EQ(out.str(), "");
        EXPECT_NE(err.str().find("quoddle --help"), std::string::npos) << err.str();
    }
    run({"--frobnicate", "a\tb"});
    EXPECT_NE(err.str().find("\"--frobnicate\" \"a\\tb\""), std::string::npos) << err.str();
    EXPECT_TRUE(simStore.all().empty()) << "nothing was stored";
}

TEST_F(CommandLine, ExportPrintsTheStoredHistoryAsSettingsText) {
    EXPECT_EQ(run({"history", "export"}), 0);
    EXPECT_EQ(out.str(), "") << "nothing stored: the registered empty history";

    ServiceHistory history;
    history.tableFor("TextEdit").put(HistoryItem{"Make Sticky", "Sticky", 4, clock.now(), {}});
    history.tableFor("*").put(HistoryItem{"Make Sticky", std::nullopt, 4, clock.now(), {}});
    storeHistory(history);
    EXPECT_EQ(run({"history", "export"}), 0);
    EXPECT_EQ(out.str(), settingTextOfHistory(history));
    EXPECT_EQ(out.str(), "#-- *\n*\t4\tMake Sticky\t\n#-- TextEdit\nTextEdit\t4\tMake Sticky\tSticky\n");
}

TEST_F(CommandLine, ExportReportsWhatItSkipsOfABrokenStoredHistory) {
    store->set(kMenuItemHistoryDic, PlistDictionary{{"TextEdit", 17}, {"Safari", PlistDictionary{}}});
    EXPECT_EQ(run({"history", "export"}), 0);
    EXPECT_EQ(out.str(), "#-- Safari\n");
    EXPECT_NE(err.str().find("TextEdit"), std::string::npos);
}

TEST_F(CommandLine, ImportReplacesTheHistoryCarryingDatesOver) {
    const TimePoint then = clock.now();
    ServiceHistory history;
    history.tableFor("TextEdit").put(HistoryItem{"Make Sticky", std::nullopt, 4, then, {}});
    history.tableFor("Safari").put(HistoryItem{"Search", std::nullopt, 1, then, {}});
    storeHistory(history);
    clock.advance(seconds(60));

    EXPECT_EQ(run({"history", "import", "-"}, "TextEdit\t9\tMake Sticky\tSticky\r\nTextEdit\t1\tNew\t\n"), 0);
    EXPECT_EQ(out.str(), "#Apply Setting Text\n");
    EXPECT_EQ(simStore.synchronizeCount, 1);
    ServiceHistory stored = storedHistory();
    EXPECT_EQ(stored.size(), 1u) << "Safari was not in the text";
    EXPECT_EQ(*stored.find("TextEdit")->find("Make Sticky"),
              (HistoryItem{"Make Sticky", "Sticky", 9, then, {}}));
    EXPECT_EQ(stored.find("TextEdit")->find("New")->date, clock.now());

    EXPECT_EQ(run({"history", "import", "-"}, "\xEF\xBB\xBFTextEdit\t9\tMake Sticky\t\n"), 0);
    EXPECT_NE(storedHistory().find("TextEdit"), nullptr) << "a byte-order mark is not part of the first key";
}

TEST_F(CommandLine, ImportWithoutItemLinesChangesNothingAndFails) {
    for (const char* text : {"", "# only a comment\n", "#Apply Setting Text", "a\tb\n"}) {
        EXPECT_EQ(run({"history", "import", "-"}, text), 1) << text;
        EXPECT_EQ(out.str(), "#No Menu Item!. Dont Apply.\n");
    }
    EXPECT_TRUE(simStore.all().empty());
    EXPECT_EQ(simStore.synchronizeCount, 0);
}

TEST_F(CommandLine, ImportReportsAnUnreadableFileAndAWriteFailure) {
    TempFolder folder;
    EXPECT_EQ(run({"history", "import", (folder / "missing.txt").string()}), 1);
    EXPECT_NE(err.str().find("missing.txt': No such file or directory"), std::string::npos) << err.str();
    EXPECT_EQ(run({"history", "import", folder.path().string()}), 1);
    EXPECT_NE(err.str().find("Is a directory"), std::string::npos) << err.str();
    EXPECT_TRUE(simStore.all().empty());

    UnwritableStore unwritable;
    store = &unwritable;
    EXPECT_EQ(run({"history", "import", "-"}, "A\t1\tT\t\n"), 1);
    EXPECT_EQ(out.str(), "") << "no result line claims success";
    EXPECT_NE(err.str().find("could not be written"), std::string::npos);
}

TEST_F(CommandLine, DefaultsPrintsEveryEffectivePreferenceOnItsOwnLine) {
    appServices.localizations["Default Button Setting"] = "Copy\tchar\tc\r\n\"\\x\"\x01";
    store->set("HideDockIcon", false);
    store->set("WindowAndMouseMargin", "12");
    store->set("SomethingElse", PlistArray{1, 2});
    ServiceHistory history;
    history.tableFor("TextEdit").put(HistoryItem{"A", std::nullopt, 1, clock.now(), {}});
    history.tableFor("TextEdit").put(HistoryItem{"B", std::nullopt, 1, clock.now(), {}});
    history.tableFor("*").put(HistoryItem{"A", std::nullopt, 2, clock.now(), {}});
    storeHistory(history);

    EXPECT_EQ(run({"defaults"}), 0);
    std::vector<std::string> lines;
    std::istringstream printed(out.str());
    for (std::string line; std::getline(printed, line);)
        lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "AlwaysShowItemCount = 10000",
                         "BlacklistAppSetting = \"Interface Builder\\ncom.apple.Preview\\n\"",
                         "HideDockIcon = false",
                         "LaunchAutomaticallyOnLogin = false",
                         "MenuItemHistoryDic = 2 applications, 3 items",
                         "RecentAllMenuItemNum = 1",
                         "RecentAppMenuItemNum = 3",
                         "ServiceButtonWindowWidth = 180",
                         "ServiceMenuItemTitle = \"Services\"",
                         "ShortcutButtonNumPerLine = 4",
                         "ShortcutButtonSetting = \"Copy\\tchar\\tc\\r\\n\\\"\\\\x\\\"\\x01\"",
                         "ShowSettingsOnLaunch = true",
                         "SomethingElse = (array of 2 values)",
                         "WindowAndMouseMargin = \"12\"",
                     }));
}

// The command as the program runs it: the preferences file under XDG_CONFIG_HOME.
class CommandLineOnFile : public ::testing::Test {
protected:
    CommandLineOnFile() {
        if (const char* previous = std::getenv("XDG_CONFIG_HOME")) previous_ = previous;
        ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    }
    ~CommandLineOnFile() override {
        if (previous_)
            ::setenv("XDG_CONFIG_HOME", previous_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    int run(std::vector<std::string> arguments) {
        out.str("");
        err.str("");
        std::vector<char*> argv{program.data()};
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        return runCommandLine(static_cast<int>(argv.size() - 1), argv.data(), out, err, in);
    }

    TempFolder folder;
    std::string program = "quoddle";
    std::ostringstream out, err;
    std::istringstream in;

private:
    std::optional<std::string> previous_;
};

TEST_F(CommandLineOnFile, ImportedHistoryRoundTripsThroughThePreferencesFile) {
    const std::string text = "#-- *\n*\t3\tMake Sticky\t\n#-- TextEdit\nTextEdit\t3\tMake Sticky\tSticky\n";
    writeBytes(folder / "history.txt", text);
    EXPECT_EQ(run({"history", "import", (folder / "history.txt").string()}), 0) << err.str();
    EXPECT_EQ(out.str(), "#Apply Setting Text\n");
    const std::filesystem::path file = folder / "quoddle/preferences.plist";
    ASSERT_TRUE(std::filesystem::exists(file));

    auto storedDates = [&] {
        FileDefaultsStore store(file);
        ServiceHistory history =
            ServiceHistory::fromPlist(*store.find(kMenuItemHistoryDic), [](const std::string&) {});
        return std::pair{history.itemDate("*", "Make Sticky"), history.itemDate("TextEdit", "Make Sticky")};
    };
    const auto firstDates = storedDates();
    ASSERT_TRUE(firstDates.first && firstDates.second);

    EXPECT_EQ(run({"history", "export"}), 0);
    EXPECT_EQ(out.str(), text);
    writeBytes(folder / "again.txt", out.str());
    EXPECT_EQ(run({"history", "import", (folder / "again.txt").string()}), 0);
    EXPECT_EQ(storedDates(), firstDates) << "the second import carries the stored dates over";

    EXPECT_EQ(run({"defaults"}), 0);
    EXPECT_NE(out.str().find("MenuItemHistoryDic = 2 applications, 2 items\n"), std::string::npos)
        << out.str();
    EXPECT_EQ(err.str(), "");
}

TEST_F(CommandLineOnFile, AnUnreadablePreferencesFileIsReportedAndSetAside) {
    std::filesystem::create_directories(folder / "quoddle");
    writeBytes(folder / "quoddle/preferences.plist", "not a property list");
    EXPECT_EQ(run({"history", "export"}), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("corrupt"), std::string::npos) << err.str();
}

} // namespace
} // namespace quoddle
