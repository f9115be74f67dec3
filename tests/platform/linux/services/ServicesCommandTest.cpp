#include "platform/linux/services/ServicesCommand.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quoddle {
namespace {

namespace fs = std::filesystem;

class ServicesCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quoddle-services-command-XXXXXX").string();
        ASSERT_TRUE(::mkdtemp(pattern.data()));
        root = pattern;
        user = root + "/user";
        system = root + "/system";
        fs::create_directories(system);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    std::string write(const std::string& folder, const std::string& name, const std::string& contents) {
        fs::create_directories(folder);
        const std::string file = folder + "/" + name;
        std::ofstream(file, std::ios::binary) << contents;
        return file;
    }
    int run(const std::vector<std::string>& arguments) {
        out.str({});
        err.str({});
        return runServicesCommand(arguments, {user, system, root + "/absent"}, out, err);
    }

    std::string root;
    std::string user;
    std::string system;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(ServicesCommandTest, ListsTheServicesThenWhatWasSkippedAndWhere) {
    write(system, "upper.service",
          "[Quoddle Service]\nName=Make Upper Case\nExec=quoddle text upper\nOutput=replace\n");
    write(system, "count.service", "[Quoddle Service]\nName=Count\nExec=quoddle text count\nOutput=notify\n");
    write(system, "web.service", "[Quoddle Service]\nName=Search\nExec=xdg-open https://example.org/?q=%u\n");
    write(system, "bad.service", "[Quoddle Service]\nName=Bad\nExec=p %s%s\n");

    EXPECT_EQ(run({}), 0);
    EXPECT_EQ(out.str(), "Count\tnotify\t" + system + "/count.service\n" + "Make Upper Case\treplace\t" +
                             system + "/upper.service\n" + "Search\tnone\t" + system + "/web.service\n" +
                             "desktop service file " + system +
                             "/bad.service skipped: Exec: %s must stand alone as an argument\n" +
                             "searched: " + user + " (yours, not there yet)\n" + "searched: " + system +
                             "\n" + "searched: " + root + "/absent (not there)\n");
    EXPECT_EQ(err.str(), "");

    write(user, "upper.service", "[Quoddle Service]\nHidden=true\n");
    EXPECT_EQ(run({}), 0);
    EXPECT_EQ(out.str().find("Make Upper Case"), std::string::npos);
    EXPECT_NE(out.str().find("searched: " + user + " (yours)\n"), std::string::npos);
}

TEST_F(ServicesCommandTest, ChecksAFileAndSaysWhatItDoes) {
    const std::string upper = write(root, "upper.service",
                                    "[Quoddle Service]\nName=Make Upper Case\nExec=quoddle text upper\n"
                                    "Output=replace\n");
    EXPECT_EQ(run({"--check", upper}), 0);
    EXPECT_EQ(out.str(), upper + ": ok\n"
                                 "  name: Make Upper Case\n"
                                 "  text: on standard input\n"
                                 "  output: replace (the output replaces the selected text)\n"
                                 "  time limit: 5 s\n"
                                 "  accepts: any text\n");

    const std::string link =
        write(root, "link.txt",
              "[Quoddle Service]\nName=Open\nExec=xdg-open %s\nAccepts=url\nTimeLimit=30\n"
              "TryExec=quoddle-no-such-program-4711\n");
    EXPECT_EQ(run({"--check", link}), 0);
    EXPECT_EQ(out.str(), link +
                             ": ok\n"
                             "  note: Quoddle reads only files whose names end in .service\n"
                             "  name: Open\n"
                             "  text: as an argument\n"
                             "  output: none (the output is dropped)\n"
                             "  time limit: 30 s\n"
                             "  accepts: a single URL only\n"
                             "  TryExec program quoddle-no-such-program-4711 is not installed: the service "
                             "will not be listed\n");

    const std::string hidden = write(root, "hidden.service", "[Quoddle Service]\nHidden=true\n");
    EXPECT_EQ(run({"--check", hidden}), 0);
    EXPECT_EQ(out.str(), hidden +
                             ": ok\n  Hidden=true: the file hides the service of the same file name in the "
                             "folders after its own\n");
}

TEST_F(ServicesCommandTest, NamesEveryProblemOfABadFileAndFails) {
    const std::string bad =
        write(root, "bad.service", "[Quoddle Service]\nName=Two\\tColumns\nExec=p %f\nOutput=paste\n");
    EXPECT_EQ(run({"--check", bad}), 1);
    EXPECT_EQ(out.str(), bad + ": Name: a title cannot hold a tab or line break\n" + bad +
                             ": Exec: %f is not a field code of service files\n" + bad +
                             ": Output: 'paste' is not one of none, replace, copy, notify\n");

    EXPECT_EQ(run({"--check", root + "/missing.service"}), 1);
    EXPECT_EQ(out.str(), root + "/missing.service: cannot be read: No such file or directory\n");
}

TEST_F(ServicesCommandTest, AnswersAMistakenCommandLineWithItsUsage) {
    const std::vector<std::string> mistaken[] = {
        {"--check"}, {"--bogus"}, {"--check", "a", "b"}, {"list"}, {"--help", "more"}};
    for (const std::vector<std::string>& arguments : mistaken) {
        EXPECT_EQ(run(arguments), 2) << arguments[0];
        EXPECT_EQ(out.str(), "");
        EXPECT_NE(err.str().find("Usage: quoddle services"), std::string::npos) << err.str();
    }

    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_TRUE(out.str().starts_with("Usage: quoddle services")) << out.str();
    EXPECT_EQ(err.str(), "");

    // From the whole command line, as main() hands it over.
    char program[] = "quoddle", services[] = "services", option[] = "--bogus";
    char* argv[] = {program, services, option, nullptr};
    EXPECT_EQ(runServicesCommand(3, argv, out, err), 2);
}

} // namespace
} // namespace quoddle
