// The command line as the program runs it, and "quoddle text": case, sorting and counts in ICU's default
// locale, over standard input that must be UTF-8 of at most 16 MiB.
#include "cli/CommandLine.h"
#include "Preferences.h"
#include "cli/TextCommand.h"
#include "history/ServiceHistory.h"
#include "platform/TempFolder.h"
#include "platform/defaults/FileDefaultsStore.h"
#include "platform/defaults/PlistCodec.h"
#include "platform/sim/SimAppServices.h"

#include <gtest/gtest.h>

#include <iterator>
#include <regex>
#include <sstream>
#include <tuple>

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
          "--version --help", "text", "text Upper", "text upper sort"}) {
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

using enum TextOperation;

// ICU's default locale from here on; the process's own comes back at the end of the test.
class TextCommand : public ::testing::Test {
protected:
    static void useLocale(const icu::Locale& locale) {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(locale, status);
        ASSERT_TRUE(U_SUCCESS(status)) << locale.getName();
    }
    void TearDown() override { useLocale(previous_); }
    const icu::Locale previous_ = icu::Locale::getDefault();
};

// The status, standard output and standard error.
using Outcome = std::tuple<int, std::string, std::string>;

Outcome run(TextOperation operation, std::istream& in) {
    std::ostringstream out, err;
    const int status = runTextCommand(operation, in, out, err);
    return {status, out.str(), err.str()};
}

Outcome run(TextOperation operation, const std::string& input) {
    std::istringstream in(input);
    return run(operation, in);
}

void expectRefused(const Outcome& outcome, const std::string& message) {
    EXPECT_EQ(outcome, (Outcome{1, "", "quoddle text: " + message + "\n"}));
}

struct Transform {
    TextOperation operation;
    const char* locale;
    std::string input, output;
};

const Transform kTransforms[] = {
    // Full case mapping changes letters and nothing else, as the default locale maps them.
    {upper, "en_US", "straße\r\nǆ ﬁ ŉ\n", "STRASSE\r\nǄ FI ʼN\n"},
    {lower, "en_US", "ΟΔΟΣ, ΟΔΟΣ", "οδος, οδος"}, // final sigma where a word ends
    {upper, "en_US", std::string("a\0b\tc\r", 6), std::string("A\0B\tC\r", 6)},
    {upper, "tr_TR", "iı", "İI"},
    {lower, "tr_TR", "Iİ", "ıi"},
    // Words, user-perceived characters (line breaks not counted) and lines.
    {count, "en_US", "", "0 words, 0 characters\n"},
    {count, "en_US", "a\n", "1 word, 1 character\n"},
    {count, "en_US", "\n\n", "0 words, 0 characters, 2 lines\n"},
    {count, "en_US", "one two\r\nthree\r\n", "3 words, 12 characters, 2 lines\n"},
    {count, "en_US", "a\rb", "2 words, 3 characters\n"}, // a lone CR is no line break
    {count, "en_US", "don't stop at 3.14", "4 words, 18 characters\n"},
    {count, "en_US", "🇫🇷 👨‍👩‍👧", "0 words, 3 characters\n"},
    {count, "en_US", "私は学生です", "4 words, 6 characters\n"},
    // Lines in the collation order of the default locale.
    {sort, "root", "f\nété\nEte\nete\n", "ete\nEte\nété\nf\n"},
    {sort, "root", "z\nä\na\n", "a\nä\nz\n"},
    {sort, "sv_SE", "z\nä\na\n", "a\nz\nä\n"},
    // Each line keeps its line break, and the end stays as it was.
    {sort, "root", "", ""},
    {sort, "root", "c\nb\r\na", "a\nb\r\nc"},
    {sort, "root", "b\n\na\n", "\na\nb\n"},
    {sort, "root", "b\rx\na\n", "a\nb\rx\n"},
};

TEST_F(TextCommand, TransformsTheTextInTheDefaultLocale) {
    for (const Transform& transform : kTransforms) {
        SCOPED_TRACE(transform.input + " in " + transform.locale);
        useLocale(transform.locale);
        EXPECT_EQ(run(transform.operation, transform.input), (Outcome{0, transform.output, ""}));
    }
}

TEST_F(TextCommand, LinesThatCollateEqualKeepTheirOrder) {
    useLocale("root");
    // Composed and decomposed é are canonically equivalent: equal, yet told apart by their bytes. Enough of
    // them that an unstable sort would mix them up.
    const std::string composed = "\u00E9\n", decomposed = "e\u0301\n";
    std::string input, before, equal, after;
    for (int i = 0; i < 60; ++i) {
        const std::string& line = (i * 7 % 5 < 2) ? composed : decomposed;
        const std::string other = i % 3 == 0 ? "f\n" : "d\n";
        input += other + line;
        (i % 3 == 0 ? after : before) += other;
        equal += line;
    }
    EXPECT_EQ(std::get<1>(run(sort, input)), before + equal + after);
}

TEST_F(TextCommand, TextThatIsNotUtf8OrLargerIsRefusedWithNoOutputAndAnUnreadableOneIsReported) {
    for (const std::string bytes :
         {"\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "\xE2\x82"})
        for (TextOperation operation : {upper, lower, sort, count})
            expectRefused(run(operation, "Straße\n" + bytes + "x\n"), "the text is not UTF-8");
    for (const char* edge : {"\xF4\x8F\xBF\xBF", "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBF", "\xC2\x80"})
        EXPECT_TRUE(isUtf8(edge)) << edge;

    // A larger text is refused without reading on.
    EXPECT_TRUE(std::get<1>(run(upper, std::string(kMaxTextBytes, 'a'))) == std::string(kMaxTextBytes, 'A'));
    std::istringstream large(std::string(kMaxTextBytes + (std::size_t{1} << 20), 'a'));
    expectRefused(run(count, large), "the text is larger than 16 MiB");
    EXPECT_LT(large.tellg(), std::streamoff(kMaxTextBytes + (std::size_t{1} << 16)));
    std::istringstream unreadable("a device that went away");
    unreadable.setstate(std::ios::badbit);
    expectRefused(run(sort, unreadable), "standard input could not be read");
}

} // namespace
} // namespace quoddle
