// Service files: what a file's text makes (one row each, sound or with the problems its author is told),
// reading files from disk, the files Quoddle ships, the command line for what a file cannot say, and the
// URL test of "Open as Link"; then where desktop services are looked for, which files count, and which
// service a name stands for; and "quoddle services": the listing with what was skipped and where, a check of
// a file for its author, and the exit statuses. What any bytes whatever do, and that Exec puts the selection
// in byte for byte, is ServiceFileFuzz's (fuzz/corpus/ServiceFileFuzz holds the seeds).
#include "platform/linux/services/ServiceFile.h"
#include "platform/ScopedEnvironment.h"
#include "platform/TempFolder.h"
#include "platform/linux/services/DesktopService.h"
#include "platform/linux/services/ServiceCatalog.h"
#include "platform/linux/services/ServicesCommand.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <sstream>
#include <sys/stat.h>

namespace quoddle {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// What a reading comes to, in one line: the service (its title, Exec's arguments, where the output goes,
// how the text goes in, what it accepts, its time limit, and whether its program is missing), "hidden", or
// every problem in order.
std::string outcomeOf(const ServiceFileReading& reading) {
    std::string outcome = reading.hidden ? "hidden" : "";
    for (const std::string& problem : reading.problems)
        outcome += (outcome.empty() ? "" : " | ") + problem;
    if (!reading.service) return outcome;
    const DesktopService& service = *reading.service;
    const char* outputs[] = {"none", "replace", "copy", "notify"};
    outcome += service.name + " ";
    for (const std::string& argument : service.exec)
        outcome += "[" + argument + "]";
    return outcome + " " + outputs[static_cast<int>(service.output)] +
           (service.selectionAsArgument ? " argument " : " stdin ") +
           (service.acceptsOnlyUrl ? "url " : "any ") + std::to_string(service.timeLimit.count() / 1000) +
           "s" + (reading.unavailable ? " unavailable" : "");
}

struct FileRow {
    const char* label;
    std::string contents;
    std::string expected; // the whole outcome of a sound or hidden file, else its start
    std::string locale = {};
};

const std::string G = "[Quoddle Service]\n", NE = G + "Name=N\nExec=p\n";
// Problems by the start of their sentence, which names the key.
const FileRow kFileRows[] = {
    {"Defaults",
     "# comment\n" + G +
         "Name =  Upper  \nExec=quoddle text upper\nHidden=false\nTryExec=sh\nX-Later=1\n[Other]\nName=x\n",
     "Upper [quoddle][text][upper] none stdin any 5s"},
    {"Replace", NE + "Output=replace\nTimeLimit= 600 \nTryExec=/bin/sh\n", "N [p] replace stdin any 600s"},
    // The key file's escapes first (\\ is one backslash, \s a space), then the quoting rules; no shell.
    {"Quoting",
     G + "Name=N\nExec=printf \"%%s: \\\\\"x\\\\\"\" 'two  words' a\\sb \"b\\\\\\\\s\" $(id) `id` ;\n",
     "N [printf][%%s: \"x\"][two  words][a][b][b\\s][$(id)][`id`][;] none stdin any 5s"},
    {"NameInGerman", G + "Name=Upper\nName[de]=Gro\xc3\x9f\nExec=p\n", "Gro\xc3\x9f [p] none stdin any 5s",
     "de_DE.UTF-8"},
    {"ByteOrderMark", "\xEF\xBB\xBF" + NE, "N [p] none stdin any 5s"},
    // Still read whole, so a check can say what it would do.
    {"TryExecMissing", NE + "TryExec=quoddle-no-such-program-4711\n", "N [p] none stdin any 5s unavailable"},
    // A hidden file only removes a service: whatever else it says is no problem.
    {"Hidden", G + "Hidden=true\nExec=p %f\n", "hidden"},
    // Every problem of a file at once, so that its author can fix them in one go.
    {"EveryProblem", G + "Output=paste\nAccepts=all\nTimeLimit=never\n",
     "Name is missing | Exec is missing | Output: 'paste' is not one of none, replace, copy, notify | "
     "Accepts: 'all' is not one of text, url | TimeLimit: 'never' is not a whole number of seconds"},
    {"OutputCase", NE + "Output=Replace\n", "Output: 'Replace' is not one of"},
    {"TimeLimitZero", NE + "TimeLimit=0\n", "TimeLimit: '0' is not a whole number"},
    {"TryExecRelative", NE + "TryExec=bin/sh\n", "TryExec: 'bin/sh' is neither a program name nor"},
    {"FileCode", G + "Name=N\nExec=p %f\n", "Exec: %f is not a field code of service files"},
    {"LonePercent", G + "Name=N\nExec=p 100%\n", "Exec: an argument ends in a lone %"},
    {"TextInProgram", G + "Name=N\nExec=/usr/bin/%u\n", "Exec: the program cannot be %s or %u"},
    {"UnclosedQuote", G + "Name=N\nExec=p 'open\n", "Exec: Text ended before matching quote"},
    {"NameWithTab", G + "Name=Two\\tColumns\nExec=p\n", "Name: a title cannot hold a tab or line break"},
    // A bad translation counts whatever the language: it is refused for everyone alike.
    {"TranslationWithReturn", NE + "Name[fr]=Deux\\rLignes\n", "Name[fr]: a title cannot hold", "it_IT"},
    {"NameWithBell", G + "Name=Bell\x07\nExec=p\n", "Name: a title cannot hold control characters"},
    {"OnlyATranslatedName", G + "Name[de]=Vorlesen\nExec=p\n", "Name is missing", "de"},
    {"OtherGroup", "[Desktop Entry]\nName=N\nExec=p\n", "the file has no [Quoddle Service] group"},
    {"Latin1Line", G + "Name=N\nComment=caf\xE9\nExec=p\n", "line 3 is not UTF-8 text"},
    {"NulByte", G + "Name=N\0 tail\nExec=p\n"s, "line 2 holds a NUL byte"},
    {"LongBadLine", G + std::string(5000, 'x') + "\n", "Key file contains line"},
    {"TooLarge", NE + std::string(kMaxServiceFileBytes, '#'), "the file is larger than 64 KiB"}};

bool printableLine(const std::string& line) {
    for (char c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return line.size() < 300 && g_utf8_validate(line.data(), static_cast<gssize>(line.size()), nullptr);
}

TEST(ServiceFileTest, MakesTheServiceOrNamesTheProblems) {
    for (const FileRow& row : kFileRows) {
        const ServiceFileReading reading =
            parseServiceFile(row.contents, "/services/sample.service", row.locale);
        for (const std::string& problem : reading.problems)
            EXPECT_TRUE(printableLine(problem))
                << row.label << ": a problem the log cannot carry: " << problem;
        const std::string outcome = outcomeOf(reading);
        const bool whole = reading.service || reading.hidden;
        EXPECT_TRUE(whole ? outcome == row.expected : outcome.starts_with(row.expected))
            << row.label << ": " << outcome;
    }
}

// The id and the path of a file that is read are the catalog's (below).
TEST(ServiceFileTest, RefusesToReadWhatIsNoServiceFile) {
    TempFolder folder;
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

// What they do in real applications is the desktop tier's; that the package's installation lists them,
// check-package's.
TEST(ServiceFileTest, TheShippedFilesAreSoundAndTranslated) {
    for (const fs::directory_entry& entry :
         fs::directory_iterator(QUODDLE_SOURCE_DIR "/share/quoddle/services")) {
        const std::string path = entry.path().string(), contents = readBytes(path);
        const ServiceFileReading german = parseServiceFile(contents, path, "de_DE.UTF-8");
        ASSERT_TRUE(german.service) << path << ": " << ::testing::PrintToString(german.problems);
        EXPECT_NE(german.service->name, parseServiceFile(contents, path, "C").service.value().name) << path;
        EXPECT_TRUE(!german.unavailable || german.service->id == "speak")
            << path << ": its program is missing";
    }
}

// Exec lines a file cannot hold, and selections an argument cannot carry (a NUL byte is refused in
// ServiceRunnerTest's press and ServiceFileFuzz).
TEST(ServiceCommandLineTest, RefusesWhatAnArgumentCannotCarryAndAServiceMadeByHandCannotSay) {
    DesktopService service;
    service.exec = {"p", "%s"};
    std::string problem;
    EXPECT_FALSE(serviceCommandLine(service, std::string(200 * 1024, 'a'), "/q", &problem));
    EXPECT_EQ(problem, "the selection is too long to pass as an argument (204800 bytes, at most 131071)");
    for (const std::vector<std::string>& exec :
         std::vector<std::vector<std::string>>{{}, {"%s"}, {"p", "x%s"}}) {
        service.exec = exec;
        EXPECT_FALSE(serviceCommandLine(service, "text", "/q", nullptr)) << ::testing::PrintToString(exec);
    }
}

TEST(ServiceUrlTest, TellsASingleUrlFromOtherText) {
    for (const char* url : {"https://example.org", "  http://example.org/a?b=c#d \n", "HTTPS://EXAMPLE.ORG",
                            "svn+ssh://host/repo", "mailto:someone@example.org", "MailTo:a@b"})
        EXPECT_TRUE(isSingleUrl(url)) << url;
    for (const char* text :
         {"", "   ", "example.org", "https://", "https:/x.org", "://x", "1http://x", "http://a b",
          "https://a\nhttps://b", "mailto:someone", "a_b://x", "http://x\x01"})
        EXPECT_FALSE(isSingleUrl(text)) << text;
}

// Each folder once, relative entries dropped, the user's first; the share folder beside the program last;
// without usable variables, the usual folders.
TEST(ServiceDirectories, FollowTheXdgRules) {
    test::ScopedEnvironment environment;
    environment.set("HOME", "/home/bob");
    environment.set("XDG_DATA_HOME", "/home/ann/");
    environment.set("XDG_DATA_DIRS", "/opt/a/:relative/share::/usr/share:/opt/a:/usr/./share/:/home/ann");
    const std::string share = "/usr/share/quoddle/services", opt = "/opt/a/quoddle/services";
    EXPECT_EQ(serviceDirectories("/home/ann/src/q/build/quoddle"),
              (std::vector<std::string>{"/home/ann/quoddle/services", opt, share,
                                        "/home/ann/src/q/share/quoddle/services"}));
    for (const char* unusable : {static_cast<const char*>(nullptr), "", "relative/data"}) {
        environment.set("XDG_DATA_HOME", unusable);
        environment.set("XDG_DATA_DIRS", unusable && *unusable ? nullptr : unusable);
        EXPECT_EQ(serviceDirectories("relative/quoddle"),
                  (std::vector<std::string>{"/home/bob/.local/share/quoddle/services",
                                            "/usr/local/share/quoddle/services", share}));
    }
}

// The folders are made by the first file written to them: until then they are not there.
class ServiceCatalogTest : public ::testing::Test {
protected:
    static std::string write(const fs::path& folder, const std::string& id, const std::string& contents) {
        writeBytes(folder / (id + ".service"), contents);
        return (folder / (id + ".service")).string();
    }
    static std::string serviceText(const std::string& name, const std::string& more = {}) {
        return "[Quoddle Service]\nName=" + name + "\nExec=p\n" + more;
    }
    std::vector<std::string> names() {
        std::vector<std::string> names;
        for (const DesktopService& service : catalog.services())
            names.push_back(service.name);
        return names;
    }

    TempFolder temp;
    const fs::path user = temp / "user", system = temp / "system";
    std::vector<std::string> logged;
    ServiceCatalog catalog{{user.string(), system.string()},
                           [this](const std::string& line) { logged.push_back(line); }};
};

// A user file takes the id from the system's even when malformed (the system's would not be what the user
// meant) or when its program is not installed. The rest come by name, then id, each name once.
TEST_F(ServiceCatalogTest, UserFilesShadowTheSystemsOfTheSameIdAndEachNameIsOfferedOnceInOrder) {
    for (const char* id : {"upper", "lower", "gone", "broken", "later"})
        write(system, id, serviceText(std::string("System ") + id));
    write(user, "upper", serviceText("My Upper"));
    write(user, "gone", "[Quoddle Service]\nHidden=true\n");
    const std::string broken = write(user, "broken", "[Quoddle Service]\nName=Broken\n");
    write(user, "later", serviceText("Later", "TryExec=quoddle-no-such-program-4711\n"));
    for (const auto& [folder, id, name] : {std::tuple(system, "b", "banana"),
                                           {system, "c", "Cherry"},
                                           {user, "a2", "Apple"},
                                           {user, "z", "\xc3\x89t\xc3\xa9"},
                                           {system, "a1", "Apple"},
                                           {system, "d", "apple"}})
        write(folder, id, serviceText(name));
    EXPECT_EQ(names(), (std::vector<std::string>{"Apple", "apple", "banana", "Cherry", "My Upper",
                                                 "System lower", "\xc3\x89t\xc3\xa9"}));
    names();
    EXPECT_EQ(logged,
              (std::vector<std::string>{"desktop service file " + broken + " skipped: Exec is missing",
                                        "desktop services " + (system / "a1.service").string() + " and " +
                                            (user / "a2.service").string() +
                                            " have the same name \"Apple\": only the first is offered"}));
    EXPECT_EQ(catalog.serviceNamed("apple")->id, "d");
    EXPECT_EQ(catalog.serviceNamed("Apple")->id, "a1");
    EXPECT_EQ(catalog.serviceNamed("Apple "), nullptr);
}

// Folders that appear only later count too.
TEST_F(ServiceCatalogTest, SeesEveryChangeAndLogsAMalformedFileOncePerChangeOfIt) {
    EXPECT_TRUE(catalog.services().empty());
    write(system, "a", serviceText("Alpha"));
    EXPECT_EQ(names(), std::vector<std::string>{"Alpha"});
    write(system, "a", serviceText("Alpha Two"));
    EXPECT_EQ(names(), std::vector<std::string>{"Alpha Two"});
    write(user, "a", serviceText("Mine"));
    EXPECT_EQ(names(), std::vector<std::string>{"Mine"});
    fs::remove(user / "a.service");
    EXPECT_EQ(names(), std::vector<std::string>{"Alpha Two"});

    const std::string bad = write(user, "bad", "[Quoddle Service]\nName=Bad\nExec=p %f\n");
    names();
    write(user, "other", serviceText("Other")); // the folder is read again; the bad file is as it was
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha Two", "Other"}));
    write(user, "bad", "[Quoddle Service]\nName=Still Bad\n");
    names();
    EXPECT_EQ(logged,
              (std::vector<std::string>{"desktop service file " + bad +
                                            " skipped: Exec: %f is not a field code of service files",
                                        "desktop service file " + bad + " skipped: Exec is missing"}));
}

TEST_F(ServiceCatalogTest, TheServicesCommandListsChecksAndAnswersAMistakenCommandLineWithItsUsage) {
    const std::string good =
        write(system, "web",
              "[Quoddle Service]\nName=Search\nExec=xdg-open https://example.org/?q=%u\nAccepts=url\n");
    const std::string bad =
        write(system, "bad", "[Quoddle Service]\nName=Two\\tColumns\nExec=p %f\nOutput=paste\n");
    std::ostringstream out, err;
    const auto run = [&](const std::vector<std::string>& arguments) {
        out.str({});
        err.str({});
        return runServicesCommand(arguments, {user.string(), system.string()}, out, err);
    };
    EXPECT_EQ(run({}), 0);
    EXPECT_EQ(out.str(), "Search\tnone\t" + good + "\ndesktop service file " + bad +
                             " skipped: Name: a title cannot hold a tab or line break\nsearched: " +
                             user.string() + " (yours, not there yet)\nsearched: " + system.string() + "\n");
    EXPECT_EQ(run({"--check", good}), 0);
    EXPECT_EQ(out.str(), good + ": ok\n  name: Search\n  text: as an argument\n  output: none (the output is "
                                "dropped)\n  time limit: 5 s\n  accepts: a single URL only\n");
    EXPECT_EQ(run({"--check", bad}), 1);
    EXPECT_EQ(out.str(), bad + ": Name: a title cannot hold a tab or line break\n" + bad +
                             ": Exec: %f is not a field code of service files\n" + bad +
                             ": Output: 'paste' is not one of none, replace, copy, notify\n");
    for (const std::vector<std::string>& mistaken : std::vector<std::vector<std::string>>{
             {"--check"}, {"--bogus"}, {"--check", "a", "b"}, {"--help", "more"}}) {
        EXPECT_EQ(run(mistaken), 2) << mistaken[0];
        EXPECT_NE(err.str().find("Usage: quoddle services"), std::string::npos) << err.str();
    }
}

} // namespace
} // namespace quoddle
