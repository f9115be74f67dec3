#include "cli/CommandLine.h"
#include "Preferences.h"
#include "history/ServiceHistory.h"
#include "platform/TempFolder.h"
#include "platform/defaults/FileDefaultsStore.h"
#include "platform/defaults/PlistCodec.h"
#include "platform/sim/SimAppServices.h"

#include <gtest/gtest.h>

#include <iterator>
#include <regex>
#include <sstream>

namespace quoddle {
namespace {

namespace fs = std::filesystem;

// The command as the program runs it, on a preferences file under this test's folder.
class CommandLine : public ::testing::Test {
protected:
    int run(std::vector<std::string> arguments, const std::string& input = "") {
        out = std::ostringstream(), err = std::ostringstream(), in = std::istringstream(input);
        std::vector<char*> argv{program.data()};
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        const CommandLineHost host{
            [&](std::function<void(const std::string&)> log) -> std::unique_ptr<DefaultsStore> {
                return std::make_unique<FileDefaultsStore>(file, std::move(log));
            },
            productStrings, nullptr};
        return runCommandLine(static_cast<int>(argv.size() - 1), argv.data(), out, err, in, host);
    }

    TempFolder folder;
    const fs::path file = folder / "quoddle/preferences.plist";
    std::string program = "quoddle";
    SimAppServices productStrings;
    std::ostringstream out, err;
    std::istringstream in;
};

TEST_F(CommandLine, WithoutArgumentsTheApplicationRunsAndHelpAndVersionPrint) {
    EXPECT_EQ(run({}), kRunApplication);
    EXPECT_EQ(run({"demo"}), kRunDemo);
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(out.str().find("history import FILE"), std::string::npos);
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_TRUE(std::regex_match(out.str(), std::regex("quoddle [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << out.str();
    EXPECT_EQ(run({"text", "upper"}, "straße"), 0) << "the text commands read standard input";
    EXPECT_EQ(out.str(), "STRASSE");
    EXPECT_EQ(err.str(), "");
}

TEST_F(CommandLine, UnknownOrIncompleteArgumentsAreUsageErrors) {
    for (const char* line :
         {"--frobnicate", "history", "history import", "history export extra", "history delete", "defaults x",
          "--version --help", "-psn_0_12345", "text", "text title", "text Upper", "text upper sort"}) {
        std::istringstream words(line);
        const std::vector<std::string> arguments{std::istream_iterator<std::string>(words), {}};
        EXPECT_EQ(run(arguments, "text"), 2) << line;
        EXPECT_EQ(out.str(), "");
        EXPECT_NE(err.str().find("quoddle --help"), std::string::npos) << err.str();
    }
    run({"--frobnicate", "a\tb"});
    EXPECT_NE(err.str().find("\"--frobnicate\" \"a\\tb\""), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(file)) << "nothing was stored";
}

TEST_F(CommandLine, ImportWithoutItemLinesOrAReadableFileFailsChangingNothing) {
    EXPECT_EQ(run({"history", "import", "-"}, "# only a comment\na\tb\n"), 1);
    EXPECT_EQ(out.str(), "#No Menu Item!. Dont Apply.\n");
    EXPECT_EQ(run({"history", "import", (folder / "missing.txt").string()}), 1);
    EXPECT_NE(err.str().find("missing.txt': No such file or directory"), std::string::npos) << err.str();
    EXPECT_EQ(run({"history", "import", folder.path().string()}), 1);
    EXPECT_NE(err.str().find("Is a directory"), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(file));

    writeBytes(folder / "quoddle", "a file where the folder goes");
    EXPECT_EQ(run({"history", "import", "-"}, "A\t1\tT\t\n"), 1);
    EXPECT_EQ(out.str(), "") << "no result line claims success";
    EXPECT_NE(err.str().find("could not be written"), std::string::npos) << err.str();
}

TEST_F(CommandLine, ExportAndDefaultsSayWhatTheySkipOfADamagedFileOrABrokenStoredHistory) {
    // A damaged preferences file is reported, and the defaults apply.
    writeBytes(file, "not a property list");
    EXPECT_EQ(run({"history", "export"}), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("corrupt"), std::string::npos) << err.str();

    writeBytes(file, *encodeBinaryPlist({{preference::history,
                                          PlistDictionary{{"TextEdit", 17}, {"Safari", PlistDictionary{}}}},
                                         {"HideDockIcon", false},
                                         {"ServiceMenuItemTitle", "a\tb\r\"\\\x01"},
                                         {"WindowAndMouseMargin", "12"},
                                         {"SomethingElse", PlistArray{1, 2}}}));
    EXPECT_EQ(run({"history", "export"}), 0);
    EXPECT_EQ(out.str(), "#-- Safari\n");
    EXPECT_NE(err.str().find("TextEdit"), std::string::npos);

    // Every effective preference once, on its own line: stored ones, and registered ones not stored; strings
    // quoted with their controls escaped.
    EXPECT_EQ(run({"defaults"}), 0);
    const std::string printed = "\n" + out.str();
    EXPECT_EQ(printed.find("\nHideDockIcon"), printed.rfind("\nHideDockIcon"));
    for (const std::string line :
         {"AlwaysShowItemCount = 10000", "HideDockIcon = false",
          "MenuItemHistoryDic = 1 applications, 0 items", "ServiceMenuItemTitle = \"a\\tb\\r\\\"\\\\\\x01\"",
          "SomethingElse = (array of 2 values)", "WindowAndMouseMargin = \"12\""})
        EXPECT_NE(printed.find("\n" + line + "\n"), std::string::npos) << line << printed;
}

TEST_F(CommandLine, AHistoryRoundTripsThroughThePreferencesFileFromAFileAndStandardInput) {
    // A byte-order mark belongs to the file, not to the first key.
    writeBytes(folder / "history.txt",
               "\xEF\xBB\xBF*\t3\tMake Sticky\t\r\nTextEdit\t3\tMake Sticky\tSticky\n");
    EXPECT_EQ(run({"history", "import", (folder / "history.txt").string()}), 0) << err.str();
    EXPECT_EQ(out.str(), "#Apply Setting Text\n");
    auto storedDates = [&] {
        ServiceHistory history =
            ServiceHistory::fromPlist(*FileDefaultsStore(file).find(preference::history), [](auto&) {});
        return std::pair{history.itemDate("*", "Make Sticky"), history.itemDate("TextEdit", "Make Sticky")};
    };
    const auto firstDates = storedDates();
    ASSERT_TRUE(firstDates.first && firstDates.second);

    EXPECT_EQ(run({"history", "export"}), 0);
    EXPECT_EQ(out.str(), "#-- *\n*\t3\tMake Sticky\t\n#-- TextEdit\nTextEdit\t3\tMake Sticky\tSticky\n");
    EXPECT_EQ(run({"history", "import", "-"}, out.str()), 0);
    EXPECT_EQ(storedDates(), firstDates) << "the second import carries the stored dates over";
}

} // namespace
} // namespace quoddle
