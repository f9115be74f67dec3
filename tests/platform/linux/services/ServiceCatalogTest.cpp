#include "platform/linux/services/ServiceCatalog.h"
#include "platform/linux/services/ServiceFile.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sys/stat.h>

namespace quoddle {
namespace {

namespace fs = std::filesystem;

// Sets environment variables for one test and puts them back after it.
class Environment {
public:
    ~Environment() {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    void set(const std::string& name, const char* value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            ::setenv(name.c_str(), value, 1);
        else
            ::unsetenv(name.c_str());
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST(ServiceDirectoriesTest, FollowsTheXdgOrderAndListsEachFolderOnce) {
    Environment environment;
    environment.set("XDG_DATA_HOME", "/home/ann/data/");
    environment.set("XDG_DATA_DIRS", "/opt/a/:relative/share::/usr/share:/opt/a:/usr/./share/");
    EXPECT_EQ(serviceDirectories("/usr/bin/quoddle"),
              (std::vector<std::string>{"/home/ann/data/quoddle/services", "/opt/a/quoddle/services",
                                        "/usr/share/quoddle/services"}));
    EXPECT_EQ(serviceDirectories("/home/ann/src/quoddle/build/quoddle"),
              (std::vector<std::string>{"/home/ann/data/quoddle/services", "/opt/a/quoddle/services",
                                        "/usr/share/quoddle/services",
                                        "/home/ann/src/quoddle/share/quoddle/services"}));

    // The user's folder comes first even when it is a system folder as well.
    environment.set("XDG_DATA_HOME", "/usr/share");
    EXPECT_EQ(serviceDirectories(""),
              (std::vector<std::string>{"/usr/share/quoddle/services", "/opt/a/quoddle/services"}));
}

TEST(ServiceDirectoriesTest, FallsBackToHomeAndTheUsualSystemFolders) {
    Environment environment;
    environment.set("HOME", "/home/bob");
    const std::vector<std::string> usual{"/home/bob/.local/share/quoddle/services",
                                         "/usr/local/share/quoddle/services", "/usr/share/quoddle/services"};
    for (const char* dataHome : {static_cast<const char*>(nullptr), "", "relative/data"}) {
        for (const char* dataDirs : {static_cast<const char*>(nullptr), ""}) {
            environment.set("XDG_DATA_HOME", dataHome);
            environment.set("XDG_DATA_DIRS", dataDirs);
            EXPECT_EQ(serviceDirectories("relative/quoddle"), usual);
        }
    }
}

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "quoddle-catalog-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string path(const std::string& name = {}) const { return name.empty() ? path_ : path_ + "/" + name; }
    // A folder below, made with its parents.
    std::string folder(const std::string& name) const {
        fs::create_directories(path(name));
        return path(name);
    }

private:
    std::string path_;
};

std::string write(const std::string& folder, const std::string& name, const std::string& contents) {
    const std::string file = folder + "/" + name;
    std::ofstream(file, std::ios::binary | std::ios::trunc) << contents;
    return file;
}

std::string serviceText(const std::string& name, const std::string& more = {}) {
    return "[Quoddle Service]\nName=" + name + "\nExec=p\n" + more;
}

std::vector<std::string> namesOf(const std::vector<DesktopService>& services) {
    std::vector<std::string> names;
    for (const DesktopService& service : services)
        names.push_back(service.name);
    return names;
}

class ServiceCatalogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(temp.path().empty());
        user = temp.folder("user");
        system = temp.folder("system");
    }
    ServiceCatalog catalog() {
        return ServiceCatalog({user, system}, [this](const std::string& line) { logged.push_back(line); });
    }

    TempFolder temp;
    std::string user;
    std::string system;
    std::vector<std::string> logged;
};

TEST_F(ServiceCatalogTest, UserFilesShadowSystemFilesOfTheSameId) {
    write(system, "upper.service", serviceText("System Upper"));
    write(system, "lower.service", serviceText("System Lower"));
    write(system, "gone.service", serviceText("Gone"));
    write(system, "broken.service", serviceText("Broken"));
    write(system, "later.service", serviceText("Later"));
    write(user, "upper.service", serviceText("My Upper"));
    write(user, "gone.service", "[Quoddle Service]\nHidden=true\n");
    // A malformed user file still takes the id: the system's own would not be what the user meant.
    const std::string broken = write(user, "broken.service", "[Quoddle Service]\nName=Broken\n");
    // As does one whose program is not installed.
    write(user, "later.service", serviceText("Later", "TryExec=quoddle-no-such-program-4711\n"));

    ServiceCatalog services = catalog();
    EXPECT_EQ(namesOf(services.services()), (std::vector<std::string>{"My Upper", "System Lower"}));
    EXPECT_EQ(services.services()[0].path, user + "/upper.service");
    EXPECT_EQ(services.services()[1].path, system + "/lower.service");
    EXPECT_EQ(logged,
              std::vector<std::string>{"desktop service file " + broken + " skipped: Exec is missing"});
}

TEST_F(ServiceCatalogTest, LogsAMalformedFileOncePerChangeOfIt) {
    const std::string bad = write(user, "bad.service", "[Quoddle Service]\nName=Bad\nExec=p %f\n");
    write(user, "good.service", serviceText("Good"));
    ServiceCatalog services = catalog();
    EXPECT_EQ(namesOf(services.services()), std::vector<std::string>{"Good"});
    EXPECT_EQ(namesOf(services.services()), std::vector<std::string>{"Good"});
    // Another file changing reads the folder again, but says nothing new of the bad one.
    write(user, "other.service", serviceText("Other"));
    EXPECT_EQ(namesOf(services.services()), (std::vector<std::string>{"Good", "Other"}));
    EXPECT_EQ(logged, std::vector<std::string>{"desktop service file " + bad +
                                               " skipped: Exec: %f is not a field code of service files"});

    write(user, "bad.service", "[Quoddle Service]\nName=Still Bad\n");
    services.services();
    services.services();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[1], "desktop service file " + bad + " skipped: Exec is missing");
}

TEST_F(ServiceCatalogTest, SeesFilesAddedEditedAndRemovedSinceTheLastCall) {
    ServiceCatalog services = catalog();
    EXPECT_TRUE(services.services().empty());

    write(system, "a.service", serviceText("Alpha"));
    EXPECT_EQ(namesOf(services.services()), std::vector<std::string>{"Alpha"});
    write(system, "a.service", serviceText("Alpha Two"));
    EXPECT_EQ(namesOf(services.services()), std::vector<std::string>{"Alpha Two"});
    write(user, "a.service", serviceText("Mine"));
    EXPECT_EQ(namesOf(services.services()), std::vector<std::string>{"Mine"});
    fs::remove(user + "/a.service");
    EXPECT_EQ(namesOf(services.services()), std::vector<std::string>{"Alpha Two"});

    // A folder that appears only later counts too.
    const std::string later = temp.path("later");
    ServiceCatalog withLater({later}, {});
    EXPECT_TRUE(withLater.services().empty());
    write(temp.folder("later"), "b.service", serviceText("Bravo"));
    EXPECT_EQ(namesOf(withLater.services()), std::vector<std::string>{"Bravo"});
}

void setOldTime(const std::string& path) {
    const timespec old[2] = {{978307200, 0}, {978307200, 0}}; // 2001-01-01
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0) << path;
}

TEST_F(ServiceCatalogTest, ReadsNothingAgainWhileNothingChanged) {
    const std::string file = write(user, "a.service", serviceText("Alpha"));
    setOldTime(file);
    setOldTime(user);
    setOldTime(system);
    ServiceCatalog services = catalog();
    EXPECT_EQ(namesOf(services.services()), std::vector<std::string>{"Alpha"});

    // Same size, same time, same file: only a second read could show the new name, and there is none.
    write(user, "a.service", serviceText("Bravo"));
    setOldTime(file);
    EXPECT_EQ(namesOf(services.services()), std::vector<std::string>{"Alpha"});

    // A change of size is a change, whatever the time says.
    write(user, "a.service", serviceText("Charlie"));
    setOldTime(file);
    EXPECT_EQ(namesOf(services.services()), std::vector<std::string>{"Charlie"});
}

TEST_F(ServiceCatalogTest, ReadsAgainWhileAStampIsTooYoungToTrust) {
    const std::string file = write(user, "a.service", serviceText("Alpha"));
    setOldTime(user);
    setOldTime(system);
    // A time the clock has not reached: a change within the same tick would not move it.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const timespec young[2] = {{now.tv_sec + 3600, 0}, {now.tv_sec + 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), young, 0), 0);
    ServiceCatalog services = catalog();
    EXPECT_EQ(namesOf(services.services()), std::vector<std::string>{"Alpha"});

    write(user, "a.service", serviceText("Bravo"));
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), young, 0), 0);
    EXPECT_EQ(namesOf(services.services()), std::vector<std::string>{"Bravo"});
}

TEST_F(ServiceCatalogTest, OrdersByNameThenIdAndOffersEachNameOnce) {
    write(system, "b.service", serviceText("banana"));
    write(system, "c.service", serviceText("Cherry"));
    write(user, "a2.service", serviceText("Apple"));
    write(user, "z.service", serviceText("Échalote"));
    write(system, "a1.service", serviceText("Apple"));
    write(system, "d.service", serviceText("apple"));

    ServiceCatalog services = catalog();
    const std::vector<DesktopService>& found = services.services();
    EXPECT_EQ(namesOf(found), (std::vector<std::string>{"Apple", "apple", "banana", "Cherry", "Échalote"}));
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0].id, "a1");
    EXPECT_EQ(logged, std::vector<std::string>{"desktop services " + system + "/a1.service and " + user +
                                               "/a2.service have the same name \"Apple\": only the first is "
                                               "offered"});
    services.services();
    EXPECT_EQ(logged.size(), 1u);

    ASSERT_TRUE(services.serviceNamed("apple"));
    EXPECT_EQ(services.serviceNamed("apple")->id, "d");
    EXPECT_EQ(services.serviceNamed("Apple")->id, "a1");
    EXPECT_EQ(services.serviceNamed("Apple "), nullptr);
    EXPECT_EQ(services.serviceNamed(""), nullptr);
}

TEST_F(ServiceCatalogTest, ReadsOnlyServiceFilesAndABoundedNumberOfThem) {
    write(user, "notes.txt", serviceText("Text File"));
    write(user, "a.service~", serviceText("Backup"));
    write(user, "a.service.bak", serviceText("Backup Two"));
    write(user, ".#a.service", serviceText("Editor Lock"));
    write(user, ".service", serviceText("No Id"));
    write(user, "a.service", serviceText("Alpha"));
    ServiceCatalog services = catalog();
    EXPECT_EQ(namesOf(services.services()), std::vector<std::string>{"Alpha"});
    EXPECT_TRUE(logged.empty());

    for (int i = 0; i < 300; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "s%03d.service", i);
        write(system, name, serviceText(name));
    }
    const std::vector<DesktopService>& many = services.services();
    ASSERT_EQ(many.size(), 1u + 256u);
    EXPECT_EQ(many.back().name, "s255.service");
    EXPECT_EQ(logged,
              std::vector<std::string>{"desktop service folder " + system +
                                       " holds 300 service files: only the first 256 by name are read"});
}

bool installed(const char* program) {
    char* found = g_find_program_in_path(program);
    g_free(found);
    return found != nullptr;
}

TEST(ServiceShippedFilesTest, ReadWithoutProblemsAndDoWhatTheySay) {
    const std::string folder = QUODDLE_SOURCE_DIR "/share/quoddle/services";
    struct Expected {
        ServiceOutput output;
        bool asArgument;
        bool onlyUrl;
    };
    const std::map<std::string, Expected> expected{
        {"search-the-web", {ServiceOutput::none, true, false}},
        {"open-as-link", {ServiceOutput::none, true, true}},
        {"upper-case", {ServiceOutput::replaceSelection, false, false}},
        {"lower-case", {ServiceOutput::replaceSelection, false, false}},
        {"sort-lines", {ServiceOutput::replaceSelection, false, false}},
        {"count-words", {ServiceOutput::showNotification, false, false}},
        {"speak", {ServiceOutput::none, false, false}},
    };

    std::set<std::string> ids;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        const ServiceFileReading reading = readServiceFile(path);
        EXPECT_EQ(reading.problems, std::vector<std::string>{});
        ASSERT_TRUE(reading.service);
        const DesktopService& service = *reading.service;
        ids.insert(service.id);
        const auto found = expected.find(service.id);
        ASSERT_NE(found, expected.end());
        EXPECT_EQ(service.output, found->second.output);
        EXPECT_EQ(service.selectionAsArgument, found->second.asArgument);
        EXPECT_EQ(service.acceptsOnlyUrl, found->second.onlyUrl);
        // Only speak names a program that may be missing.
        EXPECT_EQ(reading.unavailable, service.id == "speak" && !installed("espeak-ng"));

        std::ifstream file(path);
        const std::string contents{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        for (const char* locale : {"de_DE.UTF-8", "fr_FR.UTF-8"}) {
            const ServiceFileReading translated = parseServiceFile(contents, path, locale);
            ASSERT_TRUE(translated.service) << locale;
            EXPECT_NE(translated.service->name, parseServiceFile(contents, path, "C").service->name)
                << locale;
        }
    }
    EXPECT_EQ(ids.size(), expected.size());

    const ServiceFileReading speak = readServiceFile(folder + "/speak.service");
    ASSERT_TRUE(speak.service);
    EXPECT_EQ(speak.service->timeLimit, std::chrono::seconds(300));
    EXPECT_EQ(speak.tryExec, "espeak-ng");
    const ServiceFileReading upper = readServiceFile(folder + "/upper-case.service");
    ASSERT_TRUE(upper.service);
    EXPECT_EQ(upper.service->exec, (std::vector<std::string>{"quoddle", "text", "upper"}));
    EXPECT_EQ(serviceCommandLine(*upper.service, "x", "/opt/q/bin/quoddle", nullptr),
              (std::vector<std::string>{"/opt/q/bin/quoddle", "text", "upper"}));
    const ServiceFileReading search = readServiceFile(folder + "/search-the-web.service");
    ASSERT_TRUE(search.service);
    EXPECT_EQ(serviceCommandLine(*search.service, "C++ 20", "/q", nullptr),
              (std::vector<std::string>{"xdg-open", "https://duckduckgo.com/?q=C%2B%2B%2020"}));
}

} // namespace
} // namespace quoddle
