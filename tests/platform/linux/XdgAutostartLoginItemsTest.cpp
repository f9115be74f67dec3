#include "platform/linux/XdgAutostartLoginItems.h"
#include "Library/ApplicationAdditions.h"
#include "platform/linux/LinuxLocalization.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quoddle {
namespace {

namespace fs = std::filesystem;

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class ScopedWorkingFolder {
public:
    explicit ScopedWorkingFolder(const fs::path& folder) : old_(fs::current_path()) {
        fs::current_path(folder);
    }
    ~ScopedWorkingFolder() { fs::current_path(old_); }

private:
    fs::path old_;
};

// The running program, as the controller sees it, is a file of the test's own.
class FakeProgramServices : public LinuxLocalizedAppServices {
public:
    std::optional<std::string> bundlePath() const override { return path; }
    std::string path;
};

class XdgAutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string folder = (fs::temp_directory_path() / "quoddle-autostart-XXXXXX").string();
        ASSERT_NE(::mkdtemp(folder.data()), nullptr);
        root = fs::canonical(folder);
        user = root / "config/autostart";
        system = root / "xdg/autostart";
        fs::create_directories(system);
        program = makeProgram(root / "bin/quoddle");
        otherCopy = makeProgram(root / "other/quoddle");
        fs::create_symlink(program, root / "bin/quoddle-link");
        app.path = program;
        useSystemFolders({system.string()}, {"XFCE"});
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(user, fs::perms::owner_all, ignored);
        fs::remove_all(root);
    }

    void useSystemFolders(std::vector<std::string> folders, std::vector<std::string> desktops) {
        items = XdgAutostartLoginItems(
            {user.string(), std::move(folders), std::move(desktops), "org.quoddle.Quoddle", "quoddle"});
    }
    static std::string makeProgram(const fs::path& path) {
        write(path, "#!/bin/sh\n");
        fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
        return path.string();
    }
    static void write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string read(const fs::path& path) {
        std::ostringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }
    static std::string entry(const std::string& name, const std::string& exec, const std::string& more = "") {
        return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n" + more;
    }
    // Everything under the test's folder, to show that nothing else was touched.
    std::map<std::string, std::string> contents() const {
        std::map<std::string, std::string> all;
        for (const fs::directory_entry& file : fs::recursive_directory_iterator(root)) {
            std::string& value = all[fs::relative(file.path(), root).string()];
            if (file.is_symlink())
                value = "-> " + fs::read_symlink(file.path()).string();
            else if (file.is_regular_file())
                value = read(file.path());
            else
                value = file.is_directory() ? "<folder>" : "<other>";
        }
        return all;
    }
    std::vector<std::string> userFiles() const {
        std::vector<std::string> names;
        for (const fs::directory_entry& file : fs::directory_iterator(user))
            names.push_back(file.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Each listed item as "name program", the program relative to the test's folder.
    std::vector<std::string> listed() const {
        std::vector<std::string> lines;
        const std::vector<LoginItem> shown = items.snapshot().value();
        for (const LoginItem& item : shown)
            lines.push_back(item.displayName + " " +
                            (item.resolvedPath ? fs::relative(*item.resolvedPath, root).string() : "-"));
        return lines;
    }
    void enable(bool flag) { setLaunchAutomaticallyOnLogin(items, app, flag); }
    bool isEnabled() const { return isLaunchAutomaticallyOnLogin(items, app); }

    fs::path root, user, system;
    std::string program, otherCopy;
    FakeProgramServices app;
    XdgAutostartLoginItems items{{}};
};

TEST_F(XdgAutostartTest, EnablingTwiceWritesOneEntryAndDisablingRemovesIt) {
    EXPECT_FALSE(isEnabled());
    enable(true);
    enable(true);
    ASSERT_EQ(userFiles(), std::vector<std::string>{"org.quoddle.Quoddle.desktop"});
    EXPECT_EQ(fs::status(user).permissions(), fs::perms::owner_all);
    EXPECT_EQ(read(user / "org.quoddle.Quoddle.desktop"),
              "[Desktop Entry]\nType=Application\nName=quoddle\nComment=Text services one click from a text "
              "selection\nExec=" +
                  program + "\nIcon=quoddle\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    EXPECT_TRUE(isEnabled());
    enable(false);
    EXPECT_TRUE(userFiles().empty());
    EXPECT_FALSE(isEnabled());
    enable(false);
    EXPECT_TRUE(userFiles().empty());
}

TEST_F(XdgAutostartTest, FindsAHandMadeEntryThroughASymlinkOrThePathAndDisablingDeletesIt) {
    ScopedEnvironment path("PATH", (root / "bin").string() + ":/usr/bin:/bin");
    for (const std::string& exec : {(root / "bin/quoddle-link").string() + " --quiet %U",
                                    std::string("env LANG=C GDK_BACKEND=x11 quoddle-link"),
                                    "\"" + program + "\"", std::string("/usr/bin/env quoddle")}) {
        SCOPED_TRACE(exec);
        write(user / "My Start.desktop", entry("Mine", exec));
        EXPECT_TRUE(isEnabled());
        enable(true);
        EXPECT_EQ(userFiles(), std::vector<std::string>{"My Start.desktop"});
        enable(false);
        EXPECT_TRUE(userFiles().empty());
    }
}

TEST_F(XdgAutostartTest, LeavesOtherCopiesAndUnresolvableEntriesAloneAndAddsOursBeside) {
    write(user / "org.quoddle.Quoddle.desktop", entry("Other copy", otherCopy));
    write(user / "missing.desktop", entry("Missing", "/nowhere/quoddle"));
    write(user / "relative.desktop", entry("Relative", "bin/quoddle"));
    write(user / "tryexec.desktop", entry("TryExec", program, "TryExec=no-such-program-anywhere\n"));
    write(user / "envonly.desktop", entry("Env only", "env A=1"));
    write(user / "unquoted.desktop", entry("Unquoted", "\"" + program));
    // A user file of this name would hide the package's entry for another copy.
    write(system / "org.quoddle.Quoddle-2.desktop", entry("Packaged", otherCopy));
    const auto before = contents();
    // Quoddle's own working folder says nothing about the session's.
    ScopedWorkingFolder inRoot(root);
    EXPECT_FALSE(isEnabled());
    const std::vector<std::string> others{
        "Env only -", "Missing -",  "Other copy other/quoddle", "Relative -",
        "TryExec -",  "Unquoted -", "Packaged other/quoddle"};
    EXPECT_EQ(listed(), others);

    enable(true);
    EXPECT_TRUE(fs::exists(user / "org.quoddle.Quoddle-3.desktop"));
    EXPECT_TRUE(isEnabled());
    EXPECT_EQ(listed().size(), others.size() + 1);
    enable(false);
    EXPECT_EQ(contents(), before);
}

TEST_F(XdgAutostartTest, HiddenEntriesAndEntriesForOtherDesktopsCountAsDisabled) {
    struct Case {
        std::vector<std::string> desktops;
        std::string text;
        bool counts;
    };
    const std::vector<Case> cases{
        {{"XFCE"}, entry("Q", program, "Hidden=true\n"), false},
        {{"XFCE"}, entry("Q", program, "Hidden=false\n"), true},
        {{"GNOME"}, entry("Q", program, "X-GNOME-Autostart-enabled=false\n"), false},
        {{"GNOME"}, entry("Q", program, "X-GNOME-Autostart-enabled=true\n"), true},
        {{"XFCE"}, "[Desktop Entry]\nType=Link\nName=Q\nExec=" + program + "\n", false},
        {{"XFCE"}, "[Desktop Entry]\nName=Q\nExec=" + program + "\n", false},
        {{"XFCE"}, entry("Q", program, "OnlyShowIn=GNOME;KDE;\n"), false},
        {{"XFCE"}, entry("Q", program, "OnlyShowIn=GNOME;XFCE;\n"), true},
        {{"XFCE"}, entry("Q", program, "NotShowIn=XFCE;\n"), false},
        {{"XFCE"}, entry("Q", program, "NotShowIn=GNOME;\n"), true},
        {{"XFCE"}, entry("Q", program, "OnlyShowIn=XFCE;\nNotShowIn=XFCE;\n"), true},
        {{"Budgie", "GNOME"}, entry("Q", program, "OnlyShowIn=Budgie;\nNotShowIn=GNOME;\n"), true},
        {{"Budgie", "GNOME"}, entry("Q", program, "OnlyShowIn=GNOME;\nNotShowIn=Budgie;\n"), false},
        {{}, entry("Q", program, "OnlyShowIn=XFCE;\n"), false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.text);
        useSystemFolders({system.string()}, test.desktops);
        write(user / "mine.desktop", test.text);
        EXPECT_EQ(isEnabled(), test.counts);
        enable(true);
        EXPECT_EQ(userFiles().size(), test.counts ? 1u : 2u);
        EXPECT_EQ(read(user / "mine.desktop"), test.text);
        fs::remove_all(user);
    }
}

TEST_F(XdgAutostartTest, AUserFileHidesTheSystemsAndDisablingASystemEntryHidesItWithOne) {
    const fs::path laterSystem = root / "xdg2/autostart";
    useSystemFolders({system.string(), laterSystem.string()}, {"XFCE"});
    write(system / "quoddle.desktop", entry("Packaged", program));
    write(laterSystem / "quoddle.desktop", entry("Later", otherCopy));
    EXPECT_EQ(listed(), std::vector<std::string>{"Packaged bin/quoddle"});
    write(user / "quoddle.desktop", entry("Mine", otherCopy));
    EXPECT_EQ(listed(), std::vector<std::string>{"Mine other/quoddle"});
    EXPECT_FALSE(isEnabled());
    fs::remove(user / "quoddle.desktop");

    const auto before = contents();
    enable(false);
    EXPECT_EQ(read(user / "quoddle.desktop"),
              "[Desktop Entry]\nType=Application\nName=Packaged\nHidden=true\n");
    EXPECT_EQ(read(system / "quoddle.desktop"), entry("Packaged", program));
    EXPECT_TRUE(listed().empty());
    enable(true);
    EXPECT_TRUE(userFiles().empty()) << "the hiding file goes instead of a new entry coming";
    EXPECT_EQ(contents(), before);
    EXPECT_TRUE(isEnabled());

    // A hiding file that says more is the user's: it stays, and ours comes beside it.
    const std::string mine = "[Desktop Entry]\nHidden=true\nX-Note=keep this\n";
    write(user / "quoddle.desktop", mine);
    enable(true);
    EXPECT_EQ(userFiles(), (std::vector<std::string>{"org.quoddle.Quoddle.desktop", "quoddle.desktop"}));
    EXPECT_EQ(read(user / "quoddle.desktop"), mine);
}

TEST_F(XdgAutostartTest, QuotesAProgramPathWithReservedCharactersAndFindsItAgain) {
    app.path = makeProgram(root / "my apps/$HOME \"q\" `x` back\\slash 100%/quoddle");
    enable(true);
    const std::string text = read(user / "org.quoddle.Quoddle.desktop");
    EXPECT_NE(text.find("\nExec=\"" + root.string() +
                        R"(/my apps/\\$HOME \\"q\\" \\`x\\` back\\\\slash 100%%/quoddle")"
                        "\n"),
              std::string::npos)
        << text;
    EXPECT_TRUE(isEnabled());
    enable(true);
    EXPECT_EQ(userFiles().size(), 1u);
    enable(false);
    EXPECT_TRUE(userFiles().empty());

    ASSERT_TRUE(items.insertAtFront(program, " two\nlines"));
    EXPECT_EQ(listed(), std::vector<std::string>{" two\nlines bin/quoddle"});
}

TEST_F(XdgAutostartTest, SkipsMalformedFilesWithoutTouchingThem) {
    const auto padded = [](std::string text, std::size_t size) {
        return text + "#" + std::string(size - text.size() - 2, 'x') + "\n";
    };
    write(user / "garbage.desktop", "\x01\x02 [[[ no key file\n=\n");
    write(user / "nogroup.desktop", "Type=Application\nExec=" + program + "\n");
    write(user / "othergroup.desktop", "[Other]\nType=Application\nName=Q\nExec=" + program + "\n");
    write(user / "latin1.desktop", entry("Caf\xe9", program));
    write(user / "nul.desktop", entry("Q", program) + std::string(1, '\0') + "X=1\n");
    write(user / "big.desktop", padded(entry("Big", program), 64 * 1024 + 1));
    write(user / "edge.desktop", padded(entry("Edge", otherCopy), 64 * 1024));
    write(user / "folder.desktop/inner.desktop", entry("Inner", program));
    fs::create_symlink(root / "nowhere", user / "dangling.desktop");
    ASSERT_EQ(::mkfifo((user / "pipe.desktop").c_str(), 0600), 0);
    // A user folder of an entry's name hides nothing; a user file does, readable or not.
    write(system / "folder.desktop", entry("System", otherCopy));
    write(system / "garbage.desktop", entry("Hidden by garbage", program));
    const auto before = contents();

    EXPECT_EQ(listed(), (std::vector<std::string>{"Edge other/quoddle", "System other/quoddle"}));
    EXPECT_FALSE(isEnabled());
    enable(true);
    EXPECT_TRUE(isEnabled());
    enable(false);
    EXPECT_EQ(contents(), before);
}

TEST_F(XdgAutostartTest, WithoutAWritableUserFolderNothingChanges) {
    write(root / "config", "a file where the folder should be");
    const auto before = contents();
    EXPECT_FALSE(items.snapshot());
    EXPECT_FALSE(items.insertAtFront(program, "Quoddle"));
    EXPECT_EQ(contents(), before);

    if (::geteuid() == 0) return; // the superuser writes into any folder
    fs::remove(root / "config");
    write(user / "other.desktop", entry("Other", otherCopy));
    write(system / "quoddle.desktop", entry("Packaged", program));
    fs::permissions(user, fs::perms::owner_read | fs::perms::owner_exec);
    const auto readOnly = contents();
    EXPECT_FALSE(items.insertAtFront(program, "Quoddle"));
    EXPECT_FALSE(items.remove(items.snapshot().value().back().id));
    EXPECT_EQ(contents(), readOnly);
}

TEST_F(XdgAutostartTest, RemovesOnlyTheFileTheSnapshotShowedAndRefusesPathsExecCannotHold) {
    write(user / "a.desktop", entry("A", program));
    write(user / "b.desktop", entry("B", program));
    const std::vector<LoginItem> shown = items.snapshot().value();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_NE(shown[0].id, shown[1].id);
    EXPECT_EQ(XdgAutostartLoginItems(items.setup()).snapshot().value()[1].id, shown[1].id);
    EXPECT_FALSE(items.remove(shown[0].id ^ shown[1].id));
    EXPECT_TRUE(items.remove(shown[1].id));
    EXPECT_FALSE(items.remove(shown[1].id));
    EXPECT_EQ(userFiles(), std::vector<std::string>{"a.desktop"});

    EXPECT_FALSE(items.insertAtFront("bin/quoddle", "Quoddle"));
    EXPECT_FALSE(items.insertAtFront(root.string() + "/caf\xe9", "Quoddle"));
    EXPECT_EQ(userFiles(), std::vector<std::string>{"a.desktop"});
}

TEST(XdgAutostartSetupTest, ReadsTheFoldersAndDesktopsFromTheEnvironment) {
    XdgAutostartSetup setup = xdgAutostartSetupFor(nullptr, nullptr, nullptr, "/home/me/");
    EXPECT_EQ(setup.userFolder, "/home/me/.config/autostart");
    EXPECT_EQ(setup.systemFolders, std::vector<std::string>{"/etc/xdg/autostart"});
    EXPECT_TRUE(setup.currentDesktops.empty());
    setup = xdgAutostartSetupFor("relative", "", "", "/home/me");
    EXPECT_EQ(setup.userFolder, "/home/me/.config/autostart");
    EXPECT_EQ(setup.systemFolders, std::vector<std::string>{"/etc/xdg/autostart"});

    ScopedEnvironment home("XDG_CONFIG_HOME", "/c/");
    ScopedEnvironment dirs("XDG_CONFIG_DIRS", "/a::relative:/b/");
    ScopedEnvironment desktop("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    setup = XdgAutostartLoginItems::forThisSession("org.quoddle.Quoddle", "quoddle").setup();
    EXPECT_EQ(setup.userFolder, "/c/autostart");
    EXPECT_EQ(setup.systemFolders, (std::vector<std::string>{"/a/autostart", "/b/autostart"}));
    EXPECT_EQ(setup.currentDesktops, (std::vector<std::string>{"ubuntu", "GNOME"}));
    EXPECT_EQ(setup.desktopFileId, "org.quoddle.Quoddle");
    EXPECT_EQ(setup.iconName, "quoddle");
}

} // namespace
} // namespace quoddle
