// Service files: what a file's text makes (one row each, sound or with the problem its author is told),
// reading files from disk, the command line for a selection, and the URL test of "Open as Link". What any
// bytes whatever do is ServiceFileFuzz's (fuzz/corpus/ServiceFileFuzz holds the hostile seeds).
#include "platform/linux/services/ServiceFile.h"
#include "platform/TempFolder.h"
#include "platform/linux/services/DesktopService.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <sys/stat.h>

namespace quoddle {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

struct FileRow {
    const char* label;
    std::string contents;
    std::string expected; // the service in short (see summaryOf), or the start of the first problem
    bool sound;
    std::string locale;
};

FileRow sound(const char* label, std::string contents, std::string summary, std::string locale = {}) {
    return {label, std::move(contents), std::move(summary), true, std::move(locale)};
}
FileRow refused(const char* label, std::string contents, std::string problem, std::string locale = {}) {
    return {label, std::move(contents), std::move(problem), false, std::move(locale)};
}

// A service in one line: its title, Exec's arguments, where the output goes, how the text goes in, what it
// accepts, its time limit.
std::string summaryOf(const DesktopService& service) {
    const char* outputs[] = {"none", "replace", "copy", "notify"};
    std::string exec;
    for (const std::string& argument : service.exec)
        exec += "[" + argument + "]";
    return service.name + " " + exec + " " + outputs[static_cast<int>(service.output)] +
           (service.selectionAsArgument ? " argument " : " stdin ") +
           (service.acceptsOnlyUrl ? "url " : "any ") + std::to_string(service.timeLimit.count() / 1000) +
           "s";
}

const std::string G = "[Quoddle Service]\n", NE = G + "Name=N\nExec=p\n";
const std::string kNames = G + "Name=Upper\nName[de]=Gro\xc3\x9f\nExec=p\n";
// Problems by the start of their sentence, which names the key.
const FileRow kFileRows[] = {
    sound("Defaults",
          "# comment\n" + G + "Name =  Upper  \nExec=quoddle text upper\nX-Later=1\n[Other]\nName=x\n",
          "Upper [quoddle][text][upper] none stdin any 5s"),
    sound("Replace", NE + "Output=replace\nTimeLimit= 600 \n", "N [p] replace stdin any 600s"),
    sound("AcceptsUrl", G + "Name=N\nExec=p %s\nAccepts=url\n", "N [p][%s] none argument url 5s"),
    // The key file's escapes first (\\ is one backslash, \s a space), then the quoting rules; no shell.
    sound("Quoting",
          G + "Name=N\nExec=printf \"%%s: \\\\\"x\\\\\"\" 'two  words' a\\sb \"b\\\\\\\\s\" $(id) `id` ;\n",
          "N [printf][%%s: \"x\"][two  words][a][b][b\\s][$(id)][`id`][;] none stdin any 5s"),
    sound("NameInGerman", kNames, "Gro\xc3\x9f [p] none stdin any 5s", "de_DE.UTF-8"),
    sound("ByteOrderMark", "\xEF\xBB\xBF" + NE, "N [p] none stdin any 5s"),
    refused("OutputUnknown", NE + "Output=Replace\n",
            "Output: 'Replace' is not one of none, replace, copy, notify"),
    refused("AcceptsUnknown", NE + "Accepts=html\n", "Accepts: 'html' is not one of text, url"),
    refused("TimeLimitZero", NE + "TimeLimit=0\n",
            "TimeLimit: '0' is not a whole number of seconds from 1 to 600"),
    refused("TimeLimitOverflow", NE + "TimeLimit=99999999999999999999\n", "TimeLimit: '9999"),
    refused("TryExecRelative", NE + "TryExec=bin/sh\n", "TryExec: 'bin/sh' is neither a program name nor"),
    refused("FileCode", G + "Name=N\nExec=p %f\n", "Exec: %f is not a field code of service files"),
    refused("LonePercent", G + "Name=N\nExec=p 100%\n", "Exec: an argument ends in a lone %"),
    refused("TextInProgram", G + "Name=N\nExec=/usr/bin/%u\n", "Exec: the program cannot be %s or %u"),
    refused("UnclosedQuote", G + "Name=N\nExec=p 'open\n", "Exec: Text ended before matching quote"),
    refused("NameWithTab", G + "Name=Two\\tColumns\nExec=p\n",
            "Name: a title cannot hold a tab or line break"),
    // A bad translation counts whatever the language: it is refused for everyone alike.
    refused("TranslationWithReturn", NE + "Name[fr]=Deux\\rLignes\n", "Name[fr]: a title cannot hold",
            "it_IT"),
    refused("NameWithBell", G + "Name=Bell\x07\nExec=p\n", "Name: a title cannot hold control characters"),
    refused("OnlyATranslatedName", G + "Name[de]=Vorlesen\nExec=p\n", "Name is missing", "de"),
    refused("OtherGroup", "[Desktop Entry]\nName=N\nExec=p\n", "the file has no [Quoddle Service] group"),
    refused("Latin1Line", G + "Name=N\nComment=caf\xE9\nExec=p\n", "line 3 is not UTF-8 text"),
    refused("NulByte", G + "Name=N\0 tail\nExec=p\n"s, "line 2 holds a NUL byte"),
    refused("LongBadLine", G + std::string(5000, 'x') + "\n", "Key file contains line"),
    refused("TooLarge", NE + std::string(kMaxServiceFileBytes, '#'), "the file is larger than 64 KiB")};

bool printableLine(const std::string& line) {
    for (char c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return line.size() < 300 && g_utf8_validate(line.data(), static_cast<gssize>(line.size()), nullptr);
}

class ServiceFileRows : public ::testing::TestWithParam<FileRow> {};

TEST_P(ServiceFileRows, MakeTheServiceOrNameTheProblem) {
    const FileRow& row = GetParam();
    const ServiceFileReading reading = parseServiceFile(row.contents, "/services/sample.service", row.locale);
    for (const std::string& problem : reading.problems)
        EXPECT_TRUE(printableLine(problem)) << "a problem the log cannot carry as one line: " << problem;
    if (!row.sound) {
        EXPECT_FALSE(reading.service);
        ASSERT_FALSE(reading.problems.empty());
        EXPECT_TRUE(reading.problems.front().starts_with(row.expected)) << reading.problems.front();
        return;
    }
    ASSERT_TRUE(reading.service) << (reading.problems.empty() ? "" : reading.problems.front());
    EXPECT_TRUE(reading.problems.empty());
    EXPECT_EQ(reading.service->id, "sample");
    EXPECT_EQ(reading.service->path, "/services/sample.service");
    EXPECT_EQ(summaryOf(*reading.service), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, ServiceFileRows, ::testing::ValuesIn(kFileRows),
                         [](const auto& info) { return std::string(info.param.label); });

ServiceFileReading parse(const std::string& body) {
    return parseServiceFile("[Quoddle Service]\n" + body, "/services/sample.service");
}

TEST(ServiceFileTest, HiddenOnlyHidesTryExecMarksAMissingProgramAndEveryProblemIsTold) {
    const ServiceFileReading hidden = parse("Hidden=true\n");
    EXPECT_TRUE(hidden.hidden && hidden.problems.empty() && !hidden.service);
    EXPECT_FALSE(parse("Hidden=false\nName=N\nExec=p\n").hidden);
    for (const char* present : {"sh", "/bin/sh"})
        EXPECT_FALSE(parse(std::string("Name=N\nExec=p\nTryExec=") + present + "\n").unavailable) << present;
    for (const char* absent : {"quoddle-no-such-program-4711", "/tmp"}) {
        // Still read whole, so a check can say what it would do.
        const ServiceFileReading reading = parse(std::string("Name=N\nExec=p\nTryExec=") + absent + "\n");
        EXPECT_TRUE(reading.unavailable && reading.problems.empty() && reading.service) << absent;
    }
    // Every problem of a file at once, so its author can fix them in one go: Name, Exec, Output, Accepts,
    // TimeLimit.
    EXPECT_EQ(parse("Output=paste\nAccepts=all\nTimeLimit=never\n").problems.size(), 5u);
}

TEST(ServiceFileTest, ReadsFilesAndRefusesWhatIsNoServiceFile) {
    TempFolder folder;
    writeBytes(folder / "sort-lines.service", "[Quoddle Service]\nName=Sort\nExec=sort\n");
    EXPECT_EQ(readServiceFile(folder / "sort-lines.service").service.value().id, "sort-lines");

    writeBytes(folder / "huge.service", std::string(70000, '#'));
    // A named pipe nobody writes to would block a plain open; it is refused instead.
    ASSERT_EQ(::mkfifo((folder / "pipe.service").c_str(), 0600), 0);
    const std::pair<fs::path, std::string> refused[] = {
        {folder / "missing.service", "cannot be read: No such file or directory"},
        {folder.path(), "cannot be read: it is a folder"},
        {folder / "huge.service", "the file is larger than 64 KiB"},
        {folder / "pipe.service", "cannot be read: it is not a regular file"}};
    for (const auto& [path, problem] : refused)
        EXPECT_EQ(readServiceFile(path).problems, std::vector<std::string>{problem}) << path;
}

TEST(ServiceCommandLineTest, PutsTheTextInAsOneArgumentByteForByteOrPercentEncoded) {
    // That a program gets it so is the desktop tier's (and what any text does, the fuzz target's).
    const std::string hostile = "\"'$(touch x); `id` \\ \n*";
    DesktopService service;
    service.exec = {"printf", "%%s", "%s"};
    EXPECT_EQ(serviceCommandLine(service, hostile, "/q", nullptr),
              (std::vector<std::string>{"printf", "%s", hostile}));
    service.exec = {"xdg-open", "https://duckduckgo.com/?q=%u&t=100%%"};
    EXPECT_EQ(
        serviceCommandLine(service, "a b&c=d/é?#+~._-Z9\0\n"s, "/q", nullptr),
        (std::vector<std::string>{
            "xdg-open", "https://duckduckgo.com/?q=a%20b%26c%3Dd%2F%C3%A9%3F%23%2B~._-Z9%00%0A&t=100%"}));
}

TEST(ServiceCommandLineTest, RunsThisQuoddleAndRefusesWhatAnArgumentCannotCarry) {
    DesktopService service;
    service.exec = {"quoddle", "text", "quoddle"};
    EXPECT_EQ(serviceCommandLine(service, "any", "/opt/q/bin/quoddle", nullptr),
              (std::vector<std::string>{"/opt/q/bin/quoddle", "text", "quoddle"}));
    // Text on standard input may hold anything; in an argument, a NUL byte would cut it short.
    EXPECT_TRUE(serviceCommandLine(service, "before\0after"s, "/q", nullptr));
    service.exec = {"p", "%s"};
    std::string problem;
    EXPECT_FALSE(serviceCommandLine(service, "before\0after"s, "/q", &problem));
    EXPECT_EQ(problem, "the selection holds a NUL byte, which an argument cannot carry");
    EXPECT_FALSE(serviceCommandLine(service, std::string(200 * 1024, 'a'), "/q", &problem));
    EXPECT_EQ(problem, "the selection is too long to pass as an argument (204800 bytes, at most 131071)");

    // A service made by hand gets no more latitude than one read from a file.
    for (const std::vector<std::string>& exec :
         std::vector<std::vector<std::string>>{{}, {"%s"}, {"p", "x%s"}}) {
        service.exec = exec;
        EXPECT_FALSE(serviceCommandLine(service, "text", "/q", nullptr)) << ::testing::PrintToString(exec);
    }
}

TEST(ServiceUrlTest, TellsASingleUrlFromOtherText) {
    for (const char* url :
         {"https://example.org", "  http://example.org/a?b=c#d \n", "HTTPS://EXAMPLE.ORG", "ftp://h",
          "file:///etc/hosts", "svn+ssh://host/repo", "mailto:someone@example.org", "MailTo:a@b"})
        EXPECT_TRUE(isSingleUrl(url)) << url;
    for (const char* text : {"", "   ", "example.org", "https://", "https:/x", "https:x", "://x", "1http://x",
                             "ht tp://x", "http://a b", "see https://example.org", "https://a\nhttps://b",
                             "mailto:someone", "mailto:", "a_b://x", "http://x\x01"})
        EXPECT_FALSE(isSingleUrl(text)) << text;
}

} // namespace
} // namespace quoddle
