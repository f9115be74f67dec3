// "quoddle services": the listing with what was skipped and where, a check of a file for its author, and
// the exit statuses.
#include "platform/linux/services/ServicesCommand.h"
#include "platform/TempFolder.h"

#include <gtest/gtest.h>

#include <sstream>

namespace quoddle {
namespace {

TEST(ServicesCommandTest, ListsChecksAndAnswersAMistakenCommandLineWithItsUsage) {
    TempFolder temp;
    const std::string root = temp.path().string(), good = root + "/web.service", bad = root + "/bad.service";
    writeBytes(good,
               "[Quoddle Service]\nName=Search\nExec=xdg-open https://example.org/?q=%u\nAccepts=url\n");
    writeBytes(bad, "[Quoddle Service]\nName=Two\\tColumns\nExec=p %f\nOutput=paste\n");
    std::ostringstream out, err;
    const auto run = [&](const std::vector<std::string>& arguments) {
        out.str({});
        err.str({});
        return runServicesCommand(arguments, {root + "/user", root}, out, err);
    };
    EXPECT_EQ(run({}), 0);
    EXPECT_EQ(out.str(), "Search\tnone\t" + good + "\ndesktop service file " + bad +
                             " skipped: Name: a title cannot hold a tab or line break\nsearched: " + root +
                             "/user (yours, not there yet)\nsearched: " + root + "\n");
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
