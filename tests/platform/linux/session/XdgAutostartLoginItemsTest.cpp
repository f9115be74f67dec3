// The login-items port over XDG autostart entries: what it lists, how it resolves an entry's program, and
// what it writes and removes. The core's use of it (enable twice, disable, other copies) is
// SettingsTextTest's login switch, over the simulated login items; the switch in the running program, and
// the folders from the environment, the desktop tier's.
#include "platform/linux/session/XdgAutostartLoginItems.h"
#include "platform/ScopedEnvironment.h"
#include "platform/TempFolder.h"

#include <gtest/gtest.h>

namespace quoddle {
namespace {

namespace fs = std::filesystem;

class XdgAutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(system);
        fs::create_symlink(program, root / "bin/quoddle-link");
    }
    XdgAutostartLoginItems itemsOver(std::vector<std::string> folders, std::vector<std::string> desktops,
                                     const fs::path& userFolder = {}) const {
        return XdgAutostartLoginItems({(userFolder.empty() ? user : userFolder).string(), std::move(folders),
                                       std::move(desktops), "org.quoddle.Quoddle", "quoddle"});
    }
    static std::string makeProgram(const fs::path& path) {
        writeBytes(path, "#!/bin/sh\n");
        fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
        return path.string();
    }
    static std::string entry(const std::string& name, const std::string& exec, const std::string& more = "") {
        return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n" + more;
    }
    // The names of the files in the user's folder, in order.
    std::string userFiles() const {
        std::string names;
        for (const fs::path& file : filesIn(user))
            names += file.filename().string() + "\n";
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

    TempFolder temp;
    const fs::path root = fs::canonical(temp.path());
    const fs::path user = root / "config/autostart", system = root / "xdg/autostart";
    const std::string program = makeProgram(root / "bin/quoddle"),
                      otherCopy = makeProgram(root / "other/quoddle");
    XdgAutostartLoginItems items = itemsOver({system.string()}, {"XFCE"});
};

TEST_F(XdgAutostartTest, InsertsAnEntryInAnOwnerOnlyFolderThatResolvesToTheProgramAndRemovesIt) {
    ASSERT_TRUE(items.insertAtFront(program, "Quoddle"));
    // The desktop-entry quoting of reserved characters, which the reading side undoes again.
    ASSERT_TRUE(
        items.insertAtFront(makeProgram(root / "my apps/$HOME \"q\" `x` back\\slash 100%/quoddle"), "Two"));
    EXPECT_EQ(fs::status(user).permissions(), fs::perms::owner_all);
    EXPECT_EQ(userFiles(), "org.quoddle.Quoddle-2.desktop\norg.quoddle.Quoddle.desktop\n");
    EXPECT_EQ(readBytes(user / "org.quoddle.Quoddle.desktop"),
              "[Desktop Entry]\nType=Application\nName=Quoddle\nComment=Text services one click from a text "
              "selection\nExec=" +
                  program + "\nIcon=quoddle\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    EXPECT_NE(readBytes(user / "org.quoddle.Quoddle-2.desktop")
                  .find("\nExec=\"" + root.string() +
                        R"(/my apps/\\$HOME \\"q\\" \\`x\\` back\\\\slash 100%%/quoddle")" + "\n"),
              std::string::npos);
    EXPECT_EQ(listed(), (std::vector<std::string>{"Two my apps/$HOME \"q\" `x` back\\slash 100%/quoddle",
                                                  "Quoddle bin/quoddle"}));
    const std::vector<LoginItem> shown = items.snapshot().value();
    EXPECT_FALSE(items.remove(shown[0].id ^ shown[1].id));
    EXPECT_TRUE(items.remove(shown[1].id));
    EXPECT_FALSE(items.remove(shown[1].id));
    EXPECT_EQ(userFiles(), "org.quoddle.Quoddle-2.desktop\n");
    // Paths an Exec line cannot hold for certain.
    EXPECT_FALSE(items.insertAtFront("bin/quoddle", "Quoddle"));
    EXPECT_FALSE(items.insertAtFront(root.string() + "/caf\xe9", "Quoddle"));
}

// What a hand-made entry's Exec resolves to: through symlinks, env, quotes and the search path, and never
// against Quoddle's own working folder.
TEST_F(XdgAutostartTest, ResolvesAnEntrysProgramTheWayTheSessionWouldStartIt) {
    test::ScopedEnvironment environment;
    environment.set("PATH", ((root / "bin").string() + ":/usr/bin:/bin").c_str());
    const std::pair<std::string, std::string> cases[] = {
        {(root / "bin/quoddle-link").string() + " --quiet %U", "bin/quoddle"},
        {"env LANG=C GDK_BACKEND=x11 quoddle-link", "bin/quoddle"},
        {"\"" + program + "\"", "bin/quoddle"},
        {"/usr/bin/env quoddle", "bin/quoddle"},
        {"/nowhere/quoddle", "-"},
        {"bin/quoddle", "-"},
        {"env A=1", "-"},
        {"\"" + program, "-"}};
    const fs::path workingFolder = fs::current_path();
    fs::current_path(root);
    for (const auto& [exec, resolved] : cases) {
        writeBytes(user / "mine.desktop", entry("Mine", exec));
        EXPECT_EQ(listed(), std::vector<std::string>{"Mine " + resolved}) << exec;
    }
    fs::current_path(workingFolder);
}

// What the entry says beside Type, Name and Exec, for a session on "Budgie:GNOME:XFCE": the first of its
// desktops an entry names decides.
TEST_F(XdgAutostartTest, HiddenEntriesAndEntriesForOtherDesktopsAreNotListed) {
    items = itemsOver({system.string()}, {"Budgie", "GNOME", "XFCE"});
    const std::pair<const char*, bool> cases[] = {{"Hidden=true\n", false},
                                                  {"X-GNOME-Autostart-enabled=false\n", false},
                                                  {"OnlyShowIn=KDE;\n", false},
                                                  {"OnlyShowIn=KDE;XFCE;\n", true},
                                                  {"OnlyShowIn=XFCE;\nNotShowIn=XFCE;\n", true},
                                                  {"OnlyShowIn=Budgie;\nNotShowIn=GNOME;\n", true},
                                                  {"OnlyShowIn=GNOME;\nNotShowIn=Budgie;\n", false}};
    for (const auto& [more, shown] : cases) {
        writeBytes(user / "mine.desktop", entry("Q", program, more));
        EXPECT_EQ(listed().size(), shown ? 1u : 0u) << more;
    }
    writeBytes(user / "mine.desktop", "[Desktop Entry]\nType=Link\nName=Q\nExec=" + program + "\n");
    EXPECT_TRUE(listed().empty()) << "no application";
}

TEST_F(XdgAutostartTest, AUserFileHidesTheSystemsAndRemovingASystemEntryHidesItWithOne) {
    items = itemsOver({system.string(), (root / "xdg2/autostart").string()}, {"XFCE"});
    writeBytes(system / "quoddle.desktop", entry("Packaged", program));
    writeBytes(root / "xdg2/autostart/quoddle.desktop", entry("Later", otherCopy));
    EXPECT_EQ(listed(), std::vector<std::string>{"Packaged bin/quoddle"});
    writeBytes(user / "quoddle.desktop", entry("Mine", otherCopy));
    EXPECT_EQ(listed(), std::vector<std::string>{"Mine other/quoddle"});
    fs::remove(user / "quoddle.desktop");

    ASSERT_TRUE(items.remove(items.snapshot().value().at(0).id));
    EXPECT_EQ(userFiles(), "quoddle.desktop\n");
    EXPECT_EQ(readBytes(user / "quoddle.desktop"),
              "[Desktop Entry]\nType=Application\nName=Packaged\nHidden=true\n");
    EXPECT_EQ(readBytes(system / "quoddle.desktop"), entry("Packaged", program))
        << "the system's is only read";
    EXPECT_TRUE(listed().empty());
    ASSERT_TRUE(items.insertAtFront(program, "Quoddle"));
    EXPECT_EQ(userFiles(), "") << "the hiding file goes instead of a new entry coming";
    // A hiding file that says more is the user's: it stays, and ours comes beside it.
    writeBytes(user / "quoddle.desktop", "[Desktop Entry]\nHidden=true\nX-Note=keep this\n");
    ASSERT_TRUE(items.insertAtFront(program, "Quoddle"));
    EXPECT_EQ(userFiles(), "org.quoddle.Quoddle.desktop\nquoddle.desktop\n");
    EXPECT_EQ(readBytes(user / "quoddle.desktop"), "[Desktop Entry]\nHidden=true\nX-Note=keep this\n");
}

TEST_F(XdgAutostartTest, WithoutAUserFolderNothingIsListedOrWritten) {
    writeBytes(root / "file", "a file where the folder should be");
    XdgAutostartLoginItems blocked = itemsOver({}, {}, root / "file/autostart");
    EXPECT_FALSE(blocked.snapshot());
    EXPECT_FALSE(blocked.insertAtFront(program, "Quoddle"));
    EXPECT_EQ(readBytes(root / "file"), "a file where the folder should be");
}

} // namespace
} // namespace quoddle
