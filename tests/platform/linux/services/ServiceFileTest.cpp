#include "platform/linux/services/ServiceFile.h"
#include "platform/linux/services/DesktopService.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace quoddle {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

ServiceFileReading parse(const std::string& body, const std::string& locale = {}) {
    return parseServiceFile("[Quoddle Service]\n" + body, "/services/sample.service", locale);
}

DesktopService serviceOf(const std::string& body) {
    const ServiceFileReading reading = parse(body);
    if (!reading.service)
        ADD_FAILURE() << body << ": " << (reading.problems.empty() ? "" : reading.problems[0]);
    return reading.service.value_or(DesktopService());
}

std::string firstProblem(const ServiceFileReading& reading) {
    return reading.problems.empty() ? "(none)" : reading.problems.front();
}

bool printable(const std::string& line) {
    for (char c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    return g_utf8_validate(line.data(), static_cast<gssize>(line.size()), nullptr);
}

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "quoddle-service-file-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string write(const std::string& name, const std::string& contents) const {
        const std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary) << contents;
        return file;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST(ServiceFileTest, ReadsASoundFileWithItsDefaults) {
    const ServiceFileReading reading = parseServiceFile("# a comment\n"
                                                        "[Quoddle Service]\n"
                                                        "Name =  Make Upper Case  \n"
                                                        "Comment=Turns the selected text into capitals\n"
                                                        "Exec=quoddle text upper\n"
                                                        "X-Later-Key=ignored\n"
                                                        "[Another Group]\n"
                                                        "Name=ignored too\n",
                                                        "/usr/share/quoddle/services/upper-case.service");
    ASSERT_TRUE(reading.problems.empty()) << firstProblem(reading);
    ASSERT_TRUE(reading.service);
    const DesktopService& service = *reading.service;
    EXPECT_EQ(service.id, "upper-case");
    EXPECT_EQ(service.path, "/usr/share/quoddle/services/upper-case.service");
    EXPECT_EQ(service.name, "Make Upper Case");
    EXPECT_EQ(service.exec, (std::vector<std::string>{"quoddle", "text", "upper"}));
    EXPECT_FALSE(service.selectionAsArgument);
    EXPECT_EQ(service.output, ServiceOutput::none);
    EXPECT_FALSE(service.acceptsOnlyUrl);
    EXPECT_EQ(service.timeLimit, std::chrono::seconds(5));
    EXPECT_FALSE(reading.hidden);
    EXPECT_FALSE(reading.unavailable);
}

TEST(ServiceFileTest, ReadsOutputAcceptsAndTimeLimit) {
    const std::pair<const char*, ServiceOutput> outputs[] = {{"none", ServiceOutput::none},
                                                             {"replace", ServiceOutput::replaceSelection},
                                                             {"copy", ServiceOutput::copyToClipboard},
                                                             {" notify ", ServiceOutput::showNotification}};
    for (const auto& [word, output] : outputs) {
        const ServiceFileReading reading = parse(std::string("Name=N\nExec=p\nOutput=") + word + "\n");
        ASSERT_TRUE(reading.service) << word << ": " << firstProblem(reading);
        EXPECT_EQ(reading.service->output, output) << word;
    }

    EXPECT_TRUE(serviceOf("Name=N\nExec=p %s\nAccepts=url\n").acceptsOnlyUrl);
    EXPECT_FALSE(serviceOf("Name=N\nExec=p\nAccepts=text\n").acceptsOnlyUrl);
    EXPECT_EQ(serviceOf("Name=N\nExec=p\nTimeLimit=1\n").timeLimit, std::chrono::seconds(1));
    EXPECT_EQ(serviceOf("Name=N\nExec=p\nTimeLimit= 600 \n").timeLimit, std::chrono::seconds(600));
}

TEST(ServiceFileTest, RefusesValuesItDoesNotKnowAndNamesTheKey) {
    const std::pair<const char*, const char*> cases[] = {
        {"Output=Replace", "Output: 'Replace' is not one of none, replace, copy, notify"},
        {"Output=", "Output: '' is not one of none, replace, copy, notify"},
        {"Accepts=html", "Accepts: 'html' is not one of text, url"},
        {"TimeLimit=0", "TimeLimit: '0' is not a whole number of seconds from 1 to 600"},
        {"TimeLimit=601", "TimeLimit: '601' is not a whole number of seconds from 1 to 600"},
        {"TimeLimit=5s", "TimeLimit: '5s' is not a whole number of seconds from 1 to 600"},
        {"TimeLimit=-3", "TimeLimit: '-3' is not a whole number of seconds from 1 to 600"},
        {"TimeLimit=99999999999999999999", "TimeLimit: '99999999999999999999' is not a whole number of "
                                           "seconds from 1 to 600"},
        {"Hidden=maybe", "Hidden: must be true or false"},
    };
    for (const auto& [line, problem] : cases) {
        const ServiceFileReading reading = parse(std::string("Name=N\nExec=p\n") + line + "\n");
        EXPECT_FALSE(reading.service) << line;
        EXPECT_EQ(reading.problems, std::vector<std::string>{problem}) << line;
    }

    // Every problem of a file at once, so its author can fix them in one go.
    const ServiceFileReading several = parse("Output=paste\nAccepts=all\nTimeLimit=never\n");
    EXPECT_EQ(several.problems.size(), 5u); // Name, Exec, Output, Accepts, TimeLimit
}

TEST(ServiceFileTest, ChecksTheFieldCodesOfEachArgument) {
    struct Case {
        const char* exec;
        const char* problem; // none: sound
        bool asArgument;
    };
    const Case cases[] = {
        {"xdg-open %s", nullptr, true},
        {"xdg-open https://duckduckgo.com/?q=%u&ia=web", nullptr, true},
        {"printf 100%%", nullptr, false},
        {"printf %%s", nullptr, false}, // a percent sign, then an s
        {"p '%s'", nullptr, true},      // quoting is undone before the codes are read
        {"p x%s", "Exec: %s must stand alone as an argument", false},
        {"p \"%s more\"", "Exec: %s must stand alone as an argument", false},
        {"p %f", "Exec: %f is not a field code of service files", false},
        {"p %U", "Exec: %U is not a field code of service files", false},
        {"p %é", "Exec: %é is not a field code of service files", false},
        {"p 100%", "Exec: an argument ends in a lone % (write %% for a percent sign)", false},
        {"p %s %u", "Exec: holds more than one %s or %u; the text goes in once", false},
        {"p %u%u", "Exec: holds more than one %s or %u; the text goes in once", false},
        {"%s", "Exec: the program cannot be %s or %u", false},
        {"/usr/bin/%u", "Exec: the program cannot be %s or %u", false},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.exec);
        const ServiceFileReading reading = parse(std::string("Name=N\nExec=") + each.exec + "\n");
        if (!each.problem) {
            ASSERT_TRUE(reading.service) << firstProblem(reading);
            EXPECT_EQ(reading.service->selectionAsArgument, each.asArgument);
        } else {
            EXPECT_FALSE(reading.service);
            EXPECT_EQ(firstProblem(reading), each.problem);
        }
    }
}

TEST(ServiceFileTest, SplitsExecByItsQuotingAfterTheKeyFileEscapes) {
    // The key file's escapes first (\\ is one backslash, \s a space), then the quoting rules.
    const ServiceFileReading reading = parse(R"(Name=N
Exec=printf "%%s: \\"x\\"" 'two  words' a\sb "back\\\\slash" $(id) `id` ;)"
                                             "\n");
    ASSERT_TRUE(reading.service) << firstProblem(reading);
    EXPECT_EQ(reading.service->exec, (std::vector<std::string>{"printf", "%%s: \"x\"", "two  words", "a", "b",
                                                               "back\\slash", "$(id)", "`id`", ";"}));

    const std::pair<const char*, const char*> broken[] = {
        {"Exec=p 'open", "Exec: Text ended before matching quote was found for '."},
        {"Exec=p \\\\", "Exec: Text ended just after a “\\” character."},
        {"Exec=", "Exec is empty"},
        {"Exec=   ", "Exec is empty"},
    };
    for (const auto& [line, problem] : broken) {
        const ServiceFileReading bad = parse(std::string("Name=N\n") + line + "\n");
        EXPECT_FALSE(bad.service) << line;
        EXPECT_TRUE(firstProblem(bad).starts_with(problem)) << line << ": " << firstProblem(bad);
    }
}

TEST(ServiceFileTest, TakesTheNameInTheUsersLanguage) {
    const std::string body = "Name=Make Upper Case\n"
                             "Name[de]=In Großbuchstaben umwandeln\n"
                             "Name[fr_CA]=Mettre en majuscules\n"
                             "Exec=p\n";
    const auto nameIn = [&body](const std::string& locale) {
        const ServiceFileReading reading = parse(body, locale);
        return reading.service ? reading.service->name : "(" + firstProblem(reading) + ")";
    };
    EXPECT_EQ(nameIn("de_DE.UTF-8"), "In Großbuchstaben umwandeln");
    EXPECT_EQ(nameIn("fr_CA"), "Mettre en majuscules");
    EXPECT_EQ(nameIn("fr_FR"), "Make Upper Case");
    EXPECT_EQ(nameIn("C"), "Make Upper Case");

    // Without the untranslated Name the file would work in some languages only.
    EXPECT_EQ(firstProblem(parse("Name[de]=Vorlesen\nExec=p\n", "de")), "Name is missing");
}

TEST(ServiceFileTest, RefusesTitlesTheSettingsTextCannotCarry) {
    const std::pair<const char*, const char*> cases[] = {
        {"Name=", "Name is empty"},
        {"Name=  ", "Name is empty"},
        {"Name=Two\\tColumns", "Name: a title cannot hold a tab or line break"},
        {"Name=Two\\nLines", "Name: a title cannot hold a tab or line break"},
        {"Name=Fine\nName[fr]=Deux\\rLignes", "Name[fr]: a title cannot hold a tab or line break"},
        {"Name=Fine\nName[de]=", "Name[de] is empty"},
        {"Name=Bell\x07", "Name: a title cannot hold control characters"},
    };
    for (const auto& [lines, problem] : cases) {
        // The bad translation counts whatever the language: it is refused for everyone alike.
        const ServiceFileReading reading = parse(std::string(lines) + "\nExec=p\n", "it_IT");
        EXPECT_FALSE(reading.service) << lines;
        EXPECT_EQ(reading.problems, std::vector<std::string>{problem}) << lines;
    }
}

TEST(ServiceFileTest, ReportsMalformedFilesWithoutAService) {
    std::string garbage;
    for (int i = 0; i < 512; ++i)
        garbage += static_cast<char>((i * 167 + 13) % 256);
    const std::pair<std::string, std::string> cases[] = {
        {"", "the file has no [Quoddle Service] group"},
        {"Name=N\nExec=p\n", "Key file does not start with a group"},
        {"[Desktop Entry]\nName=N\nExec=p\n", "the file has no [Quoddle Service] group"},
        {"[Quoddle Service]\nExec=p\n", "Name is missing"},
        {"[Quoddle Service]\nName=N\n", "Exec is missing"},
        {"[Quoddle Service]\nName=N\nExec=p\nthis line is no key\n",
         "Key file contains line “this line is no key”"},
        {"[Quoddle Service\nName=N\n", "Key file contains line “[Quoddle Service”"},
        {"[Quoddle Service]\nName=N\nComment=caf\xE9\nExec=p\n", "line 3 is not UTF-8 text"},
        {"[Quoddle Service]\nName=N\0 tail\nExec=p\n"s, "line 2 holds a NUL byte"},
        {garbage, "line "},
        {"[Quoddle Service]\nName=N\nExec=p\n" + std::string(kMaxServiceFileBytes, '#'),
         "the file is larger than 64 KiB"},
    };
    for (const auto& [contents, problem] : cases) {
        SCOPED_TRACE(contents.substr(0, 40));
        const ServiceFileReading reading = parseServiceFile(contents, "/services/bad.service");
        EXPECT_FALSE(reading.service);
        ASSERT_FALSE(reading.problems.empty());
        EXPECT_TRUE(reading.problems.front().starts_with(problem)) << reading.problems.front();
        for (const std::string& line : reading.problems)
            EXPECT_TRUE(printable(line)) << line;
    }

    // GLib quotes the bad line; a long one is cut so the log line stays a line.
    const ServiceFileReading longLine =
        parseServiceFile("[Quoddle Service]\n" + std::string(5000, 'x') + "\n", "/services/long.service");
    ASSERT_EQ(longLine.problems.size(), 1u);
    EXPECT_LT(longLine.problems.front().size(), 300u);
    EXPECT_TRUE(printable(longLine.problems.front()));

    // A byte-order mark is the file's, not part of its first line.
    EXPECT_TRUE(
        parseServiceFile("\xEF\xBB\xBF[Quoddle Service]\nName=N\nExec=p\n", "/s/bom.service").service);
}

TEST(ServiceFileTest, HiddenFileOnlyHides) {
    const ServiceFileReading hidden = parse("Hidden=true\n");
    EXPECT_TRUE(hidden.hidden);
    EXPECT_TRUE(hidden.problems.empty()) << firstProblem(hidden);
    EXPECT_FALSE(hidden.service);

    const ServiceFileReading shown = parse("Hidden=false\nName=N\nExec=p\n");
    EXPECT_FALSE(shown.hidden);
    EXPECT_TRUE(shown.service);
}

TEST(ServiceFileTest, TryExecMarksAServiceWhoseProgramIsMissing) {
    for (const char* present : {"sh", "/bin/sh"}) {
        const ServiceFileReading reading = parse(std::string("Name=N\nExec=p\nTryExec=") + present + "\n");
        EXPECT_FALSE(reading.unavailable) << present;
        EXPECT_TRUE(reading.service) << present;
    }
    for (const char* absent : {"quoddle-no-such-program-4711", "/nonexistent/bin/sh", "/tmp"}) {
        const ServiceFileReading reading = parse(std::string("Name=N\nExec=p\nTryExec=") + absent + "\n");
        EXPECT_TRUE(reading.unavailable) << absent;
        EXPECT_TRUE(reading.problems.empty()) << absent << ": " << firstProblem(reading);
        EXPECT_EQ(reading.tryExec, absent);
        // Still read whole, so a check can say what it would do once the program is there.
        EXPECT_TRUE(reading.service) << absent;
    }
    EXPECT_EQ(firstProblem(parse("Name=N\nExec=p\nTryExec=bin/sh\n")),
              "TryExec: 'bin/sh' is neither a program name nor an absolute path");
    EXPECT_EQ(firstProblem(parse("Name=N\nExec=p\nTryExec=\n")), "TryExec is empty");
}

TEST(ServiceFileTest, ReadsFilesAndRefusesWhatIsNoServiceFile) {
    TempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const ServiceFileReading good =
        readServiceFile(folder.write("sort-lines.service", "[Quoddle Service]\nName=Sort\nExec=sort\n"));
    ASSERT_TRUE(good.service) << firstProblem(good);
    EXPECT_EQ(good.service->id, "sort-lines");
    EXPECT_EQ(good.service->path, folder.path() + "/sort-lines.service");

    EXPECT_EQ(firstProblem(readServiceFile(folder.path() + "/missing.service")),
              "cannot be read: No such file or directory");
    EXPECT_EQ(firstProblem(readServiceFile(folder.path())), "cannot be read: it is a folder");
    EXPECT_EQ(firstProblem(readServiceFile(folder.write(
                  "huge.service", "[Quoddle Service]\nName=N\nExec=p\n#" + std::string(70000, 'x') + "\n"))),
              "the file is larger than 64 KiB");

    // A named pipe nobody writes to would block a plain open; it is refused instead.
    const std::string pipe = folder.path() + "/pipe.service";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(firstProblem(readServiceFile(pipe)), "cannot be read: it is not a regular file");
}

// Runs the command line without a shell and gives what it wrote on standard output.
std::string outputOf(const std::vector<std::string>& commandLine, const std::string& folder) {
    std::vector<char*> argv;
    for (const std::string& argument : commandLine)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    char* output = nullptr;
    gint status = 0;
    GError* error = nullptr;
    const bool ran = g_spawn_sync(folder.c_str(), argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                                  &output, nullptr, &status, &error);
    std::string text = ran && output ? output : "(did not run)";
    g_free(output);
    g_clear_error(&error);
    return text;
}

TEST(ServiceCommandLineTest, PassesHostileTextByteForByteAsOneArgument) {
    const std::string hostile = "\"'$(touch x); `id` \\ \n*";
    const ServiceFileReading reading = parse("Name=Echo\nExec=printf %%s %s\n");
    ASSERT_TRUE(reading.service) << firstProblem(reading);

    std::string problem;
    const auto commandLine = serviceCommandLine(*reading.service, hostile, "/opt/q/bin/quoddle", &problem);
    ASSERT_TRUE(commandLine) << problem;
    EXPECT_EQ(*commandLine, (std::vector<std::string>{"printf", "%s", hostile}));

    // And a real program gets it so: nothing ran "touch x".
    TempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    EXPECT_EQ(outputOf(*commandLine, folder.path()), hostile);
    EXPECT_FALSE(fs::exists(folder.path() + "/x"));
}

TEST(ServiceCommandLineTest, PercentEncodesTheTextForUrls) {
    DesktopService service;
    service.exec = {"xdg-open", "https://duckduckgo.com/?q=%u&t=100%%"};
    const std::string text = "a b&c=d/é?#+~._-Z9\0\n"s;
    const auto commandLine = serviceCommandLine(service, text, "/q", nullptr);
    ASSERT_TRUE(commandLine);
    EXPECT_EQ(*commandLine,
              (std::vector<std::string>{
                  "xdg-open", "https://duckduckgo.com/?q=a%20b%26c%3Dd%2F%C3%A9%3F%23%2B~._-Z9%00%0A"
                              "&t=100%"}));
}

TEST(ServiceCommandLineTest, RunsThisQuoddleAndRefusesWhatAnArgumentCannotCarry) {
    DesktopService service;
    service.exec = {"quoddle", "text", "quoddle"};
    EXPECT_EQ(serviceCommandLine(service, "any", "/opt/q/bin/quoddle", nullptr),
              (std::vector<std::string>{"/opt/q/bin/quoddle", "text", "quoddle"}));
    // Unknown own path: the name is left for the search path.
    EXPECT_EQ(serviceCommandLine(service, "any", "", nullptr), service.exec);

    // Text on standard input may hold anything; in an argument, a NUL byte would cut it short.
    const std::string withNul = "before\0after"s;
    EXPECT_TRUE(serviceCommandLine(service, withNul, "/q", nullptr));
    service.exec = {"p", "%s"};
    std::string problem;
    EXPECT_FALSE(serviceCommandLine(service, withNul, "/q", &problem));
    EXPECT_EQ(problem, "the selection holds a NUL byte, which an argument cannot carry");

    const std::string huge(200 * 1024, 'a');
    EXPECT_FALSE(serviceCommandLine(service, huge, "/q", &problem));
    EXPECT_EQ(problem, "the selection is too long to pass as an argument (204800 bytes, at most 131071)");

    // A service made by hand gets no more latitude than one read from a file.
    const std::vector<std::string> malformed[] = {{},          {"%s"},     {"p", "x%s"},
                                                  {"p", "%q"}, {"p", "%"}, {"p", "%s", "%u"}};
    for (const std::vector<std::string>& exec : malformed) {
        service.exec = exec;
        problem.clear();
        EXPECT_FALSE(serviceCommandLine(service, "text", "/q", &problem)) << ::testing::PrintToString(exec);
        EXPECT_FALSE(problem.empty());
    }
}

TEST(ServiceUrlTest, TellsASingleUrlFromOtherText) {
    for (const char* url :
         {"https://example.org", "  http://example.org/a?b=c#d \n", "HTTPS://EXAMPLE.ORG", "ftp://h",
          "file:///etc/hosts", "svn+ssh://host/repo", "mailto:someone@example.org", "MailTo:a@b"}) {
        EXPECT_TRUE(isSingleUrl(url)) << url;
    }
    for (const char* text : {"", "   ", "example.org", "https://", "https:/x", "https:x", "://x", "1http://x",
                             "ht tp://x", "http://a b", "see https://example.org", "https://a\nhttps://b",
                             "mailto:someone", "mailto:", "a_b://x", "http://x\x01"}) {
        EXPECT_FALSE(isSingleUrl(text)) << text;
    }
}

} // namespace
} // namespace quoddle
