// Where desktop services are looked for, which files count, and which service a name stands for; and the
// files Quoddle ships.
#include "platform/linux/services/ServiceCatalog.h"
#include "platform/TempFolder.h"
#include "platform/linux/ScopedEnvironment.h"
#include "platform/linux/services/ServiceFile.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <set>

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

class ServiceCatalogTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(user);
        fs::create_directories(system);
    }
    std::string write(const fs::path& folder, const std::string& name, const std::string& contents) {
        writeBytes(folder / name, contents);
        return (folder / name).string();
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

TEST_F(ServiceCatalogTest, UserFilesShadowSystemFilesOfTheSameId) {
    for (const char* id : {"upper", "lower", "gone", "broken", "later"})
        write(system, id + std::string(".service"), serviceText(std::string("System ") + id));
    write(user, "upper.service", serviceText("My Upper"));
    write(user, "gone.service", "[Quoddle Service]\nHidden=true\n");
    // A malformed user file still takes the id: the system's own would not be what the user meant. As
    // does one whose program is not installed.
    const std::string broken = write(user, "broken.service", "[Quoddle Service]\nName=Broken\n");
    write(user, "later.service", serviceText("Later", "TryExec=quoddle-no-such-program-4711\n"));

    EXPECT_EQ(names(), (std::vector<std::string>{"My Upper", "System lower"}));
    EXPECT_EQ(logged,
              std::vector<std::string>{"desktop service file " + broken + " skipped: Exec is missing"});
}

TEST_F(ServiceCatalogTest, SeesEveryChangeAndLogsAMalformedFileOncePerChangeOfIt) {
    EXPECT_TRUE(catalog.services().empty());
    write(system, "a.service", serviceText("Alpha"));
    EXPECT_EQ(names(), std::vector<std::string>{"Alpha"});
    write(system, "a.service", serviceText("Alpha Two"));
    EXPECT_EQ(names(), std::vector<std::string>{"Alpha Two"});
    write(user, "a.service", serviceText("Mine"));
    EXPECT_EQ(names(), std::vector<std::string>{"Mine"});
    fs::remove(user / "a.service");
    EXPECT_EQ(names(), std::vector<std::string>{"Alpha Two"});

    const std::string bad = write(user, "bad.service", "[Quoddle Service]\nName=Bad\nExec=p %f\n");
    names();
    write(user, "other.service", serviceText("Other")); // the folder is read again; the bad file is as it was
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha Two", "Other"}));
    write(user, "bad.service", "[Quoddle Service]\nName=Still Bad\n");
    names();
    EXPECT_EQ(logged,
              (std::vector<std::string>{"desktop service file " + bad +
                                            " skipped: Exec: %f is not a field code of service files",
                                        "desktop service file " + bad + " skipped: Exec is missing"}));

    // A folder that appears only later counts too.
    ServiceCatalog withLater({(temp / "later").string()}, {});
    EXPECT_TRUE(withLater.services().empty());
    fs::create_directories(temp / "later");
    write(temp / "later", "b.service", serviceText("Bravo"));
    EXPECT_EQ(withLater.services().size(), 1u);
}

TEST_F(ServiceCatalogTest, OrdersByNameThenIdAndOffersEachNameOnce) {
    for (const auto& [folder, id, name] : {std::tuple(system, "b", "banana"),
                                           {system, "c", "Cherry"},
                                           {user, "a2", "Apple"},
                                           {user, "z", "\xc3\x89t\xc3\xa9"},
                                           {system, "a1", "Apple"},
                                           {system, "d", "apple"}})
        write(folder, id + std::string(".service"), serviceText(name));
    EXPECT_EQ(names(), (std::vector<std::string>{"Apple", "apple", "banana", "Cherry", "\xc3\x89t\xc3\xa9"}));
    names();
    EXPECT_EQ(logged, std::vector<std::string>{"desktop services " + (system / "a1.service").string() +
                                               " and " + (user / "a2.service").string() +
                                               " have the same name \"Apple\": only the first is offered"});
    EXPECT_EQ(catalog.serviceNamed("apple")->id, "d");
    EXPECT_EQ(catalog.serviceNamed("Apple")->id, "a1");
    EXPECT_EQ(catalog.serviceNamed("Apple "), nullptr);
}

// What they do in real applications is the desktop tier's.
TEST(ServiceShippedFilesTest, ReadWithoutProblemsAndInEveryLanguage) {
    const std::string folder = QUODDLE_SOURCE_DIR "/share/quoddle/services";
    std::set<std::string> ids;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string path = entry.path().string(), contents = readBytes(path);
        const ServiceFileReading reading = readServiceFile(path);
        EXPECT_EQ(reading.problems, std::vector<std::string>{}) << path;
        ASSERT_TRUE(reading.service) << path;
        ids.insert(reading.service->id);
        char* espeak = g_find_program_in_path("espeak-ng");
        EXPECT_EQ(reading.unavailable, reading.service->id == "speak" && !espeak)
            << "only speak may lack its program";
        g_free(espeak);
        EXPECT_NE(parseServiceFile(contents, path, "de_DE.UTF-8").service.value().name,
                  parseServiceFile(contents, path, "C").service.value().name)
            << "translated";
    }
    EXPECT_EQ(ids, (std::set<std::string>{"count-words", "lower-case", "open-as-link", "search-the-web",
                                          "sort-lines", "speak", "upper-case"}));
}

} // namespace
} // namespace quoddle
