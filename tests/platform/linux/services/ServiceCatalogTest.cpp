// Where desktop services are looked for, which files count, and which service a name stands for; and
// "quoddle services": the listing with what was skipped and where, a check of a file for its author, and the
// exit statuses.
#include "platform/linux/services/ServiceCatalog.h"
#include "platform/ScopedEnvironment.h"
#include "platform/TempFolder.h"
#include "platform/linux/services/ServicesCommand.h"

#include <gtest/gtest.h>

#include <sstream>

namespace quoddle {
namespace {

namespace fs = std::filesystem;

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
